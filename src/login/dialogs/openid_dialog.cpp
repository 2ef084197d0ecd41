#include "login/dialogs/openid_dialog.h"

#include <utility>

#include "ui/dialog_layouts.h"
#include "ui/ui.h"

namespace veilmark {

COpenID::COpenID(std::u16string url) : m_url(std::move(url)) {}

const DialogTemplate& COpenID::Template() const {
  return DialogLayout(kResourceId);
}

void COpenID::OnInitDialog(DialogSite& site) {
  site.Navigate(kBrowser, m_url);
}

void COpenID::OnCommand(DialogSite& site, int id) {
  if (id == kIdCancel) site.End(kIdCancel);
}

void COpenID::OnDocumentComplete(DialogSite& site, int id, std::string_view source) {
  // The provider's own pages pass by; only the service's JSON answer ends the
  // login. A page saved with a byte-order mark or leading white space is a
  // page, not that answer.
  if (id != kBrowser || source.empty() || source.front() != '{') return;
  m_reply = parseReply(source.substr(0, source.find('\0')));
  site.End(0);
}

int COpenID::Show(WindowRef owner) {
  return CurrentUi().ShowDialog(*this, owner);
}

}  // namespace veilmark

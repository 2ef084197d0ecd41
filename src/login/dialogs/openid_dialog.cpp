#include "login/dialogs/openid_dialog.h"

#include <utility>

#include "ui/dialog_layouts.h"
#include "ui/ui.h"

namespace veilmark {

OpenIdDialog::OpenIdDialog(std::u16string url) : url(std::move(url)) {}

const DialogTemplate& OpenIdDialog::Template() const {
  return DialogLayout(kResourceId);
}

void OpenIdDialog::OnInitDialog(DialogSite& site) {
  site.Navigate(kBrowser, url);
}

void OpenIdDialog::OnCommand(DialogSite& site, int id) {
  if (id == kIdCancel) site.End(kIdCancel);
}

void OpenIdDialog::OnDocumentComplete(DialogSite& site, int id, std::string_view source) {
  // The provider's own pages pass by; only the service's JSON answer ends the
  // login. A page saved with a byte-order mark or leading white space is a
  // page, not that answer.
  if (id != kBrowser || source.empty() || source.front() != '{') return;
  reply = ParseReply(source.substr(0, source.find('\0')));
  site.End(0);
}

int OpenIdDialog::Show(Ui& ui, WindowRef owner) {
  return ShowWith(ui, owner);
}

}  // namespace veilmark

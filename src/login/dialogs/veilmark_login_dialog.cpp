#include "login/dialogs/veilmark_login_dialog.h"

#include <utility>

#include "login/dialogs/dialog_text.h"
#include "ui/dialog_layouts.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

CVeilmarkLogin::CVeilmarkLogin(std::u16string email) : m_email(std::move(email)) {}

const DialogTemplate& CVeilmarkLogin::Template() const {
  return DialogLayout(kResourceId);
}

void CVeilmarkLogin::OnInitDialog(DialogSite& site) {
  site.SetItemText(kEmail, m_email);
}

void CVeilmarkLogin::OnCommand(DialogSite& site, int id) {
  switch (id) {
    case kIdOk:
      m_email = ReadDialogText(site, kEmail);
      m_password = ReadDialogText(site, kPassword);
      if (m_email.empty() || m_password.empty()) {
        ShowError(u"Please specify your Hotmail email and password for the login");
        return;
      }
      break;
    // The other ways out read no field: m_email stays what the flow passed in.
    case kIdCancel:
      m_cancelled = true;
      break;
    case kForgot:
      m_forgot = true;
      break;
    case kSignup:
      m_signup = true;
      break;
    default:
      return;
  }
  site.End(id);
}

int CVeilmarkLogin::Show(WindowRef owner) {
  return CurrentUi().ShowDialog(*this, owner);
}

}  // namespace veilmark

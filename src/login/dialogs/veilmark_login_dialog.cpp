#include "login/dialogs/veilmark_login_dialog.h"

#include <utility>

#include "login/dialogs/dialog_text.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

CVeilmarkLogin::CVeilmarkLogin(std::u16string email) : m_email(std::move(email)) {}

const DialogTemplate& CVeilmarkLogin::Template() const {
  static const DialogTemplate layout{
      kResourceId,
      u"Login using Veilmark Account",
      320,
      200,
      {
          {kIdOk, ControlKind::kDefaultButton, u"OK", 88, 179, 50, 14},
          {kIdCancel, ControlKind::kButton, u"Cancel", 261, 179, 50, 14},
          {kNoControlId, ControlKind::kGroupBox, u"Please login with your Veilmark account", 35, 29,
           262, 73},
          {kEmail, ControlKind::kEdit, u"", 83, 42, 207, 15},
          {kNoControlId, ControlKind::kStaticText, u"Email:", 43, 45, 24, 11},
          {kPassword, ControlKind::kPasswordEdit, u"", 83, 61, 207, 15},
          {kNoControlId, ControlKind::kStaticText, u"Password:", 43, 63, 36, 11},
          {kSignup, ControlKind::kButton, u"Signup", 208, 179, 50, 14},
          {kForgot, ControlKind::kButton, u"Forgot password?", 141, 179, 64, 14},
      }};
  return layout;
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

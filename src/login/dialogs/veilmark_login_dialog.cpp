#include "login/dialogs/veilmark_login_dialog.h"

#include <utility>

#include "login/dialogs/dialog_text.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

VeilmarkLoginDialog::VeilmarkLoginDialog(std::u16string email) : email(std::move(email)) {}

const DialogTemplate& VeilmarkLoginDialog::Template() const {
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

void VeilmarkLoginDialog::OnInitDialog(DialogSite& site) {
  site.SetItemText(kEmail, email);
}

void VeilmarkLoginDialog::OnCommand(DialogSite& site, int id) {
  switch (id) {
    case kIdOk:
      email = ReadDialogText(site, kEmail);
      password = ReadDialogText(site, kPassword);
      if (email.empty() || password.empty()) {
        ShowError(ui(), u"Please specify your Hotmail email and password for the login");
        return;
      }
      break;
    // The other ways out read no field: email stays what the flow passed in.
    case kIdCancel:
      cancelled = true;
      break;
    case kForgot:
      forgot = true;
      break;
    case kSignup:
      signup = true;
      break;
    default:
      return;
  }
  site.End(id);
}

int VeilmarkLoginDialog::Show(Ui& ui, WindowRef owner) {
  return ShowWith(ui, owner);
}

}  // namespace veilmark

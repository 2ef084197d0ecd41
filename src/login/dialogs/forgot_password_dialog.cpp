#include "login/dialogs/forgot_password_dialog.h"

#include <utility>

#include "login/dialogs/dialog_text.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

ForgotPasswordDialog::ForgotPasswordDialog(std::u16string email, std::u16string securityQuestion)
    : email(std::move(email)), securityQuestion(std::move(securityQuestion)) {}

const DialogTemplate& ForgotPasswordDialog::Template() const {
  static const DialogTemplate layout{
      kResourceId,
      u"Forgot Password",
      320,
      200,
      {
          {kIdOk, ControlKind::kDefaultButton, u"OK", 209, 179, 50, 14},
          {kIdCancel, ControlKind::kButton, u"Cancel", 263, 179, 50, 14},
          {kNoControlId, ControlKind::kPicture, u"", 7, 7, 133, 25, 209},
          {kNoControlId, ControlKind::kStaticText, u"Please enter your details", 27, 37, 265, 18},
          {kEmail, ControlKind::kEdit, u"", 89, 51, 192, 15},
          {kNoControlId, ControlKind::kStaticText, u"Email:", 27, 53, 24, 11},
          {kSecurityQuestion, ControlKind::kEdit, u"", 89, 70, 192, 15},
          {kNoControlId, ControlKind::kStaticText, u"Security Question:", 27, 72, 60, 11},
          {kSecurityAnswer, ControlKind::kEdit, u"", 89, 88, 192, 15},
          {kNoControlId, ControlKind::kStaticText, u"Security Answer:", 27, 90, 60, 11},
      }};
  return layout;
}

void ForgotPasswordDialog::OnInitDialog(DialogSite& site) {
  site.SetItemText(kEmail, email);
  site.SetItemText(kSecurityQuestion, securityQuestion);
}

void ForgotPasswordDialog::OnCommand(DialogSite& site, int id) {
  if (id == kIdOk) {
    email = ReadDialogText(site, kEmail);
    securityQuestion = ReadDialogText(site, kSecurityQuestion);
    securityAnswer = ReadDialogText(site, kSecurityAnswer);
    if (email.empty() || securityQuestion.empty() || securityAnswer.empty()) {
      ShowError(ui(), u"Please specify all fields in the form to register");
      return;
    }
    site.End(kIdOk);
  } else if (id == kIdCancel) {
    cancelled = true;
    site.End(kIdCancel);
  }
}

int ForgotPasswordDialog::Show(Ui& ui, WindowRef owner) {
  return ShowWith(ui, owner);
}

}  // namespace veilmark

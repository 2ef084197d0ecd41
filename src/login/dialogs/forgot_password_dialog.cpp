#include "login/dialogs/forgot_password_dialog.h"

#include <utility>

#include "login/dialogs/dialog_text.h"
#include "ui/dialog_layouts.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

ForgotPasswordDialog::ForgotPasswordDialog(std::u16string email, std::u16string securityQuestion)
    : email(std::move(email)), securityQuestion(std::move(securityQuestion)) {}

const DialogTemplate& ForgotPasswordDialog::Template() const {
  return DialogLayout(kResourceId);
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

#include "login/dialogs/register_dialog.h"

#include <utility>

#include "login/dialogs/dialog_text.h"
#include "ui/dialog_layouts.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {
namespace {

constexpr std::size_t kMinimumLength = 8;

}  // namespace

RegisterDialog::RegisterDialog(std::u16string email, std::u16string captchaUrl)
    : email(std::move(email)), captchaUrl(std::move(captchaUrl)) {}

const DialogTemplate& RegisterDialog::Template() const {
  return DialogLayout(kResourceId);
}

void RegisterDialog::OnInitDialog(DialogSite& site) {
  site.SetItemText(kEmail, email);
  site.Navigate(kBrowser, captchaUrl);
}

void RegisterDialog::OnCommand(DialogSite& site, int id) {
  if (id == kIdCancel) {
    cancelled = true;
    site.End(kIdCancel);
    return;
  }
  if (id != kIdOk) return;

  email = ReadDialogText(site, kEmail);
  password = ReadDialogText(site, kPassword);
  const std::u16string repeatPassword = ReadDialogText(site, kRepeatPassword);
  securityQuestion = ReadDialogText(site, kSecurityQuestion);
  securityAnswer = ReadDialogText(site, kSecurityAnswer);
  captcha = ReadDialogText(site, kCaptcha);

  // First failure wins; lengths are of the already cut texts.
  const char16_t* problem = nullptr;
  if (email.empty() || password.empty() || repeatPassword.empty() || securityQuestion.empty() ||
      securityAnswer.empty() || captcha.empty()) {
    problem = u"Please specify all fields in the form to register";
  } else if (password != repeatPassword) {
    problem = u"Please make sure that the passwords match";
  } else if (password.size() < kMinimumLength) {
    problem = u"Password must be at least 8 characters long";
  } else if (securityQuestion.size() < kMinimumLength) {
    problem = u"The security question must be at least 8 characters long";
  } else if (securityAnswer.size() < kMinimumLength) {
    problem = u"The security answer must be at least 8 characters long";
  }
  if (problem) {
    ShowError(ui(), problem);
    return;
  }
  site.End(kIdOk);
}

int RegisterDialog::Show(Ui& ui, WindowRef owner) {
  return ShowWith(ui, owner);
}

}  // namespace veilmark

#include "login/dialogs/register_dialog.h"

#include <utility>

#include "login/dialogs/dialog_text.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {
namespace {

constexpr std::size_t kMinimumLength = 8;

}  // namespace

RegisterDialog::RegisterDialog(std::u16string email, std::u16string captchaUrl)
    : email(std::move(email)), captchaUrl(std::move(captchaUrl)) {}

const DialogTemplate& RegisterDialog::Template() const {
  static const DialogTemplate layout{
      kResourceId,
      u"Dialog",
      320,
      272,
      {
          {kIdOk, ControlKind::kDefaultButton, u"Register", 209, 251, 50, 14},
          {kIdCancel, ControlKind::kButton, u"Cancel", 263, 251, 50, 14},
          {kNoControlId, ControlKind::kPicture, u"", 7, 7, 133, 25, 209},
          {kNoControlId, ControlKind::kStaticText,
           u"Registration information - all fields are mandatory", 27, 37, 265, 18},
          {kEmail, ControlKind::kEdit, u"", 89, 51, 192, 15},
          {kNoControlId, ControlKind::kStaticText, u"Email:", 27, 53, 24, 11},
          {kPassword, ControlKind::kPasswordEdit, u"", 89, 69, 192, 15},
          {kNoControlId, ControlKind::kStaticText, u"Password:", 27, 71, 36, 11},
          {kRepeatPassword, ControlKind::kPasswordEdit, u"", 89, 87, 192, 15},
          {kNoControlId, ControlKind::kStaticText, u"Repeat Password:", 27, 89, 61, 11},
          {kSecurityQuestion, ControlKind::kEdit, u"", 89, 105, 192, 15},
          {kNoControlId, ControlKind::kStaticText, u"Security Question:", 27, 107, 60, 11},
          {kSecurityAnswer, ControlKind::kEdit, u"", 89, 123, 192, 15},
          {kNoControlId, ControlKind::kStaticText, u"Security Answer:", 27, 125, 60, 11},
          {kCaptcha, ControlKind::kEdit, u"", 89, 209, 192, 15},
          {kNoControlId, ControlKind::kStaticText, u"Image above:", 27, 211, 60, 11},
          {kBrowser, ControlKind::kBrowser, u"", 27, 147, 200, 50},
      }};
  return layout;
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

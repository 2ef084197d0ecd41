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

CRegister::CRegister(std::u16string email, std::u16string captchaUrl)
    : m_email(std::move(email)), m_captchaUrl(std::move(captchaUrl)) {}

const DialogTemplate& CRegister::Template() const {
  return DialogLayout(kResourceId);
}

void CRegister::OnInitDialog(DialogSite& site) {
  site.SetItemText(kEmail, m_email);
  site.Navigate(kBrowser, m_captchaUrl);
}

void CRegister::OnCommand(DialogSite& site, int id) {
  if (id == kIdCancel) {
    m_cancelled = true;
    site.End(kIdCancel);
    return;
  }
  if (id != kIdOk) return;

  m_email = ReadDialogText(site, kEmail);
  m_password = ReadDialogText(site, kPassword);
  const std::u16string repeatPassword = ReadDialogText(site, kRepeatPassword);
  m_securityQuestion = ReadDialogText(site, kSecurityQuestion);
  m_securityAnswer = ReadDialogText(site, kSecurityAnswer);
  m_captcha = ReadDialogText(site, kCaptcha);

  // First failure wins; lengths are of the already cut texts.
  const char16_t* problem = nullptr;
  if (m_email.empty() || m_password.empty() || repeatPassword.empty() ||
      m_securityQuestion.empty() || m_securityAnswer.empty() || m_captcha.empty()) {
    problem = u"Please specify all fields in the form to register";
  } else if (m_password != repeatPassword) {
    problem = u"Please make sure that the passwords match";
  } else if (m_password.size() < kMinimumLength) {
    problem = u"Password must be at least 8 characters long";
  } else if (m_securityQuestion.size() < kMinimumLength) {
    problem = u"The security question must be at least 8 characters long";
  } else if (m_securityAnswer.size() < kMinimumLength) {
    problem = u"The security answer must be at least 8 characters long";
  }
  if (problem) {
    ShowError(problem);
    return;
  }
  site.End(kIdOk);
}

int CRegister::Show(WindowRef owner) {
  return CurrentUi().ShowDialog(*this, owner);
}

}  // namespace veilmark

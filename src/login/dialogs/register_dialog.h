// CRegister: registration with a CAPTCHA image shown in a browser control.
#pragma once

#include <string>

#include "resource_ids.h"
#include "ui/dialog.h"

namespace veilmark {

class CRegister : public DialogController {
 public:
  static constexpr int kResourceId = IDD_REGISTER;
  static constexpr int kBrowser = IDC_BROWSER, kEmail = IDC_EMAIL, kPassword = IDC_PASSWORD,
                       kRepeatPassword = IDC_REPEAT_PASSWORD,
                       kSecurityQuestion = IDC_SECURITY_QUESTION,
                       kSecurityAnswer = IDC_SECURITY_ANSWER, kCaptcha = IDC_CAPTCHA;

  CRegister(std::u16string email, std::u16string captchaUrl);
  const DialogTemplate& Template() const override;
  void OnInitDialog(DialogSite& site) override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(WindowRef owner);

  std::u16string m_email;
  std::u16string m_password;
  std::u16string m_securityQuestion;
  std::u16string m_securityAnswer;
  std::u16string m_captchaUrl;
  std::u16string m_captcha;
  bool m_cancelled = false;
};

}  // namespace veilmark

// CRegister: registration with a CAPTCHA image shown in a browser control.
#pragma once

#include <string>

#include "ui/dialog.h"

namespace veilmark {

class CRegister : public DialogController {
 public:
  static constexpr int kResourceId = 109;
  static constexpr int kBrowser = 205, kEmail = 206, kPassword = 207, kRepeatPassword = 208,
                       kSecurityQuestion = 209, kSecurityAnswer = 210, kCaptcha = 211;

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

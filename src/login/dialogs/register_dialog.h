// RegisterDialog: registration with a CAPTCHA image shown in a browser control.
#pragma once

#include <string>

#include "resource_ids.h"
#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class RegisterDialog : public DialogController {
 public:
  static constexpr int kResourceId = IDD_REGISTER;
  static constexpr int kBrowser = IDC_BROWSER, kEmail = IDC_EMAIL, kPassword = IDC_PASSWORD,
                       kRepeatPassword = IDC_REPEAT_PASSWORD,
                       kSecurityQuestion = IDC_SECURITY_QUESTION,
                       kSecurityAnswer = IDC_SECURITY_ANSWER, kCaptcha = IDC_CAPTCHA;

  RegisterDialog(std::u16string email, std::u16string captchaUrl);
  const DialogTemplate& Template() const override;
  void OnInitDialog(DialogSite& site) override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(Ui& ui, WindowRef owner);

  std::u16string email;
  std::u16string password;
  std::u16string securityQuestion;
  std::u16string securityAnswer;
  std::u16string captchaUrl;
  std::u16string captcha;
  bool cancelled = false;
};

}  // namespace veilmark

// RegisterDialog: registration with a CAPTCHA image shown in a browser control.
#pragma once

#include <string>

#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class RegisterDialog : public DialogController {
 public:
  static constexpr int kResourceId = 109;
  static constexpr int kBrowser = 205, kEmail = 206, kPassword = 207, kRepeatPassword = 208,
                       kSecurityQuestion = 209, kSecurityAnswer = 210, kCaptcha = 211;

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

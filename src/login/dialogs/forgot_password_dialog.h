// ForgotPasswordDialog: password reset by security question.
#pragma once

#include <string>

#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class ForgotPasswordDialog : public DialogController {
 public:
  static constexpr int kResourceId = 113;
  static constexpr int kEmail = 206, kSecurityQuestion = 209, kSecurityAnswer = 210;

  ForgotPasswordDialog(std::u16string email, std::u16string securityQuestion);
  const DialogTemplate& Template() const override;
  void OnInitDialog(DialogSite& site) override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(Ui& ui, WindowRef owner);

  std::u16string email;
  std::u16string securityQuestion;
  std::u16string securityAnswer;
  bool cancelled = false;
};

}  // namespace veilmark

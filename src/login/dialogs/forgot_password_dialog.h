// ForgotPasswordDialog: password reset by security question.
#pragma once

#include <string>

#include "resource_ids.h"
#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class ForgotPasswordDialog : public DialogController {
 public:
  static constexpr int kResourceId = IDD_FORGOT;
  static constexpr int kEmail = IDC_EMAIL, kSecurityQuestion = IDC_SECURITY_QUESTION,
                       kSecurityAnswer = IDC_SECURITY_ANSWER;

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

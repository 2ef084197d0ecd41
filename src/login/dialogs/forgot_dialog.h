// CForgot: password reset by security question.
#pragma once

#include <string>

#include "resource_ids.h"
#include "ui/dialog.h"

namespace veilmark {

class CForgot : public DialogController {
 public:
  static constexpr int kResourceId = IDD_FORGOT;
  static constexpr int kEmail = IDC_EMAIL, kSecurityQuestion = IDC_SECURITY_QUESTION,
                       kSecurityAnswer = IDC_SECURITY_ANSWER;

  CForgot(std::u16string email, std::u16string securityQuestion);
  const DialogTemplate& Template() const override;
  void OnInitDialog(DialogSite& site) override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(WindowRef owner);

  std::u16string m_email;
  std::u16string m_securityQuestion;
  std::u16string m_securityAnswer;
  bool m_cancelled = false;
};

}  // namespace veilmark

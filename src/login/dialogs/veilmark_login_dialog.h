// CVeilmarkLogin: service-account login, with the ways to signup and reset.
#pragma once

#include <string>

#include "resource_ids.h"
#include "ui/dialog.h"

namespace veilmark {

class CVeilmarkLogin : public DialogController {
 public:
  static constexpr int kResourceId = IDD_VEILMARK_LOGIN;
  static constexpr int kEmail = IDC_LOGIN_EMAIL, kPassword = IDC_LOGIN_PASSWORD,
                       kSignup = IDC_SIGNUP, kForgot = IDC_FORGOT;

  explicit CVeilmarkLogin(std::u16string email);
  const DialogTemplate& Template() const override;
  void OnInitDialog(DialogSite& site) override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(WindowRef owner);

  std::u16string m_email;
  std::u16string m_password;
  bool m_forgot = false;
  bool m_signup = false;
  bool m_cancelled = false;
};

}  // namespace veilmark

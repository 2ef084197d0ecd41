// VeilmarkLoginDialog: service-account login, with the ways to signup and reset.
#pragma once

#include <string>

#include "resource_ids.h"
#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class VeilmarkLoginDialog : public DialogController {
 public:
  static constexpr int kResourceId = IDD_VEILMARK_LOGIN;
  static constexpr int kEmail = IDC_LOGIN_EMAIL, kPassword = IDC_LOGIN_PASSWORD,
                       kSignup = IDC_SIGNUP, kForgot = IDC_FORGOT;

  explicit VeilmarkLoginDialog(std::u16string email);
  const DialogTemplate& Template() const override;
  void OnInitDialog(DialogSite& site) override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(Ui& ui, WindowRef owner);

  std::u16string email;
  std::u16string password;
  bool forgot = false;
  bool signup = false;
  bool cancelled = false;
};

}  // namespace veilmark

// VeilmarkLoginDialog: service-account login, with the ways to signup and reset.
#pragma once

#include <string>

#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class VeilmarkLoginDialog : public DialogController {
 public:
  static constexpr int kResourceId = 112;
  static constexpr int kEmail = 204, kPassword = 205, kSignup = 3, kForgot = 4;

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

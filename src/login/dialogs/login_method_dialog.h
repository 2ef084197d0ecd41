// LoginMethodDialog: the chooser between Gmail, Yahoo, Hotmail, AOL and "Other".
#pragma once

#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class LoginMethodDialog : public DialogController {
 public:
  static constexpr int kResourceId = 107;
  static constexpr int kGmail = 201, kYahoo = 202, kHotmail = 203, kAol = 206, kOther = 207;

  LoginMethodDialog();
  const DialogTemplate& Template() const override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(Ui& ui, WindowRef owner);  // the id that ended it, or kDialogCannotShow

  bool gmail = false;
  bool yahoo = false;
  bool hotmail = false;
  bool aol = false;
  bool cancelled = false;
};

}  // namespace veilmark

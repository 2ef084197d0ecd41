// LoginMethodDialog: the chooser between Gmail, Yahoo, Hotmail, AOL and "Other".
#pragma once

#include "resource_ids.h"
#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class LoginMethodDialog : public DialogController {
 public:
  static constexpr int kResourceId = IDD_LOGIN_FORM;
  static constexpr int kGmail = IDC_GMAIL, kYahoo = IDC_YAHOO, kHotmail = IDC_HOTMAIL,
                       kAol = IDC_AOL, kOther = IDC_OTHER;

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

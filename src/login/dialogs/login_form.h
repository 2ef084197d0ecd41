// CLoginForm: the chooser between Gmail, Yahoo, Hotmail, AOL and "Other".
#pragma once

#include "ui/dialog.h"

namespace veilmark {

class CLoginForm : public DialogController {
 public:
  static constexpr int kResourceId = 107;
  static constexpr int kGmail = 201, kYahoo = 202, kHotmail = 203, kAol = 206, kOther = 207;

  CLoginForm();
  const DialogTemplate& Template() const override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(WindowRef owner);  // the id that ended it, or kDialogCannotShow

  bool m_gmail = false;
  bool m_yahoo = false;
  bool m_hotmail = false;
  bool m_aol = false;
  bool m_cancelled = false;
};

}  // namespace veilmark

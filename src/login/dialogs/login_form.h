// CLoginForm: the chooser between Gmail, Yahoo, Hotmail, AOL and "Other".
#pragma once

#include "resource_ids.h"
#include "ui/dialog.h"

namespace veilmark {

class CLoginForm : public DialogController {
 public:
  static constexpr int kResourceId = IDD_LOGIN_FORM;
  static constexpr int kGmail = IDC_GMAIL, kYahoo = IDC_YAHOO, kHotmail = IDC_HOTMAIL,
                       kAol = IDC_AOL, kOther = IDC_OTHER;

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

// CLive: Hotmail or AOL credentials.
#pragma once

#include <string>

#include "resource_ids.h"
#include "ui/dialog.h"

namespace veilmark {

class CLive : public DialogController {
 public:
  static constexpr int kResourceId = IDD_LIVE;
  static constexpr int kEmail = IDC_LOGIN_EMAIL, kPassword = IDC_LOGIN_PASSWORD;

  CLive();
  const DialogTemplate& Template() const override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(WindowRef owner);

  bool m_cancelled = false;
  std::u16string m_email;
  std::u16string m_password;
};

}  // namespace veilmark

// CLive: Hotmail or AOL credentials.
#pragma once

#include <string>

#include "ui/dialog.h"

namespace veilmark {

class CLive : public DialogController {
 public:
  static constexpr int kResourceId = 110;
  static constexpr int kEmail = 204, kPassword = 205;

  CLive();
  const DialogTemplate& Template() const override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(WindowRef owner);

  bool m_cancelled = false;
  std::u16string m_email;
  std::u16string m_password;
};

}  // namespace veilmark

// CExtraPassword: the additional password some accounts have.
#pragma once

#include <string>

#include "ui/dialog.h"

namespace veilmark {

class CExtraPassword : public DialogController {
 public:
  static constexpr int kResourceId = 111;
  static constexpr int kPassword = 208;

  CExtraPassword();
  const DialogTemplate& Template() const override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(WindowRef owner);

  bool m_cancelled = false;
  std::u16string m_password;
};

}  // namespace veilmark

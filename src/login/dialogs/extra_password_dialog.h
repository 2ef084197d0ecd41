// CExtraPassword: the additional password some accounts have.
#pragma once

#include <string>

#include "resource_ids.h"
#include "ui/dialog.h"

namespace veilmark {

class CExtraPassword : public DialogController {
 public:
  static constexpr int kResourceId = IDD_EXTRA_PASSWORD;
  static constexpr int kPassword = IDC_EXTRA_PASSWORD;

  CExtraPassword();
  const DialogTemplate& Template() const override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(WindowRef owner);

  bool m_cancelled = false;
  std::u16string m_password;
};

}  // namespace veilmark

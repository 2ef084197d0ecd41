// ExtraPasswordDialog: the additional password some accounts have.
#pragma once

#include <string>

#include "resource_ids.h"
#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class ExtraPasswordDialog : public DialogController {
 public:
  static constexpr int kResourceId = IDD_EXTRA_PASSWORD;
  static constexpr int kPassword = IDC_EXTRA_PASSWORD;

  ExtraPasswordDialog();
  const DialogTemplate& Template() const override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(Ui& ui, WindowRef owner);

  bool cancelled = false;
  std::u16string password;
};

}  // namespace veilmark

// ExtraPasswordDialog: the additional password some accounts have.
#pragma once

#include <string>

#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class ExtraPasswordDialog : public DialogController {
 public:
  static constexpr int kResourceId = 111;
  static constexpr int kPassword = 208;

  ExtraPasswordDialog();
  const DialogTemplate& Template() const override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(Ui& ui, WindowRef owner);

  bool cancelled = false;
  std::u16string password;
};

}  // namespace veilmark

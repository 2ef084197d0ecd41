// ProviderLoginDialog: Hotmail or AOL credentials.
#pragma once

#include <string>

#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class ProviderLoginDialog : public DialogController {
 public:
  static constexpr int kResourceId = 110;
  static constexpr int kEmail = 204, kPassword = 205;

  ProviderLoginDialog();
  const DialogTemplate& Template() const override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(Ui& ui, WindowRef owner);

  bool cancelled = false;
  std::u16string email;
  std::u16string password;
};

}  // namespace veilmark

// ProviderLoginDialog: Hotmail or AOL credentials.
#pragma once

#include <string>

#include "resource_ids.h"
#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class ProviderLoginDialog : public DialogController {
 public:
  static constexpr int kResourceId = IDD_LIVE;
  static constexpr int kEmail = IDC_LOGIN_EMAIL, kPassword = IDC_LOGIN_PASSWORD;

  ProviderLoginDialog();
  const DialogTemplate& Template() const override;
  void OnCommand(DialogSite& site, int id) override;
  int Show(Ui& ui, WindowRef owner);

  bool cancelled = false;
  std::u16string email;
  std::u16string password;
};

}  // namespace veilmark

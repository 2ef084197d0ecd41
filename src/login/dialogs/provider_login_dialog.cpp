#include "login/dialogs/provider_login_dialog.h"

#include "login/dialogs/dialog_text.h"
#include "ui/dialog_layouts.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

ProviderLoginDialog::ProviderLoginDialog() = default;

const DialogTemplate& ProviderLoginDialog::Template() const {
  return DialogLayout(kResourceId);
}

void ProviderLoginDialog::OnCommand(DialogSite& site, int id) {
  if (id == kIdOk) {
    email = ReadDialogText(site, kEmail);
    password = ReadDialogText(site, kPassword);
    if (email.empty() || password.empty()) {
      // The same words whichever provider was chosen.
      ShowError(ui(), u"Please specify your Hotmail email and password for the login");
      return;
    }
    site.End(kIdOk);
  } else if (id == kIdCancel) {
    cancelled = true;
    site.End(kIdCancel);
  }
}

int ProviderLoginDialog::Show(Ui& ui, WindowRef owner) {
  return ShowWith(ui, owner);
}

}  // namespace veilmark

#include "login/dialogs/extra_password_dialog.h"

#include "login/dialogs/dialog_text.h"
#include "ui/dialog_layouts.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

ExtraPasswordDialog::ExtraPasswordDialog() = default;

const DialogTemplate& ExtraPasswordDialog::Template() const {
  return DialogLayout(kResourceId);
}

void ExtraPasswordDialog::OnCommand(DialogSite& site, int id) {
  if (id == kIdOk) {
    password = ReadDialogText(site, kPassword);
    if (password.empty()) {
      ShowError(ui(), u"Please specify the additional password for the login");
      return;
    }
    site.End(kIdOk);
  } else if (id == kIdCancel) {
    cancelled = true;
    site.End(kIdCancel);
  }
}

int ExtraPasswordDialog::Show(Ui& ui, WindowRef owner) {
  return ShowWith(ui, owner);
}

}  // namespace veilmark

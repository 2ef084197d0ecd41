#include "login/dialogs/extra_password_dialog.h"

#include "login/dialogs/dialog_text.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

ExtraPasswordDialog::ExtraPasswordDialog() = default;

const DialogTemplate& ExtraPasswordDialog::Template() const {
  static const DialogTemplate layout{
      kResourceId,
      u"Additional Password",
      280,
      141,
      {
          {kIdOk, ControlKind::kDefaultButton, u"OK", 169, 120, 50, 14},
          {kIdCancel, ControlKind::kButton, u"Cancel", 223, 120, 50, 14},
          {kPassword, ControlKind::kPasswordEdit, u"", 57, 41, 207, 15},
          {kNoControlId, ControlKind::kStaticText, u"Password:", 16, 43, 36, 11},
          {kNoControlId, ControlKind::kStaticText,
           u"Please provide the additional password you specified", 16, 18, 235, 8},
      }};
  return layout;
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

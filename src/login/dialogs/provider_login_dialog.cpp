#include "login/dialogs/provider_login_dialog.h"

#include "login/dialogs/dialog_text.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

ProviderLoginDialog::ProviderLoginDialog() = default;

const DialogTemplate& ProviderLoginDialog::Template() const {
  static const DialogTemplate layout{
      kResourceId,
      u"Provider Login",
      320,
      200,
      {
          {kIdOk, ControlKind::kDefaultButton, u"Login", 209, 179, 50, 14},
          {kIdCancel, ControlKind::kButton, u"Cancel", 263, 179, 50, 14},
          {kNoControlId, ControlKind::kGroupBox,
           u"Please provide your provider (Hotmail / AOL) credentials", 26, 20, 262, 73},
          {kEmail, ControlKind::kEdit, u"", 74, 34, 207, 15},
          {kNoControlId, ControlKind::kStaticText, u"Email:", 34, 36, 24, 11},
          {kPassword, ControlKind::kPasswordEdit, u"", 74, 52, 207, 15},
          {kNoControlId, ControlKind::kStaticText, u"Password:", 33, 54, 36, 11},
      }};
  return layout;
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

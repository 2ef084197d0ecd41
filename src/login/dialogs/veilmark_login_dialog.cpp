#include "login/dialogs/veilmark_login_dialog.h"

#include <utility>

#include "login/dialogs/dialog_text.h"
#include "ui/dialog_layouts.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

VeilmarkLoginDialog::VeilmarkLoginDialog(std::u16string email) : email(std::move(email)) {}

const DialogTemplate& VeilmarkLoginDialog::Template() const {
  return DialogLayout(kResourceId);
}

void VeilmarkLoginDialog::OnInitDialog(DialogSite& site) {
  site.SetItemText(kEmail, email);
}

void VeilmarkLoginDialog::OnCommand(DialogSite& site, int id) {
  switch (id) {
    case kIdOk:
      email = ReadDialogText(site, kEmail);
      password = ReadDialogText(site, kPassword);
      if (email.empty() || password.empty()) {
        ShowError(ui(), u"Please specify your Hotmail email and password for the login");
        return;
      }
      break;
    // The other ways out read no field: email stays what the flow passed in.
    case kIdCancel:
      cancelled = true;
      break;
    case kForgot:
      forgot = true;
      break;
    case kSignup:
      signup = true;
      break;
    default:
      return;
  }
  site.End(id);
}

int VeilmarkLoginDialog::Show(Ui& ui, WindowRef owner) {
  return ShowWith(ui, owner);
}

}  // namespace veilmark

#include "login/dialogs/login_method_dialog.h"

#include "ui/dialog_layouts.h"
#include "ui/ui.h"

namespace veilmark {

LoginMethodDialog::LoginMethodDialog() = default;

const DialogTemplate& LoginMethodDialog::Template() const {
  return DialogLayout(kResourceId);
}

void LoginMethodDialog::OnCommand(DialogSite& site, int id) {
  switch (id) {
    case kGmail:
      gmail = true;
      break;
    case kYahoo:
      yahoo = true;
      break;
    case kHotmail:
      hotmail = true;
      break;
    case kAol:
      aol = true;
      break;
    case kIdCancel:
      cancelled = true;
      break;
    case kOther:  // no flag: the flow reads "none set" as Other
      break;
    default:
      return;
  }
  site.End(id);
}

int LoginMethodDialog::Show(Ui& ui, WindowRef owner) {
  return ShowWith(ui, owner);
}

}  // namespace veilmark

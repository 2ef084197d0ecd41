#include "login/dialogs/extra_password_dialog.h"

#include "login/dialogs/dialog_text.h"
#include "ui/dialog_layouts.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

CExtraPassword::CExtraPassword() = default;

const DialogTemplate& CExtraPassword::Template() const {
  return DialogLayout(kResourceId);
}

void CExtraPassword::OnCommand(DialogSite& site, int id) {
  if (id == kIdOk) {
    m_password = ReadDialogText(site, kPassword);
    if (m_password.empty()) {
      ShowError(u"Please specify the additional password for the login");
      return;
    }
    site.End(kIdOk);
  } else if (id == kIdCancel) {
    m_cancelled = true;
    site.End(kIdCancel);
  }
}

int CExtraPassword::Show(WindowRef owner) {
  return CurrentUi().ShowDialog(*this, owner);
}

}  // namespace veilmark

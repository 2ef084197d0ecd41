#include "login/dialogs/extra_password_dialog.h"

#include "login/dialogs/dialog_text.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

CExtraPassword::CExtraPassword() = default;

const DialogTemplate& CExtraPassword::Template() const {
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

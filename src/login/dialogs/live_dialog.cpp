#include "login/dialogs/live_dialog.h"

#include "login/dialogs/dialog_text.h"
#include "ui/dialog_layouts.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

CLive::CLive() = default;

const DialogTemplate& CLive::Template() const {
  return DialogLayout(kResourceId);
}

void CLive::OnCommand(DialogSite& site, int id) {
  if (id == kIdOk) {
    m_email = ReadDialogText(site, kEmail);
    m_password = ReadDialogText(site, kPassword);
    if (m_email.empty() || m_password.empty()) {
      // The same words whichever provider was chosen.
      ShowError(u"Please specify your Hotmail email and password for the login");
      return;
    }
    site.End(kIdOk);
  } else if (id == kIdCancel) {
    m_cancelled = true;
    site.End(kIdCancel);
  }
}

int CLive::Show(WindowRef owner) {
  return CurrentUi().ShowDialog(*this, owner);
}

}  // namespace veilmark

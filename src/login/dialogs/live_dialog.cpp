#include "login/dialogs/live_dialog.h"

#include "login/dialogs/dialog_text.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

CLive::CLive() = default;

const DialogTemplate& CLive::Template() const {
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

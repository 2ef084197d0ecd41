#include "login/dialogs/forgot_dialog.h"

#include <utility>

#include "login/dialogs/dialog_text.h"
#include "ui/dialog_layouts.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark {

CForgot::CForgot(std::u16string email, std::u16string securityQuestion)
    : m_email(std::move(email)), m_securityQuestion(std::move(securityQuestion)) {}

const DialogTemplate& CForgot::Template() const {
  return DialogLayout(kResourceId);
}

void CForgot::OnInitDialog(DialogSite& site) {
  site.SetItemText(kEmail, m_email);
  site.SetItemText(kSecurityQuestion, m_securityQuestion);
}

void CForgot::OnCommand(DialogSite& site, int id) {
  if (id == kIdOk) {
    m_email = ReadDialogText(site, kEmail);
    m_securityQuestion = ReadDialogText(site, kSecurityQuestion);
    m_securityAnswer = ReadDialogText(site, kSecurityAnswer);
    if (m_email.empty() || m_securityQuestion.empty() || m_securityAnswer.empty()) {
      ShowError(u"Please specify all fields in the form to register");
      return;
    }
    site.End(kIdOk);
  } else if (id == kIdCancel) {
    m_cancelled = true;
    site.End(kIdCancel);
  }
}

int CForgot::Show(WindowRef owner) {
  return CurrentUi().ShowDialog(*this, owner);
}

}  // namespace veilmark

#include "login/dialogs/login_form.h"

#include "ui/dialog_layouts.h"
#include "ui/ui.h"

namespace veilmark {

CLoginForm::CLoginForm() = default;

const DialogTemplate& CLoginForm::Template() const {
  return DialogLayout(kResourceId);
}

void CLoginForm::OnCommand(DialogSite& site, int id) {
  switch (id) {
    case kGmail:
      m_gmail = true;
      break;
    case kYahoo:
      m_yahoo = true;
      break;
    case kHotmail:
      m_hotmail = true;
      break;
    case kAol:
      m_aol = true;
      break;
    case kIdCancel:
      m_cancelled = true;
      break;
    case kOther:  // no flag: the flow reads "none set" as Other
      break;
    default:
      return;
  }
  site.End(id);
}

int CLoginForm::Show(WindowRef owner) {
  return CurrentUi().ShowDialog(*this, owner);
}

}  // namespace veilmark

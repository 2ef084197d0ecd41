#include "login/dialogs/login_form.h"

#include "ui/ui.h"

namespace veilmark {

CLoginForm::CLoginForm() = default;

const DialogTemplate& CLoginForm::Template() const {
  static const DialogTemplate layout{
      kResourceId,
      u"Login Or Sign Up",
      355,
      143,
      {
          {kIdCancel, ControlKind::kButton, u"Cancel", 298, 122, 50, 14},
          {209, ControlKind::kBoldStaticText, u"Choose which email account to use with Veilmark",
           61, 38, 198, 12},
          {kGmail, ControlKind::kImageButton, u"Use with Gmail", 17, 71, 60, 16, 215},
          {kYahoo, ControlKind::kImageButton, u"Use with Yahoo", 82, 71, 60, 16, 217},
          {kNoControlId, ControlKind::kPicture, u"", 7, 7, 133, 25, 209},
          {kHotmail, ControlKind::kImageButton, u"Use with Hotmail", 147, 71, 60, 16, 216},
          {kAol, ControlKind::kImageButton, u"Use with AOL", 212, 71, 60, 16, 218},
          {kOther, ControlKind::kImageButton, u"Other", 277, 71, 60, 16, 224},
      }};
  return layout;
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

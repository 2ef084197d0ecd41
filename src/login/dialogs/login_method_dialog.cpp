#include "login/dialogs/login_method_dialog.h"

#include "ui/ui.h"

namespace veilmark {

LoginMethodDialog::LoginMethodDialog() = default;

const DialogTemplate& LoginMethodDialog::Template() const {
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

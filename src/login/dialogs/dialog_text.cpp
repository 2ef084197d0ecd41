#include "login/dialogs/dialog_text.h"

namespace veilmark {

std::u16string ReadDialogText(DialogSite& site, int id) {
  std::u16string text = site.ItemText(id);
  if (text.size() > kDialogTextLimit) text.resize(kDialogTextLimit);
  return text;
}

}  // namespace veilmark

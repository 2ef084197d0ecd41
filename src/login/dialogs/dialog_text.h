// Reading an edit control the way the dialogs always have: through a
// 50-character buffer, so at most 49 characters survive.
#pragma once

#include <string>

#include "ui/dialog.h"

namespace veilmark {

inline constexpr std::size_t kDialogTextLimit = 49;

std::u16string ReadDialogText(DialogSite& site, int id);

}  // namespace veilmark

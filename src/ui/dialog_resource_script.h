// Dialog layouts as resource script: the DIALOGEX templates the Windows
// build compiles into the module, made from ui/dialog_layouts.cpp by a small
// program the build runs (dialog_resource_script_main.cpp).
#pragma once

#include <string>

#include "ui/dialog.h"

namespace veilmark {

// The DIALOGEX statement of `layout`. Throws std::invalid_argument for text
// a resource script cannot hold as written here: anything but printable
// ASCII.
std::string DialogResourceScript(const DialogTemplate& layout);

}  // namespace veilmark

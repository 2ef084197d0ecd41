// The layouts of the add-in's dialogs, spelled here and nowhere else: the
// controllers show them, the terminal UI prints them, and the Windows build
// makes its DIALOGEX templates from them (ui/dialog_resource_script.h).
#pragma once

#include <vector>

#include "ui/dialog.h"

namespace veilmark {

// Every layout, in resource id order.
const std::vector<DialogTemplate>& DialogLayouts();

// The layout of dialog resource `resourceId` (an IDD_ of resource_ids.h);
// throws std::out_of_range for any other id.
const DialogTemplate& DialogLayout(int resourceId);

}  // namespace veilmark

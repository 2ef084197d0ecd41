// Shows a decrypted view in a new task pane at the bottom of a window.
#pragma once

#include <memory>
#include <string>

#include "outlook/object_model.h"

namespace veilmark {

// Creates the pane into `paneSlot` (emptied first), writes `view` into its
// browser in one piece, docks it at the bottom and shows it. A pane whose
// browser has no document opens empty.
HRESULT ShowInTaskPane(const std::u16string& view, const std::shared_ptr<outlook::Object>& window,
                       outlook::TaskPaneFactory& factory,
                       std::shared_ptr<outlook::TaskPane>& paneSlot);

}  // namespace veilmark

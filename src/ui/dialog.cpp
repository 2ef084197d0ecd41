#include "ui/dialog.h"

#include "ui/ui.h"

namespace veilmark {

int DialogController::ShowWith(Ui& ui, WindowRef owner) {
  ui_ = &ui;
  return ui.ShowDialog(*this, owner);
}

}  // namespace veilmark

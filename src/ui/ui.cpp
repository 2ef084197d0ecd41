#include "ui/ui.h"

namespace veilmark {
namespace {

Ui*& InstalledUi() {
  static Ui* ui = nullptr;
  return ui;
}

}  // namespace

Ui& CurrentUi() {
  Ui* ui = InstalledUi();
  return ui ? *ui : PlatformUi();
}

UiOverride::UiOverride(Ui& ui) : previous_(InstalledUi()) {
  InstalledUi() = &ui;
}
UiOverride::~UiOverride() {
  InstalledUi() = previous_;
}

}  // namespace veilmark

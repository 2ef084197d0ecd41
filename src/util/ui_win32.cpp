// Message boxes on Windows. The login dialogs are not built as Win32 dialogs
// yet: until they are, a dialog reports that it cannot be shown and the
// login flow says so to the user.
#include <windows.h>

#include "util/ui.h"
#include "util/wchar_win32.h"

namespace veilmark {
namespace {

class Win32Ui final : public Ui {
 public:
  void ShowMessage(const std::u16string& caption, const std::u16string& text) override {
    // Owned by the foreground window, so the box stays in front of Outlook.
    MessageBoxW(GetForegroundWindow(), AsWin(text), AsWin(caption), 0);
  }
  WindowRef ForegroundWindow() override {
    return reinterpret_cast<WindowRef>(GetForegroundWindow());
  }
  int ShowDialog(DialogController&, WindowRef) override { return kDialogCannotShow; }
};

}  // namespace

Ui& PlatformUi() {
  static Win32Ui ui;
  return ui;
}

}  // namespace veilmark

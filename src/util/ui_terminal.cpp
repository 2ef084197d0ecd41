// Message boxes on a terminal: the box on stderr, Enter for OK. Without a
// terminal on stdin nobody can press OK, so the box never waits.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "util/text.h"
#include "util/ui.h"

namespace veilmark {
namespace {

class TerminalUi final : public Ui {
 public:
  void MessageBox(const std::u16string& caption, const std::u16string& text) override {
    std::cerr << "\n[" << WideToUtf8(caption) << "]\n" << WideToUtf8(text) << "\n";
    if (isatty(STDIN_FILENO) != 1) {
      std::cerr << "[OK]\n";
      return;
    }
    std::cerr << "[OK: press Enter] " << std::flush;
    std::string line;
    std::getline(std::cin, line);
  }

  WindowRef ForegroundWindow() override { return 0; }
  int ShowDialog(DialogController&, WindowRef) override { return kDialogCannotShow; }
};

}  // namespace

Ui& PlatformUi() {
  static TerminalUi ui;
  return ui;
}

}  // namespace veilmark

// Message boxes and dialogs on a terminal, or answered unattended from a
// script (the format is in README.md, "Answering dialogs from a script").
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "ui/browser.h"
#include "ui/ui.h"

namespace veilmark {

using BrowserFactory = std::function<std::unique_ptr<Browser>()>;

enum class AnswerSource {
  kPerson,  // prompts and waits for typed answers
  kScript,  // reads script lines; boxes are acknowledged at once
};

// The script lines, read only as far as the dialogs shown so far need.
class AnswerScript {
 public:
  // Lines skipped because no dialog used them are reported on `notes`.
  AnswerScript(std::istream& input, std::ostream& notes) : input_(input), notes_(notes) {}
  // Steps into the next block if it is for this dialog (by resource id or
  // caption). Otherwise leaves it for a later dialog and says why in `problem`.
  bool Enter(int resourceId, const std::string& caption, std::string& problem);
  // The next answer line of the entered block; none at its end.
  std::optional<std::string> NextAnswer();
  // Skips what the dialog did not use of its block.
  void Leave();

 private:
  std::optional<std::string> NextLine();  // without blank lines and comments
  void PutBack(std::string line) { pending_ = std::move(line); }

  std::istream& input_;
  std::ostream& notes_;
  std::optional<std::string> pending_;
};

class TerminalUi final : public Ui {
 public:
  TerminalUi(std::istream& input, std::ostream& output, AnswerSource source,
             BrowserFactory makeBrowser);
  // A script file named by VEILMARK_UI_SCRIPT; otherwise stdin, as a script
  // unless it is a terminal. Output goes to stderr.
  static std::unique_ptr<TerminalUi> FromEnvironment(BrowserFactory makeBrowser);

  void ShowMessage(const std::u16string& caption, const std::u16string& text) override;
  WindowRef ForegroundWindow() override { return 0; }
  int ShowDialog(DialogController& dialog, WindowRef owner) override;

 private:
  TerminalUi(std::unique_ptr<std::istream> script, std::ostream& output,
             BrowserFactory makeBrowser);

  std::unique_ptr<std::istream> ownedInput_;
  std::istream& input_;
  std::ostream& output_;
  AnswerSource source_;
  BrowserFactory makeBrowser_;
  AnswerScript script_;
};

}  // namespace veilmark

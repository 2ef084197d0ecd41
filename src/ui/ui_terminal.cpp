// Message boxes and dialogs on a terminal. Without a person at the terminal
// nobody can press OK or type, so answers then come from a script and the
// boxes never wait.
#include "ui/ui_terminal.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>

#include "base/text.h"
#include "ui/dialog_terminal.h"
#include "ui/wait.h"

namespace veilmark {
namespace {

constexpr char kScriptVariable[] = "VEILMARK_UI_SCRIPT";

std::string_view Keyword(std::string_view line) {
  return line.substr(0, line.find(' '));
}

bool IsBlockStart(std::string_view line) {
  return Keyword(line) == "dialog";
}

std::string_view Trimmed(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

}  // namespace

std::optional<std::string> AnswerScript::NextLine() {
  if (pending_) {
    std::optional<std::string> line = std::move(pending_);
    pending_.reset();
    return line;
  }
  std::string line;
  while (std::getline(input_, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    return line.substr(start);  // the rest stays as written: field texts may hold spaces
  }
  return std::nullopt;
}

bool AnswerScript::Enter(int resourceId, const std::string& caption, std::string& problem) {
  std::optional<std::string> line = NextLine();
  while (line && !IsBlockStart(*line)) {
    notes_ << "(script line outside any dialog block skipped: " << *line << ")\n";
    line = NextLine();
  }
  if (!line) {
    problem = "no script answers left";
    return false;
  }
  const std::string_view target = Trimmed(std::string_view(*line).substr(6));
  if (target == std::to_string(resourceId) || target == caption) return true;
  problem = "the script's next answers are for dialog " + std::string(target);
  PutBack(std::move(*line));
  return false;
}

std::optional<std::string> AnswerScript::NextAnswer() {
  std::optional<std::string> line = NextLine();
  if (line && IsBlockStart(*line)) {
    PutBack(std::move(*line));
    return std::nullopt;
  }
  return line;
}

void AnswerScript::Leave() {
  while (std::optional<std::string> line = NextAnswer()) {
    notes_ << "(unused after the dialog closed: " << *line << ")\n";
  }
}

TerminalUi::TerminalUi(std::istream& input, std::ostream& output, AnswerSource source,
                       BrowserFactory makeBrowser)
    : input_(input),
      output_(output),
      source_(source),
      makeBrowser_(std::move(makeBrowser)),
      script_(input, output) {}

TerminalUi::TerminalUi(std::unique_ptr<std::istream> script, std::ostream& output,
                       BrowserFactory makeBrowser)
    : TerminalUi(*script, output, AnswerSource::kScript, std::move(makeBrowser)) {
  ownedInput_ = std::move(script);
}

std::unique_ptr<TerminalUi> TerminalUi::FromEnvironment(BrowserFactory makeBrowser) {
  const char* path = std::getenv(kScriptVariable);
  if (path && *path) {
    auto file = std::make_unique<std::ifstream>(path);
    if (!*file) {
      // Unattended all the same: every dialog ends as closed.
      std::cerr << "(cannot read " << kScriptVariable << " file " << path
                << "; dialogs will be closed unanswered)\n";
      return std::unique_ptr<TerminalUi>(new TerminalUi(std::make_unique<std::istringstream>(),
                                                        std::cerr, std::move(makeBrowser)));
    }
    return std::unique_ptr<TerminalUi>(
        new TerminalUi(std::move(file), std::cerr, std::move(makeBrowser)));
  }
  const AnswerSource source =
      isatty(STDIN_FILENO) == 1 ? AnswerSource::kPerson : AnswerSource::kScript;
  return std::make_unique<TerminalUi>(std::cin, std::cerr, source, std::move(makeBrowser));
}

void TerminalUi::ShowMessage(const std::u16string& caption, const std::u16string& text) {
  output_ << "\n[" << WideToUtf8(caption) << "]\n" << WideToUtf8(text) << "\n";
  if (source_ == AnswerSource::kScript) {
    output_ << "[OK]\n";
    return;
  }
  output_ << "[OK: press Enter] " << std::flush;
  std::string line;
  std::getline(input_, line);
}

int TerminalUi::ShowDialog(DialogController& dialog, WindowRef) {
  TerminalDialogIo io{input_, output_, source_ == AnswerSource::kScript ? &script_ : nullptr,
                      makeBrowser_};
  return RunTerminalDialog(dialog, io);
}

std::unique_ptr<Ui> MakePlatformUi(const std::string& extraCaFile, std::shared_ptr<Waiter> waiter) {
  return TerminalUi::FromEnvironment([extraCaFile, waiter]() -> std::unique_ptr<Browser> {
    std::unique_ptr<Browser> browser = MakePlatformBrowser(extraCaFile);
    return waiter ? MakeWaitingBrowser(std::move(browser), waiter) : std::move(browser);
  });
}

}  // namespace veilmark

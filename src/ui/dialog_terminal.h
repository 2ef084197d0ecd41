// One modal dialog run on a terminal: the controller's texts and controls are
// printed, answers come from a person or from the script, browser controls
// load through the fetching browser.
#pragma once

#include <iosfwd>

#include "ui/dialog.h"
#include "ui/ui_terminal.h"

namespace veilmark {

struct TerminalDialogIo {
  std::istream& input;
  std::ostream& output;
  AnswerScript* script;  // null: a person answers through `input`
  const BrowserFactory& makeBrowser;
};

// The id the dialog ended with; a dialog nobody answers ends as closed.
int RunTerminalDialog(DialogController& dialog, TerminalDialogIo& io);

}  // namespace veilmark

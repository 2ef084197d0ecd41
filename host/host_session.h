// One run of veilmark-host: Outlook in memory filled from the command's
// files, the add-in core driven through its entry points, and the command's
// window events in between.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "addin/connect_core.h"
#include "host/command_line.h"
#include "outlook/memory/memory_outlook.h"

namespace veilmark::hostapp {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // an input file or the environment
inline constexpr int kExitUsage = 2;

inline constexpr char kDefaultPaneFile[] = "veilmark-pane.html";

// Where shown panes go: each pane made visible has its document's HTML
// written to one file, whose path is announced as "pane: PATH".
class PaneOutput {
 public:
  PaneOutput(std::string path, std::ostream* announce)
      : path_(std::move(path)), announce_(announce) {}
  // False, with the reason on `error`, when the file cannot be written.
  bool Show(const std::u16string& html);
  const std::string& path() const { return path_; }
  const std::vector<std::u16string>& shown() const { return shown_; }
  const std::string& error() const { return error_; }

 private:
  std::string path_;
  std::ostream* announce_;
  std::vector<std::u16string> shown_;
  std::string error_;
};

// Outlook as veilmark-host presents it: a main window, the current user with
// `userAddress` (empty for none), panes shown to `panes`, and every call in
// `trace`.
outlook::MemoryOutlook HostOutlook(std::shared_ptr<outlook::Trace> trace,
                                   std::shared_ptr<PaneOutput> panes,
                                   const std::string& userAddress);

// The pane file's absolute path: `requested`, or kDefaultPaneFile in the
// current directory.
std::string PaneOutPath(const std::string& requested);

// Runs the command; what the add-in shows goes to the terminal UI. Trace
// lines and the pane's path go to `out`, errors to `err`. The exit status.
int RunCommand(const CommandLine& line, Platform platform, std::ostream& out, std::ostream& err);

}  // namespace veilmark::hostapp

// One run of veilmark-host: the host's objects, the add-in core driven
// through its entry points, and the command's window events in between.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "addin/connect_core.h"
#include "host/command_line.h"
#include "host/store_objects.h"

namespace veilmark::hostapp {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // an input file or the environment
inline constexpr int kExitUsage = 2;

inline constexpr char kDefaultPaneFile[] = "veilmark-pane.html";

// The application with its main window, the profile's session and the
// task-pane factory, and the windows opened so far.
class HostSession {
 public:
  // `userAddress`: the current user's SMTP address, empty for none.
  HostSession(std::shared_ptr<Trace> trace, std::shared_ptr<PaneOutput> panes,
              const std::string& userAddress);

  std::shared_ptr<StoreMailItem> NewItem(MailItemContent content);
  // Opens the item in its own window: NewInspector fires.
  std::shared_ptr<StoreInspector> Open(const std::shared_ptr<StoreMailItem>& item);
  // Windows whose item was closed meanwhile close now.
  void CloseRequestedWindows();

  const std::shared_ptr<Trace>& trace() const { return trace_; }
  const std::shared_ptr<StoreApplication>& application() const { return application_; }
  const std::shared_ptr<StorePaneFactory>& paneFactory() const { return paneFactory_; }
  const std::vector<std::shared_ptr<StoreInspector>>& inspectors() const { return inspectors_; }

 private:
  std::shared_ptr<Trace> trace_;
  std::shared_ptr<StoreApplication> application_;
  std::shared_ptr<StoreNameSpace> session_;
  std::shared_ptr<StorePaneFactory> paneFactory_;
  std::vector<std::shared_ptr<StoreInspector>> inspectors_;
};

// The pane file's absolute path: `requested`, or kDefaultPaneFile in the
// current directory.
std::string PaneOutPath(const std::string& requested);

// Runs the command; what the add-in shows goes to the terminal UI. Trace
// lines and the pane's path go to `out`, errors to `err`. The exit status.
int RunCommand(const CommandLine& line, Platform platform, std::ostream& out, std::ostream& err);

}  // namespace veilmark::hostapp

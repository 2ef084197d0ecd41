// The user's actions as veilmark-host receives them: lines of an events
// file, read between the add-in's calls and while it waits on the service,
// as Outlook delivers window events during a wait.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace veilmark::hostapp {

// What each event does; set by the host once the add-in runs.
struct EventHandlers {
  std::function<void(const std::vector<std::string>& files)> select;
  std::function<void()> close;
  std::function<void()> cancel;
  std::function<void()> shutdown;
};

class HostEvents {
 public:
  // Opens `path` (waiting for a FIFO's writer); false, with the reason on
  // `err`, when it cannot.
  bool Open(const std::string& path, std::ostream& err);
  ~HostEvents();

  void SetHandlers(EventHandlers handlers) { handlers_ = std::move(handlers); }
  // One turn of the loop: handles every complete line that has arrived,
  // without waiting. Nested turns (an event that waits) go on with the
  // lines after it.
  void Pump();
  // Handles events as they come until the file ends or Outlook shuts down.
  void RunUntilEnd();
  bool shutDown() const { return shutDown_; }

 private:
  // Reads what is there (waiting up to `timeoutMs`, -1 for ever); false at
  // the end of the file.
  bool Read(int timeoutMs);
  void Dispatch(const std::string& line);

  int fd_ = -1;
  bool ended_ = false;
  bool shutDown_ = false;
  std::string pending_;
  std::ostream* err_ = nullptr;
  EventHandlers handlers_;
};

}  // namespace veilmark::hostapp

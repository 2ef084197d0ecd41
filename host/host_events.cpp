#include "host/host_events.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <sstream>

namespace veilmark::hostapp {

bool HostEvents::Open(const std::string& path, std::ostream& err) {
  err_ = &err;
  // A blocking open: a FIFO is read only once its writer is there, so an
  // early end of file cannot be mistaken for the end of the events.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    err << "veilmark-host: cannot open the events file " << path << ": " << std::strerror(errno)
        << std::endl;
    return false;
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
  return true;
}

HostEvents::~HostEvents() {
  if (fd_ >= 0) ::close(fd_);
}

bool HostEvents::Read(int timeoutMs) {
  if (fd_ < 0 || ended_) return false;
  pollfd watch{fd_, POLLIN, 0};
  if (::poll(&watch, 1, timeoutMs) <= 0) return true;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got > 0) {
      pending_.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got == 0) {
      ended_ = true;
      // A last line without its newline still counts.
      if (!pending_.empty() && pending_.back() != '\n') pending_ += '\n';
      return false;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) ended_ = true;
    return !ended_;
  }
}

void HostEvents::Pump() {
  if (shutDown_) return;
  Read(0);
  // Each line leaves the queue before it runs: an event that waits pumps
  // the ones after it itself.
  for (std::size_t end; !shutDown_ && (end = pending_.find('\n')) != std::string::npos;) {
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    Dispatch(line);
  }
}

void HostEvents::RunUntilEnd() {
  while (fd_ >= 0 && !shutDown_) {
    Pump();
    if (ended_ || shutDown_) break;
    Read(-1);
  }
  Pump();
}

void HostEvents::Dispatch(const std::string& line) {
  std::istringstream words(line);
  std::string name;
  if (!(words >> name) || name[0] == '#') return;
  std::vector<std::string> arguments;
  for (std::string word; words >> word;) arguments.push_back(word);
  const bool bare = arguments.empty();
  if (name == "select" && !bare) {
    if (handlers_.select) handlers_.select(arguments);
  } else if (name == "close" && bare) {
    if (handlers_.close) handlers_.close();
  } else if (name == "cancel" && bare) {
    if (handlers_.cancel) handlers_.cancel();
  } else if (name == "shutdown" && bare) {
    shutDown_ = true;
    if (handlers_.shutdown) handlers_.shutdown();
  } else if (err_) {
    *err_ << "veilmark-host: unknown event: " << line << std::endl;
  }
}

}  // namespace veilmark::hostapp

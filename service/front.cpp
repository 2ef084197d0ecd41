#include "front.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace veilmark::service {
namespace {

constexpr unsigned char kTlsHandshake = 0x16;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

int ConnectLoopback(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

void SetSendTimeout(int fd, int seconds) {
  timeval timeout{seconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

// Writes all of it, or gives up when the peer stops reading (send timeout).
bool SendAll(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t sent = ::send(fd, data, length, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace

PortFront::~PortFront() {
  Stop();
}

std::uint16_t PortFront::Start(const Options& options) {
  options_ = options;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
  wakeRead_ = pipeFds[0];
  wakeWrite_ = pipeFds[1];

  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener_ < 0) throw std::runtime_error("socket failed");
  const int on = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(options.port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 64) != 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(options.port));
  }
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return ntohs(address.sin_port);
}

void PortFront::Stop() {
  if (stopping_.exchange(true)) return;
  if (wakeWrite_ >= 0) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &byte, 1);
  }
  if (acceptThread_.joinable()) acceptThread_.join();
  std::list<Connection> remaining;
  {
    std::lock_guard lock(mutex_);
    remaining.swap(connections_);
  }
  // Every relay polls the wake pipe too, so all of them end now.
  for (auto& connection : remaining) {
    if (connection.thread.joinable()) connection.thread.join();
  }
  for (int* fd : {&listener_, &wakeRead_, &wakeWrite_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

void PortFront::ReapFinished() {
  std::list<Connection> finished;
  {
    std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), connections_, it);
      it = next;
    }
  }
  for (auto& connection : finished) connection.thread.join();
}

void PortFront::AcceptLoop() {
  while (!stopping_) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    // Wakes now and then to join relays that have ended.
    const int ready = ::poll(fds, 2, 1000);
    ReapFinished();
    if (ready <= 0 || (fds[1].revents & POLLIN)) continue;
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    const int client =
        ::accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::lock_guard lock(mutex_);
    int fromPeer = 0;
    for (const auto& open : connections_) {
      if (!open.done && open.address == peer.sin_addr.s_addr) ++fromPeer;
    }
    if (static_cast<int>(connections_.size()) >= options_.maxConnections ||
        fromPeer >= options_.maxPerClient) {
      ::close(client);  // over the limit: refused rather than queued for ever
      continue;
    }
    Connection& connection = connections_.emplace_back();
    connection.client = client;
    connection.address = peer.sin_addr.s_addr;
    connection.thread = std::thread([this, &connection] { Relay(&connection); });
  }
}

void PortFront::Relay(Connection* connection) {
  FileDescriptor client(connection->client);
  struct MarkDone {
    std::atomic<bool>& done;
    ~MarkDone() { done = true; }
  } markDone{connection->done};

  using Clock = std::chrono::steady_clock;
  const int idleMillis = options_.idleSeconds * 1000;
  const auto requestTime = std::chrono::seconds(options_.requestSeconds);
  pollfd first[2] = {{client.get(), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
  if (::poll(first, 2, std::min(idleMillis, options_.requestSeconds * 1000)) <= 0 ||
      !(first[0].revents & (POLLIN | POLLHUP))) {
    return;
  }
  unsigned char byte = 0;
  if (::recv(client.get(), &byte, 1, MSG_PEEK) != 1) return;

  FileDescriptor server(
      ConnectLoopback(byte == kTlsHandshake ? options_.tlsTarget : options_.plainTarget));
  if (server.get() < 0) return;
  SetSendTimeout(client.get(), options_.idleSeconds);
  SetSendTimeout(server.get(), options_.idleSeconds);

  char buffer[16384];
  bool open[2] = {true, true};  // client to server, server to client
  // Set while the client has sent bytes the server has not answered yet.
  bool awaiting = false;
  Clock::time_point answerBy{};
  while (open[0] || open[1]) {
    pollfd fds[3] = {{open[0] ? client.get() : -1, POLLIN, 0},
                     {open[1] ? server.get() : -1, POLLIN, 0},
                     {wakeRead_, POLLIN, 0}};
    int timeout = idleMillis;
    if (awaiting) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(answerBy - Clock::now()).count();
      if (left <= 0) return;
      timeout = static_cast<int>(std::min<long long>(left, idleMillis));
    }
    if (::poll(fds, 3, timeout) <= 0 || (fds[2].revents & POLLIN)) return;
    for (int side = 0; side < 2; ++side) {
      if (!open[side] || !(fds[side].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const int from = side == 0 ? client.get() : server.get();
      const int to = side == 0 ? server.get() : client.get();
      const ssize_t count = ::recv(from, buffer, sizeof buffer, 0);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) return;
      if (count == 0) {  // passed on as a half-close; the other way may still talk
        open[side] = false;
        ::shutdown(to, SHUT_WR);
        continue;
      }
      if (!SendAll(to, buffer, static_cast<std::size_t>(count))) return;
      if (side == 1) {
        awaiting = false;
      } else if (!awaiting) {
        awaiting = true;
        answerBy = Clock::now() + requestTime;
      }
    }
  }
}

}  // namespace veilmark::service

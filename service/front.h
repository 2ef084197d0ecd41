// One public port for two protocols: each accepted connection is looked at
// (its first byte) and relayed to the internal HTTPS server when it opens
// with a TLS handshake, and to the internal plain HTTP server otherwise.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <thread>

namespace veilmark::service {

class PortFront {
 public:
  struct Options {
    std::uint16_t port = 0;  // 0: a free port
    std::uint16_t tlsTarget = 0;
    std::uint16_t plainTarget = 0;
    int idleSeconds = 30;  // silence after which a connection is dropped
    int maxConnections = 64;
  };

  PortFront() = default;
  ~PortFront();
  PortFront(const PortFront&) = delete;
  PortFront& operator=(const PortFront&) = delete;

  // Binds 127.0.0.1 and starts accepting; returns the bound port. Throws.
  std::uint16_t Start(const Options& options);
  // Stops accepting, closes every relayed connection and joins all threads.
  void Stop();

 private:
  struct Connection {
    int client = -1;
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void AcceptLoop();
  void Relay(Connection* connection);
  void ReapFinished();

  Options options_;
  int listener_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread acceptThread_;
  std::mutex mutex_;
  std::list<Connection> connections_;
};

}  // namespace veilmark::service

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
    // Time a client has, from the first byte of a request (or of the TLS
    // handshake), until the server answers: a client that trickles its
    // request in holds a slot this long at most.
    int requestSeconds = 20;
    int maxConnections = 64;
    int maxPerClient = 32;  // by client address, so one client cannot take every slot
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
    std::uint32_t address = 0;  // the client's IPv4 address
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

// An HTTPS server on loopback for client tests. It records every request
// byte for byte and answers through a handler that may write raw bytes,
// stall or hang up, so both good and broken services can be played.
#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/test_certificates.h"

namespace veilmark::testing {

struct RecordedRequest {
  std::string method;
  std::string target;
  std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
  std::string body;

  // First header of that name (case-insensitive), or empty.
  std::string header(const std::string& name) const;
};

class ServerConnection {
 public:
  explicit ServerConnection(SSL* ssl) : ssl_(ssl) {}
  bool Write(const std::string& bytes);
  // A complete "HTTP/1.1 <status>" reply with Content-Length.
  bool Reply(int status, const std::string& body,
             const std::string& contentType = "application/json");
  // Sends nothing more until the client hangs up or `seconds` pass: a
  // stalled service that does not keep the test waiting once the client gave up.
  void StallUntilClientLeaves(int seconds);
  // Sends `bytes` a few at a time, `perSecond` a second: a service that
  // never quite stalls. False when the client hung up before the end.
  bool Trickle(const std::string& bytes, int perSecond);

 private:
  SSL* ssl_;
};

class TlsTestServer {
 public:
  using Handler = std::function<void(const RecordedRequest&, ServerConnection&)>;

  // Listens on 127.0.0.1 at a free port with the given certificate.
  TlsTestServer(const TestCertificates& certs, Handler handler);
  ~TlsTestServer();
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  std::uint16_t port() const { return port_; }
  std::vector<RecordedRequest> requests() const;

 private:
  void Serve();
  void HandleConnection(int fd);

  Handler handler_;
  SSL_CTX* context_ = nullptr;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
  std::thread thread_;
};

}  // namespace veilmark::testing

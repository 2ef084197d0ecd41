// The service on the network: an HTTPS server for the API, the OpenID pages
// and the attachment copies, a plain HTTP server for the CAPTCHA and the
// icon, both on loopback behind the one public port of a PortFront.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "api.h"
#include "certificates.h"
#include "front.h"

namespace httplib {
class Server;
}

namespace veilmark::service {

struct ServerOptions {
  std::uint16_t port = 0;
  int idleSeconds = 30;
  int requestSeconds = 20;
  // A message with a 25 MiB attachment, armored and form-encoded, is about
  // 40 MiB on the wire.
  std::size_t maxBodyBytes = 96u << 20;
  // Commands (by their path name, "upload-attachments" included) answered
  // only after this long: a slow service for the client's waiting tests.
  std::set<std::string> stallCommands;
  int stallSeconds = 0;
};

class HttpServer {
 public:
  HttpServer(Api& api, const TlsFiles& tls, const ServerOptions& options);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listening when it returns; the public port. Throws when it cannot bind.
  std::uint16_t Start();
  void Stop();

 private:
  void AddHttpsRoutes();
  void AddPlainRoutes();
  // Announces the command on stderr and sleeps when it is one to stall.
  void StallIfAsked(const std::string& command) const;

  Api& api_;
  ServerOptions options_;
  std::unique_ptr<httplib::Server> https_;
  std::unique_ptr<httplib::Server> plain_;
  std::thread httpsThread_;
  std::thread plainThread_;
  PortFront front_;
};

}  // namespace veilmark::service

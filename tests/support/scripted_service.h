// The service as tests script it: an HTTPS server on loopback that answers
// each command from a queue of JSON replies and records every request.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "addin/connect_core.h"
#include "api/api_client.h"
#include "login/services.h"
#include "support/test_certificates.h"
#include "support/tls_test_server.h"

namespace veilmark::testing {

const TestCertificates& LoopbackCertificates();

// Decodes one form value ("+" and %XX).
std::string FormDecode(const std::string& text);

class ScriptedService {
 public:
  ScriptedService();
  ~ScriptedService();
  ScriptedService(const ScriptedService&) = delete;
  ScriptedService& operator=(const ScriptedService&) = delete;

  // The next reply to `command` (e.g. "login"); unscripted commands get a
  // refusal with status "UNSCRIPTED".
  void Answer(const std::string& command, std::string json);
  // The next reply to `command`, written by `reply` as it likes (cut short,
  // stalled, not JSON).
  using RawReply = std::function<void(ServerConnection&)>;
  void AnswerRaw(const std::string& command, RawReply reply);

  // Commands received, in order.
  std::vector<std::string> Commands() const;
  // The form parameters of request `index`, decoded.
  std::map<std::string, std::string> Params(std::size_t index) const;
  RecordedRequest Request(std::size_t index) const;
  std::uint16_t port() const { return server_.port(); }
  // localhost at the port, trusting the test CA.
  ApiEndpoint endpoint() const;

 private:
  std::mutex mutex_;
  std::map<std::string, std::deque<RawReply>> replies_;
  TlsTestServer server_;
};

// What a road or the login needs, over `service`: the platform's exchange,
// a client of the service, `ui` and `sessions`.
class ServicesOver {
 public:
  ServicesOver(const ScriptedService& service, Ui& ui, SessionStore& sessions);
  ServicesOver(const ServicesOver&) = delete;
  ServicesOver& operator=(const ServicesOver&) = delete;
  Services& get() { return services_; }
  ApiClient& api() { return api_; }
  operator Services&() { return services_; }

 private:
  std::unique_ptr<HttpExchange> exchange_;
  ApiClient api_;
  Services services_;
};

// The add-in's platform for tests: `ui` (not owned), the platform's exchange
// and the scripted service.
Platform PlatformOver(const ScriptedService& service, Ui& ui);

// Common replies.
std::string OkLoginReply(const std::string& session, const std::string& email,
                         const std::string& registeredFrom = "VEILMARK");
// A refusal with the messages "m1" and "m2".
std::string StatusReply(const std::string& code, const std::string& session = "");
// describe() of StatusReply(code).
std::u16string DescribeStatus(const std::string& code);

}  // namespace veilmark::testing

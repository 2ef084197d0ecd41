// The service as tests script it: each command is answered from a queue of
// JSON replies and every request is recorded. The roads' tests reach it in
// process, through its own exchange; the exchange's tests and the programs
// reach it over HTTPS on loopback, where a reply can also be written raw
// (cut short, stalled, not JSON).
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
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
  // stalled, not JSON); over HTTPS only.
  using RawReply = std::function<void(ServerConnection&)>;
  void AnswerRaw(const std::string& command, RawReply reply);
  // The next reply to `command`, given by the in-process exchange only
  // after `delay`, unless the call is cancelled first.
  void AnswerAfter(const std::string& command, std::string json, std::chrono::milliseconds delay);

  // An exchange that hands each request to this service directly: no
  // network, no TLS. The endpoint it is given does not matter.
  HttpExchange& InProcess() { return inProcess_; }

  // Commands received, in order.
  std::vector<std::string> Commands() const;
  // The form parameters of request `index`, decoded.
  std::map<std::string, std::string> Params(std::size_t index) const;
  RecordedRequest Request(std::size_t index) const;
  std::uint16_t port() const { return server_.port(); }
  // localhost at the port, trusting the test CA.
  ApiEndpoint endpoint() const;

 private:
  struct Scripted {
    std::string json;  // when not raw
    RawReply raw;
    std::chrono::milliseconds delay{0};
  };
  class InProcessExchange final : public HttpExchange {
   public:
    explicit InProcessExchange(ScriptedService& service) : service_(service) {}
    ExchangeOutcome Post(const ApiEndpoint& endpoint, const HttpPost& post) override;

   private:
    ScriptedService& service_;
  };

  // Records `request` and takes the next reply scripted for its command.
  Scripted Take(RecordedRequest request);

  mutable std::mutex mutex_;
  std::map<std::string, std::deque<Scripted>> replies_;
  std::vector<RecordedRequest> requests_;
  InProcessExchange inProcess_{*this};
  TlsTestServer server_;
};

// How a client reaches the scripted service.
enum class Transport {
  kInProcess,  // the service's own exchange
  kHttps,      // the platform's exchange, over loopback
};

// What a road or the login needs, over `service`: an exchange, a client of
// the service, `ui` and `sessions`.
class ServicesOver {
 public:
  ServicesOver(ScriptedService& service, Ui& ui, SessionStore& sessions,
               Transport transport = Transport::kInProcess);
  ServicesOver(const ServicesOver&) = delete;
  ServicesOver& operator=(const ServicesOver&) = delete;
  Services& get() { return services_; }
  TerminalWaiter& waiter() { return waiter_; }
  // What the wait window showed.
  std::string waitLog() const { return waitLog_.str(); }
  ApiClient& api() { return api_; }
  operator Services&() { return services_; }

 private:
  std::unique_ptr<HttpExchange> ownedExchange_;
  std::ostringstream waitLog_;
  TerminalWaiter waiter_{nullptr, waitLog_};
  ApiClient api_;
  Services services_;
};

// The add-in's platform for tests: `ui` and the service's in-process
// exchange (neither owned), and `waiter` (a TerminalWaiter without events
// when null).
Platform PlatformOver(ScriptedService& service, Ui& ui, std::shared_ptr<Waiter> waiter = nullptr);

// Common replies.
std::string OkLoginReply(const std::string& session, const std::string& email,
                         const std::string& registeredFrom = "VEILMARK");
// A refusal with the messages "m1" and "m2".
std::string StatusReply(const std::string& code, const std::string& session = "");
// describe() of StatusReply(code).
std::u16string DescribeStatus(const std::string& code);

}  // namespace veilmark::testing

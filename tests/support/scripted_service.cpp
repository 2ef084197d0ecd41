#include "support/scripted_service.h"

#include <iostream>
#include <thread>

#include "api/api_endpoint.h"
#include "base/text.h"

namespace veilmark::testing {

const TestCertificates& LoopbackCertificates() {
  static const TestCertificates certs = MakeTestCertificates("loopback");
  return certs;
}

std::string FormDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

ScriptedService::ScriptedService()
    : server_(LoopbackCertificates(),
              [this](const RecordedRequest& request, ServerConnection& connection) {
                Scripted reply = Take(request);
                if (reply.raw) {
                  reply.raw(connection);
                } else {
                  connection.Reply(200, reply.json);
                }
              }) {}

ScriptedService::Scripted ScriptedService::Take(RecordedRequest request) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& queue = replies_[request.target.substr(5)];  // after "/api/"
  requests_.push_back(std::move(request));
  if (queue.empty()) return {R"({"status":{"statusCode":"UNSCRIPTED"}})", nullptr};
  Scripted reply = std::move(queue.front());
  queue.pop_front();
  return reply;
}

ExchangeOutcome ScriptedService::InProcessExchange::Post(const ApiEndpoint&, const HttpPost& post) {
  RecordedRequest request;
  request.method = "POST";
  request.target = WideToUtf8(post.path);
  const std::string headers = WideToUtf8(post.headers);
  for (std::size_t start = 0; start < headers.size();) {
    std::size_t end = headers.find("\r\n", start);
    if (end == std::string::npos) end = headers.size();
    const std::string line = headers.substr(start, end - start);
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
      const std::size_t value = line.find_first_not_of(' ', colon + 1);
      request.headers.emplace_back(line.substr(0, colon),
                                   value == std::string::npos ? "" : line.substr(value));
    }
    start = end + 2;
  }
  request.body.assign(post.body);
  Scripted reply = service_.Take(std::move(request));
  const auto until = std::chrono::steady_clock::now() + reply.delay;
  while (std::chrono::steady_clock::now() < until) {
    if (post.cancel && post.cancel->requested()) {
      return {false, {}, exchange_messages::kCancelled};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (reply.raw) return {false, {}, "a raw reply is written over HTTPS only"};
  return {true, std::move(reply.json), {}};
}

ScriptedService::~ScriptedService() = default;

ApiEndpoint ScriptedService::endpoint() const {
  ApiEndpoint endpoint;
  endpoint.host = u"localhost";
  endpoint.port = server_.port();
  endpoint.caBundle = LoopbackCertificates().caFile;
  return endpoint;
}

ServicesOver::ServicesOver(ScriptedService& service, Ui& ui, SessionStore& sessions,
                           Transport transport)
    : ownedExchange_(transport == Transport::kHttps ? MakePlatformHttpExchange() : nullptr),
      api_(ownedExchange_ ? *ownedExchange_ : service.InProcess(), service.endpoint()),
      services_{ui, api_, sessions, waiter_} {}

Platform PlatformOver(ScriptedService& service, Ui& ui, std::shared_ptr<Waiter> waiter) {
  Platform platform;
  platform.waiter =
      waiter ? std::move(waiter) : std::make_shared<TerminalWaiter>(nullptr, std::cerr);
  // Aliases with no owner: the test keeps both alive.
  platform.ui = std::shared_ptr<Ui>(std::shared_ptr<Ui>(), &ui);
  platform.exchange =
      std::shared_ptr<HttpExchange>(std::shared_ptr<HttpExchange>(), &service.InProcess());
  platform.endpoint = service.endpoint();
  return platform;
}

void ScriptedService::Answer(const std::string& command, std::string json) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[command].push_back({std::move(json), nullptr});
}

void ScriptedService::AnswerRaw(const std::string& command, RawReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[command].push_back({{}, std::move(reply)});
}

void ScriptedService::AnswerAfter(const std::string& command, std::string json,
                                  std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[command].push_back({std::move(json), nullptr, delay});
}

std::vector<std::string> ScriptedService::Commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> commands;
  for (const RecordedRequest& request : requests_) commands.push_back(request.target.substr(5));
  return commands;
}

RecordedRequest ScriptedService::Request(std::size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.at(index);
}

std::map<std::string, std::string> ScriptedService::Params(std::size_t index) const {
  std::map<std::string, std::string> params;
  const std::string body = Request(index).body;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string pair = body.substr(start, end - start);
    const std::size_t eq = pair.find('=');
    params[pair.substr(0, eq)] = FormDecode(pair.substr(eq + 1));
    start = end + 1;
  }
  return params;
}

std::string OkLoginReply(const std::string& session, const std::string& email,
                         const std::string& registeredFrom) {
  return R"({"status":{"statusCode":"OK"},"sessionId":")" + session + R"(","users":[{"email":")" +
         email + R"(","registeredFrom":")" + registeredFrom + R"("}]})";
}

std::string StatusReply(const std::string& code, const std::string& session) {
  return R"({"status":{"statusCode":")" + code + R"(","message":["m1","m2"]},"sessionId":")" +
         session + R"("})";
}

std::u16string DescribeStatus(const std::string& code) {
  return u"Status code is: " + Utf8ToWide(code) + u"\nMessage: m1\nMessage: m2";
}

}  // namespace veilmark::testing

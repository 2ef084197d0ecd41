// A service that misbehaves on purpose, as a program of its own, so that a
// client outside this process (the DLL under Wine) can meet it. The case is
// chosen by the request's sessionId form field; it prints
//   listening port=<port> ca=<CA file>
// and serves until SIGTERM or SIGINT, then removes its certificates.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "support/test_certificates.h"
#include "support/tls_test_server.h"

namespace {

using veilmark::testing::RecordedRequest;
using veilmark::testing::ServerConnection;

volatile std::sig_atomic_t stopping = 0;
void Stop(int) {
  stopping = 1;
}

const std::string kOkHead = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
constexpr std::size_t kLargeClearText = 25u * 1024 * 1024;
const std::string kLargeLine = "<p>Quarterly figures, <b>row</b> and <i>notes</i>.</p>\\n";
const std::string kOkBody = R"({"status":{"statusCode":"OK"},"clearText":"followed"})";

std::string SessionOf(const std::string& body) {
  const std::string key = "sessionId=";
  std::size_t at = body.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  return body.substr(at, body.find('&', at) - at);
}

class Hostile {
 public:
  void Serve(const RecordedRequest& request, ServerConnection& c) {
    if (request.target == "/api/elsewhere") {
      ++followed_;
      c.Reply(200, kOkBody);
      return;
    }
    const std::string which = SessionOf(request.body);
    if (which == "stall") {
      c.Write(kOkHead + "Content-Length: 100\r\n\r\n{");
      c.StallUntilClientLeaves(120);
    } else if (which == "slow") {
      // A service that answers, but only after 5 s.
      std::this_thread::sleep_for(std::chrono::seconds(5));
      c.Reply(200, R"({"status":{"statusCode":"OK"},"clearText":"<p>Answered slowly</p>",)"
                   R"("decryptedAttachments":[]})");
    } else if (which == "large") {
      // A 25 MiB clear text of formatted HTML, whatever was sent.
      std::string clear;
      clear.reserve(kLargeClearText + 64);
      while (clear.size() < kLargeClearText) clear += kLargeLine;
      c.Reply(200, R"({"status":{"statusCode":"OK"},"clearText":")" + clear +
                       R"(","decryptedAttachments":[]})");
    } else if (which == "trickle") {
      // Under the stall limit between bytes, well under a byte a second.
      c.Write(kOkHead + "Content-Length: 100\r\n\r\n");
      for (int i = 0; i < 80 && c.Write("x"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      }
    } else if (which == "huge") {
      c.Write(kOkHead + "Content-Length: 104857600\r\n\r\n{\"clearText\":\"");
      const std::string chunk(64 * 1024, 'x');
      for (int i = 0; i < 1600 && c.Write(chunk); ++i) {
      }
    } else if (which == "hugechunked") {
      c.Write(kOkHead + "Transfer-Encoding: chunked\r\n\r\n");
      const std::string chunk = "10000\r\n" + std::string(64 * 1024, 'x') + "\r\n";
      for (int i = 0; i < 1600 && c.Write(chunk); ++i) {
      }
    } else if (which == "cut") {
      c.Write(kOkHead + "Content-Length: 400\r\n\r\n{\"status\":{\"statusCode\":\"OK\"},\"clear");
    } else if (which == "html500") {
      c.Reply(500, "<html><body>Internal Server Error</body></html>", "text/html");
    } else if (which == "utf8") {
      c.Reply(200, "{\"status\":{\"statusCode\":\"OK\"},\"clearText\":\"caf\xE9 \xF0\x9F\"}");
    } else if (which == "redirect302" || which == "redirect307") {
      const std::string code = which == "redirect302" ? "302 Found" : "307 Temporary Redirect";
      c.Write("HTTP/1.1 " + code +
              "\r\nLocation: https://localhost:" + std::to_string(port.load()) +
              "/api/elsewhere\r\nContent-Type: application/json\r\nContent-Length: " +
              std::to_string(kOkBody.size()) + "\r\n\r\n" + kOkBody);
    } else if (which == "followed") {
      c.Reply(200,
              R"({"status":{"statusCode":"OK"},"clearText":")" + std::to_string(followed_) + "\"}");
    } else {
      c.Reply(404, "<html>no such case</html>", "text/html");
    }
  }

  std::atomic<int> port{0};

 private:
  int followed_ = 0;
};

}  // namespace

int main() {
  std::signal(SIGTERM, Stop);
  std::signal(SIGINT, Stop);
  const auto certs = veilmark::testing::MakeTestCertificates("hostile");
  int status = 0;
  try {
    Hostile hostile;
    veilmark::testing::TlsTestServer server(
        certs, [&hostile](const RecordedRequest& request, ServerConnection& c) {
          hostile.Serve(request, c);
        });
    hostile.port = server.port();
    std::printf("listening port=%u ca=%s\n", static_cast<unsigned>(server.port()),
                certs.caFile.c_str());
    std::fflush(stdout);
    while (!stopping) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "hostile service: %s\n", error.what());
    status = 1;
  }
  return status;
}

// The process as a whole: its ready line and certificates, the one port that
// speaks HTTPS and plain HTTP, restarts, stopping, and connections that
// misbehave.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "service_fixture.h"

namespace veilmark::service::testing {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the peer sends until it closes, or until `seconds` pass (then
// `closed` stays false).
std::string ReadToClose(int fd, int seconds, bool& closed) {
  std::string text;
  closed = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 100) <= 0) continue;
    const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
    if (count <= 0) {
      closed = true;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(count));
  }
  return text;
}

using LifecycleTest = ServiceTest;

TEST_F(LifecycleTest, ReadyLineNamesThePortAndTheCaInTheStateFolder) {
  EXPECT_NE(service().port(), 0);
  EXPECT_EQ(service().caFile(), std::filesystem::canonical(state()).string() + "/ca.pem");
  EXPECT_NE(ReadFile(service().caFile()).find("BEGIN CERTIFICATE"), std::string::npos);
  const auto keyMode = std::filesystem::status(state() + "/server-key.pem").permissions();
  EXPECT_EQ(keyMode & std::filesystem::perms::others_read, std::filesystem::perms::none);
}

TEST_F(LifecycleTest, CertificateHoldsForLocalhostAndLoopbackOnlyWithItsCa) {
  auto byName = service().Https();
  auto reply =
      byName->Post("/api/get-temp-session", "json=true", "application/x-www-form-urlencoded");
  ASSERT_TRUE(reply) << httplib::to_string(reply.error());
  EXPECT_EQ(StatusCode(ParseJson(reply->body)), "OK");

  httplib::SSLClient byAddress("127.0.0.1", service().port());
  byAddress.set_ca_cert_path(service().caFile().c_str());
  byAddress.enable_server_certificate_verification(true);
  EXPECT_TRUE(
      byAddress.Post("/api/get-temp-session", "json=true", "application/x-www-form-urlencoded"));

  // A client that trusts only the system's CAs refuses the service.
  httplib::SSLClient stranger("localhost", service().port());
  stranger.set_ca_cert_path("/etc/ssl/certs/ca-certificates.crt");
  stranger.enable_server_certificate_verification(true);
  auto refused =
      stranger.Post("/api/get-temp-session", "json=true", "application/x-www-form-urlencoded");
  EXPECT_FALSE(refused);
}

TEST_F(LifecycleTest, PlainHttpOnTheSamePortServesOnlyImages) {
  const std::string session = service().Call("get-temp-session", {})["sessionId"].asString();
  auto plain = service().Plain();
  auto captcha = plain->Get(("/captcha?sessionId=" + session).c_str());
  ASSERT_TRUE(captcha);
  EXPECT_EQ(captcha->status, 200);
  EXPECT_EQ(captcha->get_header_value("Content-Type"), "image/png");
  EXPECT_EQ(captcha->body.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));

  auto icon = plain->Get("/images/attachment.png");
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->status, 200);
  EXPECT_EQ(icon->body.substr(1, 3), "PNG");

  auto unknown = plain->Get("/captcha?sessionId=0123");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);

  auto api = plain->Post("/api/login", "email=a&password=b&json=true",
                         "application/x-www-form-urlencoded");
  ASSERT_TRUE(api);
  EXPECT_EQ(StatusCode(ParseJson(api->body)), "HTTPS_REQUIRED");
  auto openid = plain->Get("/openid/start?ticket=x");
  ASSERT_TRUE(openid);
  EXPECT_EQ(openid->status, 404);
}

TEST_F(LifecycleTest, RestartKeepsUsersSessionsMailAndTheCa) {
  AddUser({"ann@example.com", "ann password"});
  const std::string session = service().Login("ann@example.com", "ann password");
  ASSERT_EQ(StatusCode(service().Call("encrypt-send", {{"sessionId", session},
                                                       {"to", "ann@example.com"},
                                                       {"subject", "note to self"},
                                                       {"body", "<p>kept</p>"}})),
            "OK");
  const std::string caBefore = ReadFile(service().caFile());
  EXPECT_EQ(service().Stop(), 0);

  Start();
  EXPECT_EQ(ReadFile(service().caFile()), caBefore);
  const Json::Value user = service().Call("curr-user", {{"sessionId", session}});
  ASSERT_EQ(StatusCode(user), "OK");
  EXPECT_EQ(user["users"][0]["email"].asString(), "ann@example.com");
  const auto mail = Mailbox(state(), "ann@example.com");
  ASSERT_EQ(mail.size(), 1u);
  const Json::Value clear = service().Call(
      "decrypt-mime", {{"cipherText", ArmoredPayload(mail[0])}, {"sessionId", session}});
  EXPECT_EQ(StatusCode(clear), "OK");
  EXPECT_EQ(clear["clearText"].asString(), "<p>kept</p>");
}

TEST_F(LifecycleTest, StopsCleanlyOnSigtermAndSigint) {
  const std::uint16_t port = service().port();
  EXPECT_EQ(service().Stop(SIGTERM), 0);
  EXPECT_LT(ConnectRaw(port), 0) << "nothing listens after the stop";
  Start();
  EXPECT_EQ(service().Stop(SIGINT), 0);
}

TEST_F(LifecycleTest, GarbageOnThePortGetsAnErrorAndTheServiceGoesOn) {
  const int fd = ConnectRaw(service().port());
  ASSERT_GE(fd, 0);
  const std::string junk = "\x01\x02 not a request\r\n\r\n";
  ASSERT_EQ(::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL), static_cast<ssize_t>(junk.size()));
  bool closed = false;
  const std::string answer = ReadToClose(fd, 10, closed);
  ::close(fd);
  EXPECT_TRUE(closed);
  EXPECT_EQ(answer.rfind("HTTP/1.1 400", 0), 0u) << answer;

  // A TLS record that is no handshake at all.
  const int tls = ConnectRaw(service().port());
  ASSERT_GE(tls, 0);
  const std::string badTls = std::string("\x16\x03\x01\x00\x05", 5) + "junk!";
  ::send(tls, badTls.data(), badTls.size(), MSG_NOSIGNAL);
  ReadToClose(tls, 10, closed);
  ::close(tls);
  EXPECT_TRUE(closed);

  EXPECT_EQ(StatusCode(service().Call("get-temp-session", {})), "OK");
}

class IdleTimeoutTest : public ServiceTest {
  std::vector<std::string> ServiceArgs() const override { return {"--idle-timeout", "1"}; }
};

TEST_F(IdleTimeoutTest, SilentConnectionIsDropped) {
  const int fd = ConnectRaw(service().port());
  ASSERT_GE(fd, 0);
  bool closed = false;
  const auto started = std::chrono::steady_clock::now();
  ReadToClose(fd, 8, closed);
  ::close(fd);
  EXPECT_TRUE(closed);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(ServiceCommandLineTest, RefusesBadArgumentsAndDuplicateUsers) {
  TempDir state;
  EXPECT_EQ(RunService(state.path(), {"--port", "70000"}).exitCode, 2);
  EXPECT_EQ(RunService(state.path(), {"--session-ttl", "soon"}).exitCode, 2);
  EXPECT_EQ(RunService(state.path(), {"--bogus", "1"}).exitCode, 2);
  EXPECT_EQ(RunService(state.path(), {"add-user", "not-an-address", "pw"}).exitCode, 2);
  EXPECT_EQ(RunService(state.path(), {"add-user", "a@example.com", "pw", "--security-answer", "x"})
                .exitCode,
            2);
  EXPECT_EQ(RunService(state.path(), {"add-user", "a@example.com", "pw"}).exitCode, 0);
  EXPECT_EQ(RunService(state.path(), {"add-user", "A@Example.com", "pw"}).exitCode, 1);
  EXPECT_EQ(RunService(state.path(), {"add-alias", "a@example.com", "b@example.com"}).exitCode, 0);
  EXPECT_EQ(RunService(state.path(), {"add-user", "b@example.com", "pw"}).exitCode, 1)
      << "an alias is taken like an address";
  EXPECT_EQ(RunService(state.path(), {"captcha-text", "nosuchsession"}).exitCode, 1);
}

}  // namespace
}  // namespace veilmark::service::testing

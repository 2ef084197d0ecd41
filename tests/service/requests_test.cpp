// Requests the add-in would never send: each gets a reply document with a
// status of its own, and the service stays up.
#include "service_fixture.h"

namespace veilmark::service::testing {
namespace {

using RequestTest = ServiceTest;

TEST_F(RequestTest, UnknownCommandsAndWrongMethodsAreRefused) {
  auto https = service().Https();
  auto unknown = https->Post("/api/make-coffee", "json=true", "application/x-www-form-urlencoded");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
  const Json::Value reply = ParseJson(unknown->body);
  EXPECT_EQ(StatusCode(reply), "UNKNOWN_COMMAND");
  EXPECT_EQ(reply["request"].asString(), "make-coffee");
  EXPECT_EQ(reply["status"]["message"].size(), 1u);

  auto get = https->Get("/api/login");
  ASSERT_TRUE(get);
  EXPECT_EQ(StatusCode(ParseJson(get->body)), "METHOD_NOT_ALLOWED");
  auto nowhere = https->Get("/nothing/here");
  ASSERT_TRUE(nowhere);
  EXPECT_EQ(nowhere->status, 404);
  EXPECT_EQ(StatusCode(ParseJson(nowhere->body)), "NOT_FOUND");
}

TEST_F(RequestTest, MissingParametersAreNamed) {
  const Json::Value login = service().Call("login", {});
  EXPECT_EQ(StatusCode(login), "MISSING_PARAMETER");
  EXPECT_EQ(login["status"]["message"][0].asString(), "Missing: email, password");
  EXPECT_EQ(StatusCode(service().Call("reset-password", {{"email", "a@example.com"}})),
            "MISSING_PARAMETER");
  EXPECT_EQ(StatusCode(service().Call("extra-password", {{"password", "x"}})), "MISSING_PARAMETER");
  EXPECT_EQ(StatusCode(service().Call("retrieve-security-q", {})), "MISSING_PARAMETER");
  EXPECT_EQ(StatusCode(service().Call("login-with-open-id", {})), "UNKNOWN_PROVIDER");
  for (const char* command : {"curr-user", "curr-user-aliases", "logout", "encrypt", "encrypt-eml",
                              "encrypt-send", "decrypt-mime"}) {
    EXPECT_EQ(StatusCode(service().Call(command, {})), "INVALID_SESSION") << command;
  }
}

TEST_F(RequestTest, LargeFormsAreReadWholeAndOversizedOnesRefused) {
  AddUser({"big@example.com", "big pass"});
  const std::string session = service().Login("big@example.com", "big pass");
  // Far beyond the 8 KiB form limit common in HTTP libraries.
  const std::string body = "<p>" + std::string(200000, 'w') + "</p>";
  EXPECT_EQ(StatusCode(service().Call(
                "encrypt", {{"body", body}, {"to", "big@example.com"}, {"sessionId", session}})),
            "OK");

  auto oversized = service().Https()->Post("/api/login", std::string(97u << 20, 'a'),
                                           "application/x-www-form-urlencoded");
  if (oversized) {  // the service may also close before reading the rest
    EXPECT_EQ(oversized->status, 413);
    EXPECT_EQ(StatusCode(ParseJson(oversized->body)), "REQUEST_TOO_LARGE");
  }
  EXPECT_EQ(StatusCode(service().Call("get-temp-session", {})), "OK");
}

TEST_F(RequestTest, MalformedMultipartIsRefused) {
  AddUser({"up@example.com", "up pass"});
  const std::string session = service().Login("up@example.com", "up pass");
  auto post = [&](const std::string& contentType, const std::string& body) {
    auto reply = service().Https()->Post("/api/upload-attachments", body, contentType.c_str());
    return reply ? StatusCode(ParseJson(reply->body)) : "<no reply>";
  };
  const std::string type = "multipart/form-data; boundary=XyZ";
  EXPECT_EQ(post(type, "no boundary in here"), "MALFORMED_MULTIPART");
  EXPECT_EQ(post("multipart/form-data", "--\r\n"), "MALFORMED_MULTIPART");
  EXPECT_EQ(post(type,
                 "--XyZ\r\nContent-Disposition: form-data; name=\"ATT1\"; filename=\"a\"\r\n"
                 "\r\nnever closed"),
            "MALFORMED_MULTIPART");
  EXPECT_EQ(post(type, "--XyZ\r\nno colon here\r\n\r\nx\r\n--XyZ--\r\n"), "MALFORMED_MULTIPART");
  EXPECT_EQ(post(type, "--XyZ\r\n\r\nno headers\r\n--XyZ--\r\n"), "MALFORMED_MULTIPART");
  // Well-formed but not multipart at all: the session is looked for and missing.
  EXPECT_EQ(post("application/x-www-form-urlencoded", "sessionId=" + session),
            "MALFORMED_MULTIPART");
  EXPECT_EQ(StatusCode(service().Upload(session, "ok.txt", "text/plain", "fine")), "OK");
}

}  // namespace
}  // namespace veilmark::service::testing

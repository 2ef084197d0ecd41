// The hostile service (started by with-hostile-service) against the
// WinHTTP exchange the DLL is built with: every case ends in a reply within
// the bound named in its comment, with the libcurl path's messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include "api/api_client.h"
#include "api/http_exchange.h"
#include "wine_support.h"

namespace veilmark::wine_tests {
namespace {

using namespace std::chrono_literals;

class WinHttpHostile : public ::testing::Test {
 protected:
  WinHttpHostile() {
    limits_.stallSeconds = 3;
    limits_.maxReplyBytes = 1024 * 1024;
    bounded_ = MakePlatformHttpExchange(limits_);
  }
  // The case is picked by the session the request carries.
  std::unique_ptr<ServerReply> Play(const std::string& which, HttpExchange& exchange) {
    return ApiClient(exchange, HostileEndpoint()).DecryptMime(which, "payload");
  }
  std::unique_ptr<ServerReply> Play(const std::string& which) { return Play(which, *bounded_); }

  ExchangeLimits limits_;
  std::unique_ptr<HttpExchange> bounded_;
};

// Bound: the 3 s receive time-out, once.
TEST_F(WinHttpHostile, ReplyThatStallsAfterTheHeadersTimesOut) {
  const auto start = std::chrono::steady_clock::now();
  const auto reply = Play("stall");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  // ERROR_WINHTTP_TIMEOUT on Windows; Wine passes the socket's WSAETIMEDOUT on.
  const std::string prefix = "Error in WinHttpQueryDataAvailable - ";
  EXPECT_TRUE(FirstMessage(*reply) == prefix + "12002" || FirstMessage(*reply) == prefix + "10060")
      << FirstMessage(*reply);
}

// Bound: about one stall period. Each byte comes within the receive
// time-out, but less than a byte a second arrives.
TEST_F(WinHttpHostile, ReplyThatTricklesUnderAByteASecondIsCut) {
  const auto start = std::chrono::steady_clock::now();
  const auto reply = Play("trickle");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 3s);
  EXPECT_LT(took, 15s);
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_EQ(FirstMessage(*reply), "Error in WinHttpReadData - 12002");
}

// Bound: memory stays under the 1 MB cap; the 100 MB are never read, whether
// announced by Content-Length or sent in chunks.
TEST_F(WinHttpHostile, HundredMegabyteReplyIsRefusedAtTheCap) {
  for (const char* which : {"huge", "hugechunked"}) {
    const auto start = std::chrono::steady_clock::now();
    const auto reply = Play(which);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s) << which;
    EXPECT_EQ(reply->status().code(), "CLIENT_ERROR") << which;
    EXPECT_EQ(FirstMessage(*reply), "Error in WinHttpReadData - 8") << which;
  }
}

// Bound: immediate. A body cut short of its Content-Length is a failure, and
// nothing of it is parsed.
TEST_F(WinHttpHostile, BodyCutShortIsAFailure) {
  const auto reply = Play("cut", *MakePlatformHttpExchange());
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_EQ(FirstMessage(*reply), "Error in WinHttpReadData - 12030");
}

// Bound: immediate. The status is not examined; the page is no JSON.
TEST_F(WinHttpHostile, HtmlErrorPageIsAParseError) {
  EXPECT_EQ(Play("html500", *MakePlatformHttpExchange())->status().code(), "PARSE_ERROR");
}

// Bound: immediate.
TEST_F(WinHttpHostile, InvalidUtf8IsReplacedNotRejected) {
  const auto reply = Play("utf8", *MakePlatformHttpExchange());
  ASSERT_TRUE(reply->status().isOk()) << reply->status().code();
  EXPECT_EQ(reply->clearText(), u"caf\uFFFD \uFFFD");
}

// Bound: one request each; the redirect's target is never asked, and the
// request with its body is not sent again, whatever the code.
TEST_F(WinHttpHostile, RedirectIsAFailureAndNotFollowed) {
  for (const char* which : {"redirect302", "redirect307"}) {
    const auto reply = Play(which, *MakePlatformHttpExchange());
    EXPECT_EQ(reply->status().code(), "CLIENT_ERROR") << which;
    EXPECT_EQ(FirstMessage(*reply), "Unable to receive response - 12156") << which;
  }
  const auto followed = Play("followed", *MakePlatformHttpExchange());
  ASSERT_TRUE(followed->status().isOk()) << followed->status().code();
  EXPECT_EQ(followed->clearText(), u"0");
}

}  // namespace
}  // namespace veilmark::wine_tests

// The fetching browser against an HTTPS server on loopback, alone and behind
// the terminal's dialogs.
#include "ui/browser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>

#include "api/api_endpoint.h"
#include "base/text.h"
#include "login/dialogs/openid_dialog.h"
#include "login/dialogs/register_dialog.h"
#include "support/temp_data_home.h"
#include "support/test_certificates.h"
#include "support/tls_test_server.h"
#include "ui/ui_terminal.h"

namespace veilmark {
namespace {

using testing::RecordedRequest;
using testing::ServerConnection;
using testing::TestCertificates;
using testing::TlsTestServer;

const char kFinalPage[] = R"({"status":{"statusCode":"OK"},"sessionId":"openid-session"})";
const std::string kPng("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);

const TestCertificates& TrustedCerts() {
  static const TestCertificates certs = testing::MakeTestCertificates("browser-trusted");
  return certs;
}

void Raw(ServerConnection& connection, const std::string& head, const std::string& body = {}) {
  connection.Write("HTTP/1.1 " + head + "\r\nContent-Length: " + std::to_string(body.size()) +
                   "\r\nConnection: close\r\n\r\n" + body);
}

// A provider login in three hops: the first sets the cookie, the last
// answers with the JSON page only when the cookie comes back.
class BrowserTest : public ::testing::Test {
 protected:
  BrowserTest()
      : server_(TrustedCerts(), [this](const RecordedRequest& request, ServerConnection& c) {
          Serve(request, c);
        }) {
    port_ = server_.port();
  }

  std::string Url(const std::string& path) const {
    return "https://localhost:" + std::to_string(port_) + path;
  }
  std::vector<RecordedRequest> Requests() const { return server_.requests(); }

 private:
  void Serve(const RecordedRequest& request, ServerConnection& connection) {
    if (request.target == "/start") {
      Raw(connection, "302 Found\r\nLocation: /hop\r\nSet-Cookie: sid=abc123; Path=/; Secure");
    } else if (request.target == "/hop") {
      Raw(connection, "301 Moved\r\nLocation: " + Url("/final"));
    } else if (request.target == "/final") {
      if (request.header("Cookie").find("sid=abc123") != std::string::npos) {
        connection.Reply(200, kFinalPage, "application/json");
      } else {
        connection.Reply(403, "<html>who are you?</html>", "text/html");
      }
    } else if (request.target.rfind("/captcha?", 0) == 0) {
      connection.Reply(200, kPng, "image/png");
    } else if (request.target == "/huge") {
      connection.Reply(200, std::string(kMaxBrowserDocument + 1, 'x'), "text/plain");
    } else {
      connection.Reply(404, "<html>not here</html>", "text/html");
    }
  }

  std::atomic<std::uint16_t> port_{0};
  TlsTestServer server_;
};

TEST_F(BrowserTest, RedirectsCarryTheCookieToTheJsonPage) {
  std::unique_ptr<Browser> browser = MakePlatformBrowser(TrustedCerts().caFile);
  const BrowserResult result = browser->Open(Url("/start"));
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.document.url, Url("/final"));
  EXPECT_EQ(result.document.status, 200);
  EXPECT_EQ(result.document.contentType, "application/json");
  EXPECT_EQ(result.document.source, kFinalPage);

  const std::vector<RecordedRequest> requests = Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].header("Cookie"), "");
  EXPECT_EQ(requests[1].target, "/hop");
  EXPECT_EQ(requests[2].method, "GET");
  EXPECT_EQ(requests[2].header("Cookie"), "sid=abc123");
}

TEST_F(BrowserTest, CookiesBelongToOneBrowser) {
  std::unique_ptr<Browser> first = MakePlatformBrowser(TrustedCerts().caFile);
  ASSERT_TRUE(first->Open(Url("/start")).ok);
  const BrowserResult again = first->Open(Url("/final"));
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(again.document.status, 200);

  // An error page is still a document, just not the answer.
  const BrowserResult stranger = MakePlatformBrowser(TrustedCerts().caFile)->Open(Url("/final"));
  ASSERT_TRUE(stranger.ok) << stranger.error;
  EXPECT_EQ(stranger.document.status, 403);
  EXPECT_EQ(stranger.document.contentType, "text/html");
  EXPECT_EQ(stranger.document.source, "<html>who are you?</html>");
}

TEST_F(BrowserTest, OversizedDocumentIsRefused) {
  const BrowserResult result = MakePlatformBrowser(TrustedCerts().caFile)->Open(Url("/huge"));
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("larger than"), std::string::npos) << result.error;
}

TEST_F(BrowserTest, OnlyWebAddressesAreOpened) {
  const BrowserResult result =
      MakePlatformBrowser(TrustedCerts().caFile)->Open("file:///etc/passwd");
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.empty());
}

TEST(BrowserTrust, UntrustedCertificateFails) {
  const TestCertificates stranger = testing::MakeTestCertificates("browser-stranger");
  TlsTestServer server(stranger, [](const RecordedRequest&, ServerConnection& connection) {
    connection.Reply(200, kFinalPage);
  });
  // Trusts another CA than the server's.
  const BrowserResult result =
      MakePlatformBrowser(TrustedCerts().caFile)
          ->Open("https://localhost:" + std::to_string(server.port()) + "/");
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.empty());
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(BrowserTest, OpenIdDialogOnTheTerminalCapturesTheFinalPage) {
  std::istringstream script("dialog 108\n");
  std::ostringstream output;
  TerminalUi ui(script, output, AnswerSource::kScript,
                [] { return MakePlatformBrowser(TrustedCerts().caFile); });
  OpenIdDialog openid(Utf8ToWide(Url("/start")));
  EXPECT_EQ(openid.Show(ui, 0), 0);
  ASSERT_TRUE(openid.reply) << output.str();
  EXPECT_TRUE(openid.reply->status().isOk());
  EXPECT_EQ(openid.reply->sessionId(), "openid-session");
}

TEST_F(BrowserTest, RegisterDialogOnTheTerminalShowsTheCaptchaFile) {
  testing::TempDataHome home;
  std::istringstream script(
      "dialog 109\n"
      "field 209 Favourite colour\n"
      "field 210 ultramarine\n"
      "field 211 x7k2\n"
      "field 207 password1\n"
      "field 208 password2\n"
      "click 1\n"
      "field 208 password1\n"
      "click Register\n");
  std::ostringstream output;
  TerminalUi ui(script, output, AnswerSource::kScript,
                [] { return MakePlatformBrowser(TrustedCerts().caFile); });
  RegisterDialog registration(u"ivan@x.org", Utf8ToWide(Url("/captcha?sessionId=temp")));
  EXPECT_EQ(registration.Show(ui, 0), 1);
  EXPECT_EQ(registration.password, u"password1");
  EXPECT_EQ(registration.captcha, u"x7k2");

  const std::string shown = output.str();
  EXPECT_NE(shown.find("200 image/png, 16 bytes"), std::string::npos) << shown;
  EXPECT_NE(shown.find("the image is in " + (home.folder() / "image_").string()), std::string::npos)
      << shown;
  EXPECT_NE(shown.find("Please make sure that the passwords match"), std::string::npos);
  ASSERT_FALSE(Requests().empty());
  EXPECT_EQ(Requests()[0].target, "/captcha?sessionId=temp");
}

}  // namespace
}  // namespace veilmark

// The form POST and the upload against a real HTTPS server on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "api/api_client.h"
#include "support/test_certificates.h"
#include "support/tls_test_server.h"

namespace veilmark {
namespace {

// One exchange for the whole file, as the add-in has one.
HttpExchange& Exchange() {
  static const std::unique_ptr<HttpExchange> exchange = MakePlatformHttpExchange();
  return *exchange;
}

using namespace std::string_literals;
using testing::RecordedRequest;
using testing::ServerConnection;
using testing::TestCertificates;
using testing::TlsTestServer;

const TestCertificates& TrustedCerts() {
  static const TestCertificates certs = testing::MakeTestCertificates("trusted");
  return certs;
}

// Reached as localhost with the test CA trusted through VEILMARK_CA_BUNDLE.
ApiEndpoint EndpointFor(const TlsTestServer& server) {
  setenv("VEILMARK_API_HOST", ("localhost:" + std::to_string(server.port())).c_str(), 1);
  setenv("VEILMARK_CA_BUNDLE", TrustedCerts().caFile.c_str(), 1);
  ApiEndpoint endpoint = EndpointFromEnvironment();
  unsetenv("VEILMARK_API_HOST");
  unsetenv("VEILMARK_CA_BUNDLE");
  return endpoint;
}

TlsTestServer::Handler Answer(const std::string& json) {
  return
      [json](const RecordedRequest&, ServerConnection& connection) { connection.Reply(200, json); };
}

const char kOk[] = R"({"status":{"statusCode":"OK"},"sessionId":"new-session"})";

TEST(FormPost, SendsWhatWinHttpWouldSend) {
  TlsTestServer server(TrustedCerts(), Answer(kOk));
  ApiClient client(Exchange(), EndpointFor(server));
  auto reply = client.PostForm(u"login", {{"email", u"ivan@x.org"}, {"password", u"p w"}},
                               {{"sessionId", "s"}});
  ASSERT_TRUE(reply->status().isOk()) << reply->status().code();
  EXPECT_EQ(reply->sessionId(), "new-session");

  ASSERT_EQ(server.requests().size(), 1u);
  const RecordedRequest request = server.requests()[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/api/login");
  EXPECT_EQ(request.body, "email=ivan%40x%2Eorg&password=p+w&sessionId=s&json=true");
  EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(request.header("Content-Length"), std::to_string(request.body.size()));
  EXPECT_EQ(request.header("User-Agent"), "Veilmark Outlook AddIn");
  EXPECT_EQ(request.header("Host"), "localhost:" + std::to_string(server.port()));
  EXPECT_EQ(request.header("Pragma"), "no-cache");
  EXPECT_EQ(request.header("Accept"), "");
  EXPECT_EQ(request.header("Expect"), "");
}

TEST(FormPost, LargeBodyArrivesWholeInOneRequest) {
  TlsTestServer server(TrustedCerts(), Answer(kOk));
  ApiClient client(Exchange(), EndpointFor(server));
  std::string payload(3 * 1024 * 1024, 'a');
  payload[10] = '\0';
  auto reply = client.DecryptMime("s", payload);
  ASSERT_TRUE(reply->status().isOk()) << reply->status().code();
  const RecordedRequest request = server.requests().at(0);
  EXPECT_EQ(request.body.size(), payload.size() + 2 + "cipherText=&sessionId=s&json=true"s.size());
  EXPECT_EQ(request.body.substr(0, 24), "cipherText=aaaaaaaaaa%00");
}

TEST(FormPost, ReplyInManySmallPiecesIsJoined) {
  const std::string json =
      R"({"status":{"statusCode":"OK"},"clearText":")" + std::string(2000, 'x') + R"("})";
  TlsTestServer server(TrustedCerts(), [json](const RecordedRequest&, ServerConnection& c) {
    c.Write(
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n"
        "Connection: close\r\n\r\n");
    for (std::size_t at = 0; at < json.size(); at += 97) {
      const std::string piece = json.substr(at, 97);
      char size[16];
      std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
      c.Write(size + piece + "\r\n");
      if (at % 970 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    c.Write("0\r\n\r\n");
  });
  ApiClient client(Exchange(), EndpointFor(server));
  auto reply = client.DecryptMime("s", "cipher");
  ASSERT_TRUE(reply->status().isOk()) << reply->status().code();
  EXPECT_EQ(reply->clearText(), std::u16string(2000, u'x'));
}

TEST(FormPost, ErrorPageIsAParseError) {
  TlsTestServer server(TrustedCerts(), [](const RecordedRequest&, ServerConnection& c) {
    c.Reply(500, "<html><body>Internal Server Error</body></html>", "text/html");
  });
  ApiClient client(Exchange(), EndpointFor(server));
  auto reply = client.GetTempSession();
  EXPECT_EQ(reply->status().code(), "PARSE_ERROR");
}

TEST(FormPost, JsonRefusalWithErrorStatusIsParsed) {
  TlsTestServer server(TrustedCerts(), [](const RecordedRequest&, ServerConnection& c) {
    c.Reply(403, R"({"status":{"statusCode":"INVALID_SESSION","message":["expired"]}})");
  });
  ApiClient client(Exchange(), EndpointFor(server));
  auto reply = client.CurrentUserAliases("old");
  EXPECT_TRUE(reply->status().needsLogin());
}

TEST(FormPost, UntrustedCertificateIsAClientErrorAndNothingIsSent) {
  const TestCertificates stranger = testing::MakeTestCertificates("stranger");
  TlsTestServer server(stranger, Answer(kOk));
  ApiClient client(Exchange(), EndpointFor(server));
  auto reply = client.Login(u"a@x.org", u"secret");
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_EQ(reply->request(), "error");
  ASSERT_EQ(reply->status().messages().size(), 1u);
  EXPECT_EQ(reply->status().messages()[0].rfind("Unable to send request - ", 0), 0u);
  EXPECT_TRUE(server.requests().empty());
}

TEST(FormPost, NothingListeningIsAClientError) {
  std::uint16_t port;
  {
    TlsTestServer closed(TrustedCerts(), Answer(kOk));
    port = closed.port();
  }
  ApiEndpoint endpoint;
  endpoint.host = u"localhost";
  endpoint.port = port;
  endpoint.caBundle = TrustedCerts().caFile;
  ApiClient client(Exchange(), endpoint);
  auto reply = client.GetTempSession();
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_EQ(reply->status().messages(),
            std::vector<std::string>{"Unable to send request - 7"});  // couldn't connect
}

TEST(FormPost, ConnectionClosedMidBodyIsAReadErrorAndNothingHalfParsed) {
  TlsTestServer server(TrustedCerts(), [](const RecordedRequest&, ServerConnection& c) {
    c.Write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n{\"status\":{\"statusCode\":\"OK\"}");
  });
  ApiClient client(Exchange(), EndpointFor(server));
  auto reply = client.GetTempSession();
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  ASSERT_EQ(reply->status().messages().size(), 1u);
  EXPECT_EQ(reply->status().messages()[0].rfind("Error in WinHttpReadData - ", 0), 0u);
}

TEST(FormPost, HangUpBeforeAnyReplyIsAReceiveError) {
  TlsTestServer server(TrustedCerts(), [](const RecordedRequest&, ServerConnection&) {});
  ApiClient client(Exchange(), EndpointFor(server));
  auto reply = client.GetTempSession();
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  ASSERT_EQ(reply->status().messages().size(), 1u);
  EXPECT_EQ(reply->status().messages()[0].rfind("Unable to receive response - ", 0), 0u);
}

TEST(Upload, ExactMultipartBytes) {
  TlsTestServer server(
      TrustedCerts(), Answer(R"({"status":{"statusCode":"OK"},"att":[{"id":77,"name":"r.pdf"}]})"));
  ApiClient client(Exchange(), EndpointFor(server));
  const std::string data = "%PDF\0\r\n--binary"s;
  auto reply = client.UploadAttachment("sess-9", data, u"r.pdf");
  ASSERT_TRUE(reply->status().isOk()) << reply->status().code();
  ASSERT_EQ(reply->uploadedAttachments().size(), 1u);
  EXPECT_EQ(reply->uploadedAttachments()[0].id, "77");

  const RecordedRequest request = server.requests().at(0);
  EXPECT_EQ(request.target, "/api/upload-attachments");
  EXPECT_EQ(request.header("User-Agent"), "Veilmark Outlook AddIn");
  const std::string contentType = request.header("Content-Type");
  const std::string prefix = "multipart/form-data; boundary=";
  ASSERT_EQ(contentType.rfind(prefix, 0), 0u);
  const std::string boundary = contentType.substr(prefix.size());
  EXPECT_EQ(boundary.size(), 39u);
  EXPECT_EQ(boundary.rfind("---------------------veilmark", 0), 0u);
  EXPECT_EQ(request.body,
            "--" + boundary +
                "\r\nContent-Disposition: form-data; name=\"ATT1\"; filename=\"r.pdf\";\r\n"
                "Content-Type: application/pdf\r\n\r\n" +
                data + "\r\n--" + boundary +
                "\r\nContent-Disposition: form-data; name=\"sessionId\"\r\n\r\nsess-9\r\n--" +
                boundary + "\r\nContent-Disposition: form-data; name=\"json\"\r\n\r\ntrue\r\n--" +
                boundary + "--\r\n");
  EXPECT_EQ(request.header("Content-Length"), std::to_string(request.body.size()));
}

TEST(Upload, EmptyFileNonAsciiNameAndQuote) {
  TlsTestServer server(TrustedCerts(), Answer(kOk));
  ApiClient client(Exchange(), EndpointFor(server));
  ASSERT_TRUE(client.UploadAttachment("s", "", u"пусто.txt")->status().isOk());
  ASSERT_TRUE(client.UploadAttachment("s", "x", u"say \"hi\".txt")->status().isOk());
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[0].body.find("filename=\"\xD0\xBF\xD1\x83\xD1\x81\xD1\x82\xD0\xBE.txt\";\r\n"
                                  "Content-Type: text/plain\r\n\r\n\r\n--"),
            std::string::npos);
  EXPECT_NE(requests[1].body.find("filename=\"say %22hi%22.txt\";\r\n"), std::string::npos);
}

}  // namespace
}  // namespace veilmark

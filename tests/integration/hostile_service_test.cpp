// A service that misbehaves on purpose. Every case ends in a reply (a
// failure or a parsed one) within the bound named in its comment, and the
// commands above the exchange leave nothing half done.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "api/api_client.h"
#include "api/http_exchange_curl.h"
#include "login/dialogs/login_method_dialog.h"
#include "login/dialogs/veilmark_login_dialog.h"
#include "login/login_flow.h"
#include "login/session_call.h"
#include "outlook/memory/memory_outlook.h"
#include "outlook/object_model.h"
#include "read/secure_read.h"
#include "support/recording_ui.h"
#include "support/scripted_service.h"
#include "support/temp_data_home.h"

namespace veilmark {
namespace {

using namespace std::chrono_literals;
using testing::ServerConnection;

const std::string kOkHead = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";

// Closes the connection after the headers and half of the promised body.
void CutShort(ServerConnection& c) {
  c.Write(kOkHead + "Content-Length: 400\r\n\r\n{\"status\":{\"statusCode\":\"OK\"},\"clear");
}

class HostileServiceTest : public ::testing::Test {
 protected:
  HostileServiceTest() {
    limits_.stallSeconds = 1;
    limits_.maxReplyBytes = 1024 * 1024;
    exchange_ = MakeCurlExchange(limits_);
  }
  ApiClient Client() { return ApiClient(*exchange_, service_.endpoint()); }
  std::string FirstMessage(const ServerReply& reply) {
    return reply.status().messages().empty() ? "" : reply.status().messages()[0];
  }

  testing::TempDataHome home_;
  testing::ScriptedService service_;
  testing::RecordingUi ui_;
  CurlLimits limits_;
  std::unique_ptr<HttpExchange> exchange_;
};

// Bound: memory stays under the 1 MB cap (plus one read), time well under 1 s.
TEST_F(HostileServiceTest, HundredMegabyteReplyIsRefusedAtTheCap) {
  service_.AnswerRaw("decrypt-mime", [](ServerConnection& c) {
    c.Write(kOkHead + "Content-Length: 104857600\r\n\r\n{\"clearText\":\"");
    const std::string chunk(64 * 1024, 'x');
    for (int i = 0; i < 1600 && c.Write(chunk); ++i) {
    }
  });
  const auto start = std::chrono::steady_clock::now();
  auto reply = Client().DecryptMime("s", "payload");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_EQ(FirstMessage(*reply), "Error in WinHttpReadData - 23");
}

// Bound: one stall window (1 s here, 30 s by default) and the progress
// callback's period.
TEST_F(HostileServiceTest, ReplyThatStallsAfterTheHeadersTimesOut) {
  service_.AnswerRaw("login", [](ServerConnection& c) {
    c.Write(kOkHead + "Content-Length: 100\r\n\r\n{");
    c.StallUntilClientLeaves(30);
  });
  const auto start = std::chrono::steady_clock::now();
  auto reply = Client().Login(u"a@b.c", u"pw");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_EQ(FirstMessage(*reply), "Error in WinHttpReadData - 28");
}

// Bound: as a stall; the trickle alone would take 60 s.
TEST_F(HostileServiceTest, ReplyTricklingTwoBytesASecondFailsWithinThreeSeconds) {
  service_.AnswerRaw("decrypt-mime", [](ServerConnection& c) {
    c.Write(kOkHead + "Content-Length: 120\r\n\r\n");
    c.Trickle(
        "{\"status\":{\"statusCode\":\"OK\"},\"clearText\":\"" + std::string(120 - 45, 'x') + "\"}",
        2);
  });
  const auto start = std::chrono::steady_clock::now();
  auto reply = Client().DecryptMime("s", "payload");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_EQ(FirstMessage(*reply), "Error in WinHttpReadData - 28");
}

// Bound: the 3 s the service takes; slow, but over the floor in every window.
TEST_F(HostileServiceTest, ReplySlowerThanTheWindowButSteadyIsReadWhole) {
  const std::string text(7200, 'y');
  service_.AnswerRaw("decrypt-mime", [text](ServerConnection& c) {
    const std::string body = "{\"status\":{\"statusCode\":\"OK\"},\"clearText\":\"" + text + "\"}";
    c.Write(kOkHead + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n");
    for (std::size_t at = 0; at < body.size(); at += 600) {
      if (!c.Write(body.substr(at, 600))) return;
      std::this_thread::sleep_for(250ms);
    }
  });
  auto reply = Client().DecryptMime("s", "payload");
  ASSERT_TRUE(reply->status().isOk()) << FirstMessage(*reply);
  EXPECT_EQ(reply->clearText(), std::u16string(text.begin(), text.end()));
}

// Bound: immediate.
TEST_F(HostileServiceTest, InvalidUtf8InTextsIsReplacedNotRejected) {
  service_.Answer("decrypt-mime",
                  "{\"status\":{\"statusCode\":\"OK\"},\"clearText\":\"caf\xE9 \xF0\x9F\""
                  ",\"decryptedAttachments\":[{\"name\":\"\xC3(\",\"url\":\"/a\"}]}");
  auto reply = Client().DecryptMime("s", "payload");
  ASSERT_TRUE(reply->status().isOk()) << reply->status().code();
  EXPECT_EQ(reply->clearText(), u"caf\uFFFD \uFFFD");
  EXPECT_EQ(reply->decryptedAttachments().at(0).name, u"\uFFFD(");
}

// Bound: the parser's nesting limit, before any deep recursion.
TEST_F(HostileServiceTest, JsonNestedHundredThousandDeepIsAParseError) {
  service_.Answer("curr-user-aliases", std::string(100000, '[') + std::string(100000, ']'));
  service_.Answer("curr-user-aliases",
                  "{\"status\":{\"statusCode\":\"OK\"},\"x\":" + std::string(100000, '{') + "}");
  EXPECT_EQ(Client().CurrentUserAliases("s")->status().code(), "PARSE_ERROR");
  EXPECT_EQ(Client().CurrentUserAliases("s")->status().code(), "PARSE_ERROR");
}

// Bound: under the reply cap; parsed whole.
TEST_F(HostileServiceTest, TenMegabyteStringMemberIsParsed) {
  limits_.maxReplyBytes = std::size_t{16} * 1024 * 1024;
  exchange_ = MakeCurlExchange(limits_);
  service_.Answer("decrypt-mime", "{\"status\":{\"statusCode\":\"OK\"},\"clearText\":\"" +
                                      std::string(10 * 1024 * 1024, 'a') + "\"}");
  auto reply = Client().DecryptMime("s", "payload");
  ASSERT_TRUE(reply->status().isOk()) << reply->status().code();
  EXPECT_EQ(reply->clearText().size(), 10u * 1024 * 1024);
}

// Bound: one request; the other host is never contacted, and the redirect
// is a failure whatever its code.
TEST_F(HostileServiceTest, RedirectToAnotherHostIsNotFollowed) {
  testing::TlsTestServer elsewhere(testing::LoopbackCertificates(),
                                   [](const testing::RecordedRequest&, ServerConnection& c) {
                                     c.Reply(200, R"({"status":{"statusCode":"OK"}})");
                                   });
  const std::string location =
      "https://localhost:" + std::to_string(elsewhere.port()) + "/api/login";
  service_.AnswerRaw("login", [location](ServerConnection& c) {
    c.Write("HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n");
  });
  auto reply = Client().Login(u"a@b.c", u"secret");
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_EQ(FirstMessage(*reply), "Unable to receive response - 12156");
  // A 307 with a JSON body that would parse is refused all the same.
  service_.AnswerRaw("login", [location](ServerConnection& c) {
    const std::string body = R"({"status":{"statusCode":"OK"}})";
    c.Write("HTTP/1.1 307 Temporary Redirect\r\nLocation: " + location +
            "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\n\r\n" + body);
  });
  reply = Client().Login(u"a@b.c", u"secret");
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_TRUE(elsewhere.requests().empty());
}

// ---- the commands above the exchange ----

TEST_F(HostileServiceTest, BrokenLoginReplyStoresNoSession) {
  ui_.scripts.push_back(
      {LoginMethodDialog::kResourceId, {testing::Click(LoginMethodDialog::kOther)}});
  ui_.scripts.push_back(
      {VeilmarkLoginDialog::kResourceId,
       {testing::Type(VeilmarkLoginDialog::kPassword, u"pw"), testing::Click(kIdOk)}});
  service_.AnswerRaw("login", CutShort);
  ui_.scripts.push_back({LoginMethodDialog::kResourceId, {testing::Click(kIdCancel)}});
  SessionStore store;
  testing::ServicesOver services(service_, ui_, store, testing::Transport::kHttps);
  EXPECT_EQ(EnsureSession(u"a@b.c", services), "");
  EXPECT_EQ(SessionStore().GetSession(u"a@b.c"), "");
  EXPECT_EQ(ui_.boxes.size(), 1u);  // told once
}

TEST_F(HostileServiceTest, BrokenDecryptionShowsNoPane) {
  outlook::MemoryOutlook host;
  auto item = host.NewMailItem();
  item->sent = true;
  item->entryId = u"E";
  item->attachments->Add(u"Version_Identification", "Version: 1");
  item->attachments->Add(u"encrypted.asc", "-----BEGIN PGP MESSAGE-----");
  item->sendUsingAccount.reset();
  item->propertyAccessor->properties[outlook::kReceivedByAddressProperty] = u"a@b.c";
  service_.AnswerRaw("decrypt-mime", CutShort);
  SessionStore store;
  store.SetSession(u"a@b.c", "s");
  CacheManager cache(100, 3600000);
  std::shared_ptr<outlook::TaskPane> pane;
  testing::ServicesOver services(service_, ui_, store, testing::Transport::kHttps);
  EXPECT_EQ(
      DecryptAndShow(*item, host.NewExplorer(), services, cache, host.paneFactory.get(), pane),
      S_FALSE);
  EXPECT_FALSE(pane);
  EXPECT_TRUE(host.paneFactory->panes.empty());
  EXPECT_EQ(cache.Lookup(u"E"), u"");
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_NE(ui_.boxes[0].text.find(u"CLIENT_ERROR"), std::u16string::npos);
}

}  // namespace
}  // namespace veilmark

// Service calls wait on a worker while the UI thread keeps handling events:
// the waiter itself, and the roads' rules for events that arrive meanwhile.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "addin/connect_core.h"
#include "base/local_files.h"
#include "base/protocol_exception.h"
#include "base/text.h"
#include "login/dialogs/login_method_dialog.h"
#include "login/dialogs/veilmark_login_dialog.h"
#include "login/session_call.h"
#include "outlook/memory/memory_outlook.h"
#include "support/recording_ui.h"
#include "support/scripted_service.h"
#include "support/temp_data_home.h"
#include "support/test_certificates.h"
#include "support/tls_test_server.h"
#include "ui/browser.h"
#include "ui/wait.h"

namespace veilmark {
namespace {

using Clock = std::chrono::steady_clock;
using outlook::MemoryMailItem;
using std::chrono::milliseconds;

const char16_t kAccount[] = u"bob@example.org";
constexpr milliseconds kStall{5000};

std::string OkReply(const std::string& text) {
  return R"({"status":{"statusCode":"OK"},"clearText":"<p>)" + text +
         R"(</p>","decryptedAttachments":[]})";
}

// The host's event loop as tests drive it: events queued for the UI thread,
// each run once by the next pump, with the longest gap between pumps.
class EventLoop {
 public:
  void Post(std::function<void()> event) { events_.push_back(std::move(event)); }
  // Runs `event` on the first pump at least `after` into the wait.
  void PostAfter(milliseconds after, std::function<void()> event) {
    Post([this, after, event = std::move(event)] {
      if (Clock::now() - firstPump_ < after) {
        PostAfter(after, event);
        return;
      }
      event();
    });
  }
  void Pump() {
    const auto now = Clock::now();
    if (pumps_ == 0) firstPump_ = now;
    if (pumps_ > 0 && now - lastPump_ > longestGap_) longestGap_ = now - lastPump_;
    ++pumps_;
    lastPump_ = now;
    std::deque<std::function<void()>> due;
    due.swap(events_);
    for (auto& event : due) event();
  }
  Clock::duration longestGap() const { return longestGap_; }
  int pumps() const { return pumps_; }

 private:
  std::deque<std::function<void()>> events_;
  int pumps_ = 0;
  Clock::time_point firstPump_;
  Clock::time_point lastPump_;
  Clock::duration longestGap_{0};
};

// ---- the waiter ----

class WaiterTest : public ::testing::Test {
 protected:
  EventLoop loop_;
  std::ostringstream log_;
  TerminalWaiter waiter_{[this] { loop_.Pump(); }, log_};
};

TEST_F(WaiterTest, TheWorkRunsOffThisThreadWhileEventsKeepComing) {
  const auto ui = std::this_thread::get_id();
  std::thread::id worker;
  const WaitEnd end = waiter_.Run({u"Working\u2026", 0}, [&](Cancellation&) {
    worker = std::this_thread::get_id();
    std::this_thread::sleep_for(milliseconds(400));
  });
  EXPECT_EQ(end, WaitEnd::kDone);
  EXPECT_NE(worker, ui);
  EXPECT_GT(loop_.pumps(), 4);
  // Before its delay the window does not show.
  EXPECT_EQ(log_.str(), "");
}

TEST_F(WaiterTest, ALongWaitShowsItsWindowWithTheSizeThenClosesIt) {
  waiter_.Run({u"Decrypting the message\u2026", 25u * 1024 * 1024},
              [](Cancellation&) { std::this_thread::sleep_for(milliseconds(1300)); });
  EXPECT_EQ(log_.str(), "wait: Decrypting the message\u2026 (25.0 MB) [Cancel]\nwait: closed\n");
}

TEST_F(WaiterTest, CancelReachesTheWorkAndEndsTheWaitAsCancelled) {
  loop_.PostAfter(milliseconds(50), [this] { waiter_.CancelInnermost(); });
  bool sawCancel = false;
  const auto start = Clock::now();
  const WaitEnd end = waiter_.Run({u"x", 0}, [&](Cancellation& cancel) {
    while (!cancel.requested() && Clock::now() - start < kStall) {
      std::this_thread::sleep_for(milliseconds(2));
    }
    sawCancel = cancel.requested();
  });
  EXPECT_EQ(end, WaitEnd::kCancelled);
  EXPECT_TRUE(sawCancel);
}

TEST_F(WaiterTest, AbandonEndsEveryNestedWaitAndAnInterruptRunsOnce) {
  int interrupts = 0;
  WaitEnd inner = WaitEnd::kDone;
  auto spin = [](Cancellation& cancel) {
    const auto start = Clock::now();
    while (!cancel.requested() && Clock::now() - start < kStall) {
      std::this_thread::sleep_for(milliseconds(2));
    }
  };
  loop_.Post([&] {
    loop_.PostAfter(milliseconds(50), [&] { waiter_.AbandonAll(); });
    inner = waiter_.Run({u"inner", 0}, spin);
  });
  const WaitEnd outer = waiter_.Run({u"outer", 0}, [&](Cancellation& cancel) {
    cancel.SetInterrupt([&interrupts] { ++interrupts; });
    spin(cancel);
    cancel.Request();
    cancel.SetInterrupt({});
  });
  EXPECT_EQ(outer, WaitEnd::kAbandoned);
  EXPECT_EQ(inner, WaitEnd::kAbandoned);
  EXPECT_EQ(interrupts, 1);
  // A later wait is not affected.
  EXPECT_EQ(waiter_.Run({u"later", 0}, [](Cancellation&) {}), WaitEnd::kDone);
}

// A saved attachment is read back while events keep coming; a file that
// cannot be read fails here, on the UI thread, as LoadFile does.
TEST_F(WaiterTest, AFileIsReadBackWaitingAndItsFailureComesBackHere) {
  testing::TempDataHome home;
  const std::u16string path = MakeScratchFile();
  const std::string bytes(8u * 1024 * 1024, 'q');
  ASSERT_TRUE(SaveFile(path, bytes));
  std::string read;
  EXPECT_EQ(LoadFileWaiting(waiter_, {u"Reading", 0}, path, read), WaitEnd::kDone);
  EXPECT_EQ(read, bytes);

  DeleteLocalFile(path);
  std::string missing = "untouched";
  try {
    LoadFileWaiting(waiter_, {u"Reading", 0}, path, missing);
    ADD_FAILURE() << "a missing file was read";
  } catch (const ProtocolException& error) {
    EXPECT_EQ(WideToUtf8(error.message()), "Unable to load file");
  }
  EXPECT_EQ(missing, "untouched");
}

// ---- the roads while a call waits ----

class WaitingRoadTest : public ::testing::Test {
 protected:
  WaitingRoadTest() {
    SessionStore().SetSession(kAccount, "s-1");
    host_.paneFactory->show = [this](const std::u16string& page) {
      shown_.push_back(page);
      return true;
    };
    core_->OnConnection(host_.application);
    core_->CTPFactoryAvailable(host_.paneFactory);
  }

  std::shared_ptr<MemoryMailItem> ProtectedMessage(const std::u16string& entryId,
                                                   const std::string& cipherText) {
    auto item = host_.NewMailItem("protected");
    item->typeId = outlook::kMailItemIid;
    item->sent = true;
    item->entryId = entryId;
    item->propertyAccessor->properties[outlook::kTransportHeadersProperty] =
        u"Content-Type: multipart/encrypted; protocol=\"application/pgp-encrypted\"; "
        u"boundary=\"xyz\"\r\n";
    item->propertyAccessor->properties[outlook::kReceivedByAddressProperty] = kAccount;
    item->attachments->Add(u"version.dat", "Version: 1\r\n");
    item->attachments->Add(u"encrypted.asc", cipherText);
    return item;
  }

  std::shared_ptr<outlook::MemoryExplorer> StartWithExplorer() {
    auto explorer = host_.NewExplorer();
    host_.application->activeExplorer = explorer;
    EXPECT_EQ(core_->OnStartupComplete(), S_OK);
    return explorer;
  }

  std::vector<std::string> CipherTextsSent() const {
    std::vector<std::string> sent;
    const auto commands = service_.Commands();
    for (std::size_t i = 0; i < commands.size(); ++i) {
      if (commands[i] == "decrypt-mime") sent.push_back(service_.Params(i).at("cipherText"));
    }
    return sent;
  }

  bool NoPaneLeft() const { return host_.paneFactory->AllDeleted(); }

  testing::TempDataHome home_;
  testing::ScriptedService service_;
  testing::RecordingUi ui_;
  outlook::MemoryOutlook host_;
  EventLoop loop_;
  std::ostringstream waitLog_;
  std::shared_ptr<TerminalWaiter> waiter_ =
      std::make_shared<TerminalWaiter>([this] { loop_.Pump(); }, waitLog_);
  std::unique_ptr<ConnectCore> core_ =
      std::make_unique<ConnectCore>(testing::PlatformOver(service_, ui_, waiter_));
  std::vector<std::u16string> shown_;
};

TEST_F(WaitingRoadTest, SelectionsDuringADecryptionLeadToOneMoreOfTheLatest) {
  auto explorer = StartWithExplorer();
  auto first = ProtectedMessage(u"E1", "cipher-1");
  auto second = ProtectedMessage(u"E2", "cipher-2");
  auto third = ProtectedMessage(u"E3", "cipher-3");
  service_.AnswerAfter("decrypt-mime", OkReply("one"), milliseconds(600));
  service_.Answer("decrypt-mime", OkReply("three"));
  std::vector<HRESULT> during;
  loop_.PostAfter(milliseconds(100), [&] {
    for (HRESULT hr : explorer->Select({second})) during.push_back(hr);
    for (HRESULT hr : explorer->Select({third})) during.push_back(hr);
  });

  EXPECT_EQ(explorer->Select({first}), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(during, (std::vector<HRESULT>{S_OK, S_OK}));
  EXPECT_EQ(CipherTextsSent(), (std::vector<std::string>{"cipher-1", "cipher-3"}));
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_NE(shown_[0].find(u"three"), std::u16string::npos);
  EXPECT_LT(loop_.longestGap(), milliseconds(100));
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(WaitingRoadTest, AWindowClosedDuringItsDecryptionShowsNothing) {
  ASSERT_EQ(core_->OnStartupComplete(), S_OK);
  auto inspector = host_.NewInspector();
  inspector->currentItem = ProtectedMessage(u"E1", "cipher-1");
  service_.AnswerAfter("decrypt-mime", OkReply("one"), milliseconds(300));
  loop_.PostAfter(milliseconds(50), [&] { inspector->FireClose(); });

  host_.application->inspectors->FireNewInspector(inspector);
  EXPECT_TRUE(shown_.empty());
  EXPECT_TRUE(NoPaneLeft());
  EXPECT_EQ(inspector->sinks.size(), 0u);
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(WaitingRoadTest, CancelledDecryptionEndsAsAFailureWithItsMessage) {
  auto explorer = StartWithExplorer();
  service_.AnswerAfter("decrypt-mime", OkReply("one"), kStall);
  loop_.PostAfter(milliseconds(100), [&] { waiter_->CancelInnermost(); });

  explorer->Select({ProtectedMessage(u"E1", "cipher-1")});
  EXPECT_TRUE(shown_.empty());
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_NE(ui_.messages()[0].find(u"Unable to decrypt message using account - bob@example.org"),
            std::u16string::npos);
  EXPECT_NE(ui_.messages()[0].find(u"cancelled"), std::u16string::npos);
}

class WaitingSendTest : public WaitingRoadTest {
 protected:
  WaitingSendTest() {
    EXPECT_EQ(core_->OnStartupComplete(), S_OK);
    item_ = host_.NewMailItem("draft");
    item_->sendUsingAccount = std::make_shared<outlook::MemoryAccount>();
    item_->sendUsingAccount->smtpAddress = kAccount;
    item_->subject = u"Q3 report";
    item_->htmlBody = u"<p>Hi</p>";
    item_->recipients->Add(u"alice@example.org", outlook::kRecipientTo)
        ->SetSmtpAddress(u"alice@example.org");
    item_->attachments->Add(u"report.pdf", "%PDF-1.4");
    inspector_ = host_.NewInspector();
    inspector_->currentItem = item_;
    control_ = std::make_shared<outlook::MemoryRibbonControl>();
    control_->context = inspector_;
  }

  std::shared_ptr<MemoryMailItem> item_;
  std::shared_ptr<outlook::MemoryInspector> inspector_;
  std::shared_ptr<outlook::MemoryRibbonControl> control_;
};

TEST_F(WaitingSendTest, CancelKeepsTheDraftAndSendsNothingMore) {
  service_.AnswerAfter("upload-attachments", R"({"status":{"statusCode":"OK"},"att":[{"id":7}]})",
                       kStall);
  loop_.PostAfter(milliseconds(100), [&] { waiter_->CancelInnermost(); });

  EXPECT_EQ(core_->OnSecureSendClick(control_), S_FALSE);
  EXPECT_EQ(service_.Commands(), std::vector<std::string>{"upload-attachments"});
  EXPECT_FALSE(item_->deleted);
  EXPECT_FALSE(inspector_->closeRequested);
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_NE(ui_.messages()[0].find(u"Unable to send encrypted message"), std::u16string::npos);
  EXPECT_NE(ui_.messages()[0].find(u"cancelled"), std::u16string::npos);
}

TEST_F(WaitingSendTest, ASecondClickDuringTheSendIsIgnored) {
  service_.AnswerAfter("upload-attachments",
                       R"({"status":{"statusCode":"OK"},"att":[{"id":7,"name":"report.pdf"}]})",
                       milliseconds(300));
  service_.Answer("encrypt-send", R"({"status":{"statusCode":"OK"}})");
  HRESULT second = E_FAIL;
  loop_.PostAfter(milliseconds(50), [&] { second = core_->OnSecureSendClick(control_); });

  EXPECT_EQ(core_->OnSecureSendClick(control_), S_OK);
  EXPECT_EQ(second, S_OK);
  EXPECT_EQ(service_.Commands(), (std::vector<std::string>{"upload-attachments", "encrypt-send"}));
  EXPECT_TRUE(item_->deleted);
}

// ---- the login while its calls wait ----

// The login's own calls wait as the roads' do, inside its modal dialogs:
// the events keep turning, and a cancelled or abandoned wait gives the login
// up.
class LoginWaitTest : public ::testing::Test {
 protected:
  static constexpr milliseconds kLoginStall{3000};

  LoginWaitTest() { ExpectAPasswordLogin(); }

  // The user picks a password login and types it; the service answers late.
  void ExpectAPasswordLogin() {
    ui_.scripts.push_back(
        {LoginMethodDialog::kResourceId, {testing::Click(LoginMethodDialog::kOther)}});
    ui_.scripts.push_back(
        {VeilmarkLoginDialog::kResourceId,
         {testing::Type(VeilmarkLoginDialog::kPassword, u"pw"), testing::Click(kIdOk)}});
    service_.AnswerAfter("login", testing::OkLoginReply("s-new", "bob@example.org"), kLoginStall);
  }

  testing::TempDataHome home_;
  testing::ScriptedService service_;
  testing::RecordingUi ui_;
  SessionStore sessions_;
  ApiClient api_{service_.InProcess(), service_.endpoint()};
  EventLoop loop_;
  std::ostringstream waitLog_;
  TerminalWaiter waiter_{[this] { loop_.Pump(); }, waitLog_};
  Services services_{ui_, api_, sessions_, waiter_};
};

TEST_F(LoginWaitTest, AStalledLoginCallKeepsTheEventsTurning) {
  const auto start = Clock::now();
  EXPECT_EQ(EnsureSession(kAccount, services_), "s-new");
  EXPECT_GE(Clock::now() - start, kLoginStall);
  // Turns all through the stall, never far apart.
  EXPECT_GT(loop_.pumps(), static_cast<int>(kLoginStall / milliseconds(100)));
  EXPECT_LT(loop_.longestGap(), milliseconds(100));
  std::printf("[ gap ] stalled login call: %.1f ms\n",
              std::chrono::duration<double, std::milli>(loop_.longestGap()).count());
  EXPECT_EQ(waitLog_.str(), "wait: Logging in\u2026 [Cancel]\nwait: closed\n");
  EXPECT_EQ(SessionStore().GetSession(kAccount), "s-new");
  EXPECT_EQ(ui_.dialogs.size(), 2u);
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(LoginWaitTest, CancelOrShutdownDuringALoginCallGivesTheLoginUp) {
  for (const bool shutdown : {false, true}) {
    SCOPED_TRACE(shutdown ? "shutdown" : "cancel");
    if (shutdown) ExpectAPasswordLogin();  // the same dialogs and stalled answer again
    const std::size_t dialogsBefore = ui_.dialogs.size();
    loop_.PostAfter(milliseconds(100), [this, shutdown] {
      shutdown ? waiter_.AbandonAll() : waiter_.CancelInnermost();
    });
    const auto start = Clock::now();
    EXPECT_EQ(EnsureSession(kAccount, services_), "");
    EXPECT_LT(Clock::now() - start, kLoginStall);
    // Given up: no session, no message, and the chooser does not come back.
    EXPECT_EQ(SessionStore().GetSession(kAccount), "");
    EXPECT_TRUE(ui_.messages().empty());
    EXPECT_EQ(ui_.dialogs.size() - dialogsBefore, 2u);
  }
  EXPECT_EQ(service_.Commands(), (std::vector<std::string>{"login", "login"}));
}

// The login dialogs' browser loads its pages the same way.
TEST(BrowserWaitTest, AStalledPageKeepsTheEventsTurningAndCancelStopsIt) {
  const testing::TestCertificates certs = testing::MakeTestCertificates("wait-browser");
  testing::TlsTestServer server(
      certs, [](const testing::RecordedRequest&, testing::ServerConnection& connection) {
        std::this_thread::sleep_for(milliseconds(1500));
        connection.Reply(200, "<html>late</html>", "text/html");
      });
  const std::string url = "https://localhost:" + std::to_string(server.port()) + "/";
  EventLoop loop;
  std::ostringstream log;
  auto waiter = std::make_shared<TerminalWaiter>([&loop] { loop.Pump(); }, log);
  const auto browser = MakeWaitingBrowser(MakePlatformBrowser(certs.caFile), waiter);

  const BrowserResult loaded = browser->Open(url);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(loaded.document.source, "<html>late</html>");
  EXPECT_GT(loop.pumps(), 15);
  EXPECT_LT(loop.longestGap(), milliseconds(100));
  std::printf("[ gap ] stalled page load: %.1f ms\n",
              std::chrono::duration<double, std::milli>(loop.longestGap()).count());
  EXPECT_EQ(log.str(), "wait: Loading the page\u2026 [Cancel]\nwait: closed\n");

  loop.PostAfter(milliseconds(100), [&waiter] { waiter->CancelInnermost(); });
  const auto start = Clock::now();
  const BrowserResult cancelled = browser->Open(url);
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  EXPECT_FALSE(cancelled.ok);
  EXPECT_EQ(cancelled.error, "cancelled");
}

}  // namespace
}  // namespace veilmark

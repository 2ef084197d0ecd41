// The host shutting the add-in down while one of its login dialogs is open.
// A dialog's message loop runs inside the window event that needed the
// login, so the wrapper handling that event is on the stack when the
// shutdown arrives. Also built with AddressSanitizer, which catches what a
// plain build would survive by luck.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "addin/connect_core.h"
#include "login/dialogs/login_method_dialog.h"
#include "login/dialogs/veilmark_login_dialog.h"
#include "outlook/memory/memory_outlook.h"
#include "support/recording_ui.h"
#include "support/scripted_service.h"
#include "support/temp_data_home.h"

namespace veilmark {
namespace {

using outlook::MemoryMailItem;
using testing::Click;
using testing::Type;

const char16_t kAccount[] = u"bob@example.org";
const char kOkReply[] =
    R"({"status":{"statusCode":"OK"},"clearText":"<p>Hello Bob</p>","decryptedAttachments":[]})";

class ShutdownDuringDialogTest : public ::testing::Test {
 protected:
  ShutdownDuringDialogTest() {
    core_->OnConnection(host_.application);
    core_->CTPFactoryAvailable(host_.paneFactory);
  }

  std::shared_ptr<MemoryMailItem> ProtectedMessage() {
    auto item = host_.NewMailItem("protected");
    item->typeId = outlook::kMailItemIid;
    item->sent = true;
    item->entryId = u"E1";
    item->propertyAccessor->properties[outlook::kTransportHeadersProperty] =
        u"Content-Type: multipart/encrypted; protocol=\"application/pgp-encrypted\"; "
        u"boundary=\"xyz\"\r\n";
    item->propertyAccessor->properties[outlook::kReceivedByAddressProperty] = kAccount;
    item->attachments->Add(u"version.dat", "Version: 1\r\n");
    item->attachments->Add(u"encrypted.asc", "-----BEGIN PGP MESSAGE-----\r\n");
    return item;
  }

  // No session yet: bob logs in through the dialogs, and the message is
  // decrypted once he has.
  void BobWillLogIn() {
    ui_.scripts.push_back({LoginMethodDialog::kResourceId, {Click(LoginMethodDialog::kOther)}});
    ui_.scripts.push_back({VeilmarkLoginDialog::kResourceId,
                           {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)}});
    service_.Answer("login", testing::OkLoginReply("s-new", "bob@example.org"));
    service_.Answer("decrypt-mime", kOkReply);
  }

  // Every pane the road made is gone again.
  bool NoPaneLeft() const { return host_.paneFactory->AllDeleted(); }

  testing::TempDataHome home_;
  testing::ScriptedService service_;
  testing::RecordingUi ui_;
  outlook::MemoryOutlook host_;
  // The host's events during a wait.
  std::function<void()> pump_;
  std::unique_ptr<ConnectCore> core_ =
      std::make_unique<ConnectCore>(testing::PlatformOver(service_, ui_,
                                                          std::make_shared<TerminalWaiter>(
                                                              [this] {
                                                                if (pump_) pump_();
                                                              },
                                                              std::cerr)));
};

TEST_F(ShutdownDuringDialogTest, SelectionWhoseLoginSeesShutdownAndDisconnection) {
  auto explorer = host_.NewExplorer();
  host_.application->activeExplorer = explorer;
  ASSERT_EQ(core_->OnStartupComplete(), S_OK);
  BobWillLogIn();
  int shutdowns = 0;
  ui_.whileOpen = [&](int resourceId) {
    if (resourceId != LoginMethodDialog::kResourceId) return;
    ++shutdowns;
    EXPECT_EQ(core_->OnBeginShutdown(), S_OK);
    EXPECT_EQ(core_->OnDisconnection(), S_OK);
    // Let go of at once, though its call is still running.
    EXPECT_EQ(explorer->sinks.size(), 0u);
  };

  EXPECT_EQ(explorer->Select({ProtectedMessage()}), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(shutdowns, 1);
  // The road finished (bob's login is kept), but what it showed went with
  // the wrapper, and nothing is left hooked.
  EXPECT_EQ(SessionStore().GetSession(kAccount), "s-new");
  EXPECT_EQ(service_.Commands(), (std::vector<std::string>{"login", "decrypt-mime"}));
  EXPECT_TRUE(NoPaneLeft());
  for (const auto& wrapper : core_->explorerWrappers()) EXPECT_FALSE(wrapper);
  EXPECT_EQ(explorer->sinks.size(), 0u);
  EXPECT_EQ(host_.application->sinks.size(), 0u);
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(ShutdownDuringDialogTest, OpenedMessageWhoseLoginSeesTheConnectionReleased) {
  ASSERT_EQ(core_->OnStartupComplete(), S_OK);
  auto inspector = host_.NewInspector();
  inspector->currentItem = ProtectedMessage();
  BobWillLogIn();
  ui_.whileOpen = [&](int resourceId) {
    if (resourceId != LoginMethodDialog::kResourceId) return;
    EXPECT_EQ(core_->OnDisconnection(), S_OK);
    core_.reset();  // the host's last reference, as after a disconnection
  };

  host_.application->inspectors->FireNewInspector(inspector);
  EXPECT_FALSE(core_);
  EXPECT_EQ(SessionStore().GetSession(kAccount), "s-new");
  EXPECT_TRUE(NoPaneLeft());
  EXPECT_EQ(inspector->sinks.size(), 0u);
  EXPECT_EQ(host_.application->inspectors->sinks.size(), 0u);
}

TEST_F(ShutdownDuringDialogTest, WindowClosedWhileItsLoginDialogIsOpenKeepsNoPane) {
  auto explorer = host_.NewExplorer();
  host_.application->activeExplorer = explorer;
  ASSERT_EQ(core_->OnStartupComplete(), S_OK);
  BobWillLogIn();
  ui_.whileOpen = [&](int resourceId) {
    if (resourceId == LoginMethodDialog::kResourceId) explorer->FireClose();
  };

  EXPECT_EQ(explorer->Select({ProtectedMessage()}), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(service_.Commands(), (std::vector<std::string>{"login", "decrypt-mime"}));
  EXPECT_TRUE(NoPaneLeft());
  ASSERT_EQ(core_->explorerWrappers().size(), 1u);
  EXPECT_FALSE(core_->explorerWrappers()[0]->pane());
  EXPECT_EQ(explorer->sinks.size(), 0u);
}

TEST_F(ShutdownDuringDialogTest, DialogClosedAfterShutdownEndsTheRoadQuietly) {
  auto explorer = host_.NewExplorer();
  host_.application->activeExplorer = explorer;
  ASSERT_EQ(core_->OnStartupComplete(), S_OK);
  ui_.scripts.push_back({LoginMethodDialog::kResourceId, {Click(kIdCancel)}});
  ui_.whileOpen = [&](int) { EXPECT_EQ(core_->OnBeginShutdown(), S_OK); };

  EXPECT_EQ(explorer->Select({ProtectedMessage()}), std::vector<HRESULT>{S_OK});
  EXPECT_TRUE(service_.Commands().empty());
  EXPECT_TRUE(host_.paneFactory->panes.empty());
  EXPECT_EQ(explorer->sinks.size(), 0u);
  // A later event from a source that fires late reaches nobody.
  ui_.whileOpen = nullptr;
  EXPECT_TRUE(explorer->FireSelectionChange().empty());
}

// The host shutting down while a decryption waits on a stalled service: the
// call in flight is abandoned, and what it uses outlives its frame.
class ShutdownDuringWaitTest : public ShutdownDuringDialogTest {
 protected:
  ShutdownDuringWaitTest() { SessionStore().SetSession(kAccount, "s-1"); }
};

TEST_F(ShutdownDuringWaitTest, ShutdownAndReleaseDuringTheWaitEndQuietly) {
  auto explorer = host_.NewExplorer();
  host_.application->activeExplorer = explorer;
  ASSERT_EQ(core_->OnStartupComplete(), S_OK);
  service_.AnswerAfter("decrypt-mime", kOkReply, std::chrono::seconds(5));
  int shutdowns = 0;
  pump_ = [&] {
    if (shutdowns++ > 0) return;
    EXPECT_EQ(core_->OnBeginShutdown(), S_OK);
    EXPECT_EQ(core_->OnDisconnection(), S_OK);
    core_.reset();  // the host's last reference
  };

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(explorer->Select({ProtectedMessage()}), std::vector<HRESULT>{S_OK});
  // Abandoned, not waited out.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_FALSE(core_);
  EXPECT_TRUE(host_.paneFactory->panes.empty());
  EXPECT_EQ(explorer->sinks.size(), 0u);
  EXPECT_EQ(host_.application->sinks.size(), 0u);
  EXPECT_TRUE(ui_.messages().empty());
}

// The same during the login's own call: the login is given up, nothing is
// stored, and the message is not decrypted.
TEST_F(ShutdownDuringDialogTest, ShutdownDuringTheLoginCallEndsQuietly) {
  auto explorer = host_.NewExplorer();
  host_.application->activeExplorer = explorer;
  ASSERT_EQ(core_->OnStartupComplete(), S_OK);
  ui_.scripts.push_back({LoginMethodDialog::kResourceId, {Click(LoginMethodDialog::kOther)}});
  ui_.scripts.push_back({VeilmarkLoginDialog::kResourceId,
                         {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)}});
  service_.AnswerAfter("login", testing::OkLoginReply("s-new", "bob@example.org"),
                       std::chrono::seconds(5));
  service_.Answer("decrypt-mime", kOkReply);
  int shutdowns = 0;
  pump_ = [&] {
    if (shutdowns++ > 0) return;
    EXPECT_EQ(core_->OnBeginShutdown(), S_OK);
    EXPECT_EQ(core_->OnDisconnection(), S_OK);
    core_.reset();
  };

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(explorer->Select({ProtectedMessage()}), std::vector<HRESULT>{S_OK});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_FALSE(core_);
  EXPECT_EQ(service_.Commands(), std::vector<std::string>{"login"});
  EXPECT_EQ(SessionStore().GetSession(kAccount), "");
  EXPECT_TRUE(host_.paneFactory->panes.empty());
  EXPECT_EQ(explorer->sinks.size(), 0u);
  EXPECT_TRUE(ui_.messages().empty());
}

}  // namespace
}  // namespace veilmark

// The read road from a window's event to the pane, against the fake host and
// a scripted service on loopback HTTPS.
#include "read/secure_read.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "addin/connect_core.h"
#include "addin/window_wrappers.h"
#include "api/api_endpoint.h"
#include "base/text.h"
#include "login/dialogs/login_method_dialog.h"
#include "login/dialogs/veilmark_login_dialog.h"
#include "outlook/memory/memory_outlook.h"
#include "read/decrypted_view.h"
#include "read/task_pane.h"
#include "support/hr_assert_recorder.h"
#include "support/recording_ui.h"
#include "support/scripted_service.h"
#include "support/temp_data_home.h"

namespace veilmark {
namespace {

using namespace std::string_literals;
using outlook::MemoryAttachment;
using outlook::MemoryMailItem;
using outlook::MemoryTaskPane;
using testing::Click;
using testing::Type;

const HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);
const char16_t kAccount[] = u"bob@example.org";
const char16_t kHeaders[] =
    u"Delivered-To: Bob@Example.org\r\nContent-Type: multipart/encrypted; "
    u"protocol=\"application/pgp-encrypted\"; boundary=\"xyz\"\r\n";
// Armored payload as delivered, with bytes that must reach the service as
// they are.
const std::string kPayload = "-----BEGIN PGP MESSAGE-----\r\n\xC3\xA9\0+&=\r\n-----END"s;
const char kOkReply[] = R"({"status":{"statusCode":"OK"},"clearText":"<p>Hello Bob</p>",)"
                        R"("decryptedAttachments":[{"name":"plan.pdf","url":"/att/1","size":1536,)"
                        R"("contentType":"application/pdf"}]})";

class SecureReadTest : public ::testing::Test {
 protected:
  SecureReadTest() = default;

  std::shared_ptr<MemoryMailItem> ProtectedMessage(const std::string& label = "item",
                                                   const std::u16string& entryId = u"E1") {
    auto item = host_.NewMailItem(label);
    item->typeId = outlook::kMailItemIid;
    item->sent = true;
    item->entryId = entryId;
    item->propertyAccessor->properties[outlook::kTransportHeadersProperty] = kHeaders;
    item->propertyAccessor->properties[outlook::kReceivedByAddressProperty] = u"Bob@Example.org";
    item->attachments->Add(u"PGP_MIME version identification.dat", "Version: 1\r\n");
    item->attachments->Add(u"encrypted.asc", kPayload);
    return item;
  }
  std::shared_ptr<MemoryMailItem> PlainMessage(const std::string& label = "plain") {
    auto item = host_.NewMailItem(label);
    item->typeId = outlook::kMailItemIid;
    item->sent = true;
    item->entryId = u"P1";
    item->propertyAccessor->properties[outlook::kTransportHeadersProperty] =
        u"Content-Type: text/plain\r\n";
    return item;
  }
  void LoggedIn(const std::string& session = "s-1") { store_.SetSession(kAccount, session); }

  HRESULT Decrypt(MemoryMailItem& item) {
    auto window = host_.NewExplorer();
    return DecryptAndShow(item, window, services_, cache_, host_.paneFactory.get(), pane_);
  }
  std::vector<std::u16string> Messages() const { return ui_.messages(); }
  bool DataFolderHoldsOnlySessions() const {
    for (const auto& entry : std::filesystem::directory_iterator(home_.folder())) {
      if (entry.path().filename().string().rfind("session_", 0) != 0) return false;
    }
    return true;
  }

  testing::TempDataHome home_;
  testing::ScriptedService service_;
  testing::RecordingUi ui_;
  outlook::MemoryOutlook host_;
  SessionStore store_;
  testing::ServicesOver services_{service_, ui_, store_};
  CacheManager cache_{100, 3600000};
  std::shared_ptr<outlook::TaskPane> pane_;
};

// ---- recognition ----

TEST_F(SecureReadTest, RecognisesOnlySentMailWithPgpMimeHeaders) {
  EXPECT_TRUE(IsProtectedMessage(ProtectedMessage()));
  EXPECT_FALSE(IsProtectedMessage(PlainMessage()));
  EXPECT_FALSE(IsProtectedMessage(nullptr));

  auto draft = ProtectedMessage("draft");
  draft->sent = false;
  EXPECT_FALSE(IsProtectedMessage(draft));

  auto notMail = ProtectedMessage("meeting");
  notMail->typeId = u"{00063033-0000-0000-C000-000000000046}";
  EXPECT_FALSE(IsProtectedMessage(notMail));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(SecureReadTest, AnyFailingCallMeansNotProtected) {
  testing::HrAssertRecorder asserts;
  for (const char* operation : {"GetTypeId", "AsMailItem", "GetSent", "GetPropertyAccessor"}) {
    auto item = ProtectedMessage(operation);
    item->Fail(operation);
    EXPECT_FALSE(IsProtectedMessage(item)) << operation;
  }
  auto item = ProtectedMessage("headers");
  item->propertyAccessor->Fail("GetProperty");
  EXPECT_FALSE(IsProtectedMessage(item));
}

// ---- decryption ----

TEST_F(SecureReadTest, DecryptsShowsAndCaches) {
  LoggedIn("s-1");
  service_.Answer("decrypt-mime", kOkReply);
  auto item = ProtectedMessage();
  auto window = host_.NewExplorer();
  EXPECT_EQ(DecryptAndShow(*item, window, services_, cache_, host_.paneFactory.get(), pane_), 0);

  ASSERT_EQ(service_.Commands(), std::vector<std::string>{"decrypt-mime"});
  EXPECT_EQ(service_.Request(0).body,
            "cipherText=" + UrlEncode(kPayload) + "&sessionId=s-1&json=true");

  ASSERT_EQ(host_.paneFactory->panes.size(), 1u);
  const auto& pane = host_.paneFactory->panes[0];
  EXPECT_EQ(pane_, pane);
  EXPECT_EQ(pane->title, u"Secure message contents");
  EXPECT_EQ(pane->controlId, u"{8856F961-340A-11D0-A96B-00C04FD705A2}");
  EXPECT_EQ(pane->window, window);
  EXPECT_EQ(pane->dockPosition, 3);
  EXPECT_TRUE(pane->visible);
  VeilmarkDecryptedAtt plan{u"plan.pdf", u"/att/1", u"", 1536, "application/pdf"};
  const std::u16string view =
      ComposeDecryptedView(u"<p>Hello Bob</p>", {plan}, service_.endpoint().authority());
  EXPECT_EQ(pane->browser()->html()->Text(), view);
  EXPECT_EQ(pane->browser()->html()->closes, 1);
  EXPECT_EQ(cache_.Lookup(u"E1"), view);
  EXPECT_TRUE(DataFolderHoldsOnlySessions());
  EXPECT_EQ(item->attachments->items[0]->Calls("SaveAsFile"), 0);  // the version part is not read
}

TEST_F(SecureReadTest, CacheHitPostsNothing) {
  cache_.Store(u"E1", u"<p>cached</p>");
  auto item = ProtectedMessage();
  EXPECT_EQ(Decrypt(*item), 0);
  EXPECT_TRUE(service_.Commands().empty());
  EXPECT_EQ(host_.paneFactory->panes.at(0)->browser()->html()->Text(), u"<p>cached</p>");
  EXPECT_EQ(item->attachments->Calls("GetItem"), 0);
}

TEST_F(SecureReadTest, OneAttachmentShowsAndPostsNothing) {
  LoggedIn();
  auto item = ProtectedMessage();
  item->attachments->items.pop_back();
  EXPECT_EQ(Decrypt(*item), 0);
  EXPECT_TRUE(service_.Commands().empty());
  EXPECT_TRUE(host_.paneFactory->panes.empty());
}

TEST_F(SecureReadTest, FailingHostCallsReturnTheirCodeAndLeaveNoFile) {
  testing::HrAssertRecorder asserts;
  LoggedIn();
  auto noAttachments = ProtectedMessage("a");
  noAttachments->Fail("GetAttachments", kAccessDenied);
  EXPECT_EQ(Decrypt(*noAttachments), kAccessDenied);

  auto noItem = ProtectedMessage("b");
  noItem->attachments->Fail("GetItem", DISP_E_BADINDEX);
  EXPECT_EQ(Decrypt(*noItem), DISP_E_BADINDEX);

  auto noSave = ProtectedMessage("c");
  noSave->attachments->items[1]->Fail("SaveAsFile", E_FAIL);
  EXPECT_EQ(Decrypt(*noSave), E_FAIL);

  EXPECT_TRUE(service_.Commands().empty());
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(DataFolderHoldsOnlySessions());
}

TEST_F(SecureReadTest, RefusalIsShownWithTheAccountAndStatus) {
  LoggedIn();
  service_.Answer("decrypt-mime", testing::StatusReply("NOT_A_RECIPIENT"));
  auto item = ProtectedMessage();
  EXPECT_EQ(Decrypt(*item), S_FALSE);
  EXPECT_EQ(Messages(),
            std::vector<std::u16string>{u"Unable to decrypt message using account - bob@example.org"
                                        u"\nAdditional info: " +
                                        testing::DescribeStatus("NOT_A_RECIPIENT")});
  EXPECT_TRUE(host_.paneFactory->panes.empty());
  EXPECT_EQ(cache_.Lookup(u"E1"), u"");
}

TEST_F(SecureReadTest, ExpiredSessionTwiceGivesOneLoginThenTheMessage) {
  LoggedIn("old");
  service_.Answer("decrypt-mime", testing::StatusReply("INVALID_SESSION"));
  ui_.scripts.push_back({LoginMethodDialog::kResourceId, {Click(LoginMethodDialog::kOther)}});
  ui_.scripts.push_back({VeilmarkLoginDialog::kResourceId,
                         {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)}});
  service_.Answer("login", testing::OkLoginReply("new", "bob@example.org"));
  service_.Answer("decrypt-mime", testing::StatusReply("INVALID_SESSION"));
  auto item = ProtectedMessage();
  EXPECT_EQ(Decrypt(*item), S_FALSE);
  EXPECT_EQ(service_.Commands(),
            (std::vector<std::string>{"decrypt-mime", "login", "decrypt-mime"}));
  EXPECT_EQ(service_.Params(2).at("sessionId"), "new");
  EXPECT_EQ(SessionStore().GetSession(kAccount), "new");
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find(testing::DescribeStatus("INVALID_SESSION")), std::u16string::npos);
}

// The repeat after a login sends the first request's body again with only
// the session changed, for a payload larger than a piece of its file.
TEST_F(SecureReadTest, RepeatAfterALoginSendsTheSameBodyWithTheNewSession) {
  LoggedIn("old");
  std::string payload = "-----BEGIN PGP MESSAGE-----\r\n";
  while (payload.size() < 2621440) payload += "hQEMA8Vb0d3Z+/=\r\n\xC3\xA9\0&%"s;
  const std::string session(300, 'n');  // longer than the old one by far
  service_.Answer("decrypt-mime", testing::StatusReply("INVALID_SESSION"));
  ui_.scripts.push_back({LoginMethodDialog::kResourceId, {Click(LoginMethodDialog::kOther)}});
  ui_.scripts.push_back({VeilmarkLoginDialog::kResourceId,
                         {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)}});
  service_.Answer("login", testing::OkLoginReply(session, "bob@example.org"));
  service_.Answer("decrypt-mime", kOkReply);
  auto item = ProtectedMessage();
  item->attachments->items.at(1)->bytes = payload;
  EXPECT_EQ(Decrypt(*item), 0);
  ASSERT_EQ(service_.Commands(),
            (std::vector<std::string>{"decrypt-mime", "login", "decrypt-mime"}));
  const std::string cipherField = "cipherText=" + UrlEncode(payload);
  EXPECT_TRUE(service_.Request(0).body == cipherField + "&sessionId=old&json=true");
  EXPECT_TRUE(service_.Request(2).body == cipherField + "&sessionId=" + session + "&json=true");
  EXPECT_TRUE(DataFolderHoldsOnlySessions());
  EXPECT_EQ(host_.paneFactory->panes.size(), 1u);
}

// A refusal whose "message" is a plain string, not a list, is still
// a refusal: the login runs and the message is shown.
TEST_F(SecureReadTest, RefusalWithAStringMessageStillLogsIn) {
  LoggedIn("old");
  service_.Answer("decrypt-mime",
                  R"({"status":{"statusCode":"INVALID_SESSION","message":"Session expired"}})");
  ui_.scripts.push_back({LoginMethodDialog::kResourceId, {Click(LoginMethodDialog::kOther)}});
  ui_.scripts.push_back({VeilmarkLoginDialog::kResourceId,
                         {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)}});
  service_.Answer("login", testing::OkLoginReply("new", "bob@example.org"));
  service_.Answer("decrypt-mime", kOkReply);
  auto item = ProtectedMessage();
  EXPECT_EQ(Decrypt(*item), 0);
  EXPECT_EQ(service_.Commands(),
            (std::vector<std::string>{"decrypt-mime", "login", "decrypt-mime"}));
  EXPECT_EQ(SessionStore().GetSession(kAccount), "new");
  EXPECT_TRUE(Messages().empty());
  ASSERT_EQ(host_.paneFactory->panes.size(), 1u);
}

// No scratch file for the payload is said, not passed over.
TEST_F(SecureReadTest, NoScratchFileIsShown) {
  LoggedIn();
  auto item = ProtectedMessage();
  std::filesystem::remove_all(home_.folder());
  { std::ofstream(home_.folder()) << "a file where the folder belongs"; }
  EXPECT_EQ(Decrypt(*item), 0);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind(u"Unable to create Veilmark directory\nError code: ", 0), 0u)
      << WideToUtf8(Messages()[0]);
  EXPECT_TRUE(service_.Commands().empty());
  EXPECT_TRUE(host_.paneFactory->panes.empty());
  std::filesystem::remove(home_.folder());
}

// The worker reads the scratch file back; when it cannot, the UI thread
// says so and nothing is sent.
TEST_F(SecureReadTest, UnreadableScratchFileIsShownAndNothingIsSent) {
  LoggedIn();
  auto item = ProtectedMessage();
  item->attachments->items.at(1)->writer = [](const std::string& path) {
    std::filesystem::remove(path);
    return std::filesystem::create_directory(path);
  };
  EXPECT_EQ(Decrypt(*item), 0);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind(u"Unable to load file", 0), 0u) << WideToUtf8(Messages()[0]);
  EXPECT_TRUE(service_.Commands().empty());
  EXPECT_TRUE(host_.paneFactory->panes.empty());
}

TEST_F(SecureReadTest, AbandonedLoginShowsNothing) {
  ui_.scripts.push_back({LoginMethodDialog::kResourceId, {Click(kIdCancel)}});
  auto item = ProtectedMessage();
  EXPECT_EQ(Decrypt(*item), 0);
  EXPECT_TRUE(service_.Commands().empty());
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(host_.paneFactory->panes.empty());
  EXPECT_TRUE(DataFolderHoldsOnlySessions());
}

TEST_F(SecureReadTest, UnreadableScratchFileIsReportedNotThrown) {
  // An attachment that claims to save but leaves no file behind.
  class VanishingAttachment : public MemoryAttachment {
   public:
    HRESULT SaveAsFile(const std::u16string& path) override {
      std::filesystem::remove(WideToUtf8(path));
      return S_OK;
    }
  };
  LoggedIn();
  auto item = ProtectedMessage();
  item->attachments->items[1] = std::make_shared<VanishingAttachment>();
  EXPECT_EQ(Decrypt(*item), 0);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Unable to load file"});
  EXPECT_TRUE(service_.Commands().empty());
}

TEST_F(SecureReadTest, WithoutAPaneFactoryTheViewIsOnlyCached) {
  LoggedIn();
  service_.Answer("decrypt-mime", kOkReply);
  auto item = ProtectedMessage();
  auto window = host_.NewExplorer();
  EXPECT_EQ(DecryptAndShow(*item, window, services_, cache_, nullptr, pane_), 0);
  EXPECT_FALSE(pane_);
  EXPECT_NE(cache_.Lookup(u"E1"), u"");
}

// ---- the pane ----

TEST_F(SecureReadTest, PaneOpensBlankPageBeforeWriting) {
  auto window = host_.NewExplorer();
  EXPECT_EQ(ShowInTaskPane(u"<p>v</p>", window, *host_.paneFactory, pane_), S_OK);
  auto browser = host_.paneFactory->panes.at(0)->browser();
  EXPECT_EQ(browser->navigations, std::vector<std::u16string>{u"about:blank"});
  EXPECT_EQ(browser->html()->writes, std::vector<std::u16string>{u"<p>v</p>"});
}

TEST_F(SecureReadTest, PaneWithoutDocumentStillOpensEmpty) {
  auto pane = std::make_shared<MemoryTaskPane>();
  pane->browser()->navigateLoadsDocument = false;
  host_.paneFactory->upcoming.push_back(pane);
  EXPECT_EQ(ShowInTaskPane(u"<p>v</p>", host_.NewExplorer(), *host_.paneFactory, pane_), S_OK);
  EXPECT_TRUE(pane->visible);
  EXPECT_EQ(pane->dockPosition, 3);
}

TEST_F(SecureReadTest, PaneFailuresReturnTheirCode) {
  testing::HrAssertRecorder asserts;
  host_.paneFactory->Fail("CreateCTP", E_OUTOFMEMORY);
  EXPECT_EQ(ShowInTaskPane(u"v", host_.NewExplorer(), *host_.paneFactory, pane_), E_OUTOFMEMORY);
  EXPECT_FALSE(pane_);
  host_.paneFactory->Heal("CreateCTP");

  for (const char* operation : {"GetContentControl", "SetDockPosition", "SetVisible"}) {
    auto pane = std::make_shared<MemoryTaskPane>();
    pane->Fail(operation, E_FAIL);
    host_.paneFactory->upcoming.push_back(pane);
    EXPECT_EQ(ShowInTaskPane(u"v", host_.NewExplorer(), *host_.paneFactory, pane_), E_FAIL)
        << operation;
  }
  auto notBrowser = std::make_shared<MemoryTaskPane>();
  notBrowser->contentControl = std::make_shared<outlook::MemoryItem>();
  host_.paneFactory->upcoming.push_back(notBrowser);
  EXPECT_EQ(ShowInTaskPane(u"v", host_.NewExplorer(), *host_.paneFactory, pane_), E_NOINTERFACE);
}

// ---- the wrappers ----

TEST_F(SecureReadTest, ExplorerSelectionShowsAndRemovesPanes) {
  LoggedIn();
  service_.Answer("decrypt-mime", kOkReply);
  auto explorer = host_.NewExplorer();
  ExplorerWrapper wrapper;
  ASSERT_EQ(wrapper.Initialize(explorer, &services_.get(), &cache_, host_.paneFactory), S_OK);
  EXPECT_EQ(explorer->sinks.size(), 1u);

  explorer->Select({ProtectedMessage()});
  ASSERT_TRUE(wrapper.pane());
  auto first = host_.paneFactory->panes.at(0);

  explorer->Select({PlainMessage()});
  EXPECT_FALSE(wrapper.pane());
  EXPECT_TRUE(first->deleted);
  EXPECT_FALSE(first->visible);
  EXPECT_EQ(host_.paneFactory->panes.size(), 1u);

  explorer->Select({ProtectedMessage("again")});  // same entry id: from the cache
  EXPECT_EQ(service_.Commands().size(), 1u);
  ASSERT_TRUE(wrapper.pane());

  explorer->Select({ProtectedMessage("x", u"E2"), ProtectedMessage("y", u"E3")});
  EXPECT_FALSE(wrapper.pane());
  EXPECT_EQ(service_.Commands().size(), 1u);
}

TEST_F(SecureReadTest, ClosingTheExplorerDeletesThePaneBeforeLettingGo) {
  LoggedIn();
  service_.Answer("decrypt-mime", kOkReply);
  auto explorer = host_.NewExplorer();
  ExplorerWrapper wrapper;
  ASSERT_EQ(wrapper.Initialize(explorer, &services_.get(), &cache_, host_.paneFactory), S_OK);
  explorer->Select({ProtectedMessage()});
  host_.journal->clear();
  explorer->FireClose();
  EXPECT_EQ(*host_.journal,
            (std::vector<std::string>{"factory.pane1.Delete", "explorer.Unadvise"}));
  EXPECT_EQ(explorer->sinks.size(), 0u);
  EXPECT_FALSE(wrapper.pane());
}

TEST_F(SecureReadTest, InspectorOnAProtectedMessageShowsAtOnce) {
  LoggedIn();
  service_.Answer("decrypt-mime", kOkReply);
  auto inspector = host_.NewInspector();
  inspector->currentItem = ProtectedMessage();
  InspectorWrapper wrapper;
  ASSERT_EQ(wrapper.Initialize(inspector, &services_.get(), &cache_, host_.paneFactory), S_OK);
  ASSERT_TRUE(wrapper.pane());
  EXPECT_EQ(host_.paneFactory->panes.at(0)->window, inspector);
  auto pane = host_.paneFactory->panes.at(0);
  inspector->FireClose();
  EXPECT_TRUE(pane->deleted);
  EXPECT_EQ(inspector->sinks.size(), 0u);
}

TEST_F(SecureReadTest, InspectorOnAPlainMessageShowsNothing) {
  auto inspector = host_.NewInspector();
  inspector->currentItem = PlainMessage();
  InspectorWrapper wrapper;
  ASSERT_EQ(wrapper.Initialize(inspector, &services_.get(), &cache_, host_.paneFactory), S_OK);
  EXPECT_FALSE(wrapper.pane());
  EXPECT_TRUE(service_.Commands().empty());
}

// ---- the connection ----

class ConnectCoreTest : public SecureReadTest {};

TEST_F(ConnectCoreTest, StartupHooksTheActiveExplorerAndThreeSources) {
  host_.application->activeExplorer = host_.NewExplorer();
  ConnectCore core(testing::PlatformOver(service_, ui_));
  ASSERT_EQ(core.OnConnection(host_.application), S_OK);
  EXPECT_TRUE(host_.journal->empty());  // connecting hooks nothing
  ASSERT_EQ(core.OnStartupComplete(), S_OK);
  EXPECT_EQ(*host_.journal,
            (std::vector<std::string>{"application.GetActiveExplorer", "explorer.Advise",
                                      "application.GetInspectors", "inspectors.Advise",
                                      "application.GetExplorers", "explorers.Advise",
                                      "application.Advise"}));
  EXPECT_EQ(core.explorerWrappers().size(), 1u);
}

TEST_F(ConnectCoreTest, NoExplorerAtStartupStillAdvisesEverything) {
  ConnectCore core(testing::PlatformOver(service_, ui_));
  core.OnConnection(host_.application);
  ASSERT_EQ(core.OnStartupComplete(), S_OK);
  EXPECT_TRUE(core.explorerWrappers().empty());
  EXPECT_EQ(host_.application->sinks.size(), 1u);
  EXPECT_EQ(host_.application->explorers->sinks.size(), 1u);
  EXPECT_EQ(host_.application->inspectors->sinks.size(), 1u);
}

TEST_F(ConnectCoreTest, EveryOpeningAddsAWrapperUntilShutdown) {
  ConnectCore core(testing::PlatformOver(service_, ui_));
  core.OnConnection(host_.application);
  core.CTPFactoryAvailable(host_.paneFactory);
  ASSERT_EQ(core.OnStartupComplete(), S_OK);
  auto inspector = host_.NewInspector();
  inspector->currentItem = PlainMessage();
  for (int i = 0; i < 3; ++i) {
    host_.application->inspectors->FireNewInspector(inspector);
    inspector->FireClose();
  }
  auto explorer = host_.NewExplorer("second");
  host_.application->explorers->FireNewExplorer(explorer);
  EXPECT_EQ(core.inspectorWrappers().size(), 3u);
  EXPECT_EQ(core.explorerWrappers().size(), 1u);
  EXPECT_EQ(explorer->sinks.size(), 1u);

  ASSERT_EQ(core.OnBeginShutdown(), S_OK);
  for (const auto& wrapper : core.inspectorWrappers()) EXPECT_FALSE(wrapper);
  for (const auto& wrapper : core.explorerWrappers()) EXPECT_FALSE(wrapper);
  EXPECT_EQ(explorer->sinks.size(), 0u);  // the deleted wrapper let go of its window
  EXPECT_EQ(host_.application->sinks.size(), 0u);
  EXPECT_EQ(host_.application->explorers->sinks.size(), 0u);
  EXPECT_EQ(host_.application->inspectors->sinks.size(), 0u);
  EXPECT_EQ(core.OnDisconnection(), S_OK);  // nothing left to release twice
  EXPECT_EQ(host_.application->Calls("Unadvise"), 1);
}

TEST_F(ConnectCoreTest, DisconnectionWithoutShutdownReleasesOnce) {
  auto explorer = host_.NewExplorer();
  host_.application->activeExplorer = explorer;
  ConnectCore core(testing::PlatformOver(service_, ui_));
  core.OnConnection(host_.application);
  ASSERT_EQ(core.OnStartupComplete(), S_OK);
  EXPECT_EQ(core.OnDisconnection(), S_OK);
  EXPECT_EQ(explorer->sinks.size(), 0u);
  EXPECT_EQ(host_.application->sinks.size(), 0u);
  EXPECT_EQ(host_.application->inspectors->sinks.size(), 0u);
  EXPECT_EQ(core.OnDisconnection(), S_OK);
  EXPECT_EQ(host_.application->Calls("Unadvise"), 1);
}

TEST_F(ConnectCoreTest, FailedWrapperStopsStartupButStaysListed) {
  testing::HrAssertRecorder asserts;
  auto explorer = host_.NewExplorer();
  explorer->Fail("Advise", E_FAIL);
  host_.application->activeExplorer = explorer;
  ConnectCore core(testing::PlatformOver(service_, ui_));
  core.OnConnection(host_.application);
  EXPECT_EQ(core.OnStartupComplete(), E_FAIL);
  EXPECT_EQ(core.explorerWrappers().size(), 1u);
  EXPECT_EQ(host_.application->sinks.size(), 0u);
}

TEST_F(ConnectCoreTest, RibbonOnlyForTheComposeWindow) {
  ConnectCore core(testing::PlatformOver(service_, ui_));
  std::u16string xml = u"untouched";
  EXPECT_EQ(core.GetCustomUI(u"Microsoft.Outlook.Mail.Read", &xml), S_OK);
  EXPECT_EQ(xml, u"untouched");
  EXPECT_EQ(core.GetCustomUI(u"microsoft.outlook.mail.compose", &xml), S_OK);
  EXPECT_EQ(xml, u"untouched");
  EXPECT_EQ(core.GetCustomUI(u"Microsoft.Outlook.Mail.Compose", nullptr), E_POINTER);
  ASSERT_EQ(core.GetCustomUI(u"Microsoft.Outlook.Mail.Compose", &xml), S_OK);
  EXPECT_EQ(xml.rfind(u"<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u);
  for (const char16_t* piece :
       {u"<tab idMso=\"TabNewMailMessage\">",
        u"<group id=\"grpVeilmark\" label=\"Veilmark\" insertBeforeMso=\"GroupClipboard\">",
        u"label=\"Send Secure\"", u"onAction=\"OnSecureSendClick\"", u"getImage=\"OnGetImage\"",
        u"supertip=\"Send your email using Veilmark\"", u"size=\"large\""}) {
    EXPECT_NE(xml.find(piece), std::u16string::npos) << WideToUtf8(piece);
  }
}

}  // namespace
}  // namespace veilmark

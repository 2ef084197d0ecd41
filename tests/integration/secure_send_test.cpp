// The Send Secure command over fake host objects, against a scripted service
// on loopback HTTPS; login dialogs and message boxes go to a recording UI.
#include "addin/secure_send.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "login/dialogs/login_form.h"
#include "login/dialogs/veilmark_login_dialog.h"
#include "support/fake_host.h"
#include "support/recording_ui.h"
#include "support/scripted_service.h"
#include "support/temp_data_home.h"
#include "support/tls_test_server.h"
#include "util/text.h"

namespace veilmark {
namespace {

namespace fs = std::filesystem;
using testing::Click;
using testing::DialogScript;
using testing::FakeAttachment;
using testing::FakeMailItem;
using testing::FakeRecipient;
using testing::RecordedRequest;
using testing::Type;

const char16_t kSender[] = u"Joe@Example.org";
const char16_t kAccount[] = u"joe@example.org";

std::string Uploaded(int id, const std::string& name) {
  return R"({"status":{"statusCode":"OK"},"att":[{"id":)" + std::to_string(id) + R"(,"name":")" +
         name + R"("}]})";
}

std::string Status(const std::string& code) {
  return testing::StatusReply(code);
}

const std::string kOk = R"({"status":{"statusCode":"OK"}})";
constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);

// Marks in the host's journal, before each draft or window operation, the
// service commands served since the last mark: one timeline of both sides.
class SequencedMailItem : public FakeMailItem {
 public:
  std::function<void()> beforeDraftCall;

  HRESULT Save() override {
    beforeDraftCall();
    return FakeMailItem::Save();
  }
  HRESULT Delete() override {
    beforeDraftCall();
    return FakeMailItem::Delete();
  }
  HRESULT Close(std::int32_t mode) override {
    beforeDraftCall();
    return FakeMailItem::Close(mode);
  }
};

// The host reports the attachment saved, but what lies at the path cannot be
// read back.
class UnreadableAttachment : public FakeAttachment {
 public:
  HRESULT SaveAsFile(const std::u16string& path) override {
    const HRESULT hr = FakeAttachment::SaveAsFile(path);
    fs::remove(WideToUtf8(path));
    fs::create_symlink("/nonexistent/veilmark-attachment", WideToUtf8(path));
    return hr;
  }
};

// Notes whether the copy saved for upload was still on disk once the command
// went on to ask for the file name.
class WatchedAttachment : public FakeAttachment {
 public:
  HRESULT GetFileName(std::u16string& out) override {
    copyLeftAtNameRead = !savedTo.empty() && fs::exists(WideToUtf8(savedTo.back()));
    return FakeAttachment::GetFileName(out);
  }
  bool copyLeftAtNameRead = true;
};

class SecureSendTest : public ::testing::Test {
 protected:
  SecureSendTest() : installed_(ui_) {
    store_.SetSession(kAccount, "s-1");
    NewCompose();
  }

  void TearDown() override {
    // Only session files may stay: every scratch copy of an attachment goes.
    if (fs::is_directory(home_.folder())) {
      for (const auto& entry : fs::directory_iterator(home_.folder())) {
        EXPECT_EQ(entry.path().filename().string().rfind("session_", 0), 0u)
            << "left behind: " << entry.path();
      }
    }
  }

  // A fresh compose window with a subject and a body, and no recipients yet.
  void NewCompose() {
    item_ = std::make_shared<SequencedMailItem>();
    item_->beforeDraftCall = [this] { MarkServed(); };
    item_->session = host_.session;
    host_.Watch(*item_, "item");
    host_.Watch(*item_->recipients, "item.recipients");
    host_.Watch(*item_->attachments, "item.attachments");
    item_->sendUsingAccount = std::make_shared<testing::FakeAccount>();
    item_->sendUsingAccount->smtpAddress = kSender;
    item_->subject = u"Q3 report";
    item_->htmlBody = u"<p>Hi</p>";
    inspector_ = host_.NewInspector();
    inspector_->currentItem = item_;
    control_ = std::make_shared<testing::FakeRibbonControl>();
    host_.Watch(*control_, "control");
    control_->context = inspector_;
  }

  std::shared_ptr<FakeRecipient> AddRecipient(const std::u16string& smtp, std::int32_t type) {
    auto recipient = item_->recipients->Add(u"text:" + smtp, type);
    recipient->SetSmtpAddress(smtp);
    return recipient;
  }
  std::shared_ptr<FakeAttachment> Attach(const std::u16string& name, const std::string& bytes) {
    return item_->attachments->Add(name, bytes);
  }

  HRESULT Press() { return OnSecureSendClick(control_, store_); }

  void Answer(const std::string& command, const std::string& json) {
    service_.Answer(command, json);
  }
  // One successful login through the service-account dialog.
  void ScriptLogin(const std::string& session) {
    ui_.scripts.push_back(DialogScript{CLoginForm::kResourceId, {Click(CLoginForm::kOther)}});
    ui_.scripts.push_back(DialogScript{CVeilmarkLogin::kResourceId,
                                       {Type(CVeilmarkLogin::kPassword, u"pw"), Click(kIdOk)}});
    Answer("login", testing::OkLoginReply(session, "joe@example.org"));
  }
  void ScriptLoginGivenUp() {
    ui_.scripts.push_back(DialogScript{CLoginForm::kResourceId, {Click(kIdCancel)}});
  }

  void MarkServed() {
    const std::vector<std::string> served = Commands();
    for (; marked_ < served.size(); ++marked_)
      host_.journal->push_back("service." + served[marked_]);
  }
  // Draft and window operations and service commands, in the order they happened.
  std::vector<std::string> Timeline() {
    MarkServed();
    std::vector<std::string> timeline;
    for (const std::string& entry : *host_.journal) {
      if (entry.rfind("service.", 0) == 0 || entry == "item.Save" || entry == "item.Delete" ||
          entry == "item.Close") {
        timeline.push_back(entry);
      }
    }
    return timeline;
  }

  std::vector<std::string> Commands() const { return service_.Commands(); }
  std::vector<RecordedRequest> Requests() const {
    std::vector<RecordedRequest> requests;
    for (std::size_t i = 0; i < service_.Commands().size(); ++i) {
      requests.push_back(service_.Request(i));
    }
    return requests;
  }
  // The parameters of the last "encrypt-send", decoded.
  std::map<std::string, std::string> SentParams() const {
    const std::vector<std::string> commands = Commands();
    for (std::size_t i = commands.size(); i-- > 0;) {
      if (commands[i] == "encrypt-send") return service_.Params(i);
    }
    ADD_FAILURE() << "encrypt-send was never sent";
    return {};
  }
  // The session each upload carried, read from its multipart body.
  std::vector<std::string> UploadSessions() const {
    const std::string marker = "name=\"sessionId\"\r\n\r\n";
    std::vector<std::string> sessions;
    for (const RecordedRequest& request : Requests()) {
      if (request.target != "/api/upload-attachments") continue;
      const std::size_t at = request.body.find(marker) + marker.size();
      sessions.push_back(request.body.substr(at, request.body.find('\r', at) - at));
    }
    return sessions;
  }
  std::vector<std::u16string> Messages() const { return ui_.messages(); }

  // Nothing sent; the draft and the window left as they were.
  void ExpectNothingSent() {
    for (const std::string& command : Commands()) EXPECT_NE(command, "encrypt-send");
    EXPECT_EQ(item_->Calls("Delete"), 0);
    EXPECT_EQ(item_->Calls("Close"), 0);
  }

  testing::TempDataHome home_;
  testing::HrAssertRecorder hrAsserts_;
  testing::ScriptedService service_;
  testing::RecordingUi ui_;
  UiOverride installed_;
  SessionStore store_;
  testing::FakeHost host_;
  std::shared_ptr<SequencedMailItem> item_;
  std::shared_ptr<testing::FakeInspector> inspector_;
  std::shared_ptr<testing::FakeRibbonControl> control_;
  std::size_t marked_ = 0;
};

// ---- reaching the mail item ----

TEST_F(SecureSendTest, FailedHostCallOnTheWayToTheItemEndsWithItsResult) {
  struct Case {
    std::function<testing::FakeCalls&()> fake;
    const char* operation;
    HRESULT hr;
  };
  const std::vector<Case> cases = {
      {[&]() -> testing::FakeCalls& { return *control_; }, "AsRibbonControl", E_NOINTERFACE},
      {[&]() -> testing::FakeCalls& { return *control_; }, "GetContext", E_FAIL},
      {[&]() -> testing::FakeCalls& { return *inspector_; }, "AsInspector", E_NOINTERFACE},
      {[&]() -> testing::FakeCalls& { return *inspector_; }, "GetCurrentItem", E_UNEXPECTED},
      {[&]() -> testing::FakeCalls& { return *item_; }, "AsMailItem", E_NOINTERFACE},
      {[&]() -> testing::FakeCalls& { return *item_; }, "GetRecipients", E_OUTOFMEMORY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    NewCompose();
    AddRecipient(u"ann@example.org", host::kRecipientTo);
    c.fake().Fail(c.operation, c.hr);
    EXPECT_EQ(Press(), c.hr);
    EXPECT_EQ(item_->Calls("GetSubject"), 0);
  }
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(Commands().empty());
}

TEST_F(SecureSendTest, WindowOrItemOfAnotherKindIsNoInterface) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  control_->context = host_.NewExplorer();  // pressed in a mail-list window
  EXPECT_EQ(Press(), E_NOINTERFACE);
  control_->context = inspector_;
  inspector_->currentItem = std::make_shared<testing::FakeItem>();  // a meeting, say
  EXPECT_EQ(Press(), E_NOINTERFACE);
  EXPECT_EQ(OnSecureSendClick(nullptr, store_), E_POINTER);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(Commands().empty());
}

// ---- recipients, subject, body ----

TEST_F(SecureSendTest, DistributionListStopsTheCommandAtThatRecipient) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  auto list = AddRecipient(u"team@example.org", host::kRecipientCc);
  list->displayType = 1;
  auto after = AddRecipient(u"cy@example.org", host::kRecipientTo);
  EXPECT_EQ(Press(), S_FALSE);
  // The code is the display type; the info is the host's address text, not SMTP.
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Only regular user addresses are supported"
                                                    u"\nError code: 1"
                                                    u"\nAdditional info: text:team@example.org"});
  EXPECT_TRUE(after->calls().empty());
  EXPECT_EQ(item_->Calls("GetSubject"), 0);
  EXPECT_TRUE(Commands().empty());
}

TEST_F(SecureSendTest, UnresolvedDistributionListIsRefusedAllTheSame) {
  auto list = AddRecipient(u"Team", host::kRecipientTo);
  list->resolves = false;
  list->displayType = 1;
  EXPECT_EQ(Press(), S_FALSE);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Only regular user addresses are supported"
                                                    u"\nError code: 1"
                                                    u"\nAdditional info: text:Team"});
  EXPECT_EQ(item_->Calls("Save"), 0);
  EXPECT_TRUE(Commands().empty());
}

TEST_F(SecureSendTest, OtherNonUserEntryIsRefusedWithItsType) {
  AddRecipient(u"room@example.org", host::kRecipientTo)->displayType = 7;
  EXPECT_EQ(Press(), S_FALSE);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find(u"\nError code: 7\n"), std::u16string::npos);
}

TEST_F(SecureSendTest, WithoutRecipientsNothingElseIsRead) {
  item_->subject.clear();  // the recipients are checked first
  EXPECT_EQ(Press(), S_FALSE);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Please specify recipients"});
  EXPECT_EQ(item_->Calls("GetSubject"), 0);
  EXPECT_TRUE(Commands().empty());
}

TEST_F(SecureSendTest, DroppedKindsAndAnUnreadableCountLeaveNoRecipients) {
  AddRecipient(u"me@example.org", 0);  // the originator
  AddRecipient(u"res@example.org", 4);
  EXPECT_EQ(Press(), S_FALSE);
  NewCompose();
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  item_->recipients->Fail("GetCount");
  EXPECT_EQ(Press(), S_FALSE);
  EXPECT_EQ(Messages(), std::vector<std::u16string>(2, u"Please specify recipients"));
  EXPECT_TRUE(Commands().empty());
}

TEST_F(SecureSendTest, EmptySubjectIsRefusedButABlankOnePasses) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  item_->subject.clear();
  EXPECT_EQ(Press(), S_FALSE);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Please specify a subject for the email"});
  EXPECT_EQ(item_->Calls("GetHTMLBody"), 0);
  EXPECT_TRUE(Commands().empty());

  item_->subject = u" ";
  Answer("encrypt-send", kOk);
  EXPECT_EQ(Press(), S_OK);
  EXPECT_EQ(SentParams().at("subject"), " ");
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(SecureSendTest, AddressesAreCollectedPerKindInRecipientOrder) {
  auto exchangeUser = item_->recipients->Add(u"/o=corp/cn=ann", host::kRecipientTo);
  exchangeUser->SetSmtpAddress(u"ann@example.org");
  auto unresolved = item_->recipients->Add(u"bob@example.org", host::kRecipientCc);
  unresolved->resolves = false;
  unresolved->Fail("Resolve");  // no SMTP property either: its text goes
  auto remote = AddRecipient(u"cy@example.org", host::kRecipientTo);
  remote->displayType = host::kDisplayTypeRemoteUser;
  auto noAccessor = item_->recipients->Add(u"dee@example.org", host::kRecipientBcc);
  noAccessor->SetSmtpAddress(u"never@example.org");
  noAccessor->Fail("GetPropertyAccessor");
  AddRecipient(u"me@example.org", 0);
  AddRecipient(u"eve@example.org", 5);
  AddRecipient(u"fay@example.org", host::kRecipientBcc);
  Answer("encrypt-send", kOk);
  EXPECT_EQ(Press(), S_OK);
  const auto params = SentParams();
  EXPECT_EQ(params.at("to"), "ann@example.org,cy@example.org");
  EXPECT_EQ(params.at("cc"), "bob@example.org");
  EXPECT_EQ(params.at("bcc"), "dee@example.org,fay@example.org");
  EXPECT_EQ(unresolved->propertyAccessor->asked,
            std::vector<std::u16string>{host::kSmtpAddressProperty});
  EXPECT_TRUE(Messages().empty());
}

TEST_F(SecureSendTest, OnlyBccRecipientsPassAndEmptyListsAreNotSent) {
  AddRecipient(u"hid@example.org", host::kRecipientBcc);
  Answer("encrypt-send", kOk);
  EXPECT_EQ(Press(), S_OK);
  const auto params = SentParams();
  EXPECT_EQ(params.at("bcc"), "hid@example.org");
  EXPECT_EQ(params.count("to"), 0u);
  EXPECT_EQ(params.count("cc"), 0u);
}

TEST_F(SecureSendTest, FailedRecipientReadEndsWithItsResult) {
  for (const char* operation : {"GetAddress", "GetType"}) {
    SCOPED_TRACE(operation);
    NewCompose();
    AddRecipient(u"ann@example.org", host::kRecipientTo)->Fail(operation, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Press(), DISP_E_MEMBERNOTFOUND);
  }
  NewCompose();
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  item_->recipients->Fail("GetItem", DISP_E_BADINDEX);
  EXPECT_EQ(Press(), DISP_E_BADINDEX);
  NewCompose();
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  item_->Fail("GetSubject", E_FAIL);
  EXPECT_EQ(Press(), E_FAIL);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(Commands().empty());
}

TEST_F(SecureSendTest, FailedDisplayTypeReadIsNotARefusal) {
  AddRecipient(u"ann@example.org", host::kRecipientTo)->Fail("GetDisplayType");
  Answer("encrypt-send", kOk);
  EXPECT_EQ(Press(), S_OK);
  EXPECT_EQ(SentParams().at("to"), "ann@example.org");
}

TEST_F(SecureSendTest, BodyPunctuationIsMadePlainOneForOne) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  item_->htmlBody = u"It\u2019s \u201Cdone\u201D\u2026 caf\u00E9 \u2018kept\u2019 ...";
  Answer("encrypt-send", kOk);
  EXPECT_EQ(Press(), S_OK);
  EXPECT_EQ(SentParams().at("body"), "It's \"done\". caf\xC3\xA9 \xE2\x80\x98kept' ...");
}

// ---- session ----

TEST_F(SecureSendTest, LoginGivenUpAtTheStartEndsSilently) {
  item_->sendUsingAccount->smtpAddress = u"new@example.org";
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  Attach(u"a.txt", "a");
  ScriptLoginGivenUp();
  EXPECT_EQ(Press(), S_OK);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(item_->attachments->Calls("GetCount"), 0);
  EXPECT_EQ(item_->Calls("Save"), 0);
  EXPECT_TRUE(item_->closeModes.empty());
}

TEST_F(SecureSendTest, AccountWithoutSessionLogsInFirst) {
  item_->sendUsingAccount->smtpAddress = u"new@example.org";
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  ui_.scripts.push_back(DialogScript{CLoginForm::kResourceId, {Click(CLoginForm::kOther)}});
  ui_.scripts.push_back(DialogScript{CVeilmarkLogin::kResourceId,
                                     {Type(CVeilmarkLogin::kPassword, u"pw"), Click(kIdOk)}});
  Answer("login", R"({"status":{"statusCode":"OK"},"sessionId":"s-new",)"
                  R"("users":[{"email":"new@example.org"}]})");
  Answer("encrypt-send", kOk);
  EXPECT_EQ(Press(), S_OK);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"login", "encrypt-send"}));
  EXPECT_EQ(SentParams().at("sessionId"), "s-new");
  EXPECT_EQ(store_.GetSession(u"new@example.org"), "s-new");
}

// ---- attachments and sending ----

TEST_F(SecureSendTest, AttachmentsAreUploadedThenSentAndOnlyThenTheDraftGoes) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  AddRecipient(u"bob@example.org", host::kRecipientCc);
  AddRecipient(u"cy@example.org", host::kRecipientBcc);
  const std::string pdf("%PDF-1.4\r\n\0\xFF--x", 15);
  auto report = std::make_shared<WatchedAttachment>();
  report->fileName = u"report.pdf";
  report->bytes = pdf;
  item_->attachments->items.push_back(report);
  auto notes = Attach(u"notes.txt", "plain notes");
  Answer("upload-attachments", Uploaded(17, "report.pdf"));
  Answer("upload-attachments", Uploaded(18, "notes.txt"));
  Answer("encrypt-send", kOk);

  EXPECT_EQ(Press(), S_OK);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Timeline(), (std::vector<std::string>{
                            "item.Save", "service.upload-attachments", "service.upload-attachments",
                            "service.encrypt-send", "item.Delete", "item.Close"}));
  EXPECT_EQ(item_->closeModes, std::vector<std::int32_t>{host::kCloseDiscard});

  const RecordedRequest upload = service_.Request(0);
  const std::string contentType = upload.header("Content-Type");
  const std::string prefix = "multipart/form-data; boundary=";
  ASSERT_EQ(contentType.rfind(prefix, 0), 0u) << contentType;
  const std::string b = contentType.substr(prefix.size());
  EXPECT_EQ(b.rfind("---------------------veilmark", 0), 0u);
  EXPECT_EQ(upload.body,
            "--" + b +
                "\r\nContent-Disposition: form-data; name=\"ATT1\"; filename=\"report.pdf\";"
                "\r\nContent-Type: application/pdf\r\n\r\n" +
                pdf + "\r\n--" + b +
                "\r\nContent-Disposition: form-data; name=\"sessionId\"\r\n\r\ns-1\r\n--" + b +
                "\r\nContent-Disposition: form-data; name=\"json\"\r\n\r\ntrue\r\n--" + b +
                "--\r\n");
  EXPECT_NE(service_.Request(1).body.find("filename=\"notes.txt\";\r\nContent-Type: "
                                          "text/plain\r\n\r\nplain notes\r\n"),
            std::string::npos);

  EXPECT_EQ(service_.Request(2).body,
            "bcc=cy%40example%2Eorg&body=%3Cp%3EHi%3C%2Fp%3E&cc=bob%40example%2Eorg"
            "&subject=Q3+report&to=ann%40example%2Eorg&attachment=17%2C18&sessionId=s-1"
            "&json=true");

  // Each copy lay in the data folder, under a name of its own.
  ASSERT_EQ(report->savedTo.size(), 1u);
  ASSERT_EQ(notes->savedTo.size(), 1u);
  EXPECT_EQ(fs::path(WideToUtf8(report->savedTo[0])).parent_path(), home_.folder());
  EXPECT_NE(report->savedTo[0], notes->savedTo[0]);
  EXPECT_FALSE(report->copyLeftAtNameRead);  // gone as soon as it was read
}

TEST_F(SecureSendTest, MessageWithoutAttachmentsIsNeitherSavedNorDeleted) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  Answer("encrypt-send", kOk);
  EXPECT_EQ(Press(), S_OK);
  EXPECT_EQ(Timeline(), (std::vector<std::string>{"service.encrypt-send", "item.Close"}));
  EXPECT_EQ(SentParams().count("attachment"), 0u);
  EXPECT_EQ(item_->closeModes, std::vector<std::int32_t>{host::kCloseDiscard});
}

TEST_F(SecureSendTest, UnreadableAttachmentCountMeansNone) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  Attach(u"a.txt", "a");
  item_->attachments->Fail("GetCount");
  Answer("encrypt-send", kOk);
  EXPECT_EQ(Press(), S_OK);
  EXPECT_EQ(Timeline(), (std::vector<std::string>{"service.encrypt-send", "item.Close"}));
}

TEST_F(SecureSendTest, ExpiredSessionDuringSecondUploadLogsInOnceAndRepeatsIt) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  Attach(u"one.txt", "1");
  auto second = Attach(u"two.txt", "2");
  Answer("upload-attachments", Uploaded(17, "one.txt"));
  Answer("upload-attachments", Status("INVALID_SESSION"));
  ScriptLogin("s-2");
  Answer("upload-attachments", Uploaded(18, "two.txt"));
  Answer("encrypt-send", kOk);

  EXPECT_EQ(Press(), S_OK);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"upload-attachments", "upload-attachments",
                                                  "login", "upload-attachments", "encrypt-send"}));
  EXPECT_EQ(UploadSessions(), (std::vector<std::string>{"s-1", "s-1", "s-2"}));
  EXPECT_EQ(second->Calls("SaveAsFile"), 1);  // the bytes read once serve both tries
  EXPECT_NE(service_.Request(3).body.find("\r\n\r\n2\r\n"), std::string::npos);
  const auto params = SentParams();
  EXPECT_EQ(params.at("attachment"), "17,18");
  EXPECT_EQ(params.at("sessionId"), "s-2");
  EXPECT_EQ(store_.GetSession(kAccount), "s-2");
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(item_->closeModes, std::vector<std::int32_t>{host::kCloseDiscard});
}

TEST_F(SecureSendTest, SessionRefusedAgainAfterTheLoginIsNotRetriedTwice) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  Answer("encrypt-send", Status("EXT_PASS_NOT_FILLED"));
  ScriptLogin("s-2");
  Answer("encrypt-send", Status("INVALID_SESSION"));
  EXPECT_EQ(Press(), S_OK);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"encrypt-send", "login", "encrypt-send"}));
  EXPECT_EQ(SentParams().at("sessionId"), "s-2");
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Unable to send encrypted message"});
  EXPECT_TRUE(item_->closeModes.empty());
}

TEST_F(SecureSendTest, LoginGivenUpDuringAnUploadKeepsTheDraft) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  Attach(u"one.txt", "1");
  Answer("upload-attachments", Status("EXT_PASS_NOT_FILLED"));
  ScriptLoginGivenUp();
  EXPECT_EQ(Press(), S_FALSE);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Timeline(), (std::vector<std::string>{"item.Save", "service.upload-attachments"}));
  EXPECT_EQ(store_.GetSession(kAccount), "s-1");
}

TEST_F(SecureSendTest, LoginGivenUpDuringTheSendKeepsTheDraftAndTheWindow) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  Attach(u"one.txt", "1");
  Answer("upload-attachments", Uploaded(17, "one.txt"));
  Answer("encrypt-send", Status("INVALID_SESSION"));
  ScriptLoginGivenUp();
  EXPECT_EQ(Press(), S_FALSE);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Timeline(), (std::vector<std::string>{"item.Save", "service.upload-attachments",
                                                  "service.encrypt-send"}));
}

TEST_F(SecureSendTest, RefusedUploadNamesTheFileAndSendsNothing) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  Attach(u"one.txt", "1");
  Attach(u"big.iso", "2");
  Attach(u"three.txt", "3");
  Answer("upload-attachments", Uploaded(17, "one.txt"));
  Answer("upload-attachments", Status("TOO_LARGE"));
  EXPECT_EQ(Press(), S_FALSE);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Unable to add attachment to mail"
                                                    u"\nAdditional info: big.iso"});
  EXPECT_EQ(Commands(), std::vector<std::string>(2, "upload-attachments"));
  EXPECT_TRUE(item_->attachments->items[2]->calls().empty());
  EXPECT_EQ(item_->Calls("Save"), 1);
  ExpectNothingSent();
}

TEST_F(SecureSendTest, OkUploadWithoutARecordIsAFailedUpload) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  Attach(u"one.txt", "1");
  Answer("upload-attachments", R"({"status":{"statusCode":"OK"},"att":[]})");
  EXPECT_EQ(Press(), S_FALSE);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Unable to add attachment to mail"
                                                    u"\nAdditional info: one.txt"});
  ExpectNothingSent();
}

TEST_F(SecureSendTest, RefusedSendLeavesTheWindowOpenAndKeepsTheDraft) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  Attach(u"one.txt", "1");
  Answer("upload-attachments", Uploaded(17, "one.txt"));
  Answer("encrypt-send", Status("DELIVERY_FAILED"));
  EXPECT_EQ(Press(), S_OK);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Unable to send encrypted message"});
  EXPECT_EQ(Timeline(), (std::vector<std::string>{"item.Save", "service.upload-attachments",
                                                  "service.encrypt-send"}));
  EXPECT_TRUE(item_->closeModes.empty());
}

TEST_F(SecureSendTest, FailedAttachmentHostCallEndsWithItsResultAndKeepsTheDraft) {
  for (const char* operation : {"GetType", "SaveAsFile", "GetFileName"}) {
    SCOPED_TRACE(operation);
    NewCompose();
    AddRecipient(u"ann@example.org", host::kRecipientTo);
    Attach(u"one.txt", "1")->Fail(operation, kAccessDenied);
    EXPECT_EQ(Press(), kAccessDenied);
    EXPECT_EQ(item_->Calls("Save"), 1);
    EXPECT_EQ(item_->Calls("Delete"), 0);
  }
  NewCompose();
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  Attach(u"one.txt", "1");
  item_->attachments->Fail("GetItem", DISP_E_BADINDEX);
  EXPECT_EQ(Press(), DISP_E_BADINDEX);
  NewCompose();
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  item_->Fail("GetAttachments", E_FAIL);
  EXPECT_EQ(Press(), E_FAIL);
  EXPECT_EQ(item_->Calls("Save"), 0);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(Commands().empty());
}

TEST_F(SecureSendTest, FailedCloseAfterTheSendIsReturned) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  Answer("encrypt-send", kOk);
  item_->Fail("Close", E_UNEXPECTED);
  EXPECT_EQ(Press(), E_UNEXPECTED);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(SecureSendTest, UnreadableCopyIsShownAndLeavesNoFile) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  auto attachment = std::make_shared<UnreadableAttachment>();
  attachment->fileName = u"one.txt";
  item_->attachments->items.push_back(attachment);
  EXPECT_EQ(Press(), S_FALSE);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Unable to load file"});
  ASSERT_EQ(attachment->savedTo.size(), 1u);
  EXPECT_EQ(fs::symlink_status(WideToUtf8(attachment->savedTo[0])).type(),
            fs::file_type::not_found);
  EXPECT_EQ(attachment->Calls("GetFileName"), 0);
  EXPECT_TRUE(Commands().empty());
  ExpectNothingSent();
}

// An attachment that cannot be copied stops the send; nothing goes
// out, the draft stays, and the user is told why.
TEST_F(SecureSendTest, AttachmentWithNoRoomForACopyStopsTheSend) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  auto skipped = Attach(u"one.txt", "1");
  // A file where the data folder should be: no scratch file can be made.
  fs::remove_all(home_.folder());
  { std::ofstream(home_.folder()) << "x"; }
  EXPECT_EQ(Press(), S_FALSE);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind(u"Unable to create Veilmark directory\nError code: ", 0), 0u)
      << WideToUtf8(Messages()[0]);
  EXPECT_TRUE(skipped->calls().empty());
  ExpectNothingSent();
  EXPECT_EQ(Timeline(), (std::vector<std::string>{"item.Save"}));
}

TEST_F(SecureSendTest, ScratchFileThatCannotBeMadeStopsTheSend) {
  AddRecipient(u"ann@example.org", host::kRecipientTo);
  auto first = Attach(u"one.txt", "1");
  // The folder exists but no file can be made in it.
  fs::remove_all(home_.folder());
  fs::create_directory_symlink("/proc/self/fdinfo", home_.folder());
  EXPECT_EQ(Press(), S_FALSE);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind(u"Unable to create file\nError code: ", 0), 0u)
      << WideToUtf8(Messages()[0]);
  EXPECT_TRUE(first->calls().empty());
  ExpectNothingSent();
  EXPECT_EQ(Timeline(), (std::vector<std::string>{"item.Save"}));
  fs::remove(home_.folder());
}

}  // namespace
}  // namespace veilmark

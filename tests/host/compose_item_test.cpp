// The compose window's message, the windows around it, and the task pane
// whose document goes to a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "host/mail_content.h"
#include "host/store_objects.h"
#include "login/account_address.h"
#include "message_files.h"
#include "support/fake_host.h"
#include "util/text.h"

namespace veilmark::hostapp {
namespace {

using namespace std::string_literals;
using testing::ScratchFolder;

struct ClosingSink : host::InspectorEvents {
  HRESULT OnClose() override {
    ++closes;
    return S_OK;
  }
  int closes = 0;
};

class ComposeItemTest : public ::testing::Test {
 protected:
  CommandLine Send() {
    CommandLine line;
    line.command = Command::kSend;
    line.account = "Alice@Example.com";
    line.subject = "Plans";
    return line;
  }
  std::shared_ptr<StoreMailItem> Compose(const CommandLine& line) {
    return host_.NewItem(ComposeContent(line));
  }
  static std::vector<std::shared_ptr<host::Recipient>> Recipients(host::MailItem& item) {
    std::shared_ptr<host::Recipients> recipients;
    EXPECT_EQ(item.GetRecipients(recipients), S_OK);
    std::int32_t count = 0;
    EXPECT_EQ(recipients->GetCount(count), S_OK);
    std::vector<std::shared_ptr<host::Recipient>> all;
    for (std::int32_t i = 1; i <= count; ++i) {
      std::shared_ptr<host::Recipient> recipient;
      EXPECT_EQ(recipients->GetItem(i, recipient), S_OK);
      all.push_back(recipient);
    }
    return all;
  }
  // Operations traced, without the events and entry-point notes.
  std::vector<std::string> Operations(const std::string& kind) const {
    std::vector<std::string> found;
    for (const std::string& line : trace_->lines()) {
      if (line.rfind(kind + ".", 0) == 0) found.push_back(line.substr(kind.size() + 1));
    }
    return found;
  }

  ScratchFolder folder_;
  std::shared_ptr<Trace> trace_ = std::make_shared<Trace>();
  std::ostringstream announced_;
  std::shared_ptr<PaneOutput> panes_ =
      std::make_shared<PaneOutput>((folder_.root() / "pane.html").string(), &announced_);
  HostSession host_{trace_, panes_, "current@example.com"};
  testing::HrAssertRecorder hrAsserts_;
};

// --- recipients ---------------------------------------------------------------

TEST_F(ComposeItemTest, RecipientsKeepTheirOrderTypesAndAddresses) {
  CommandLine line = Send();
  line.recipients = {{host::kRecipientTo, "bob@example.com"},
                     {host::kRecipientBcc, "dora@example.com"},
                     {host::kRecipientCc, "carol@example.com"},
                     {host::kRecipientTo, "erin@example.com"}};
  auto item = Compose(line);
  const auto recipients = Recipients(*item);
  ASSERT_EQ(recipients.size(), 4u);
  const std::int32_t types[] = {host::kRecipientTo, host::kRecipientBcc, host::kRecipientCc,
                                host::kRecipientTo};
  const char16_t* addresses[] = {u"bob@example.com", u"dora@example.com", u"carol@example.com",
                                 u"erin@example.com"};
  for (std::size_t i = 0; i < recipients.size(); ++i) {
    std::int32_t type = 0;
    std::int32_t display = -1;
    std::u16string address;
    bool resolved = false;
    EXPECT_EQ(recipients[i]->GetType(type), S_OK);
    EXPECT_EQ(recipients[i]->GetDisplayType(display), S_OK);
    EXPECT_EQ(recipients[i]->GetAddress(address), S_OK);
    EXPECT_EQ(recipients[i]->Resolve(resolved), S_OK);
    EXPECT_EQ(type, types[i]);
    EXPECT_EQ(display, host::kDisplayTypeRemoteUser);
    EXPECT_EQ(address, addresses[i]);
    EXPECT_TRUE(resolved);

    std::shared_ptr<host::PropertyAccessor> accessor;
    ASSERT_EQ(recipients[i]->GetPropertyAccessor(accessor), S_OK);
    std::u16string smtp;
    EXPECT_EQ(accessor->GetProperty(host::kSmtpAddressProperty, smtp), S_OK);
    EXPECT_EQ(smtp, addresses[i]);
  }
}

TEST_F(ComposeItemTest, ListIsADistributionListWithoutSmtpAddress) {
  CommandLine line = Send();
  line.recipients = {{host::kRecipientTo, "Project Team", true}};
  const auto recipients = Recipients(*Compose(line));
  ASSERT_EQ(recipients.size(), 1u);
  std::int32_t display = -1;
  EXPECT_EQ(recipients[0]->GetDisplayType(display), S_OK);
  EXPECT_EQ(display, kDisplayTypeDistList);
  bool resolved = false;
  EXPECT_EQ(recipients[0]->Resolve(resolved), S_OK);
  EXPECT_TRUE(resolved);
  std::shared_ptr<host::PropertyAccessor> accessor;
  ASSERT_EQ(recipients[0]->GetPropertyAccessor(accessor), S_OK);
  std::u16string smtp;
  EXPECT_EQ(accessor->GetProperty(host::kSmtpAddressProperty, smtp), kPropertyNotFound);
}

TEST_F(ComposeItemTest, AnAddressWithoutAtSignDoesNotResolve) {
  CommandLine line = Send();
  line.recipients = {{host::kRecipientTo, "bob"}};
  bool resolved = true;
  EXPECT_EQ(Recipients(*Compose(line))[0]->Resolve(resolved), S_OK);
  EXPECT_FALSE(resolved);
}

// --- account, subject, body ------------------------------------------------------

TEST_F(ComposeItemTest, UnsentItemSendsWithTheAccountGiven) {
  auto item = Compose(Send());
  bool sent = true;
  EXPECT_EQ(item->GetSent(sent), S_OK);
  EXPECT_FALSE(sent);
  std::shared_ptr<host::Account> account;
  ASSERT_EQ(item->GetSendUsingAccount(account), S_OK);
  ASSERT_TRUE(account);
  std::u16string smtp;
  EXPECT_EQ(account->GetSmtpAddress(smtp), S_OK);
  EXPECT_EQ(smtp, u"Alice@Example.com");
  EXPECT_EQ(GetAccountAddress(*item), u"alice@example.com");
}

TEST_F(ComposeItemTest, BodyComesFromTheHtmlFileAsUtf8) {
  CommandLine line = Send();
  line.htmlFile = folder_.Write("body.html", "<p>\xE2\x80\x9Cquoted\xE2\x80\x9D\xE2\x80\xA6</p>");
  std::u16string body;
  EXPECT_EQ(Compose(line)->GetHTMLBody(body), S_OK);
  EXPECT_EQ(body, u"<p>\u201Cquoted\u201D\u2026</p>");

  line.htmlFile.reset();
  line.htmlText = "<b>inline</b>";
  EXPECT_EQ(Compose(line)->GetHTMLBody(body), S_OK);
  EXPECT_EQ(body, u"<b>inline</b>");
}

TEST_F(ComposeItemTest, MissingBodyOrAttachmentFileIsAnInputError) {
  CommandLine line = Send();
  line.attachments = {(folder_.root() / "gone.pdf").string()};
  try {
    ComposeContent(line);
    ADD_FAILURE() << "a missing attachment was accepted";
  } catch (const InputFileError& error) {
    EXPECT_NE(std::string(error.what()).find("gone.pdf"), std::string::npos);
  }
  line.attachments.clear();
  line.htmlFile = (folder_.root() / "gone.html").string();
  EXPECT_THROW(ComposeContent(line), InputFileError);
}

// --- attachments -------------------------------------------------------------------

TEST_F(ComposeItemTest, AttachmentsSaveTheFilesBytesUnderTheirNames) {
  CommandLine line = Send();
  const std::string pdf = "%PDF-1.4\r\n\0\xff\xfe binary"s;
  line.attachments = {folder_.Write("report.pdf", pdf), folder_.Write("notes.txt", "notes\n")};
  auto item = Compose(line);
  std::shared_ptr<host::Attachments> attachments;
  ASSERT_EQ(item->GetAttachments(attachments), S_OK);
  std::int32_t count = 0;
  ASSERT_EQ(attachments->GetCount(count), S_OK);
  ASSERT_EQ(count, 2);

  const std::string names[] = {"report.pdf", "notes.txt"};
  const std::string bytes[] = {pdf, "notes\n"};
  for (std::int32_t i = 1; i <= count; ++i) {
    std::shared_ptr<host::Attachment> attachment;
    ASSERT_EQ(attachments->GetItem(i, attachment), S_OK);
    std::u16string name;
    EXPECT_EQ(attachment->GetFileName(name), S_OK);
    EXPECT_EQ(WideToUtf8(name), names[i - 1]);
    const std::string copy = folder_.Write("copy", std::string(100, 'z'));
    EXPECT_EQ(attachment->SaveAsFile(Utf8ToWide(copy)), S_OK);
    EXPECT_EQ(testing::ReadBytes(copy), bytes[i - 1]);
  }
}

TEST_F(ComposeItemTest, SavingWhereNoFileCanBeIsAFailure) {
  CommandLine line = Send();
  line.attachments = {folder_.Write("a.txt", "a")};
  std::shared_ptr<host::Attachments> attachments;
  ASSERT_EQ(Compose(line)->GetAttachments(attachments), S_OK);
  std::shared_ptr<host::Attachment> attachment;
  ASSERT_EQ(attachments->GetItem(1, attachment), S_OK);
  EXPECT_EQ(attachment->SaveAsFile(Utf8ToWide((folder_.root() / "no" / "such").string())), E_FAIL);
  EXPECT_EQ(Operations("Attachment").back().find("SaveAsFile("), 0u);
}

// --- draft and window -----------------------------------------------------------------

TEST_F(ComposeItemTest, SaveGivesTheDraftAnEntryId) {
  auto item = Compose(Send());
  std::u16string id;
  EXPECT_EQ(item->GetEntryID(id), S_OK);
  EXPECT_TRUE(id.empty());
  EXPECT_EQ(item->Save(), S_OK);
  EXPECT_EQ(item->GetEntryID(id), S_OK);
  EXPECT_FALSE(id.empty());
  EXPECT_EQ(item->Save(), S_OK);
  std::u16string again;
  EXPECT_EQ(item->GetEntryID(again), S_OK);
  EXPECT_EQ(again, id);
  EXPECT_EQ(item->saves(), 2);
}

TEST_F(ComposeItemTest, SaveDeleteAndCloseAreRecordedAndCloseTheWindowAfterwards) {
  auto item = Compose(Send());
  auto window = host_.Open(item);
  ClosingSink sink;
  ASSERT_EQ(window->Advise(sink), S_OK);

  EXPECT_EQ(item->Save(), S_OK);
  EXPECT_EQ(item->Delete(), S_OK);
  EXPECT_EQ(item->Close(host::kCloseDiscard), S_OK);
  EXPECT_EQ(Operations("MailItem"), (std::vector<std::string>{"Save", "Delete", "Close(1)"}));
  EXPECT_TRUE(item->deleted());
  EXPECT_EQ(item->closeModes(), std::vector<std::int32_t>{host::kCloseDiscard});

  // The window closes once the add-in's call is over, and only once.
  EXPECT_TRUE(window->closeRequested());
  EXPECT_EQ(sink.closes, 0);
  host_.CloseRequestedWindows();
  host_.CloseRequestedWindows();
  EXPECT_EQ(sink.closes, 1);
  EXPECT_TRUE(window->closed());
}

TEST_F(ComposeItemTest, AnUntouchedWindowStaysOpen) {
  auto window = host_.Open(Compose(Send()));
  ClosingSink sink;
  ASSERT_EQ(window->Advise(sink), S_OK);
  host_.CloseRequestedWindows();
  EXPECT_EQ(sink.closes, 0);
  EXPECT_FALSE(window->closed());
}

TEST_F(ComposeItemTest, RibbonContextIsTheComposeWindowShowingTheItem) {
  auto item = Compose(Send());
  auto window = host_.Open(item);
  auto button = std::make_shared<StoreRibbonControl>(trace_, window);

  std::shared_ptr<host::RibbonControl> control;
  ASSERT_EQ(button->AsRibbonControl(control), S_OK);
  std::shared_ptr<host::Object> context;
  ASSERT_EQ(control->GetContext(context), S_OK);
  std::shared_ptr<host::Inspector> inspector;
  ASSERT_EQ(context->AsInspector(inspector), S_OK);
  std::shared_ptr<host::Object> current;
  ASSERT_EQ(inspector->GetCurrentItem(current), S_OK);
  std::shared_ptr<host::MailItem> mail;
  ASSERT_EQ(current->AsMailItem(mail), S_OK);
  EXPECT_EQ(mail, item);

  // Each object is only what it is.
  std::shared_ptr<host::Explorer> explorer;
  EXPECT_EQ(current->AsExplorer(explorer), E_NOINTERFACE);
  EXPECT_FALSE(explorer);
  std::u16string type;
  EXPECT_EQ(current->GetTypeId(type), S_OK);
  EXPECT_EQ(type, host::kMailItemIid);
  EXPECT_EQ(context->GetTypeId(type), S_OK);
  EXPECT_EQ(type, host::kInspectorIid);
}

// --- task pane ---------------------------------------------------------------------

class TaskPaneTest : public ComposeItemTest {
 protected:
  std::shared_ptr<host::TaskPane> NewPane() {
    std::shared_ptr<host::TaskPane> pane;
    EXPECT_EQ(host_.paneFactory()->CreateCTP(host::kWebBrowserClsid, u"Secure message contents",
                                             host_.application()->explorer(), pane),
              S_OK);
    return pane;
  }
  static std::shared_ptr<host::HtmlDocument> LoadBlank(host::TaskPane& pane) {
    std::shared_ptr<host::Object> control;
    EXPECT_EQ(pane.GetContentControl(control), S_OK);
    std::shared_ptr<host::WebBrowser> browser;
    EXPECT_EQ(control->AsWebBrowser(browser), S_OK);
    std::shared_ptr<host::Object> document;
    EXPECT_EQ(browser->GetDocument(document), S_OK);
    EXPECT_FALSE(document) << "a new browser has loaded nothing";
    EXPECT_EQ(browser->Navigate(u"about:blank"), S_OK);
    EXPECT_EQ(browser->GetDocument(document), S_OK);
    std::shared_ptr<host::HtmlDocument> html;
    EXPECT_EQ(document->AsHtmlDocument(html), S_OK);
    return html;
  }
};

TEST_F(TaskPaneTest, ShownPaneWritesItsDocumentToThePaneFile) {
  auto pane = NewPane();
  auto html = LoadBlank(*pane);
  EXPECT_EQ(html->Write(u"<p>caf\u00e9 "), S_OK);
  EXPECT_EQ(html->Write(u"\u2026</p>"), S_OK);
  EXPECT_EQ(html->Close(), S_OK);
  EXPECT_FALSE(std::filesystem::exists(panes_->path())) << "written before it was shown";
  EXPECT_EQ(pane->SetDockPosition(host::kDockBottom), S_OK);
  EXPECT_EQ(pane->SetVisible(true), S_OK);

  EXPECT_EQ(testing::ReadBytes(panes_->path()), "<p>caf\xC3\xA9 \xE2\x80\xA6</p>");
  EXPECT_EQ(announced_.str(), "pane: " + panes_->path() + "\n");
  EXPECT_EQ(
      Operations("TaskPane"),
      (std::vector<std::string>{"GetContentControl", "SetDockPosition(3)", "SetVisible(true)"}));
}

// The pane file holds the clear text: private to the user, even
// when an older file of another mode was there.
TEST_F(TaskPaneTest, PaneFileIsPrivateToTheUser) {
  namespace fs = std::filesystem;
  {
    std::ofstream(panes_->path()) << "older";
  }
  fs::permissions(panes_->path(), fs::perms::owner_read | fs::perms::owner_write |
                                      fs::perms::group_read | fs::perms::others_read);
  auto pane = NewPane();
  auto html = LoadBlank(*pane);
  ASSERT_EQ(html->Write(u"<p>secret</p>"), S_OK);
  ASSERT_EQ(pane->SetVisible(true), S_OK);
  EXPECT_EQ(testing::ReadBytes(panes_->path()), "<p>secret</p>");
  EXPECT_EQ(fs::status(panes_->path()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  fs::remove(panes_->path());
  ASSERT_EQ(pane->SetVisible(false), S_OK);
  ASSERT_EQ(pane->SetVisible(true), S_OK);
  EXPECT_EQ(fs::status(panes_->path()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(TaskPaneTest, WritingAfterCloseStartsTheDocumentAnew) {
  auto pane = NewPane();
  auto html = LoadBlank(*pane);
  ASSERT_EQ(html->Write(u"old"), S_OK);
  ASSERT_EQ(html->Close(), S_OK);
  ASSERT_EQ(html->Write(u"new"), S_OK);
  ASSERT_EQ(pane->SetVisible(true), S_OK);
  EXPECT_EQ(testing::ReadBytes(panes_->path()), "new");
}

TEST_F(TaskPaneTest, HiddenOrDeletedPaneWritesNothing) {
  auto pane = NewPane();
  ASSERT_EQ(LoadBlank(*pane)->Write(u"x"), S_OK);
  EXPECT_EQ(pane->SetVisible(false), S_OK);
  EXPECT_EQ(pane->Delete(), S_OK);
  EXPECT_TRUE(panes_->shown().empty());
  EXPECT_TRUE(announced_.str().empty());
}

TEST_F(TaskPaneTest, OnlyTheWebBrowserCanBeHostedInAWindow) {
  std::shared_ptr<host::TaskPane> pane;
  EXPECT_EQ(
      host_.paneFactory()->CreateCTP(u"Some.Control", u"t", host_.application()->explorer(), pane),
      E_INVALIDARG);
  EXPECT_EQ(host_.paneFactory()->CreateCTP(host::kWebBrowserClsid, u"t", nullptr, pane), E_POINTER);
  EXPECT_TRUE(host_.paneFactory()->panes().empty());
}

TEST_F(TaskPaneTest, UnwritablePaneFileFailsTheShow) {
  auto unwritable = std::make_shared<PaneOutput>(
      (folder_.root() / "missing-folder" / "pane.html").string(), &announced_);
  StorePaneFactory factory(trace_, unwritable);
  std::shared_ptr<host::TaskPane> pane;
  ASSERT_EQ(factory.CreateCTP(host::kWebBrowserClsid, u"t", host_.application()->explorer(), pane),
            S_OK);
  EXPECT_EQ(pane->SetVisible(true), E_FAIL);
  EXPECT_NE(unwritable->error().find("missing-folder"), std::string::npos);
  EXPECT_TRUE(announced_.str().empty());
}

}  // namespace
}  // namespace veilmark::hostapp

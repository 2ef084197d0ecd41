// The fakes other tests lean on: a failure set on one call must hit exactly
// that call, and what the fakes record must be what happened.
#include "support/fake_host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"

namespace veilmark::testing {
namespace {

using namespace std::string_literals;

TEST(FakeFailures, HitOnlyTheNamedOperationOfThatObject) {
  FakeHost host;
  auto item = host.NewMailItem();
  auto other = host.NewMailItem("other");
  const std::u16string configured = u"Quarterly numbers";
  item->subject = configured;
  item->Fail("GetSubject", DISP_E_MEMBERNOTFOUND);

  std::u16string subject(u"unchanged");
  EXPECT_EQ(item->GetSubject(subject), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(subject, u"unchanged");
  bool sent = true;
  EXPECT_EQ(item->GetSent(sent), S_OK);
  EXPECT_FALSE(sent);
  EXPECT_EQ(other->GetSubject(subject), S_OK);

  item->Heal("GetSubject");
  EXPECT_EQ(item->GetSubject(subject), S_OK);
  EXPECT_EQ(subject, configured);
  EXPECT_EQ(item->Calls("GetSubject"), 2);
}

TEST(FakeFailures, CanStartAtALaterCall) {
  FakeAttachments attachments;
  attachments.Add(u"a.txt", "a");
  attachments.Add(u"b.txt", "b");
  attachments.Fail("GetItem", E_OUTOFMEMORY, 2);

  std::shared_ptr<outlook::Attachment> out;
  EXPECT_EQ(attachments.GetItem(1, out), S_OK);
  EXPECT_EQ(attachments.GetItem(2, out), E_OUTOFMEMORY);
  EXPECT_EQ(attachments.GetItem(1, out), E_OUTOFMEMORY);
}

TEST(FakeFailures, UnknownOperationOrSuccessCodeIsRefused) {
  FakeMailItem item;
  EXPECT_THROW(item.Fail("GetSnet"), std::invalid_argument);
  EXPECT_THROW(item.Fail("GetSent", S_FALSE), std::invalid_argument);
  EXPECT_NO_THROW(item.Fail("AsMailItem"));
}

TEST(FakeObjects, AnswerQueriesByWhatTheyAre) {
  auto item = std::make_shared<FakeMailItem>();
  std::shared_ptr<outlook::Object> asObject = item;
  std::shared_ptr<outlook::MailItem> mail;
  std::shared_ptr<outlook::Inspector> inspector;
  std::u16string typeId;

  EXPECT_EQ(asObject->AsMailItem(mail), S_OK);
  EXPECT_EQ(mail, item);
  EXPECT_EQ(asObject->AsInspector(inspector), E_NOINTERFACE);
  EXPECT_EQ(inspector, nullptr);
  EXPECT_EQ(asObject->GetTypeId(typeId), S_OK);
  EXPECT_EQ(typeId, outlook::kMailItemIid);

  auto contact = std::make_shared<FakeItem>();
  EXPECT_EQ(contact->AsMailItem(mail), E_NOINTERFACE);

  item->Fail("AsMailItem", E_UNEXPECTED);
  EXPECT_EQ(asObject->AsMailItem(mail), E_UNEXPECTED);
  EXPECT_EQ(mail, nullptr);
}

TEST(FakeObjects, NullOnlyWhereTheOperationAllowsIt) {
  FakeMailItem item;
  std::shared_ptr<outlook::Account> account;
  EXPECT_EQ(item.GetSendUsingAccount(account), S_OK);
  EXPECT_EQ(account, nullptr);

  item.session = nullptr;
  std::shared_ptr<outlook::NameSpace> session;
  EXPECT_EQ(item.GetSession(session), E_POINTER);
}

TEST(FakeCollections, CountFromOne) {
  FakeRecipients recipients;
  auto first = recipients.Add(u"a@example.com", outlook::kRecipientTo);
  recipients.Add(u"b@example.com", outlook::kRecipientBcc);

  std::int32_t count = 0;
  EXPECT_EQ(recipients.GetCount(count), S_OK);
  EXPECT_EQ(count, 2);
  std::shared_ptr<outlook::Recipient> out;
  EXPECT_EQ(recipients.GetItem(1, out), S_OK);
  EXPECT_EQ(out, first);
  EXPECT_EQ(recipients.GetItem(0, out), DISP_E_BADINDEX);
  EXPECT_EQ(recipients.GetItem(3, out), DISP_E_BADINDEX);
}

TEST(FakeAttachment, SaveAsFileWritesTheBytesAsTheyAre) {
  const auto path =
      std::filesystem::temp_directory_path() /
      ("vm-fake-attachment-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  FakeAttachment attachment;
  attachment.bytes = "first\0second\r\n"s;

  ASSERT_EQ(attachment.SaveAsFile(Utf8ToWide(path.string())), S_OK);
  std::ifstream file(path, std::ios::binary);
  const std::string written{std::istreambuf_iterator<char>(file), {}};
  EXPECT_EQ(written, attachment.bytes);
  std::filesystem::remove(path);

  EXPECT_EQ(attachment.SaveAsFile(u"/nonexistent-folder/x.bin"), E_FAIL);
}

class CountingSink : public outlook::ExplorerEvents {
 public:
  HRESULT OnSelectionChange() override {
    ++selectionChanges;
    return S_OK;
  }
  HRESULT OnClose() override { return E_FAIL; }
  int selectionChanges = 0;
};

TEST(FakeEvents, ReachAdvisedSinksUntilUnadvised) {
  FakeHost host;
  auto explorer = host.NewExplorer();
  CountingSink sink;
  CountingSink never;

  explorer->Fail("Advise", E_FAIL);
  EXPECT_EQ(explorer->Advise(never), E_FAIL);
  explorer->Heal("Advise");
  ASSERT_EQ(explorer->Advise(sink), S_OK);

  auto item = host.NewMailItem();
  EXPECT_EQ(explorer->Select({item}), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(sink.selectionChanges, 1);
  EXPECT_EQ(never.selectionChanges, 0);
  EXPECT_EQ(explorer->FireClose(), std::vector<HRESULT>{E_FAIL});

  std::shared_ptr<outlook::Selection> selection;
  std::shared_ptr<outlook::Object> selected;
  ASSERT_EQ(explorer->GetSelection(selection), S_OK);
  EXPECT_EQ(selection->GetItem(1, selected), S_OK);
  EXPECT_EQ(selected, item);

  EXPECT_EQ(explorer->Unadvise(never), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(explorer->Unadvise(sink), S_OK);
  EXPECT_TRUE(explorer->FireSelectionChange().empty());
  EXPECT_EQ(sink.selectionChanges, 1);
}

TEST(FakeTaskPanes, RecordWhatWasCreatedAndWritten) {
  FakeHost host;
  auto explorer = host.NewExplorer();
  auto prepared = std::make_shared<FakeTaskPane>();
  host.paneFactory->upcoming.push_back(prepared);

  std::shared_ptr<outlook::TaskPane> pane;
  ASSERT_EQ(host.paneFactory->CreateCTP(outlook::kWebBrowserClsid, u"Title", explorer, pane), S_OK);
  EXPECT_EQ(pane, prepared);
  EXPECT_EQ(prepared->controlId, outlook::kWebBrowserClsid);
  EXPECT_EQ(prepared->title, u"Title");
  EXPECT_EQ(prepared->window, explorer);

  std::shared_ptr<outlook::Object> control;
  std::shared_ptr<outlook::WebBrowser> browser;
  std::shared_ptr<outlook::Object> document;
  ASSERT_EQ(pane->GetContentControl(control), S_OK);
  ASSERT_EQ(control->AsWebBrowser(browser), S_OK);
  ASSERT_EQ(browser->GetDocument(document), S_OK);
  EXPECT_EQ(document, nullptr);
  ASSERT_EQ(browser->Navigate(u"about:blank"), S_OK);
  ASSERT_EQ(browser->GetDocument(document), S_OK);
  std::shared_ptr<outlook::HtmlDocument> html;
  ASSERT_EQ(document->AsHtmlDocument(html), S_OK);
  EXPECT_EQ(html->Write(u"<p>"), S_OK);
  EXPECT_EQ(html->Write(u"x</p>"), S_OK);
  EXPECT_EQ(html->Close(), S_OK);
  EXPECT_EQ(prepared->browser()->html()->Text(), u"<p>x</p>");

  EXPECT_EQ(pane->Delete(), S_OK);
  EXPECT_EQ(
      *host.journal,
      (CallJournal{"factory.CreateCTP", "factory.pane1.GetContentControl",
                   "factory.pane1.browser.AsWebBrowser", "factory.pane1.browser.GetDocument",
                   "factory.pane1.browser.Navigate", "factory.pane1.browser.GetDocument",
                   "factory.pane1.browser.document.AsHtmlDocument",
                   "factory.pane1.browser.document.Write", "factory.pane1.browser.document.Write",
                   "factory.pane1.browser.document.Close", "factory.pane1.Delete"}));
}

}  // namespace
}  // namespace veilmark::testing

// Outlook in memory, which veilmark-host and the other tests lean on: a
// failure set on one call must hit exactly that call, and what it records
// must be what happened.
#include "outlook/memory/memory_outlook.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"

namespace veilmark::outlook {
namespace {

using namespace std::string_literals;

TEST(MemoryFailures, HitOnlyTheNamedOperationOfThatObject) {
  MemoryOutlook model;
  auto item = model.NewMailItem();
  auto other = model.NewMailItem("other");
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

TEST(MemoryFailures, CanStartAtALaterCall) {
  MemoryAttachments attachments;
  attachments.Add(u"a.txt", "a");
  attachments.Add(u"b.txt", "b");
  attachments.Fail("GetItem", E_OUTOFMEMORY, 2);

  std::shared_ptr<Attachment> out;
  EXPECT_EQ(attachments.GetItem(1, out), S_OK);
  EXPECT_EQ(attachments.GetItem(2, out), E_OUTOFMEMORY);
  EXPECT_EQ(attachments.GetItem(1, out), E_OUTOFMEMORY);
}

TEST(MemoryFailures, UnknownOperationOrSuccessCodeIsRefused) {
  MemoryMailItem item;
  EXPECT_THROW(item.Fail("GetSnet"), std::invalid_argument);
  EXPECT_THROW(item.Fail("GetSent", S_FALSE), std::invalid_argument);
  EXPECT_NO_THROW(item.Fail("AsMailItem"));
}

TEST(MemoryObjects, AnswerQueriesByWhatTheyAre) {
  auto item = std::make_shared<MemoryMailItem>();
  std::shared_ptr<Object> asObject = item;
  std::shared_ptr<MailItem> mail;
  std::shared_ptr<Inspector> inspector;
  std::u16string typeId;

  EXPECT_EQ(asObject->AsMailItem(mail), S_OK);
  EXPECT_EQ(mail, item);
  EXPECT_EQ(asObject->AsInspector(inspector), E_NOINTERFACE);
  EXPECT_EQ(inspector, nullptr);
  EXPECT_EQ(asObject->GetTypeId(typeId), S_OK);
  EXPECT_EQ(typeId, kMailItemIid);

  auto contact = std::make_shared<MemoryItem>();
  EXPECT_EQ(contact->AsMailItem(mail), E_NOINTERFACE);

  item->Fail("AsMailItem", E_UNEXPECTED);
  EXPECT_EQ(asObject->AsMailItem(mail), E_UNEXPECTED);
  EXPECT_EQ(mail, nullptr);
}

TEST(MemoryObjects, NullOnlyWhereTheOperationAllowsIt) {
  MemoryMailItem item;
  std::shared_ptr<Account> account;
  EXPECT_EQ(item.GetSendUsingAccount(account), S_OK);
  EXPECT_EQ(account, nullptr);

  item.session = nullptr;
  std::shared_ptr<NameSpace> session;
  EXPECT_EQ(item.GetSession(session), E_POINTER);
}

TEST(MemoryCollections, CountFromOne) {
  MemoryRecipients recipients;
  auto first = recipients.Add(u"a@example.com", kRecipientTo);
  recipients.Add(u"b@example.com", kRecipientBcc);

  std::int32_t count = 0;
  EXPECT_EQ(recipients.GetCount(count), S_OK);
  EXPECT_EQ(count, 2);
  std::shared_ptr<Recipient> out;
  EXPECT_EQ(recipients.GetItem(1, out), S_OK);
  EXPECT_EQ(out, first);
  EXPECT_EQ(recipients.GetItem(0, out), DISP_E_BADINDEX);
  EXPECT_EQ(recipients.GetItem(3, out), DISP_E_BADINDEX);
}

TEST(MemoryAttachment, SaveAsFileWritesTheBytesAsTheyAre) {
  const auto path =
      std::filesystem::temp_directory_path() /
      ("vm-memory-attachment-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  MemoryAttachment attachment;
  attachment.bytes = "first\0second\r\n"s;

  ASSERT_EQ(attachment.SaveAsFile(Utf8ToWide(path.string())), S_OK);
  std::ifstream file(path, std::ios::binary);
  const std::string written{std::istreambuf_iterator<char>(file), {}};
  EXPECT_EQ(written, attachment.bytes);
  std::filesystem::remove(path);

  EXPECT_EQ(attachment.SaveAsFile(u"/nonexistent-folder/x.bin"), E_FAIL);
}

class CountingSink : public ExplorerEvents {
 public:
  HRESULT OnSelectionChange() override {
    ++selectionChanges;
    return S_OK;
  }
  HRESULT OnClose() override { return E_FAIL; }
  int selectionChanges = 0;
};

TEST(MemoryEvents, ReachAdvisedSinksUntilUnadvised) {
  MemoryOutlook model;
  auto explorer = model.NewExplorer();
  CountingSink sink;
  CountingSink never;

  explorer->Fail("Advise", E_FAIL);
  EXPECT_EQ(explorer->Advise(never), E_FAIL);
  explorer->Heal("Advise");
  ASSERT_EQ(explorer->Advise(sink), S_OK);

  auto item = model.NewMailItem();
  EXPECT_EQ(explorer->Select({item}), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(sink.selectionChanges, 1);
  EXPECT_EQ(never.selectionChanges, 0);
  EXPECT_EQ(explorer->FireClose(), std::vector<HRESULT>{E_FAIL});

  std::shared_ptr<Selection> selection;
  std::shared_ptr<Object> selected;
  ASSERT_EQ(explorer->GetSelection(selection), S_OK);
  EXPECT_EQ(selection->GetItem(1, selected), S_OK);
  EXPECT_EQ(selected, item);

  EXPECT_EQ(explorer->Unadvise(never), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(explorer->Unadvise(sink), S_OK);
  EXPECT_TRUE(explorer->FireSelectionChange().empty());
  EXPECT_EQ(sink.selectionChanges, 1);
}

TEST(MemoryTaskPanes, RecordWhatWasCreatedAndWritten) {
  MemoryOutlook model;
  auto explorer = model.NewExplorer();
  auto prepared = std::make_shared<MemoryTaskPane>();
  model.paneFactory->upcoming.push_back(prepared);

  std::shared_ptr<TaskPane> pane;
  ASSERT_EQ(model.paneFactory->CreateCTP(kWebBrowserClsid, u"Title", explorer, pane), S_OK);
  EXPECT_EQ(pane, prepared);
  EXPECT_EQ(prepared->controlId, kWebBrowserClsid);
  EXPECT_EQ(prepared->title, u"Title");
  EXPECT_EQ(prepared->window, explorer);

  std::shared_ptr<Object> control;
  std::shared_ptr<WebBrowser> browser;
  std::shared_ptr<Object> document;
  ASSERT_EQ(pane->GetContentControl(control), S_OK);
  ASSERT_EQ(control->AsWebBrowser(browser), S_OK);
  ASSERT_EQ(browser->GetDocument(document), S_OK);
  EXPECT_EQ(document, nullptr);
  ASSERT_EQ(browser->Navigate(u"about:blank"), S_OK);
  ASSERT_EQ(browser->GetDocument(document), S_OK);
  std::shared_ptr<HtmlDocument> html;
  ASSERT_EQ(document->AsHtmlDocument(html), S_OK);
  EXPECT_EQ(html->Write(u"<p>"), S_OK);
  EXPECT_EQ(html->Write(u"x</p>"), S_OK);
  EXPECT_EQ(html->Close(), S_OK);
  EXPECT_EQ(prepared->browser()->html()->Text(), u"<p>x</p>");

  EXPECT_EQ(pane->Delete(), S_OK);
  EXPECT_EQ(
      *model.journal,
      (CallJournal{"factory.CreateCTP", "factory.pane1.GetContentControl",
                   "factory.pane1.browser.AsWebBrowser", "factory.pane1.browser.GetDocument",
                   "factory.pane1.browser.Navigate", "factory.pane1.browser.GetDocument",
                   "factory.pane1.browser.document.AsHtmlDocument",
                   "factory.pane1.browser.document.Write", "factory.pane1.browser.document.Write",
                   "factory.pane1.browser.document.Close", "factory.pane1.Delete"}));
}

// --- the trace -------------------------------------------------------------

TEST(MemoryTrace, NamesEachCallByKindWithItsArgumentsAndFailure) {
  std::ostringstream echo;
  MemoryOutlook model(std::make_shared<Trace>(&echo));
  auto item = model.NewMailItem();
  item->attachments->Add(u"a.txt", "a");
  item->Fail("GetSubject", E_FAIL);

  std::u16string text;
  std::shared_ptr<Attachment> attachment;
  EXPECT_EQ(item->GetSubject(text), E_FAIL);
  EXPECT_EQ(item->attachments->GetItem(1, attachment), S_OK);
  EXPECT_EQ(item->attachments->GetItem(2, attachment), DISP_E_BADINDEX);
  EXPECT_EQ(item->propertyAccessor->GetProperty(u"urn:x", text), kPropertyNotFound);
  EXPECT_EQ(item->Close(kCloseDiscard), S_OK);

  const std::vector<std::string> lines = {
      "MailItem.GetSubject failed 0x80004005", "Attachments.GetItem(1)",
      "Attachments.GetItem(2) failed 0x8002000B",
      "PropertyAccessor.GetProperty(urn:x) failed 0x8004010F", "MailItem.Close(1)"};
  EXPECT_EQ(model.trace->lines(), lines);
  std::string echoed;
  for (const std::string& line : lines) echoed += "trace: " + line + "\n";
  EXPECT_EQ(echo.str(), echoed);
  // The journal names the objects, not their kinds, and has no arguments.
  EXPECT_EQ(*model.journal,
            (CallJournal{"item.GetSubject", "item.attachments.GetItem", "item.attachments.GetItem",
                         "item.properties.GetProperty", "item.Close"}));
}

TEST(MemoryTrace, NotesEventsWhichTheJournalLeavesOut) {
  MemoryOutlook model(std::make_shared<Trace>());
  auto explorer = model.NewExplorer();
  explorer->Select({model.NewMailItem()});
  model.Open(model.NewMailItem())->FireClose();
  model.application->FireNewMail();
  EXPECT_EQ(
      model.trace->lines(),
      (std::vector<std::string>{"event Explorer.SelectionChange", "event Inspectors.NewInspector",
                                "event Inspector.Close", "event Application.NewMail"}));
  EXPECT_TRUE(model.journal->empty());
}

TEST(MemoryTrace, ChildrenMadeLaterWriteWhereTheirParentWrites) {
  MemoryOutlook model;
  auto item = model.NewMailItem();
  auto recipient = item->recipients->Add(u"a@example.com", kRecipientTo);
  std::u16string smtp;
  recipient->SetSmtpAddress(u"a@example.com");
  std::shared_ptr<PropertyAccessor> accessor;
  ASSERT_EQ(recipient->GetPropertyAccessor(accessor), S_OK);
  ASSERT_EQ(accessor->GetProperty(kSmtpAddressProperty, smtp), S_OK);

  // A pane the test labelled itself keeps its label.
  auto prepared = std::make_shared<MemoryTaskPane>();
  model.Watch(*prepared, "mine");
  model.paneFactory->upcoming.push_back(prepared);
  std::shared_ptr<TaskPane> pane;
  ASSERT_EQ(model.paneFactory->CreateCTP(kWebBrowserClsid, u"t", item, pane), S_OK);
  ASSERT_EQ(pane->SetDockPosition(kDockBottom), S_OK);

  EXPECT_EQ(*model.journal, (CallJournal{"item.recipients.1.GetPropertyAccessor",
                                         "item.recipients.1.properties.GetProperty",
                                         "factory.CreateCTP", "mine.SetDockPosition"}));
  EXPECT_TRUE(MemoryRecipients().Add(u"b@example.com", kRecipientCc)->label.empty());
}

// --- windows and panes --------------------------------------------------------

TEST(MemoryWindows, AnOpenedItemsCloseClosesItsWindowOnlyWhenAsked) {
  MemoryOutlook model;
  auto item = model.NewMailItem();
  auto window = model.Open(item);
  std::shared_ptr<Object> shown;
  ASSERT_EQ(window->GetCurrentItem(shown), S_OK);
  EXPECT_EQ(shown, item);

  model.CloseRequestedWindows();
  EXPECT_FALSE(window->closed);
  item->Fail("Close");
  EXPECT_EQ(item->Close(kCloseDiscard), E_FAIL);
  EXPECT_FALSE(window->closeRequested) << "a failed Close asks nothing";
  item->Heal("Close");
  ASSERT_EQ(item->Close(kCloseDiscard), S_OK);
  EXPECT_TRUE(window->closeRequested);
  EXPECT_FALSE(window->closed);
  model.CloseRequestedWindows();
  EXPECT_TRUE(window->closed);

  // An item in no window of this model closes nothing.
  EXPECT_EQ(model.NewMailItem()->Close(kCloseDiscard), S_OK);
}

TEST(MemoryTaskPanes, ShowingHandsOverThePageAndAFailedShowKeepsThePaneHidden) {
  MemoryOutlook model;
  std::vector<std::u16string> shown;
  bool canShow = false;
  model.paneFactory->show = [&](const std::u16string& page) {
    shown.push_back(page);
    return canShow;
  };
  std::shared_ptr<TaskPane> pane;
  ASSERT_EQ(model.paneFactory->CreateCTP(kWebBrowserClsid, u"t", model.NewExplorer(), pane), S_OK);
  auto browser = model.paneFactory->panes.at(0)->browser();
  ASSERT_EQ(browser->Navigate(u"about:blank"), S_OK);
  auto document = browser->html();
  ASSERT_EQ(document->Write(u"old"), S_OK);
  ASSERT_EQ(document->Close(), S_OK);
  ASSERT_EQ(document->Write(u"new "), S_OK);
  ASSERT_EQ(document->Write(u"page"), S_OK);

  EXPECT_EQ(pane->SetVisible(true), E_FAIL);
  EXPECT_FALSE(model.paneFactory->panes[0]->visible);
  canShow = true;
  EXPECT_EQ(pane->SetVisible(true), S_OK);
  EXPECT_EQ(pane->SetVisible(true), S_OK);  // already shown: not again
  EXPECT_EQ(shown, (std::vector<std::u16string>{u"new page", u"new page"}));
  EXPECT_EQ(document->writes, (std::vector<std::u16string>{u"old", u"new ", u"page"}));

  EXPECT_EQ(pane->Delete(), S_OK);
  EXPECT_FALSE(model.paneFactory->panes[0]->visible);
}

}  // namespace
}  // namespace veilmark::outlook

#include "support/fake_host.h"

#include <fstream>
#include <stdexcept>
#include <utility>

#include "base/text.h"

namespace veilmark::testing {

namespace {

// Children made by a watched fake write to the same journal.
void Inherit(const FakeCalls& parent, FakeCalls& child, const std::string& name) {
  if (!parent.journal) return;
  child.journal = parent.journal;
  child.label = parent.label + "." + name;
}

template <class T>
HRESULT ItemAt(const std::vector<std::shared_ptr<T>>& items, std::int32_t index,
               std::shared_ptr<T>& out) {
  if (index < 1 || static_cast<std::size_t>(index) > items.size()) return DISP_E_BADINDEX;
  out = items[static_cast<std::size_t>(index) - 1];
  return out ? S_OK : E_POINTER;
}

std::int32_t CountOf(std::size_t size) {
  return static_cast<std::int32_t>(size);
}

}  // namespace

FakeCalls::FakeCalls(std::initializer_list<const char*> operations) {
  AddOperations(operations);
}

void FakeCalls::AddOperations(std::initializer_list<const char*> operations) {
  for (const char* operation : operations) operations_.insert(operation);
}

void FakeCalls::Fail(const std::string& operation, HRESULT hr, int fromCall) {
  if (operations_.count(operation) == 0) {
    throw std::invalid_argument("fake has no operation " + operation);
  }
  if (SUCCEEDED(hr)) throw std::invalid_argument("a failure needs a failing HRESULT");
  failing_[operation] = {hr, fromCall};
}

void FakeCalls::Heal(const std::string& operation) {
  failing_.erase(operation);
}

int FakeCalls::Calls(const std::string& operation) const {
  const auto found = counts_.find(operation);
  return found == counts_.end() ? 0 : found->second;
}

HRESULT FakeCalls::Enter(const char* operation) {
  if (operations_.count(operation) == 0) {
    throw std::logic_error(std::string("undeclared fake operation ") + operation);
  }
  const int count = ++counts_[operation];
  calls_.push_back(operation);
  if (journal) journal->push_back(label + "." + operation);
  const auto failure = failing_.find(operation);
  if (failure != failing_.end() && count >= failure->second.fromCall) return failure->second.hr;
  return S_OK;
}

// ---------------------------------------------------------------------------

HRESULT FakePropertyAccessor::GetProperty(const std::u16string& schemaName, std::u16string& value) {
  asked.push_back(schemaName);
  if (const HRESULT hr = Enter("GetProperty"); FAILED(hr)) return hr;
  const auto found = properties.find(schemaName);
  if (found == properties.end()) return kPropertyNotFound;
  value = found->second;
  return S_OK;
}

HRESULT FakeAccount::GetSmtpAddress(std::u16string& address) {
  if (const HRESULT hr = Enter("GetSmtpAddress"); FAILED(hr)) return hr;
  address = smtpAddress;
  return S_OK;
}

// ---------------------------------------------------------------------------

HRESULT FakeRecipient::Resolve(bool& resolved) {
  if (const HRESULT hr = Enter("Resolve"); FAILED(hr)) return hr;
  resolved = resolves;
  return S_OK;
}

HRESULT FakeRecipient::GetAddress(std::u16string& out) {
  if (const HRESULT hr = Enter("GetAddress"); FAILED(hr)) return hr;
  out = address;
  return S_OK;
}

HRESULT FakeRecipient::GetDisplayType(std::int32_t& out) {
  if (const HRESULT hr = Enter("GetDisplayType"); FAILED(hr)) return hr;
  out = displayType;
  return S_OK;
}

HRESULT FakeRecipient::GetType(std::int32_t& out) {
  if (const HRESULT hr = Enter("GetType"); FAILED(hr)) return hr;
  out = type;
  return S_OK;
}

HRESULT FakeRecipient::GetPropertyAccessor(std::shared_ptr<outlook::PropertyAccessor>& out) {
  if (const HRESULT hr = Enter("GetPropertyAccessor"); FAILED(hr)) return hr;
  return HandOut(propertyAccessor, out);
}

void FakeRecipient::SetSmtpAddress(const std::u16string& smtp) {
  propertyAccessor->properties[outlook::kSmtpAddressProperty] = smtp;
}

HRESULT FakeRecipients::GetCount(std::int32_t& count) {
  if (const HRESULT hr = Enter("GetCount"); FAILED(hr)) return hr;
  count = CountOf(items.size());
  return S_OK;
}

HRESULT FakeRecipients::GetItem(std::int32_t index, std::shared_ptr<outlook::Recipient>& out) {
  if (const HRESULT hr = Enter("GetItem"); FAILED(hr)) return hr;
  std::shared_ptr<FakeRecipient> found;
  const HRESULT hr = ItemAt(items, index, found);
  out = found;
  return hr;
}

std::shared_ptr<FakeRecipient> FakeRecipients::Add(const std::u16string& address,
                                                   std::int32_t type) {
  auto recipient = std::make_shared<FakeRecipient>();
  recipient->address = address;
  recipient->type = type;
  items.push_back(recipient);
  Inherit(*this, *recipient, std::to_string(items.size()));
  return recipient;
}

HRESULT FakeNameSpace::GetCurrentUser(std::shared_ptr<outlook::Recipient>& out) {
  if (const HRESULT hr = Enter("GetCurrentUser"); FAILED(hr)) return hr;
  return HandOut(currentUser, out);
}

// ---------------------------------------------------------------------------

HRESULT FakeAttachment::GetType(std::int32_t& out) {
  if (const HRESULT hr = Enter("GetType"); FAILED(hr)) return hr;
  out = type;
  return S_OK;
}

HRESULT FakeAttachment::SaveAsFile(const std::u16string& path) {
  if (const HRESULT hr = Enter("SaveAsFile"); FAILED(hr)) return hr;
  savedTo.push_back(path);
  std::ofstream file(WideToUtf8(path), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return file ? S_OK : E_FAIL;
}

HRESULT FakeAttachment::GetFileName(std::u16string& out) {
  if (const HRESULT hr = Enter("GetFileName"); FAILED(hr)) return hr;
  out = fileName;
  return S_OK;
}

HRESULT FakeAttachments::GetCount(std::int32_t& count) {
  if (const HRESULT hr = Enter("GetCount"); FAILED(hr)) return hr;
  count = CountOf(items.size());
  return S_OK;
}

HRESULT FakeAttachments::GetItem(std::int32_t index, std::shared_ptr<outlook::Attachment>& out) {
  if (const HRESULT hr = Enter("GetItem"); FAILED(hr)) return hr;
  std::shared_ptr<FakeAttachment> found;
  const HRESULT hr = ItemAt(items, index, found);
  out = found;
  return hr;
}

std::shared_ptr<FakeAttachment> FakeAttachments::Add(const std::u16string& fileName,
                                                     const std::string& bytes) {
  auto attachment = std::make_shared<FakeAttachment>();
  attachment->fileName = fileName;
  attachment->bytes = bytes;
  items.push_back(attachment);
  Inherit(*this, *attachment, std::to_string(items.size()));
  return attachment;
}

// ---------------------------------------------------------------------------

FakeMailItem::FakeMailItem() {
  typeId = outlook::kMailItemIid;
  AddOperations({"GetSent", "GetEntryID", "GetSubject", "GetHTMLBody", "GetRecipients",
                 "GetAttachments", "Save", "Delete", "Close", "GetSendUsingAccount", "GetSession",
                 "GetPropertyAccessor"});
}

HRESULT FakeMailItem::GetSent(bool& out) {
  if (const HRESULT hr = Enter("GetSent"); FAILED(hr)) return hr;
  out = sent;
  return S_OK;
}

HRESULT FakeMailItem::GetEntryID(std::u16string& out) {
  if (const HRESULT hr = Enter("GetEntryID"); FAILED(hr)) return hr;
  out = entryId;
  return S_OK;
}

HRESULT FakeMailItem::GetSubject(std::u16string& out) {
  if (const HRESULT hr = Enter("GetSubject"); FAILED(hr)) return hr;
  out = subject;
  return S_OK;
}

HRESULT FakeMailItem::GetHTMLBody(std::u16string& out) {
  if (const HRESULT hr = Enter("GetHTMLBody"); FAILED(hr)) return hr;
  out = htmlBody;
  return S_OK;
}

HRESULT FakeMailItem::GetRecipients(std::shared_ptr<outlook::Recipients>& out) {
  if (const HRESULT hr = Enter("GetRecipients"); FAILED(hr)) return hr;
  return HandOut(recipients, out);
}

HRESULT FakeMailItem::GetAttachments(std::shared_ptr<outlook::Attachments>& out) {
  if (const HRESULT hr = Enter("GetAttachments"); FAILED(hr)) return hr;
  return HandOut(attachments, out);
}

HRESULT FakeMailItem::Save() {
  return Enter("Save");
}

HRESULT FakeMailItem::Delete() {
  return Enter("Delete");
}

HRESULT FakeMailItem::Close(std::int32_t mode) {
  if (const HRESULT hr = Enter("Close"); FAILED(hr)) return hr;
  closeModes.push_back(mode);
  return S_OK;
}

HRESULT FakeMailItem::GetSendUsingAccount(std::shared_ptr<outlook::Account>& out) {
  if (const HRESULT hr = Enter("GetSendUsingAccount"); FAILED(hr)) return hr;
  return HandOut(sendUsingAccount, out, /*mayBeNull=*/true);
}

HRESULT FakeMailItem::GetSession(std::shared_ptr<outlook::NameSpace>& out) {
  if (const HRESULT hr = Enter("GetSession"); FAILED(hr)) return hr;
  return HandOut(session, out);
}

HRESULT FakeMailItem::GetPropertyAccessor(std::shared_ptr<outlook::PropertyAccessor>& out) {
  if (const HRESULT hr = Enter("GetPropertyAccessor"); FAILED(hr)) return hr;
  return HandOut(propertyAccessor, out);
}

// ---------------------------------------------------------------------------

HRESULT FakeSelection::GetCount(std::int32_t& count) {
  if (const HRESULT hr = Enter("GetCount"); FAILED(hr)) return hr;
  count = CountOf(items.size());
  return S_OK;
}

HRESULT FakeSelection::GetItem(std::int32_t index, std::shared_ptr<outlook::Object>& out) {
  if (const HRESULT hr = Enter("GetItem"); FAILED(hr)) return hr;
  return ItemAt(items, index, out);
}

FakeExplorer::FakeExplorer() {
  typeId = outlook::kExplorerIid;
  AddOperations({"GetSelection", "Advise", "Unadvise"});
}

HRESULT FakeExplorer::GetSelection(std::shared_ptr<outlook::Selection>& out) {
  if (const HRESULT hr = Enter("GetSelection"); FAILED(hr)) return hr;
  return HandOut(selection, out);
}

HRESULT FakeExplorer::Advise(outlook::ExplorerEvents& sink) {
  if (const HRESULT hr = Enter("Advise"); FAILED(hr)) return hr;
  sinks.Add(sink);
  return S_OK;
}

HRESULT FakeExplorer::Unadvise(outlook::ExplorerEvents& sink) {
  if (const HRESULT hr = Enter("Unadvise"); FAILED(hr)) return hr;
  return sinks.Remove(sink);
}

std::vector<HRESULT> FakeExplorer::Select(std::vector<std::shared_ptr<outlook::Object>> items) {
  selection->items = std::move(items);
  return FireSelectionChange();
}

std::vector<HRESULT> FakeExplorer::FireSelectionChange() {
  return sinks.Fire([](outlook::ExplorerEvents& sink) { return sink.OnSelectionChange(); });
}

std::vector<HRESULT> FakeExplorer::FireClose() {
  return sinks.Fire([](outlook::ExplorerEvents& sink) { return sink.OnClose(); });
}

FakeInspector::FakeInspector() {
  typeId = outlook::kInspectorIid;
  AddOperations({"GetCurrentItem", "Advise", "Unadvise"});
}

HRESULT FakeInspector::GetCurrentItem(std::shared_ptr<outlook::Object>& out) {
  if (const HRESULT hr = Enter("GetCurrentItem"); FAILED(hr)) return hr;
  return HandOut(currentItem, out);
}

HRESULT FakeInspector::Advise(outlook::InspectorEvents& sink) {
  if (const HRESULT hr = Enter("Advise"); FAILED(hr)) return hr;
  sinks.Add(sink);
  return S_OK;
}

HRESULT FakeInspector::Unadvise(outlook::InspectorEvents& sink) {
  if (const HRESULT hr = Enter("Unadvise"); FAILED(hr)) return hr;
  return sinks.Remove(sink);
}

std::vector<HRESULT> FakeInspector::FireClose() {
  return sinks.Fire([](outlook::InspectorEvents& sink) { return sink.OnClose(); });
}

FakeRibbonControl::FakeRibbonControl() {
  typeId = outlook::kRibbonControlIid;
  AddOperations({"GetContext"});
}

HRESULT FakeRibbonControl::GetContext(std::shared_ptr<outlook::Object>& out) {
  if (const HRESULT hr = Enter("GetContext"); FAILED(hr)) return hr;
  return HandOut(context, out);
}

// ---------------------------------------------------------------------------

HRESULT FakeExplorers::Advise(outlook::ExplorersEvents& sink) {
  if (const HRESULT hr = Enter("Advise"); FAILED(hr)) return hr;
  sinks.Add(sink);
  return S_OK;
}

HRESULT FakeExplorers::Unadvise(outlook::ExplorersEvents& sink) {
  if (const HRESULT hr = Enter("Unadvise"); FAILED(hr)) return hr;
  return sinks.Remove(sink);
}

std::vector<HRESULT> FakeExplorers::FireNewExplorer(
    const std::shared_ptr<outlook::Explorer>& explorer) {
  return sinks.Fire([&](outlook::ExplorersEvents& sink) { return sink.OnNewExplorer(explorer); });
}

HRESULT FakeInspectors::Advise(outlook::InspectorsEvents& sink) {
  if (const HRESULT hr = Enter("Advise"); FAILED(hr)) return hr;
  sinks.Add(sink);
  return S_OK;
}

HRESULT FakeInspectors::Unadvise(outlook::InspectorsEvents& sink) {
  if (const HRESULT hr = Enter("Unadvise"); FAILED(hr)) return hr;
  return sinks.Remove(sink);
}

std::vector<HRESULT> FakeInspectors::FireNewInspector(
    const std::shared_ptr<outlook::Inspector>& inspector) {
  return sinks.Fire([&](outlook::InspectorsEvents& sink) { return sink.OnNewInspector(inspector); });
}

HRESULT FakeApplication::GetActiveExplorer(std::shared_ptr<outlook::Explorer>& out) {
  if (const HRESULT hr = Enter("GetActiveExplorer"); FAILED(hr)) return hr;
  return HandOut(activeExplorer, out, /*mayBeNull=*/true);
}

HRESULT FakeApplication::GetExplorers(std::shared_ptr<outlook::Explorers>& out) {
  if (const HRESULT hr = Enter("GetExplorers"); FAILED(hr)) return hr;
  return HandOut(explorers, out);
}

HRESULT FakeApplication::GetInspectors(std::shared_ptr<outlook::Inspectors>& out) {
  if (const HRESULT hr = Enter("GetInspectors"); FAILED(hr)) return hr;
  return HandOut(inspectors, out);
}

HRESULT FakeApplication::Advise(outlook::ApplicationEvents& sink) {
  if (const HRESULT hr = Enter("Advise"); FAILED(hr)) return hr;
  sinks.Add(sink);
  return S_OK;
}

HRESULT FakeApplication::Unadvise(outlook::ApplicationEvents& sink) {
  if (const HRESULT hr = Enter("Unadvise"); FAILED(hr)) return hr;
  return sinks.Remove(sink);
}

std::vector<HRESULT> FakeApplication::FireNewMail() {
  return sinks.Fire([](outlook::ApplicationEvents& sink) { return sink.OnNewMail(); });
}

// ---------------------------------------------------------------------------

FakeHtmlDocument::FakeHtmlDocument() {
  AddOperations({"Write", "Close"});
}

HRESULT FakeHtmlDocument::Write(const std::u16string& html) {
  if (const HRESULT hr = Enter("Write"); FAILED(hr)) return hr;
  writes.push_back(html);
  return S_OK;
}

HRESULT FakeHtmlDocument::Close() {
  if (const HRESULT hr = Enter("Close"); FAILED(hr)) return hr;
  ++closes;
  return S_OK;
}

std::u16string FakeHtmlDocument::Text() const {
  std::u16string text;
  for (const auto& piece : writes) text += piece;
  return text;
}

FakeWebBrowser::FakeWebBrowser() {
  AddOperations({"GetDocument", "Navigate"});
}

HRESULT FakeWebBrowser::GetDocument(std::shared_ptr<outlook::Object>& out) {
  if (const HRESULT hr = Enter("GetDocument"); FAILED(hr)) return hr;
  return HandOut(document, out, /*mayBeNull=*/true);
}

HRESULT FakeWebBrowser::Navigate(const std::u16string& url) {
  if (const HRESULT hr = Enter("Navigate"); FAILED(hr)) return hr;
  navigations.push_back(url);
  if (!document && navigateLoadsDocument) {
    auto loaded = std::make_shared<FakeHtmlDocument>();
    Inherit(*this, *loaded, "document");
    document = loaded;
  }
  return S_OK;
}

std::shared_ptr<FakeHtmlDocument> FakeWebBrowser::html() const {
  return std::dynamic_pointer_cast<FakeHtmlDocument>(document);
}

HRESULT FakeTaskPane::GetContentControl(std::shared_ptr<outlook::Object>& out) {
  if (const HRESULT hr = Enter("GetContentControl"); FAILED(hr)) return hr;
  return HandOut(contentControl, out);
}

HRESULT FakeTaskPane::SetDockPosition(std::int32_t position) {
  if (const HRESULT hr = Enter("SetDockPosition"); FAILED(hr)) return hr;
  dockPosition = position;
  return S_OK;
}

HRESULT FakeTaskPane::SetVisible(bool value) {
  if (const HRESULT hr = Enter("SetVisible"); FAILED(hr)) return hr;
  visible = value;
  return S_OK;
}

HRESULT FakeTaskPane::Delete() {
  if (const HRESULT hr = Enter("Delete"); FAILED(hr)) return hr;
  deleted = true;
  return S_OK;
}

std::shared_ptr<FakeWebBrowser> FakeTaskPane::browser() const {
  return std::dynamic_pointer_cast<FakeWebBrowser>(contentControl);
}

HRESULT FakeTaskPaneFactory::CreateCTP(const std::u16string& controlId, const std::u16string& title,
                                       const std::shared_ptr<outlook::Object>& window,
                                       std::shared_ptr<outlook::TaskPane>& out) {
  if (const HRESULT hr = Enter("CreateCTP"); FAILED(hr)) return hr;
  std::shared_ptr<FakeTaskPane> pane;
  if (upcoming.empty()) {
    pane = std::make_shared<FakeTaskPane>();
  } else {
    pane = upcoming.front();
    upcoming.pop_front();
  }
  pane->controlId = controlId;
  pane->title = title;
  pane->window = window;
  panes.push_back(pane);
  if (journal && !pane->journal) {
    Inherit(*this, *pane, "pane" + std::to_string(panes.size()));
    if (auto browser = pane->browser(); browser && !browser->journal) {
      Inherit(*pane, *browser, "browser");
    }
  }
  out = pane;
  return S_OK;
}

// ---------------------------------------------------------------------------

FakeHost::FakeHost() {
  Watch(*application, "application");
  Watch(*application->explorers, "explorers");
  Watch(*application->inspectors, "inspectors");
  Watch(*session, "session");
  Watch(*session->currentUser, "currentUser");
  Watch(*session->currentUser->propertyAccessor, "currentUser.properties");
  Watch(*paneFactory, "factory");
}

void FakeHost::Watch(FakeCalls& fake, const std::string& label) {
  fake.label = label;
  fake.journal = journal;
}

std::shared_ptr<FakeMailItem> FakeHost::NewMailItem(const std::string& label) {
  auto item = std::make_shared<FakeMailItem>();
  item->session = session;
  Watch(*item, label);
  Watch(*item->recipients, label + ".recipients");
  Watch(*item->attachments, label + ".attachments");
  Watch(*item->propertyAccessor, label + ".properties");
  return item;
}

std::shared_ptr<FakeExplorer> FakeHost::NewExplorer(const std::string& label) {
  auto explorer = std::make_shared<FakeExplorer>();
  Watch(*explorer, label);
  Watch(*explorer->selection, label + ".selection");
  return explorer;
}

std::shared_ptr<FakeInspector> FakeHost::NewInspector(const std::string& label) {
  auto inspector = std::make_shared<FakeInspector>();
  Watch(*inspector, label);
  return inspector;
}

}  // namespace veilmark::testing

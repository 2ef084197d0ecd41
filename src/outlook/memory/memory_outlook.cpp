#include "outlook/memory/memory_outlook.h"

#include <fstream>
#include <utility>

#include "base/text.h"

namespace veilmark::outlook {

HRESULT MemoryPropertyAccessor::GetProperty(const std::u16string& schemaName,
                                            std::u16string& value) {
  asked.push_back(schemaName);
  return Call("GetProperty", WideToUtf8(schemaName), [&] {
    const auto found = properties.find(schemaName);
    if (found == properties.end()) return kPropertyNotFound;
    value = found->second;
    return S_OK;
  });
}

void MemoryRecipient::SetSmtpAddress(const std::u16string& smtp) {
  propertyAccessor->properties[kSmtpAddressProperty] = smtp;
}

std::shared_ptr<MemoryRecipient> MemoryRecipients::Add(const std::u16string& address,
                                                       std::int32_t type) {
  std::shared_ptr<MemoryRecipient> recipient = Append();
  recipient->address = address;
  recipient->type = type;
  recipient->Adopt(*recipient->propertyAccessor, "properties");
  return recipient;
}

HRESULT MemoryAttachment::SaveAsFile(const std::u16string& path) {
  return Call("SaveAsFile", WideToUtf8(path), [&] {
    savedTo.push_back(path);
    if (writer) return writer(WideToUtf8(path)) ? S_OK : E_FAIL;
    std::ofstream file(WideToUtf8(path), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return file ? S_OK : E_FAIL;
  });
}

std::shared_ptr<MemoryAttachment> MemoryAttachments::Add(const std::u16string& fileName,
                                                         std::string bytes) {
  std::shared_ptr<MemoryAttachment> attachment = Append();
  attachment->fileName = fileName;
  attachment->bytes = std::move(bytes);
  return attachment;
}

// ---------------------------------------------------------------------------

MemoryMailItem::MemoryMailItem()
    : MemoryObject("MailItem", kMailItemIid,
                   {"GetSent", "GetEntryID", "GetSubject", "GetHTMLBody", "GetRecipients",
                    "GetAttachments", "Save", "Delete", "Close", "GetSendUsingAccount",
                    "GetSession", "GetPropertyAccessor"}) {}

HRESULT MemoryMailItem::Save() {
  return Call("Save", [&] {
    if (entryId.empty()) {
      static int drafts = 0;
      entryId = u"DRAFT" + IntToWide(++drafts);
    }
    return S_OK;
  });
}

HRESULT MemoryMailItem::Delete() {
  return Call("Delete", [&] {
    deleted = true;
    return S_OK;
  });
}

HRESULT MemoryMailItem::Close(std::int32_t mode) {
  return Call("Close", std::to_string(mode), [&] {
    closeModes.push_back(mode);
    if (auto open = window.lock()) open->closeRequested = true;
    return S_OK;
  });
}

// ---------------------------------------------------------------------------

std::vector<HRESULT> MemoryExplorer::Select(std::vector<std::shared_ptr<Object>> items) {
  selection->items = std::move(items);
  return FireSelectionChange();
}

std::vector<HRESULT> MemoryExplorer::FireSelectionChange() {
  return Fire(sinks, "SelectionChange",
              [](ExplorerEvents& sink) { return sink.OnSelectionChange(); });
}

std::vector<HRESULT> MemoryExplorer::FireClose() {
  return Fire(sinks, "Close", [](ExplorerEvents& sink) { return sink.OnClose(); });
}

std::vector<HRESULT> MemoryInspector::FireClose() {
  closed = true;
  return Fire(sinks, "Close", [](InspectorEvents& sink) { return sink.OnClose(); });
}

std::vector<HRESULT> MemoryExplorers::FireNewExplorer(const std::shared_ptr<Explorer>& explorer) {
  return Fire(sinks, "NewExplorer",
              [&](ExplorersEvents& sink) { return sink.OnNewExplorer(explorer); });
}

std::vector<HRESULT> MemoryInspectors::FireNewInspector(
    const std::shared_ptr<Inspector>& inspector) {
  return Fire(sinks, "NewInspector",
              [&](InspectorsEvents& sink) { return sink.OnNewInspector(inspector); });
}

std::vector<HRESULT> MemoryApplication::FireNewMail() {
  return Fire(sinks, "NewMail", [](ApplicationEvents& sink) { return sink.OnNewMail(); });
}

// ---------------------------------------------------------------------------

HRESULT MemoryHtmlDocument::Write(const std::u16string& html) {
  return Call("Write", std::to_string(html.size()) + " characters", [&] {
    if (ended_) page_.clear();
    ended_ = false;
    writes.push_back(html);
    page_ += html;
    return S_OK;
  });
}

HRESULT MemoryHtmlDocument::Close() {
  return Call("Close", [&] {
    ++closes;
    ended_ = true;
    return S_OK;
  });
}

HRESULT MemoryWebBrowser::Navigate(const std::u16string& url) {
  return Call("Navigate", WideToUtf8(url), [&] {
    navigations.push_back(url);
    if (!document && navigateLoadsDocument) {
      auto loaded = std::make_shared<MemoryHtmlDocument>();
      Adopt(*loaded, "document");
      document = loaded;
    }
    return S_OK;
  });
}

std::shared_ptr<MemoryHtmlDocument> MemoryWebBrowser::html() const {
  return std::dynamic_pointer_cast<MemoryHtmlDocument>(document);
}

HRESULT MemoryTaskPane::SetDockPosition(std::int32_t position) {
  return Call("SetDockPosition", std::to_string(position), [&] {
    dockPosition = position;
    return S_OK;
  });
}

HRESULT MemoryTaskPane::SetVisible(bool value) {
  return Call("SetVisible", value ? "true" : "false", [&] {
    if (value && !visible && show) {
      const std::shared_ptr<MemoryWebBrowser> shown = browser();
      const std::shared_ptr<MemoryHtmlDocument> page = shown ? shown->html() : nullptr;
      if (!show(page ? page->Text() : std::u16string())) return E_FAIL;
    }
    visible = value;
    return S_OK;
  });
}

HRESULT MemoryTaskPane::Delete() {
  return Call("Delete", [&] {
    deleted = true;
    visible = false;
    return S_OK;
  });
}

std::shared_ptr<MemoryWebBrowser> MemoryTaskPane::browser() const {
  return std::dynamic_pointer_cast<MemoryWebBrowser>(contentControl);
}

HRESULT MemoryTaskPaneFactory::CreateCTP(const std::u16string& controlId,
                                         const std::u16string& title,
                                         const std::shared_ptr<Object>& window,
                                         std::shared_ptr<TaskPane>& out) {
  return Call("CreateCTP", WideToUtf8(controlId) + ", " + WideToUtf8(title), [&] {
    if (controlId != kWebBrowserClsid) return E_INVALIDARG;
    if (!window) return E_POINTER;
    std::shared_ptr<MemoryTaskPane> pane;
    if (upcoming.empty()) {
      pane = std::make_shared<MemoryTaskPane>();
    } else {
      pane = upcoming.front();
      upcoming.pop_front();
    }
    pane->controlId = controlId;
    pane->title = title;
    pane->window = window;
    if (!pane->show) pane->show = show;
    panes.push_back(pane);
    Adopt(*pane, "pane" + std::to_string(panes.size()));
    if (auto browser = pane->browser()) pane->Adopt(*browser, "browser");
    out = pane;
    return S_OK;
  });
}

// ---------------------------------------------------------------------------

MemoryOutlook::MemoryOutlook(std::shared_ptr<Trace> trace) : trace(std::move(trace)) {
  Watch(*application, "application");
  Watch(*application->explorers, "explorers");
  Watch(*application->inspectors, "inspectors");
  Watch(*session, "session");
  Watch(*session->currentUser, "currentUser");
  Watch(*session->currentUser->propertyAccessor, "currentUser.properties");
  Watch(*paneFactory, "factory");
}

void MemoryOutlook::Watch(CallRecorder& object, const std::string& label) {
  object.label = label;
  object.journal = journal;
  object.trace = trace;
}

std::shared_ptr<MemoryMailItem> MemoryOutlook::NewMailItem(const std::string& label) {
  auto item = std::make_shared<MemoryMailItem>();
  item->session = session;
  Watch(*item, label);
  item->Adopt(*item->recipients, "recipients");
  item->Adopt(*item->attachments, "attachments");
  item->Adopt(*item->propertyAccessor, "properties");
  return item;
}

std::shared_ptr<MemoryExplorer> MemoryOutlook::NewExplorer(const std::string& label) {
  auto explorer = std::make_shared<MemoryExplorer>();
  Watch(*explorer, label);
  explorer->Adopt(*explorer->selection, "selection");
  return explorer;
}

std::shared_ptr<MemoryInspector> MemoryOutlook::NewInspector(const std::string& label) {
  auto inspector = std::make_shared<MemoryInspector>();
  Watch(*inspector, label);
  return inspector;
}

std::shared_ptr<MemoryInspector> MemoryOutlook::Open(const std::shared_ptr<MemoryMailItem>& item) {
  auto inspector = NewInspector();
  inspector->currentItem = item;
  item->window = inspector;
  opened_.push_back(inspector);
  application->inspectors->FireNewInspector(inspector);
  return inspector;
}

void MemoryOutlook::CloseRequestedWindows() {
  for (const auto& inspector : opened_) {
    if (inspector->closeRequested && !inspector->closed) inspector->FireClose();
  }
}

}  // namespace veilmark::outlook

#include "host/store_objects.h"

#include <cstdio>
#include <fstream>
#include <ostream>
#include <utility>

#include "util/local_files.h"
#include "util/text.h"

namespace veilmark::hostapp {
namespace {

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::string Narrow(const std::u16string& text) {
  return WideToUtf8(text);
}

template <class Stored, class Out>
HRESULT ItemAt(const std::vector<std::shared_ptr<Stored>>& items, std::int32_t index,
               std::shared_ptr<Out>& out) {
  if (index < 1 || static_cast<std::size_t>(index) > items.size()) return DISP_E_BADINDEX;
  out = items[static_cast<std::size_t>(index) - 1];
  return S_OK;
}

std::int32_t CountOf(std::size_t size) {
  return static_cast<std::int32_t>(size);
}

}  // namespace

void Trace::Add(std::string line) {
  if (echo_) *echo_ << "trace: " << line << std::endl;
  lines_.push_back(std::move(line));
}

HRESULT Traced::Log(const std::string& operation, HRESULT hr) const {
  std::string line = std::string(kind_) + "." + operation;
  if (FAILED(hr)) line += " failed " + Hex(hr);
  if (trace_) trace_->Add(std::move(line));
  return hr;
}

// ---------------------------------------------------------------------------

HRESULT StorePropertyAccessor::GetProperty(const std::u16string& schemaName,
                                           std::u16string& value) {
  const auto found = properties_.find(schemaName);
  if (found != properties_.end()) value = found->second;
  return Log("GetProperty(" + Narrow(schemaName) + ")",
             found == properties_.end() ? kPropertyNotFound : S_OK);
}

HRESULT StoreAccount::GetSmtpAddress(std::u16string& address) {
  address = smtpAddress_;
  return Log("GetSmtpAddress");
}

// ---------------------------------------------------------------------------

StoreRecipient::StoreRecipient(std::shared_ptr<Trace> trace, RecipientEntry entry)
    : Traced(std::move(trace), "Recipient"), entry_(std::move(entry)) {
  std::map<std::u16string, std::u16string> properties;
  if (entry_.displayType != kDisplayTypeDistList && !entry_.address.empty()) {
    properties[host::kSmtpAddressProperty] = entry_.address;
  }
  accessor_ = std::make_shared<StorePropertyAccessor>(this->trace(), std::move(properties));
}

HRESULT StoreRecipient::Resolve(bool& resolved) {
  resolved = entry_.displayType == kDisplayTypeDistList ||
             entry_.address.find(u'@') != std::u16string::npos;
  return Log("Resolve");
}

HRESULT StoreRecipient::GetAddress(std::u16string& address) {
  address = entry_.address;
  return Log("GetAddress");
}

HRESULT StoreRecipient::GetDisplayType(std::int32_t& type) {
  type = entry_.displayType;
  return Log("GetDisplayType");
}

HRESULT StoreRecipient::GetType(std::int32_t& type) {
  type = entry_.type;
  return Log("GetType");
}

HRESULT StoreRecipient::GetPropertyAccessor(std::shared_ptr<host::PropertyAccessor>& out) {
  out = accessor_;
  return Log("GetPropertyAccessor");
}

StoreRecipients::StoreRecipients(std::shared_ptr<Trace> trace,
                                 const std::vector<RecipientEntry>& entries)
    : Traced(std::move(trace), "Recipients") {
  for (const RecipientEntry& entry : entries) {
    items_.push_back(std::make_shared<StoreRecipient>(this->trace(), entry));
  }
}

HRESULT StoreRecipients::GetCount(std::int32_t& count) {
  count = CountOf(items_.size());
  return Log("GetCount");
}

HRESULT StoreRecipients::GetItem(std::int32_t index, std::shared_ptr<host::Recipient>& out) {
  return Log("GetItem(" + std::to_string(index) + ")", ItemAt(items_, index, out));
}

StoreNameSpace::StoreNameSpace(std::shared_ptr<Trace> trace, const std::u16string& userAddress)
    : Traced(std::move(trace), "NameSpace"),
      currentUser_(std::make_shared<StoreRecipient>(
          this->trace(), RecipientEntry{userAddress, host::kRecipientTo, host::kDisplayTypeUser})) {
}

HRESULT StoreNameSpace::GetCurrentUser(std::shared_ptr<host::Recipient>& out) {
  out = currentUser_;
  return Log("GetCurrentUser");
}

// ---------------------------------------------------------------------------

HRESULT StoreAttachment::GetType(std::int32_t& type) {
  type = kAttachByValue;
  return Log("GetType");
}

HRESULT StoreAttachment::SaveAsFile(const std::u16string& path) {
  const std::string narrow = Narrow(path);
  std::ofstream file(narrow, std::ios::binary | std::ios::trunc);
  file.write(entry_.bytes.data(), static_cast<std::streamsize>(entry_.bytes.size()));
  file.close();
  return Log("SaveAsFile(" + narrow + ")", file ? S_OK : E_FAIL);
}

HRESULT StoreAttachment::GetFileName(std::u16string& name) {
  name = entry_.fileName;
  return Log("GetFileName");
}

StoreAttachments::StoreAttachments(std::shared_ptr<Trace> trace,
                                   const std::vector<AttachmentEntry>& entries)
    : Traced(std::move(trace), "Attachments") {
  for (const AttachmentEntry& entry : entries) {
    items_.push_back(std::make_shared<StoreAttachment>(this->trace(), entry));
  }
}

HRESULT StoreAttachments::GetCount(std::int32_t& count) {
  count = CountOf(items_.size());
  return Log("GetCount");
}

HRESULT StoreAttachments::GetItem(std::int32_t index, std::shared_ptr<host::Attachment>& out) {
  return Log("GetItem(" + std::to_string(index) + ")", ItemAt(items_, index, out));
}

// ---------------------------------------------------------------------------

StoreMailItem::StoreMailItem(std::shared_ptr<Trace> trace, MailItemContent content,
                             std::shared_ptr<host::NameSpace> session)
    : StoreObject(std::move(trace), "MailItem", host::kMailItemIid),
      content_(std::move(content)),
      session_(std::move(session)) {
  recipients_ = std::make_shared<StoreRecipients>(this->trace(), content_.recipients);
  attachments_ = std::make_shared<StoreAttachments>(this->trace(), content_.attachments);
  if (content_.sendUsingAccount) {
    account_ = std::make_shared<StoreAccount>(this->trace(), *content_.sendUsingAccount);
  }
  accessor_ = std::make_shared<StorePropertyAccessor>(this->trace(), content_.properties);
}

HRESULT StoreMailItem::GetSent(bool& sent) {
  sent = content_.sent;
  return Log("GetSent");
}

HRESULT StoreMailItem::GetEntryID(std::u16string& id) {
  id = content_.entryId;
  return Log("GetEntryID");
}

HRESULT StoreMailItem::GetSubject(std::u16string& subject) {
  subject = content_.subject;
  return Log("GetSubject");
}

HRESULT StoreMailItem::GetHTMLBody(std::u16string& body) {
  body = content_.htmlBody;
  return Log("GetHTMLBody");
}

HRESULT StoreMailItem::GetRecipients(std::shared_ptr<host::Recipients>& out) {
  out = recipients_;
  return Log("GetRecipients");
}

HRESULT StoreMailItem::GetAttachments(std::shared_ptr<host::Attachments>& out) {
  out = attachments_;
  return Log("GetAttachments");
}

HRESULT StoreMailItem::Save() {
  ++saves_;
  if (content_.entryId.empty()) {
    static int drafts = 0;
    content_.entryId = u"DRAFT" + IntToWide(++drafts);
  }
  return Log("Save");
}

HRESULT StoreMailItem::Delete() {
  deleted_ = true;
  return Log("Delete");
}

HRESULT StoreMailItem::Close(std::int32_t mode) {
  closeModes_.push_back(mode);
  const HRESULT hr = Log("Close(" + std::to_string(mode) + ")");
  if (onClose_) onClose_();
  return hr;
}

HRESULT StoreMailItem::GetSendUsingAccount(std::shared_ptr<host::Account>& out) {
  out = account_;
  return Log("GetSendUsingAccount");
}

HRESULT StoreMailItem::GetSession(std::shared_ptr<host::NameSpace>& out) {
  out = session_;
  return Log("GetSession", session_ ? S_OK : E_POINTER);
}

HRESULT StoreMailItem::GetPropertyAccessor(std::shared_ptr<host::PropertyAccessor>& out) {
  out = accessor_;
  return Log("GetPropertyAccessor");
}

// ---------------------------------------------------------------------------

HRESULT StoreSelection::GetCount(std::int32_t& count) {
  count = CountOf(items_.size());
  return Log("GetCount");
}

HRESULT StoreSelection::GetItem(std::int32_t index, std::shared_ptr<host::Object>& out) {
  return Log("GetItem(" + std::to_string(index) + ")", ItemAt(items_, index, out));
}

StoreExplorer::StoreExplorer(std::shared_ptr<Trace> trace)
    : StoreObject(std::move(trace), "Explorer", host::kExplorerIid) {}

HRESULT StoreExplorer::GetSelection(std::shared_ptr<host::Selection>& out) {
  out = std::make_shared<StoreSelection>(trace(), selected_);
  return Log("GetSelection");
}

HRESULT StoreExplorer::Advise(host::ExplorerEvents& sink) {
  sinks_.Add(sink);
  return Log("Advise");
}

HRESULT StoreExplorer::Unadvise(host::ExplorerEvents& sink) {
  return Log("Unadvise", sinks_.Remove(sink));
}

void StoreExplorer::Select(std::vector<std::shared_ptr<host::Object>> items) {
  selected_ = std::move(items);
  if (trace()) trace()->Add("event Explorer.SelectionChange");
  sinks_.Fire([](host::ExplorerEvents& sink) { return sink.OnSelectionChange(); });
}

StoreInspector::StoreInspector(std::shared_ptr<Trace> trace, std::shared_ptr<host::Object> item)
    : StoreObject(std::move(trace), "Inspector", host::kInspectorIid), item_(std::move(item)) {}

HRESULT StoreInspector::GetCurrentItem(std::shared_ptr<host::Object>& out) {
  out = item_;
  return Log("GetCurrentItem", item_ ? S_OK : E_POINTER);
}

HRESULT StoreInspector::Advise(host::InspectorEvents& sink) {
  sinks_.Add(sink);
  return Log("Advise");
}

HRESULT StoreInspector::Unadvise(host::InspectorEvents& sink) {
  return Log("Unadvise", sinks_.Remove(sink));
}

void StoreInspector::FireClose() {
  if (closed_) return;
  closed_ = true;
  if (trace()) trace()->Add("event Inspector.Close");
  sinks_.Fire([](host::InspectorEvents& sink) { return sink.OnClose(); });
}

StoreRibbonControl::StoreRibbonControl(std::shared_ptr<Trace> trace,
                                       std::shared_ptr<host::Object> context)
    : StoreObject(std::move(trace), "RibbonControl", host::kRibbonControlIid),
      context_(std::move(context)) {}

HRESULT StoreRibbonControl::GetContext(std::shared_ptr<host::Object>& out) {
  out = context_;
  return Log("GetContext", context_ ? S_OK : E_POINTER);
}

// ---------------------------------------------------------------------------

HRESULT StoreExplorers::Advise(host::ExplorersEvents& sink) {
  sinks_.Add(sink);
  return Log("Advise");
}

HRESULT StoreExplorers::Unadvise(host::ExplorersEvents& sink) {
  return Log("Unadvise", sinks_.Remove(sink));
}

HRESULT StoreInspectors::Advise(host::InspectorsEvents& sink) {
  sinks_.Add(sink);
  return Log("Advise");
}

HRESULT StoreInspectors::Unadvise(host::InspectorsEvents& sink) {
  return Log("Unadvise", sinks_.Remove(sink));
}

void StoreInspectors::FireNewInspector(const std::shared_ptr<host::Inspector>& inspector) {
  if (trace()) trace()->Add("event Inspectors.NewInspector");
  sinks_.Fire(
      [&inspector](host::InspectorsEvents& sink) { return sink.OnNewInspector(inspector); });
}

StoreApplication::StoreApplication(std::shared_ptr<Trace> trace)
    : Traced(std::move(trace), "Application"),
      explorer_(std::make_shared<StoreExplorer>(this->trace())),
      explorers_(std::make_shared<StoreExplorers>(this->trace())),
      inspectors_(std::make_shared<StoreInspectors>(this->trace())) {}

HRESULT StoreApplication::GetActiveExplorer(std::shared_ptr<host::Explorer>& out) {
  out = explorer_;
  return Log("GetActiveExplorer");
}

HRESULT StoreApplication::GetExplorers(std::shared_ptr<host::Explorers>& out) {
  out = explorers_;
  return Log("GetExplorers");
}

HRESULT StoreApplication::GetInspectors(std::shared_ptr<host::Inspectors>& out) {
  out = inspectors_;
  return Log("GetInspectors");
}

HRESULT StoreApplication::Advise(host::ApplicationEvents& sink) {
  sinks_.Add(sink);
  return Log("Advise");
}

HRESULT StoreApplication::Unadvise(host::ApplicationEvents& sink) {
  return Log("Unadvise", sinks_.Remove(sink));
}

// ---------------------------------------------------------------------------

bool PaneOutput::Show(const std::u16string& html) {
  shown_.push_back(html);
  // The clear text of a protected message: private to the user (0600, even
  // over an older file of another mode), written whole or not at all.
  if (!SaveFile(Utf8ToWide(path_), WideToUtf8(html))) {
    error_ = "cannot write the pane's HTML to " + path_;
    return false;
  }
  if (announce_) *announce_ << "pane: " << path_ << std::endl;
  return true;
}

StoreHtmlDocument::StoreHtmlDocument(std::shared_ptr<Trace> trace)
    : StoreObject(std::move(trace), "HtmlDocument", u"") {}

HRESULT StoreHtmlDocument::Write(const std::u16string& html) {
  if (!writing_) text_.clear();
  writing_ = true;
  text_ += html;
  return Log("Write(" + std::to_string(html.size()) + " characters)");
}

HRESULT StoreHtmlDocument::Close() {
  writing_ = false;
  return Log("Close");
}

StoreWebBrowser::StoreWebBrowser(std::shared_ptr<Trace> trace)
    : StoreObject(std::move(trace), "WebBrowser", host::kWebBrowserClsid) {}

HRESULT StoreWebBrowser::GetDocument(std::shared_ptr<host::Object>& out) {
  out = document_;
  return Log("GetDocument");
}

HRESULT StoreWebBrowser::Navigate(const std::u16string& url) {
  document_ = std::make_shared<StoreHtmlDocument>(trace());
  return Log("Navigate(" + Narrow(url) + ")");
}

StoreTaskPane::StoreTaskPane(std::shared_ptr<Trace> trace, std::shared_ptr<PaneOutput> output)
    : Traced(std::move(trace), "TaskPane"),
      output_(std::move(output)),
      browser_(std::make_shared<StoreWebBrowser>(this->trace())) {}

HRESULT StoreTaskPane::GetContentControl(std::shared_ptr<host::Object>& out) {
  out = browser_;
  return Log("GetContentControl");
}

HRESULT StoreTaskPane::SetDockPosition(std::int32_t position) {
  return Log("SetDockPosition(" + std::to_string(position) + ")");
}

HRESULT StoreTaskPane::SetVisible(bool visible) {
  HRESULT hr = S_OK;
  if (visible && !visible_ && output_) {
    const std::shared_ptr<StoreHtmlDocument>& document = browser_->document();
    if (!output_->Show(document ? document->text() : std::u16string())) hr = E_FAIL;
  }
  if (SUCCEEDED(hr)) visible_ = visible;
  return Log(std::string("SetVisible(") + (visible ? "true" : "false") + ")", hr);
}

HRESULT StoreTaskPane::Delete() {
  deleted_ = true;
  visible_ = false;
  return Log("Delete");
}

HRESULT StorePaneFactory::CreateCTP(const std::u16string& controlId, const std::u16string& title,
                                    const std::shared_ptr<host::Object>& window,
                                    std::shared_ptr<host::TaskPane>& out) {
  const std::string operation = "CreateCTP(" + Narrow(controlId) + ", " + Narrow(title) + ")";
  if (controlId != host::kWebBrowserClsid) return Log(operation, E_INVALIDARG);
  if (!window) return Log(operation, E_POINTER);
  auto pane = std::make_shared<StoreTaskPane>(trace(), output_);
  panes_.push_back(pane);
  out = pane;
  return Log(operation);
}

}  // namespace veilmark::hostapp

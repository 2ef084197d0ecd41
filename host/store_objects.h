// The host object model served by veilmark-host: windows, mail items of the
// .eml store and of the compose window, and a task pane whose document is
// written to a file. Every operation the add-in calls is logged to a Trace.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "addin/host.h"

namespace veilmark::hostapp {

// What reading a property that is not set gives.
inline constexpr HRESULT kPropertyNotFound = static_cast<HRESULT>(0x8004010Fu);
// A distribution list's display type.
inline constexpr std::int32_t kDisplayTypeDistList = 1;
inline constexpr std::int32_t kAttachByValue = 1;

// One line per host operation ("MailItem.Close(1)"), plus notes on the
// events the host fired and the add-in's entry points. Echoed as
// "trace: LINE" when given a stream.
class Trace {
 public:
  explicit Trace(std::ostream* echo = nullptr) : echo_(echo) {}
  void Add(std::string line);
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::ostream* echo_;
  std::vector<std::string> lines_;
};

// Logs operations of one object under its kind's name.
class Traced {
 protected:
  Traced(std::shared_ptr<Trace> trace, const char* kind) : trace_(std::move(trace)), kind_(kind) {}
  // Logs `operation` with its outcome and hands `hr` back.
  HRESULT Log(const std::string& operation, HRESULT hr = S_OK) const;
  const std::shared_ptr<Trace>& trace() const { return trace_; }

 private:
  std::shared_ptr<Trace> trace_;
  const char* kind_;
};

// Sinks advised on one event source, in advise order.
template <class Sink>
class SinkList {
 public:
  void Add(Sink& sink) { sinks_.push_back(&sink); }
  HRESULT Remove(Sink& sink) {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
      if (*it == &sink) {
        sinks_.erase(it);
        return S_OK;
      }
    }
    return CONNECT_E_NOCONNECTION;
  }
  std::size_t size() const { return sinks_.size(); }
  // A sink may unadvise itself while it handles the event.
  template <class Handler>
  void Fire(Handler handler) {
    const std::vector<Sink*> now = sinks_;
    for (Sink* sink : now) handler(*sink);
  }

 private:
  std::vector<Sink*> sinks_;
};

// The typed-object part: type identity and the interface queries, answered
// by what the object really is.
template <class Interface>
class StoreObject : public Interface,
                    protected Traced,
                    public std::enable_shared_from_this<StoreObject<Interface>> {
 public:
  StoreObject(std::shared_ptr<Trace> trace, const char* kind, const char16_t* typeId)
      : Traced(std::move(trace), kind), typeId_(typeId) {}

  HRESULT GetTypeId(std::u16string& iid) override {
    iid = typeId_;
    return Log("GetTypeId");
  }
  HRESULT AsMailItem(std::shared_ptr<host::MailItem>& out) override {
    return Query("AsMailItem", out);
  }
  HRESULT AsExplorer(std::shared_ptr<host::Explorer>& out) override {
    return Query("AsExplorer", out);
  }
  HRESULT AsInspector(std::shared_ptr<host::Inspector>& out) override {
    return Query("AsInspector", out);
  }
  HRESULT AsRibbonControl(std::shared_ptr<host::RibbonControl>& out) override {
    return Query("AsRibbonControl", out);
  }
  HRESULT AsWebBrowser(std::shared_ptr<host::WebBrowser>& out) override {
    return Query("AsWebBrowser", out);
  }
  HRESULT AsHtmlDocument(std::shared_ptr<host::HtmlDocument>& out) override {
    return Query("AsHtmlDocument", out);
  }

 private:
  template <class T>
  HRESULT Query(const char* operation, std::shared_ptr<T>& out) {
    out = std::dynamic_pointer_cast<T>(this->shared_from_this());
    return Log(operation, out ? S_OK : E_NOINTERFACE);
  }

  std::u16string typeId_;
};

class StorePropertyAccessor final : public host::PropertyAccessor, private Traced {
 public:
  StorePropertyAccessor(std::shared_ptr<Trace> trace,
                        std::map<std::u16string, std::u16string> properties)
      : Traced(std::move(trace), "PropertyAccessor"), properties_(std::move(properties)) {}
  HRESULT GetProperty(const std::u16string& schemaName, std::u16string& value) override;

 private:
  std::map<std::u16string, std::u16string> properties_;
};

class StoreAccount final : public host::Account, private Traced {
 public:
  StoreAccount(std::shared_ptr<Trace> trace, std::u16string smtpAddress)
      : Traced(std::move(trace), "Account"), smtpAddress_(std::move(smtpAddress)) {}
  HRESULT GetSmtpAddress(std::u16string& address) override;

 private:
  std::u16string smtpAddress_;
};

struct RecipientEntry {
  std::u16string address;
  std::int32_t type = host::kRecipientTo;
  std::int32_t displayType = host::kDisplayTypeRemoteUser;
};

// An SMTP recipient resolves when its address has an "@"; a list always
// does, and has no SMTP address of its own. The display type is the
// recipient's own, resolved or not.
class StoreRecipient final : public host::Recipient, private Traced {
 public:
  StoreRecipient(std::shared_ptr<Trace> trace, RecipientEntry entry);
  HRESULT Resolve(bool& resolved) override;
  HRESULT GetAddress(std::u16string& address) override;
  HRESULT GetDisplayType(std::int32_t& type) override;
  HRESULT GetType(std::int32_t& type) override;
  HRESULT GetPropertyAccessor(std::shared_ptr<host::PropertyAccessor>& out) override;

 private:
  RecipientEntry entry_;
  std::shared_ptr<StorePropertyAccessor> accessor_;
};

class StoreRecipients final : public host::Recipients, private Traced {
 public:
  StoreRecipients(std::shared_ptr<Trace> trace, const std::vector<RecipientEntry>& entries);
  HRESULT GetCount(std::int32_t& count) override;
  HRESULT GetItem(std::int32_t index, std::shared_ptr<host::Recipient>& out) override;

 private:
  std::vector<std::shared_ptr<StoreRecipient>> items_;
};

class StoreNameSpace final : public host::NameSpace, private Traced {
 public:
  // An empty address: the current user has no SMTP address to read.
  StoreNameSpace(std::shared_ptr<Trace> trace, const std::u16string& userAddress);
  HRESULT GetCurrentUser(std::shared_ptr<host::Recipient>& out) override;

 private:
  std::shared_ptr<StoreRecipient> currentUser_;
};

struct AttachmentEntry {
  std::u16string fileName;
  std::string bytes;
};

class StoreAttachment final : public host::Attachment, private Traced {
 public:
  StoreAttachment(std::shared_ptr<Trace> trace, AttachmentEntry entry)
      : Traced(std::move(trace), "Attachment"), entry_(std::move(entry)) {}
  HRESULT GetType(std::int32_t& type) override;
  // Writes the bytes as they are, replacing the file.
  HRESULT SaveAsFile(const std::u16string& path) override;
  HRESULT GetFileName(std::u16string& name) override;

 private:
  AttachmentEntry entry_;
};

class StoreAttachments final : public host::Attachments, private Traced {
 public:
  StoreAttachments(std::shared_ptr<Trace> trace, const std::vector<AttachmentEntry>& entries);
  HRESULT GetCount(std::int32_t& count) override;
  HRESULT GetItem(std::int32_t index, std::shared_ptr<host::Attachment>& out) override;

 private:
  std::vector<std::shared_ptr<StoreAttachment>> items_;
};

// What a mail item is made of; received and compose items differ only in
// these values.
struct MailItemContent {
  bool sent = false;
  std::u16string entryId;  // empty until saved, for a new item
  std::u16string subject;
  std::u16string htmlBody;
  std::vector<RecipientEntry> recipients;
  std::vector<AttachmentEntry> attachments;
  std::optional<std::u16string> sendUsingAccount;
  std::map<std::u16string, std::u16string> properties;
};

class StoreMailItem final : public StoreObject<host::MailItem> {
 public:
  StoreMailItem(std::shared_ptr<Trace> trace, MailItemContent content,
                std::shared_ptr<host::NameSpace> session);

  HRESULT GetSent(bool& sent) override;
  HRESULT GetEntryID(std::u16string& id) override;
  HRESULT GetSubject(std::u16string& subject) override;
  HRESULT GetHTMLBody(std::u16string& body) override;
  HRESULT GetRecipients(std::shared_ptr<host::Recipients>& out) override;
  HRESULT GetAttachments(std::shared_ptr<host::Attachments>& out) override;
  // A new item gets its entry id when first saved.
  HRESULT Save() override;
  HRESULT Delete() override;
  // Asks the window showing the item to close (see SetCloseHandler).
  HRESULT Close(std::int32_t mode) override;
  HRESULT GetSendUsingAccount(std::shared_ptr<host::Account>& out) override;
  HRESULT GetSession(std::shared_ptr<host::NameSpace>& out) override;
  HRESULT GetPropertyAccessor(std::shared_ptr<host::PropertyAccessor>& out) override;

  void SetCloseHandler(std::function<void()> handler) { onClose_ = std::move(handler); }
  const MailItemContent& content() const { return content_; }
  int saves() const { return saves_; }
  bool deleted() const { return deleted_; }
  const std::vector<std::int32_t>& closeModes() const { return closeModes_; }

 private:
  MailItemContent content_;
  std::shared_ptr<host::NameSpace> session_;
  std::shared_ptr<StoreRecipients> recipients_;
  std::shared_ptr<StoreAttachments> attachments_;
  std::shared_ptr<StoreAccount> account_;  // null: none chosen
  std::shared_ptr<StorePropertyAccessor> accessor_;
  std::function<void()> onClose_;
  int saves_ = 0;
  bool deleted_ = false;
  std::vector<std::int32_t> closeModes_;
};

class StoreSelection final : public host::Selection, private Traced {
 public:
  StoreSelection(std::shared_ptr<Trace> trace, std::vector<std::shared_ptr<host::Object>> items)
      : Traced(std::move(trace), "Selection"), items_(std::move(items)) {}
  HRESULT GetCount(std::int32_t& count) override;
  HRESULT GetItem(std::int32_t index, std::shared_ptr<host::Object>& out) override;

 private:
  std::vector<std::shared_ptr<host::Object>> items_;
};

class StoreExplorer final : public StoreObject<host::Explorer> {
 public:
  explicit StoreExplorer(std::shared_ptr<Trace> trace);
  HRESULT GetSelection(std::shared_ptr<host::Selection>& out) override;
  HRESULT Advise(host::ExplorerEvents& sink) override;
  HRESULT Unadvise(host::ExplorerEvents& sink) override;

  // The user selects `items` (replacing the selection); SelectionChange fires.
  void Select(std::vector<std::shared_ptr<host::Object>> items);
  std::size_t sinkCount() const { return sinks_.size(); }

 private:
  std::vector<std::shared_ptr<host::Object>> selected_;
  SinkList<host::ExplorerEvents> sinks_;
};

class StoreInspector final : public StoreObject<host::Inspector> {
 public:
  StoreInspector(std::shared_ptr<Trace> trace, std::shared_ptr<host::Object> item);
  HRESULT GetCurrentItem(std::shared_ptr<host::Object>& out) override;
  HRESULT Advise(host::InspectorEvents& sink) override;
  HRESULT Unadvise(host::InspectorEvents& sink) override;

  // The item asked for the window to close; it does once the add-in's call
  // has returned, as a window closes after the handler that closed it.
  void RequestClose() { closeRequested_ = true; }
  bool closeRequested() const { return closeRequested_; }
  bool closed() const { return closed_; }
  // Closes the window: Close fires once.
  void FireClose();
  std::size_t sinkCount() const { return sinks_.size(); }

 private:
  std::shared_ptr<host::Object> item_;
  SinkList<host::InspectorEvents> sinks_;
  bool closeRequested_ = false;
  bool closed_ = false;
};

class StoreRibbonControl final : public StoreObject<host::RibbonControl> {
 public:
  StoreRibbonControl(std::shared_ptr<Trace> trace, std::shared_ptr<host::Object> context);
  HRESULT GetContext(std::shared_ptr<host::Object>& out) override;

 private:
  std::shared_ptr<host::Object> context_;
};

class StoreExplorers final : public host::Explorers, private Traced {
 public:
  explicit StoreExplorers(std::shared_ptr<Trace> trace) : Traced(std::move(trace), "Explorers") {}
  HRESULT Advise(host::ExplorersEvents& sink) override;
  HRESULT Unadvise(host::ExplorersEvents& sink) override;
  std::size_t sinkCount() const { return sinks_.size(); }

 private:
  SinkList<host::ExplorersEvents> sinks_;
};

class StoreInspectors final : public host::Inspectors, private Traced {
 public:
  explicit StoreInspectors(std::shared_ptr<Trace> trace) : Traced(std::move(trace), "Inspectors") {}
  HRESULT Advise(host::InspectorsEvents& sink) override;
  HRESULT Unadvise(host::InspectorsEvents& sink) override;

  void FireNewInspector(const std::shared_ptr<host::Inspector>& inspector);
  std::size_t sinkCount() const { return sinks_.size(); }

 private:
  SinkList<host::InspectorsEvents> sinks_;
};

class StoreApplication final : public host::Application, private Traced {
 public:
  explicit StoreApplication(std::shared_ptr<Trace> trace);
  HRESULT GetActiveExplorer(std::shared_ptr<host::Explorer>& out) override;
  HRESULT GetExplorers(std::shared_ptr<host::Explorers>& out) override;
  HRESULT GetInspectors(std::shared_ptr<host::Inspectors>& out) override;
  HRESULT Advise(host::ApplicationEvents& sink) override;
  HRESULT Unadvise(host::ApplicationEvents& sink) override;

  const std::shared_ptr<StoreExplorer>& explorer() const { return explorer_; }
  const std::shared_ptr<StoreExplorers>& explorers() const { return explorers_; }
  const std::shared_ptr<StoreInspectors>& inspectors() const { return inspectors_; }
  std::size_t sinkCount() const { return sinks_.size(); }

 private:
  std::shared_ptr<StoreExplorer> explorer_;
  std::shared_ptr<StoreExplorers> explorers_;
  std::shared_ptr<StoreInspectors> inspectors_;
  SinkList<host::ApplicationEvents> sinks_;
};

// Where shown panes go: each pane made visible has its document's HTML
// written to one file, whose path is announced as "pane: PATH".
class PaneOutput {
 public:
  PaneOutput(std::string path, std::ostream* announce)
      : path_(std::move(path)), announce_(announce) {}
  // False, with the reason on `error`, when the file cannot be written.
  bool Show(const std::u16string& html);
  const std::string& path() const { return path_; }
  const std::vector<std::u16string>& shown() const { return shown_; }
  const std::string& error() const { return error_; }

 private:
  std::string path_;
  std::ostream* announce_;
  std::vector<std::u16string> shown_;
  std::string error_;
};

class StoreHtmlDocument final : public StoreObject<host::HtmlDocument> {
 public:
  explicit StoreHtmlDocument(std::shared_ptr<Trace> trace);
  // The first write after a load or a Close starts the page anew.
  HRESULT Write(const std::u16string& html) override;
  HRESULT Close() override;
  const std::u16string& text() const { return text_; }

 private:
  std::u16string text_;
  bool writing_ = false;
};

class StoreWebBrowser final : public StoreObject<host::WebBrowser> {
 public:
  explicit StoreWebBrowser(std::shared_ptr<Trace> trace);
  HRESULT GetDocument(std::shared_ptr<host::Object>& out) override;
  // Any address loads an empty document: there is nothing to fetch.
  HRESULT Navigate(const std::u16string& url) override;
  // Null until something was loaded.
  const std::shared_ptr<StoreHtmlDocument>& document() const { return document_; }

 private:
  std::shared_ptr<StoreHtmlDocument> document_;
};

class StoreTaskPane final : public host::TaskPane, private Traced {
 public:
  StoreTaskPane(std::shared_ptr<Trace> trace, std::shared_ptr<PaneOutput> output);
  HRESULT GetContentControl(std::shared_ptr<host::Object>& out) override;
  HRESULT SetDockPosition(std::int32_t position) override;
  // Showing the pane writes its document to the pane output.
  HRESULT SetVisible(bool visible) override;
  HRESULT Delete() override;

  bool visible() const { return visible_; }
  bool deleted() const { return deleted_; }

 private:
  std::shared_ptr<PaneOutput> output_;
  std::shared_ptr<StoreWebBrowser> browser_;
  bool visible_ = false;
  bool deleted_ = false;
};

class StorePaneFactory final : public host::TaskPaneFactory, private Traced {
 public:
  StorePaneFactory(std::shared_ptr<Trace> trace, std::shared_ptr<PaneOutput> output)
      : Traced(std::move(trace), "TaskPaneFactory"), output_(std::move(output)) {}
  // Only the web browser control can be hosted.
  HRESULT CreateCTP(const std::u16string& controlId, const std::u16string& title,
                    const std::shared_ptr<host::Object>& window,
                    std::shared_ptr<host::TaskPane>& out) override;
  const std::vector<std::shared_ptr<StoreTaskPane>>& panes() const { return panes_; }

 private:
  std::shared_ptr<PaneOutput> output_;
  std::vector<std::shared_ptr<StoreTaskPane>> panes_;
};

}  // namespace veilmark::hostapp

// In-memory fakes of the host object model (addin/host.h). Tests set the
// public fields, make any single operation fail, fire events, and read back
// what was called, saved and written.
//
// Every fake records its calls by operation name (the method's name in
// host.h: "GetSent", "GetProperty", "AsMailItem", ...), and Fail(name, hr)
// makes that operation fail on that object with `hr`, from its next call on
// or from its n-th call overall. Fakes handed out as host::Object must be
// made with std::make_shared (the interface queries need shared_from_this).
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "addin/host.h"

namespace veilmark::testing {

// What a property read gives when the property is not set.
inline constexpr HRESULT kPropertyNotFound = static_cast<HRESULT>(0x8004010Fu);

// Calls of many fakes in one order, as "<label>.<operation>".
using CallJournal = std::vector<std::string>;

class FakeCalls {
 public:
  // Makes `operation` fail with `hr` from its `fromCall`-th call (counting
  // every call of it on this object, past ones included) on. Throws
  // std::invalid_argument for a name this fake does not have.
  void Fail(const std::string& operation, HRESULT hr = E_FAIL, int fromCall = 1);
  void Heal(const std::string& operation);

  int Calls(const std::string& operation) const;
  const std::vector<std::string>& calls() const { return calls_; }

  std::string label;
  std::shared_ptr<CallJournal> journal;  // optional

 protected:
  explicit FakeCalls(std::initializer_list<const char*> operations);
  void AddOperations(std::initializer_list<const char*> operations);
  // Records the call; the failure set for it, otherwise S_OK.
  HRESULT Enter(const char* operation);

 private:
  struct Failure {
    HRESULT hr;
    int fromCall;
  };
  std::set<std::string> operations_;
  std::map<std::string, Failure> failing_;
  std::map<std::string, int> counts_;
  std::vector<std::string> calls_;
};

// Hands out `object`; a null one where the operation promises an object is
// the adapters' E_POINTER.
template <class To, class From>
HRESULT HandOut(const std::shared_ptr<From>& object, std::shared_ptr<To>& out,
                bool mayBeNull = false) {
  out = object;
  return object || mayBeNull ? S_OK : E_POINTER;
}

// The host::Object part shared by the fakes: type identity and the interface
// queries, answered by what the fake really is.
template <class Interface>
class FakeObject : public Interface,
                   public FakeCalls,
                   public std::enable_shared_from_this<FakeObject<Interface>> {
 public:
  FakeObject()
      : FakeCalls({"GetTypeId", "AsMailItem", "AsExplorer", "AsInspector", "AsRibbonControl",
                   "AsWebBrowser", "AsHtmlDocument"}) {}

  std::u16string typeId;

  HRESULT GetTypeId(std::u16string& iid) override {
    const HRESULT hr = Enter("GetTypeId");
    if (FAILED(hr)) return hr;
    iid = typeId;
    return S_OK;
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
    out.reset();
    const HRESULT hr = Enter(operation);
    if (FAILED(hr)) return hr;
    out = std::dynamic_pointer_cast<T>(this->shared_from_this());
    return out ? S_OK : E_NOINTERFACE;
  }
};

// An item of no kind the add-in knows (a meeting request, a contact).
class FakeItem : public FakeObject<host::Object> {};

// Sinks advised on one event source, in advise order.
template <class Sink>
class FakeSinks {
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
  bool Contains(const Sink& sink) const {
    for (const Sink* advised : sinks_) {
      if (advised == &sink) return true;
    }
    return false;
  }
  std::size_t size() const { return sinks_.size(); }
  // Calls `handler` on each sink; a sink may unadvise itself or another
  // meanwhile, and one unadvised is not called (as a detached COM sink).
  template <class Handler>
  std::vector<HRESULT> Fire(Handler handler) {
    std::vector<HRESULT> results;
    const std::vector<Sink*> now = sinks_;
    for (Sink* sink : now) {
      if (Contains(*sink)) results.push_back(handler(*sink));
    }
    return results;
  }

 private:
  std::vector<Sink*> sinks_;
};

class FakePropertyAccessor : public host::PropertyAccessor, public FakeCalls {
 public:
  FakePropertyAccessor() : FakeCalls({"GetProperty"}) {}
  HRESULT GetProperty(const std::u16string& schemaName, std::u16string& value) override;

  std::map<std::u16string, std::u16string> properties;
  std::vector<std::u16string> asked;  // schema names, in order
};

class FakeAccount : public host::Account, public FakeCalls {
 public:
  FakeAccount() : FakeCalls({"GetSmtpAddress"}) {}
  HRESULT GetSmtpAddress(std::u16string& address) override;

  std::u16string smtpAddress;
};

class FakeRecipient : public host::Recipient, public FakeCalls {
 public:
  FakeRecipient()
      : FakeCalls({"Resolve", "GetAddress", "GetDisplayType", "GetType", "GetPropertyAccessor"}) {}
  HRESULT Resolve(bool& resolved) override;
  HRESULT GetAddress(std::u16string& out) override;
  HRESULT GetDisplayType(std::int32_t& out) override;
  HRESULT GetType(std::int32_t& out) override;
  HRESULT GetPropertyAccessor(std::shared_ptr<host::PropertyAccessor>& out) override;

  // The SMTP address as the property accessor gives it.
  void SetSmtpAddress(const std::u16string& smtp);

  std::u16string address;
  std::int32_t displayType = host::kDisplayTypeUser;
  std::int32_t type = host::kRecipientTo;
  bool resolves = true;
  std::shared_ptr<FakePropertyAccessor> propertyAccessor = std::make_shared<FakePropertyAccessor>();
};

class FakeRecipients : public host::Recipients, public FakeCalls {
 public:
  FakeRecipients() : FakeCalls({"GetCount", "GetItem"}) {}
  HRESULT GetCount(std::int32_t& count) override;
  HRESULT GetItem(std::int32_t index, std::shared_ptr<host::Recipient>& out) override;

  std::shared_ptr<FakeRecipient> Add(const std::u16string& address, std::int32_t type);

  std::vector<std::shared_ptr<FakeRecipient>> items;
};

class FakeNameSpace : public host::NameSpace, public FakeCalls {
 public:
  FakeNameSpace() : FakeCalls({"GetCurrentUser"}) {}
  HRESULT GetCurrentUser(std::shared_ptr<host::Recipient>& out) override;

  std::shared_ptr<FakeRecipient> currentUser = std::make_shared<FakeRecipient>();
};

class FakeAttachment : public host::Attachment, public FakeCalls {
 public:
  FakeAttachment() : FakeCalls({"GetType", "SaveAsFile", "GetFileName"}) {}
  HRESULT GetType(std::int32_t& out) override;
  // Writes `bytes` to `path` as they are.
  HRESULT SaveAsFile(const std::u16string& path) override;
  HRESULT GetFileName(std::u16string& out) override;

  std::u16string fileName;
  std::string bytes;
  std::int32_t type = 1;  // by value
  std::vector<std::u16string> savedTo;
};

class FakeAttachments : public host::Attachments, public FakeCalls {
 public:
  FakeAttachments() : FakeCalls({"GetCount", "GetItem"}) {}
  HRESULT GetCount(std::int32_t& count) override;
  HRESULT GetItem(std::int32_t index, std::shared_ptr<host::Attachment>& out) override;

  std::shared_ptr<FakeAttachment> Add(const std::u16string& fileName, const std::string& bytes);

  std::vector<std::shared_ptr<FakeAttachment>> items;
};

class FakeMailItem : public FakeObject<host::MailItem> {
 public:
  FakeMailItem();
  HRESULT GetSent(bool& out) override;
  HRESULT GetEntryID(std::u16string& out) override;
  HRESULT GetSubject(std::u16string& out) override;
  HRESULT GetHTMLBody(std::u16string& out) override;
  HRESULT GetRecipients(std::shared_ptr<host::Recipients>& out) override;
  HRESULT GetAttachments(std::shared_ptr<host::Attachments>& out) override;
  HRESULT Save() override;
  HRESULT Delete() override;
  HRESULT Close(std::int32_t mode) override;
  HRESULT GetSendUsingAccount(std::shared_ptr<host::Account>& out) override;
  HRESULT GetSession(std::shared_ptr<host::NameSpace>& out) override;
  HRESULT GetPropertyAccessor(std::shared_ptr<host::PropertyAccessor>& out) override;

  bool sent = false;
  std::u16string entryId;
  std::u16string subject;
  std::u16string htmlBody;
  std::shared_ptr<FakeRecipients> recipients = std::make_shared<FakeRecipients>();
  std::shared_ptr<FakeAttachments> attachments = std::make_shared<FakeAttachments>();
  std::shared_ptr<FakeAccount> sendUsingAccount;  // null: none chosen
  std::shared_ptr<FakeNameSpace> session = std::make_shared<FakeNameSpace>();
  std::shared_ptr<FakePropertyAccessor> propertyAccessor = std::make_shared<FakePropertyAccessor>();
  std::vector<std::int32_t> closeModes;
};

class FakeSelection : public host::Selection, public FakeCalls {
 public:
  FakeSelection() : FakeCalls({"GetCount", "GetItem"}) {}
  HRESULT GetCount(std::int32_t& count) override;
  HRESULT GetItem(std::int32_t index, std::shared_ptr<host::Object>& out) override;

  std::vector<std::shared_ptr<host::Object>> items;
};

class FakeExplorer : public FakeObject<host::Explorer> {
 public:
  FakeExplorer();
  HRESULT GetSelection(std::shared_ptr<host::Selection>& out) override;
  HRESULT Advise(host::ExplorerEvents& sink) override;
  HRESULT Unadvise(host::ExplorerEvents& sink) override;

  // The user selects `items` (replacing the selection) and the event fires.
  std::vector<HRESULT> Select(std::vector<std::shared_ptr<host::Object>> items);
  std::vector<HRESULT> FireSelectionChange();
  std::vector<HRESULT> FireClose();

  std::shared_ptr<FakeSelection> selection = std::make_shared<FakeSelection>();
  FakeSinks<host::ExplorerEvents> sinks;
};

class FakeInspector : public FakeObject<host::Inspector> {
 public:
  FakeInspector();
  HRESULT GetCurrentItem(std::shared_ptr<host::Object>& out) override;
  HRESULT Advise(host::InspectorEvents& sink) override;
  HRESULT Unadvise(host::InspectorEvents& sink) override;

  std::vector<HRESULT> FireClose();

  std::shared_ptr<host::Object> currentItem;
  FakeSinks<host::InspectorEvents> sinks;
};

class FakeRibbonControl : public FakeObject<host::RibbonControl> {
 public:
  FakeRibbonControl();
  HRESULT GetContext(std::shared_ptr<host::Object>& out) override;

  std::shared_ptr<host::Object> context;
};

class FakeExplorers : public host::Explorers, public FakeCalls {
 public:
  FakeExplorers() : FakeCalls({"Advise", "Unadvise"}) {}
  HRESULT Advise(host::ExplorersEvents& sink) override;
  HRESULT Unadvise(host::ExplorersEvents& sink) override;

  std::vector<HRESULT> FireNewExplorer(const std::shared_ptr<host::Explorer>& explorer);

  FakeSinks<host::ExplorersEvents> sinks;
};

class FakeInspectors : public host::Inspectors, public FakeCalls {
 public:
  FakeInspectors() : FakeCalls({"Advise", "Unadvise"}) {}
  HRESULT Advise(host::InspectorsEvents& sink) override;
  HRESULT Unadvise(host::InspectorsEvents& sink) override;

  std::vector<HRESULT> FireNewInspector(const std::shared_ptr<host::Inspector>& inspector);

  FakeSinks<host::InspectorsEvents> sinks;
};

class FakeApplication : public host::Application, public FakeCalls {
 public:
  FakeApplication()
      : FakeCalls({"GetActiveExplorer", "GetExplorers", "GetInspectors", "Advise", "Unadvise"}) {}
  HRESULT GetActiveExplorer(std::shared_ptr<host::Explorer>& out) override;
  HRESULT GetExplorers(std::shared_ptr<host::Explorers>& out) override;
  HRESULT GetInspectors(std::shared_ptr<host::Inspectors>& out) override;
  HRESULT Advise(host::ApplicationEvents& sink) override;
  HRESULT Unadvise(host::ApplicationEvents& sink) override;

  std::vector<HRESULT> FireNewMail();

  std::shared_ptr<FakeExplorer> activeExplorer;  // null: no main window
  std::shared_ptr<FakeExplorers> explorers = std::make_shared<FakeExplorers>();
  std::shared_ptr<FakeInspectors> inspectors = std::make_shared<FakeInspectors>();
  FakeSinks<host::ApplicationEvents> sinks;
};

class FakeHtmlDocument : public FakeObject<host::HtmlDocument> {
 public:
  FakeHtmlDocument();
  HRESULT Write(const std::u16string& html) override;
  HRESULT Close() override;

  // Everything written, joined.
  std::u16string Text() const;

  std::vector<std::u16string> writes;
  int closes = 0;
};

class FakeWebBrowser : public FakeObject<host::WebBrowser> {
 public:
  FakeWebBrowser();
  HRESULT GetDocument(std::shared_ptr<host::Object>& out) override;
  // Loading a page gives the browser an HTML document when it has none.
  HRESULT Navigate(const std::u16string& url) override;

  // The document as an HTML document, or null.
  std::shared_ptr<FakeHtmlDocument> html() const;

  std::shared_ptr<host::Object> document;  // null until something loaded
  bool navigateLoadsDocument = true;
  std::vector<std::u16string> navigations;
};

class FakeTaskPane : public host::TaskPane, public FakeCalls {
 public:
  FakeTaskPane() : FakeCalls({"GetContentControl", "SetDockPosition", "SetVisible", "Delete"}) {}
  HRESULT GetContentControl(std::shared_ptr<host::Object>& out) override;
  HRESULT SetDockPosition(std::int32_t position) override;
  HRESULT SetVisible(bool visible) override;
  HRESULT Delete() override;

  // The content control as a browser, or null.
  std::shared_ptr<FakeWebBrowser> browser() const;

  // Given by CreateCTP.
  std::u16string controlId;
  std::u16string title;
  std::shared_ptr<host::Object> window;

  std::shared_ptr<host::Object> contentControl = std::make_shared<FakeWebBrowser>();
  std::optional<std::int32_t> dockPosition;
  bool visible = false;
  bool deleted = false;
};

class FakeTaskPaneFactory : public host::TaskPaneFactory, public FakeCalls {
 public:
  FakeTaskPaneFactory() : FakeCalls({"CreateCTP"}) {}
  // Hands out the first of `upcoming`, or a new pane; records it in `panes`.
  HRESULT CreateCTP(const std::u16string& controlId, const std::u16string& title,
                    const std::shared_ptr<host::Object>& window,
                    std::shared_ptr<host::TaskPane>& out) override;

  std::deque<std::shared_ptr<FakeTaskPane>> upcoming;
  std::vector<std::shared_ptr<FakeTaskPane>> panes;
};

// One host: the application with its collections, the profile's session with
// its current user, and the task-pane factory, all writing to one journal.
class FakeHost {
 public:
  FakeHost();

  // A mail item of this host's session, writing to the journal as `label`.
  std::shared_ptr<FakeMailItem> NewMailItem(const std::string& label = "item");
  std::shared_ptr<FakeExplorer> NewExplorer(const std::string& label = "explorer");
  std::shared_ptr<FakeInspector> NewInspector(const std::string& label = "inspector");
  // Labels `fake` and has it write to the journal.
  void Watch(FakeCalls& fake, const std::string& label);

  std::shared_ptr<CallJournal> journal = std::make_shared<CallJournal>();
  std::shared_ptr<FakeApplication> application = std::make_shared<FakeApplication>();
  std::shared_ptr<FakeNameSpace> session = std::make_shared<FakeNameSpace>();
  std::shared_ptr<FakeTaskPaneFactory> paneFactory = std::make_shared<FakeTaskPaneFactory>();
};

// Collects the debug-build assertions of failed host calls for as long as it
// lives, so tests that fail calls on purpose run in every build type.
class HrAssertRecorder {
 public:
  struct Report {
    std::string file;
    int line;
    std::string expression;
  };
  HrAssertRecorder();
  ~HrAssertRecorder();
  HrAssertRecorder(const HrAssertRecorder&) = delete;
  HrAssertRecorder& operator=(const HrAssertRecorder&) = delete;

  std::vector<Report> reports;

 private:
  HrAssertHandler previous_;
  HrAssertRecorder* outer_;
};

}  // namespace veilmark::testing

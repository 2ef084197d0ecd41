// Outlook in memory (object_model.h): what veilmark-host fills from .eml
// files and what tests build directly. Its state is public, to set and to
// read back; every object records its calls and can be made to fail any one
// of them (call_recorder.h). Objects handed out as outlook::Object must be
// made with std::make_shared (the interface queries need shared_from_this).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "outlook/memory/call_recorder.h"
#include "outlook/object_model.h"

namespace veilmark::outlook {

// What reading a property that is not set gives.
inline constexpr HRESULT kPropertyNotFound = static_cast<HRESULT>(0x8004010Fu);
inline constexpr std::int32_t kDisplayTypeDistList = 1;
inline constexpr std::int32_t kAttachByValue = 1;

// The typed-object part: type identity and the interface queries, answered
// by what the object really is.
template <class Interface>
class MemoryObject : public Interface,
                     public CallRecorder,
                     public std::enable_shared_from_this<MemoryObject<Interface>> {
 public:
  HRESULT GetTypeId(std::u16string& iid) override { return Get("GetTypeId", typeId, iid); }
  HRESULT AsMailItem(std::shared_ptr<MailItem>& out) override { return Query("AsMailItem", out); }
  HRESULT AsExplorer(std::shared_ptr<Explorer>& out) override { return Query("AsExplorer", out); }
  HRESULT AsInspector(std::shared_ptr<Inspector>& out) override {
    return Query("AsInspector", out);
  }
  HRESULT AsRibbonControl(std::shared_ptr<RibbonControl>& out) override {
    return Query("AsRibbonControl", out);
  }
  HRESULT AsWebBrowser(std::shared_ptr<WebBrowser>& out) override {
    return Query("AsWebBrowser", out);
  }
  HRESULT AsHtmlDocument(std::shared_ptr<HtmlDocument>& out) override {
    return Query("AsHtmlDocument", out);
  }

  std::u16string typeId;

 protected:
  MemoryObject(const char* kind, const char16_t* typeId,
               std::initializer_list<const char*> operations)
      : CallRecorder(kind, {"GetTypeId", "AsMailItem", "AsExplorer", "AsInspector",
                            "AsRibbonControl", "AsWebBrowser", "AsHtmlDocument"}),
        typeId(typeId) {
    AddOperations(operations);
  }

 private:
  template <class T>
  HRESULT Query(const char* operation, std::shared_ptr<T>& out) {
    out.reset();
    return Call(operation, [&] {
      out = std::dynamic_pointer_cast<T>(this->shared_from_this());
      return out ? S_OK : E_NOINTERFACE;
    });
  }
};

// An item of no kind the add-in knows (a meeting request, a contact).
class MemoryItem : public MemoryObject<Object> {
 public:
  MemoryItem() : MemoryObject("Item", u"", {}) {}
};

// Counts from 1.
template <class Interface, class Item, class ItemInterface>
class MemoryCollection : public Recorded<Interface> {
 public:
  HRESULT GetCount(std::int32_t& count) override {
    return this->Get("GetCount", static_cast<std::int32_t>(items.size()), count);
  }
  HRESULT GetItem(std::int32_t index, std::shared_ptr<ItemInterface>& out) override {
    return this->Call("GetItem", std::to_string(index), [&] {
      if (index < 1 || static_cast<std::size_t>(index) > items.size()) return DISP_E_BADINDEX;
      out = items[static_cast<std::size_t>(index) - 1];
      return out ? S_OK : E_POINTER;
    });
  }

  std::vector<std::shared_ptr<Item>> items;

 protected:
  explicit MemoryCollection(const char* kind)
      : Recorded<Interface>(kind, {"GetCount", "GetItem"}) {}
  // A new item at the end, labelled by its position.
  std::shared_ptr<Item> Append() {
    items.push_back(std::make_shared<Item>());
    this->Adopt(*items.back(), std::to_string(items.size()));
    return items.back();
  }
};

class MemoryPropertyAccessor : public Recorded<PropertyAccessor> {
 public:
  MemoryPropertyAccessor() : Recorded("PropertyAccessor", {"GetProperty"}) {}
  // kPropertyNotFound for a name not in `properties`.
  HRESULT GetProperty(const std::u16string& schemaName, std::u16string& value) override;

  std::map<std::u16string, std::u16string> properties;
  std::vector<std::u16string> asked;  // schema names, in order
};

class MemoryAccount : public Recorded<Account> {
 public:
  MemoryAccount() : Recorded("Account", {"GetSmtpAddress"}) {}
  HRESULT GetSmtpAddress(std::u16string& address) override {
    return Get("GetSmtpAddress", smtpAddress, address);
  }

  std::u16string smtpAddress;
};

class MemoryRecipient : public Recorded<Recipient> {
 public:
  MemoryRecipient()
      : Recorded("Recipient",
                 {"Resolve", "GetAddress", "GetDisplayType", "GetType", "GetPropertyAccessor"}) {}
  HRESULT Resolve(bool& resolved) override { return Get("Resolve", resolves, resolved); }
  HRESULT GetAddress(std::u16string& out) override { return Get("GetAddress", address, out); }
  HRESULT GetDisplayType(std::int32_t& out) override {
    return Get("GetDisplayType", displayType, out);
  }
  HRESULT GetType(std::int32_t& out) override { return Get("GetType", type, out); }
  HRESULT GetPropertyAccessor(std::shared_ptr<PropertyAccessor>& out) override {
    return HandOut("GetPropertyAccessor", propertyAccessor, out);
  }

  // The SMTP address as the property accessor gives it.
  void SetSmtpAddress(const std::u16string& smtp);

  std::u16string address;
  std::int32_t displayType = kDisplayTypeUser;
  std::int32_t type = kRecipientTo;
  bool resolves = true;
  std::shared_ptr<MemoryPropertyAccessor> propertyAccessor =
      std::make_shared<MemoryPropertyAccessor>();
};

class MemoryRecipients : public MemoryCollection<Recipients, MemoryRecipient, Recipient> {
 public:
  MemoryRecipients() : MemoryCollection("Recipients") {}
  std::shared_ptr<MemoryRecipient> Add(const std::u16string& address, std::int32_t type);
};

class MemoryNameSpace : public Recorded<NameSpace> {
 public:
  MemoryNameSpace() : Recorded("NameSpace", {"GetCurrentUser"}) {}
  HRESULT GetCurrentUser(std::shared_ptr<Recipient>& out) override {
    return HandOut("GetCurrentUser", currentUser, out);
  }

  std::shared_ptr<MemoryRecipient> currentUser = std::make_shared<MemoryRecipient>();
};

class MemoryAttachment : public Recorded<Attachment> {
 public:
  MemoryAttachment() : Recorded("Attachment", {"GetType", "SaveAsFile", "GetFileName"}) {}
  HRESULT GetType(std::int32_t& out) override { return Get("GetType", type, out); }
  // Writes `bytes` (or what `writer` writes) to `path` as they are, replacing the file.
  HRESULT SaveAsFile(const std::u16string& path) override;
  HRESULT GetFileName(std::u16string& out) override { return Get("GetFileName", fileName, out); }

  std::u16string fileName;
  std::string bytes;
  // When set, the content comes from it instead of `bytes`: a large attachment
  // is written from where it lives rather than held in memory. False: not written.
  std::function<bool(const std::string& path)> writer;
  std::int32_t type = kAttachByValue;
  std::vector<std::u16string> savedTo;
};

class MemoryAttachments : public MemoryCollection<Attachments, MemoryAttachment, Attachment> {
 public:
  MemoryAttachments() : MemoryCollection("Attachments") {}
  std::shared_ptr<MemoryAttachment> Add(const std::u16string& fileName, std::string bytes);
};

class MemoryInspector;

class MemoryMailItem : public MemoryObject<MailItem> {
 public:
  MemoryMailItem();
  HRESULT GetSent(bool& out) override { return Get("GetSent", sent, out); }
  HRESULT GetEntryID(std::u16string& out) override { return Get("GetEntryID", entryId, out); }
  HRESULT GetSubject(std::u16string& out) override { return Get("GetSubject", subject, out); }
  HRESULT GetHTMLBody(std::u16string& out) override { return Get("GetHTMLBody", htmlBody, out); }
  HRESULT GetRecipients(std::shared_ptr<Recipients>& out) override {
    return HandOut("GetRecipients", recipients, out);
  }
  HRESULT GetAttachments(std::shared_ptr<Attachments>& out) override {
    return HandOut("GetAttachments", attachments, out);
  }
  // A new item gets its entry id when first saved.
  HRESULT Save() override;
  HRESULT Delete() override;
  // Asks the window showing the item, if any, to close.
  HRESULT Close(std::int32_t mode) override;
  HRESULT GetSendUsingAccount(std::shared_ptr<Account>& out) override {
    return HandOut("GetSendUsingAccount", sendUsingAccount, out, /*mayBeNull=*/true);
  }
  HRESULT GetSession(std::shared_ptr<NameSpace>& out) override {
    return HandOut("GetSession", session, out);
  }
  HRESULT GetPropertyAccessor(std::shared_ptr<PropertyAccessor>& out) override {
    return HandOut("GetPropertyAccessor", propertyAccessor, out);
  }

  bool sent = false;
  std::u16string entryId;  // empty until saved, for a new item
  std::u16string subject;
  std::u16string htmlBody;
  std::shared_ptr<MemoryRecipients> recipients = std::make_shared<MemoryRecipients>();
  std::shared_ptr<MemoryAttachments> attachments = std::make_shared<MemoryAttachments>();
  std::shared_ptr<MemoryAccount> sendUsingAccount;  // null: none chosen
  std::shared_ptr<MemoryNameSpace> session = std::make_shared<MemoryNameSpace>();
  std::shared_ptr<MemoryPropertyAccessor> propertyAccessor =
      std::make_shared<MemoryPropertyAccessor>();
  bool deleted = false;
  std::vector<std::int32_t> closeModes;
  std::weak_ptr<MemoryInspector> window;  // weak: the window holds the item
};

class MemorySelection : public MemoryCollection<Selection, Object, Object> {
 public:
  MemorySelection() : MemoryCollection("Selection") {}
};

class MemoryExplorer : public Advisable<MemoryObject<Explorer>, ExplorerEvents> {
 public:
  MemoryExplorer() : Advisable("Explorer", kExplorerIid, {"GetSelection"}) {}
  HRESULT GetSelection(std::shared_ptr<Selection>& out) override {
    return HandOut("GetSelection", selection, out);
  }

  // The user selects `items` (replacing the selection) and the event fires.
  std::vector<HRESULT> Select(std::vector<std::shared_ptr<Object>> items);
  std::vector<HRESULT> FireSelectionChange();
  std::vector<HRESULT> FireClose();

  std::shared_ptr<MemorySelection> selection = std::make_shared<MemorySelection>();
};

class MemoryInspector : public Advisable<MemoryObject<Inspector>, InspectorEvents> {
 public:
  MemoryInspector() : Advisable("Inspector", kInspectorIid, {"GetCurrentItem"}) {}
  HRESULT GetCurrentItem(std::shared_ptr<Object>& out) override {
    return HandOut("GetCurrentItem", currentItem, out);
  }

  std::vector<HRESULT> FireClose();

  std::shared_ptr<Object> currentItem;
  // Its item asked for it to close; it does once the add-in's call has
  // returned, as a window closes after the handler that closed it.
  bool closeRequested = false;
  bool closed = false;
};

class MemoryRibbonControl : public MemoryObject<RibbonControl> {
 public:
  MemoryRibbonControl() : MemoryObject("RibbonControl", kRibbonControlIid, {"GetContext"}) {}
  HRESULT GetContext(std::shared_ptr<Object>& out) override {
    return HandOut("GetContext", context, out);
  }

  std::shared_ptr<Object> context;
};

class MemoryExplorers : public Advisable<Recorded<Explorers>, ExplorersEvents> {
 public:
  MemoryExplorers() : Advisable("Explorers", {}) {}
  std::vector<HRESULT> FireNewExplorer(const std::shared_ptr<Explorer>& explorer);
};

class MemoryInspectors : public Advisable<Recorded<Inspectors>, InspectorsEvents> {
 public:
  MemoryInspectors() : Advisable("Inspectors", {}) {}
  std::vector<HRESULT> FireNewInspector(const std::shared_ptr<Inspector>& inspector);
};

class MemoryApplication : public Advisable<Recorded<Application>, ApplicationEvents> {
 public:
  MemoryApplication()
      : Advisable("Application", {"GetActiveExplorer", "GetExplorers", "GetInspectors"}) {}
  HRESULT GetActiveExplorer(std::shared_ptr<Explorer>& out) override {
    return HandOut("GetActiveExplorer", activeExplorer, out, /*mayBeNull=*/true);
  }
  HRESULT GetExplorers(std::shared_ptr<Explorers>& out) override {
    return HandOut("GetExplorers", explorers, out);
  }
  HRESULT GetInspectors(std::shared_ptr<Inspectors>& out) override {
    return HandOut("GetInspectors", inspectors, out);
  }

  std::vector<HRESULT> FireNewMail();

  std::shared_ptr<MemoryExplorer> activeExplorer;  // null: no main window
  std::shared_ptr<MemoryExplorers> explorers = std::make_shared<MemoryExplorers>();
  std::shared_ptr<MemoryInspectors> inspectors = std::make_shared<MemoryInspectors>();
};

class MemoryHtmlDocument : public MemoryObject<HtmlDocument> {
 public:
  MemoryHtmlDocument() : MemoryObject("HtmlDocument", u"", {"Write", "Close"}) {}
  // The first write after a Close starts the page anew.
  HRESULT Write(const std::u16string& html) override;
  HRESULT Close() override;

  // The page: what was written since it last started anew.
  const std::u16string& Text() const { return page_; }

  std::vector<std::u16string> writes;
  int closes = 0;

 private:
  std::u16string page_;
  bool ended_ = false;
};

class MemoryWebBrowser : public MemoryObject<WebBrowser> {
 public:
  MemoryWebBrowser() : MemoryObject("WebBrowser", kWebBrowserClsid, {"GetDocument", "Navigate"}) {}
  HRESULT GetDocument(std::shared_ptr<Object>& out) override {
    return HandOut("GetDocument", document, out, /*mayBeNull=*/true);
  }
  // Loading a page gives the browser an HTML document when it has none:
  // there is nothing to fetch.
  HRESULT Navigate(const std::u16string& url) override;

  // The document as an HTML document, or null.
  std::shared_ptr<MemoryHtmlDocument> html() const;

  std::shared_ptr<Object> document;  // null until something loaded
  bool navigateLoadsDocument = true;
  std::vector<std::u16string> navigations;
};

// Shows a pane's page somewhere; false when it cannot.
using PaneShow = std::function<bool(const std::u16string& page)>;

class MemoryTaskPane : public Recorded<TaskPane> {
 public:
  MemoryTaskPane()
      : Recorded("TaskPane", {"GetContentControl", "SetDockPosition", "SetVisible", "Delete"}) {}
  HRESULT GetContentControl(std::shared_ptr<Object>& out) override {
    return HandOut("GetContentControl", contentControl, out);
  }
  HRESULT SetDockPosition(std::int32_t position) override;
  // Showing a hidden pane hands its page to `show`; when that fails, the call
  // fails and the pane stays hidden.
  HRESULT SetVisible(bool visible) override;
  HRESULT Delete() override;

  // The content control as a browser, or null.
  std::shared_ptr<MemoryWebBrowser> browser() const;

  // Given by CreateCTP.
  std::u16string controlId;
  std::u16string title;
  std::shared_ptr<Object> window;

  std::shared_ptr<Object> contentControl = std::make_shared<MemoryWebBrowser>();
  std::optional<std::int32_t> dockPosition;
  bool visible = false;
  bool deleted = false;
  PaneShow show;  // optional
};

class MemoryTaskPaneFactory : public Recorded<TaskPaneFactory> {
 public:
  MemoryTaskPaneFactory() : Recorded("TaskPaneFactory", {"CreateCTP"}) {}
  // Only the web browser control can be hosted, and only in a window. Hands
  // out the first of `upcoming`, or a new pane, giving it `show` when it has
  // none; records it in `panes`.
  HRESULT CreateCTP(const std::u16string& controlId, const std::u16string& title,
                    const std::shared_ptr<Object>& window, std::shared_ptr<TaskPane>& out) override;

  std::deque<std::shared_ptr<MemoryTaskPane>> upcoming;
  std::vector<std::shared_ptr<MemoryTaskPane>> panes;
  // Every pane made so far has been deleted again.
  bool AllDeleted() const {
    for (const auto& pane : panes) {
      if (!pane->deleted) return false;
    }
    return true;
  }
  PaneShow show;  // optional
};

// One Outlook: the application with its collections, the profile's session
// with its current user, and the task-pane factory, all writing to one
// journal and, when given, to `trace`.
class MemoryOutlook {
 public:
  explicit MemoryOutlook(std::shared_ptr<Trace> trace = nullptr);

  // A mail item of this Outlook's session, written down as `label`.
  std::shared_ptr<MemoryMailItem> NewMailItem(const std::string& label = "item");
  std::shared_ptr<MemoryExplorer> NewExplorer(const std::string& label = "explorer");
  std::shared_ptr<MemoryInspector> NewInspector(const std::string& label = "inspector");
  // Opens `item` in a new window, which its Close asks to close;
  // NewInspector fires.
  std::shared_ptr<MemoryInspector> Open(const std::shared_ptr<MemoryMailItem>& item);
  // The windows opened here whose item asked them to close meanwhile close
  // now, each once.
  void CloseRequestedWindows();
  // Labels `object` and has it write to the journal and the trace.
  void Watch(CallRecorder& object, const std::string& label);

  std::shared_ptr<Trace> trace;
  std::shared_ptr<CallJournal> journal = std::make_shared<CallJournal>();
  std::shared_ptr<MemoryApplication> application = std::make_shared<MemoryApplication>();
  std::shared_ptr<MemoryNameSpace> session = std::make_shared<MemoryNameSpace>();
  std::shared_ptr<MemoryTaskPaneFactory> paneFactory = std::make_shared<MemoryTaskPaneFactory>();

 private:
  std::vector<std::shared_ptr<MemoryInspector>> opened_;
};

}  // namespace veilmark::outlook

// The mail client's object model as the add-in sees it: windows, items,
// recipients, attachments, the Office task panes, and the window events.
// Windows adapts Outlook's dispatch interfaces to these classes,
// veilmark-host serves them from .eml files, and tests use fakes.
//
// Conventions, the same for every class:
// - Each operation returns an HRESULT and hands its value out through a
//   reference parameter, so any single call can fail on its own. Check it
//   right away with VM_CHECK_HR; after a failure the out value is not used.
// - Objects are handed out as std::shared_ptr, each holding its own reference
//   to the host object, as a COM smart pointer does: a window, a pane or a
//   factory is often held in several places. Release by dropping it.
// - A successful call hands out a non-null object, except where the
//   operation says "may be null".
// - Event sinks are not owned by the source: whoever advises a sink keeps it
//   alive and unadvises it before it goes.
// - Collections count from 1.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "util/hresult.h"

namespace veilmark::host {

class Account;
class Attachment;
class Attachments;
class Explorer;
class Explorers;
class HtmlDocument;
class Inspector;
class Inspectors;
class MailItem;
class NameSpace;
class PropertyAccessor;
class Recipient;
class Recipients;
class RibbonControl;
class Selection;
class TaskPane;
class WebBrowser;

// Interface identities, as type information reports them.
inline constexpr char16_t kApplicationIid[] = u"{00063001-0000-0000-C000-000000000046}";
inline constexpr char16_t kExplorerIid[] = u"{00063003-0000-0000-C000-000000000046}";
inline constexpr char16_t kInspectorIid[] = u"{00063005-0000-0000-C000-000000000046}";
inline constexpr char16_t kMailItemIid[] = u"{00063034-0000-0000-C000-000000000046}";
inline constexpr char16_t kRibbonControlIid[] = u"{000C0395-0000-0000-C000-000000000046}";
// The control a task pane hosts to show HTML.
inline constexpr char16_t kWebBrowserClsid[] = u"{8856F961-340A-11D0-A96B-00C04FD705A2}";

// Property schema names read through a PropertyAccessor.
inline constexpr char16_t kSmtpAddressProperty[] =
    u"http://schemas.microsoft.com/mapi/proptag/0x39FE001E";
inline constexpr char16_t kTransportHeadersProperty[] =
    u"http://schemas.microsoft.com/mapi/proptag/0x007D001E";
inline constexpr char16_t kReceivedByAddressProperty[] =
    u"http://schemas.microsoft.com/mapi/proptag/0x0076001E";

inline constexpr std::int32_t kRecipientTo = 1;
inline constexpr std::int32_t kRecipientCc = 2;
inline constexpr std::int32_t kRecipientBcc = 3;
inline constexpr std::int32_t kDisplayTypeUser = 0;
inline constexpr std::int32_t kDisplayTypeRemoteUser = 6;
// Closes the window without asking to save.
inline constexpr std::int32_t kCloseDiscard = 1;
inline constexpr std::int32_t kDockBottom = 3;

// Any object the host hands out untyped (a selected item, a ribbon context,
// a pane's control). The As operations are the interface queries: an object
// that is not of the kind gives E_NOINTERFACE.
class Object {
 public:
  virtual ~Object() = default;
  // The identity its type information names, in the form of kMailItemIid.
  virtual HRESULT GetTypeId(std::u16string& iid) = 0;
  virtual HRESULT AsMailItem(std::shared_ptr<MailItem>& out) = 0;
  virtual HRESULT AsExplorer(std::shared_ptr<Explorer>& out) = 0;
  virtual HRESULT AsInspector(std::shared_ptr<Inspector>& out) = 0;
  virtual HRESULT AsRibbonControl(std::shared_ptr<RibbonControl>& out) = 0;
  virtual HRESULT AsWebBrowser(std::shared_ptr<WebBrowser>& out) = 0;
  virtual HRESULT AsHtmlDocument(std::shared_ptr<HtmlDocument>& out) = 0;
};

// Sinks. Handlers run on the UI thread; the source ignores their results.
class ApplicationEvents {
 public:
  virtual ~ApplicationEvents() = default;
  virtual HRESULT OnNewMail() = 0;
};

class ExplorersEvents {
 public:
  virtual ~ExplorersEvents() = default;
  virtual HRESULT OnNewExplorer(const std::shared_ptr<Explorer>& explorer) = 0;
};

class InspectorsEvents {
 public:
  virtual ~InspectorsEvents() = default;
  virtual HRESULT OnNewInspector(const std::shared_ptr<Inspector>& inspector) = 0;
};

class ExplorerEvents {
 public:
  virtual ~ExplorerEvents() = default;
  virtual HRESULT OnSelectionChange() = 0;
  virtual HRESULT OnClose() = 0;
};

class InspectorEvents {
 public:
  virtual ~InspectorEvents() = default;
  virtual HRESULT OnClose() = 0;
};

class Application {
 public:
  virtual ~Application() = default;
  // May be null: the client can run without a main window.
  virtual HRESULT GetActiveExplorer(std::shared_ptr<Explorer>& out) = 0;
  virtual HRESULT GetExplorers(std::shared_ptr<Explorers>& out) = 0;
  virtual HRESULT GetInspectors(std::shared_ptr<Inspectors>& out) = 0;
  virtual HRESULT Advise(ApplicationEvents& sink) = 0;
  virtual HRESULT Unadvise(ApplicationEvents& sink) = 0;
};

class Explorers {
 public:
  virtual ~Explorers() = default;
  virtual HRESULT Advise(ExplorersEvents& sink) = 0;
  virtual HRESULT Unadvise(ExplorersEvents& sink) = 0;
};

class Inspectors {
 public:
  virtual ~Inspectors() = default;
  virtual HRESULT Advise(InspectorsEvents& sink) = 0;
  virtual HRESULT Unadvise(InspectorsEvents& sink) = 0;
};

// A mail-list window.
class Explorer : public Object {
 public:
  virtual HRESULT GetSelection(std::shared_ptr<Selection>& out) = 0;
  virtual HRESULT Advise(ExplorerEvents& sink) = 0;
  virtual HRESULT Unadvise(ExplorerEvents& sink) = 0;
};

class Selection {
 public:
  virtual ~Selection() = default;
  virtual HRESULT GetCount(std::int32_t& count) = 0;
  virtual HRESULT GetItem(std::int32_t index, std::shared_ptr<Object>& out) = 0;
};

// A window showing one item.
class Inspector : public Object {
 public:
  virtual HRESULT GetCurrentItem(std::shared_ptr<Object>& out) = 0;
  virtual HRESULT Advise(InspectorEvents& sink) = 0;
  virtual HRESULT Unadvise(InspectorEvents& sink) = 0;
};

// The ribbon button's control, passed to its click handler.
class RibbonControl : public Object {
 public:
  // The window the ribbon belongs to.
  virtual HRESULT GetContext(std::shared_ptr<Object>& out) = 0;
};

class MailItem : public Object {
 public:
  // True once the message has been sent or received.
  virtual HRESULT GetSent(bool& sent) = 0;
  virtual HRESULT GetEntryID(std::u16string& id) = 0;
  virtual HRESULT GetSubject(std::u16string& subject) = 0;
  virtual HRESULT GetHTMLBody(std::u16string& body) = 0;
  virtual HRESULT GetRecipients(std::shared_ptr<Recipients>& out) = 0;
  virtual HRESULT GetAttachments(std::shared_ptr<Attachments>& out) = 0;
  virtual HRESULT Save() = 0;
  virtual HRESULT Delete() = 0;
  // kCloseDiscard closes the window and drops unsaved changes.
  virtual HRESULT Close(std::int32_t mode) = 0;
  // May be null: no account chosen for sending.
  virtual HRESULT GetSendUsingAccount(std::shared_ptr<Account>& out) = 0;
  virtual HRESULT GetSession(std::shared_ptr<NameSpace>& out) = 0;
  virtual HRESULT GetPropertyAccessor(std::shared_ptr<PropertyAccessor>& out) = 0;
};

class Recipients {
 public:
  virtual ~Recipients() = default;
  virtual HRESULT GetCount(std::int32_t& count) = 0;
  virtual HRESULT GetItem(std::int32_t index, std::shared_ptr<Recipient>& out) = 0;
};

class Recipient {
 public:
  virtual ~Recipient() = default;
  // Asks the address book to resolve the entry; `resolved` tells the outcome.
  virtual HRESULT Resolve(bool& resolved) = 0;
  // The host's own address text (not necessarily SMTP).
  virtual HRESULT GetAddress(std::u16string& address) = 0;
  // kDisplayTypeUser, kDisplayTypeRemoteUser, or a list or other entry.
  // The recipient's own, known whether or not it resolved.
  virtual HRESULT GetDisplayType(std::int32_t& type) = 0;
  // kRecipientTo, kRecipientCc or kRecipientBcc.
  virtual HRESULT GetType(std::int32_t& type) = 0;
  virtual HRESULT GetPropertyAccessor(std::shared_ptr<PropertyAccessor>& out) = 0;
};

// The profile's session.
class NameSpace {
 public:
  virtual ~NameSpace() = default;
  virtual HRESULT GetCurrentUser(std::shared_ptr<Recipient>& out) = 0;
};

class Account {
 public:
  virtual ~Account() = default;
  virtual HRESULT GetSmtpAddress(std::u16string& address) = 0;
};

class PropertyAccessor {
 public:
  virtual ~PropertyAccessor() = default;
  // A text property named by its schema name; fails when it is not set or
  // not text.
  virtual HRESULT GetProperty(const std::u16string& schemaName, std::u16string& value) = 0;
};

class Attachments {
 public:
  virtual ~Attachments() = default;
  virtual HRESULT GetCount(std::int32_t& count) = 0;
  virtual HRESULT GetItem(std::int32_t index, std::shared_ptr<Attachment>& out) = 0;
};

class Attachment {
 public:
  virtual ~Attachment() = default;
  virtual HRESULT GetType(std::int32_t& type) = 0;
  // Writes the content to the file at `path`, replacing it.
  virtual HRESULT SaveAsFile(const std::u16string& path) = 0;
  virtual HRESULT GetFileName(std::u16string& name) = 0;
};

// Office's custom task pane service.
class TaskPaneFactory {
 public:
  virtual ~TaskPaneFactory() = default;
  // A new pane hosting the control named by `controlId` (a CLSID in braces or
  // a ProgID), attached to `window` (an explorer or inspector); not shown yet.
  virtual HRESULT CreateCTP(const std::u16string& controlId, const std::u16string& title,
                            const std::shared_ptr<Object>& window,
                            std::shared_ptr<TaskPane>& out) = 0;
};

class TaskPane {
 public:
  virtual ~TaskPane() = default;
  // The hosted control.
  virtual HRESULT GetContentControl(std::shared_ptr<Object>& out) = 0;
  virtual HRESULT SetDockPosition(std::int32_t position) = 0;
  virtual HRESULT SetVisible(bool visible) = 0;
  // Removes the pane from its window.
  virtual HRESULT Delete() = 0;
};

class WebBrowser : public Object {
 public:
  // May be null: nothing has been loaded yet.
  virtual HRESULT GetDocument(std::shared_ptr<Object>& out) = 0;
  virtual HRESULT Navigate(const std::u16string& url) = 0;
};

class HtmlDocument : public Object {
 public:
  // Appends to the document being written (the page is replaced on the
  // first write after a load).
  virtual HRESULT Write(const std::u16string& html) = 0;
  // Ends writing; the document renders what was written.
  virtual HRESULT Close() = 0;
};

}  // namespace veilmark::host

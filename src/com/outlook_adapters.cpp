#include "com/outlook_adapters.h"

#include <mshtml.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <utility>

#include "base/wchar_win32.h"
#include "com/dispatch.h"
#include "com/guard.h"
#include "com/guids.h"

namespace veilmark::com {
namespace {

// The advises made through a family of adapters (one window, or an
// application and the collections it hands out): unadvising through any of
// them finds the subscription, and whatever is still advised when the last
// of them goes is unadvised then.
class AdviseList {
 public:
  AdviseList() = default;
  explicit AdviseList(std::vector<BoundHandler> bound) : bound_(std::move(bound)) {}

  // Advising a sink twice is advising it once. `handler` serves the events
  // unless one is bound to the sink.
  HRESULT Advise(IUnknown* source, REFIID events, const void* sink, EventHandler handler) {
    if (Find(events, sink) != entries_.end()) return S_OK;
    for (const BoundHandler& bound : bound_) {
      if (bound.sink == sink && IsEqualIID(bound.events, events)) handler = bound.handler;
    }
    Subscription subscription;
    VM_CHECK_HR(EventSink::Advise(source, events, std::move(handler), subscription));
    entries_.push_back({events, sink, std::move(subscription)});
    return S_OK;
  }

  // CONNECT_E_NOCONNECTION when the sink is not advised here.
  HRESULT Unadvise(REFIID events, const void* sink) {
    const auto found = Find(events, sink);
    if (found == entries_.end()) return CONNECT_E_NOCONNECTION;
    Subscription subscription = std::move(found->subscription);
    entries_.erase(found);
    return subscription.Unadvise();
  }

 private:
  struct Advised {
    IID events;
    const void* sink;
    Subscription subscription;
  };

  std::vector<Advised>::iterator Find(REFIID events, const void* sink) {
    return std::find_if(entries_.begin(), entries_.end(), [&](const Advised& advised) {
      return advised.sink == sink && IsEqualIID(advised.events, events);
    });
  }

  std::vector<BoundHandler> bound_;
  std::vector<Advised> entries_;
};

// What the sinks answer the source: S_OK whatever the outlook sink made of
// the event (Outlook ignores it); a failure is recorded, an exception shown.
template <class Serve>
EventHandler Serving(Serve serve) {
  return [serve](DISPID id, DISPPARAMS& params) -> HRESULT {
    VM_LOG_HR(Guarded([&] { return serve(id, params); }));
    return S_OK;
  };
}

// The object an adapter stands for, reachable from any adapter.
class Adapted {
 public:
  explicit Adapted(IDispatch* object) : object_(object) {}
  virtual ~Adapted() = default;
  IDispatch* dispatch() const { return object_.Get(); }

 protected:
  // A property holding an object; `mayBeNull` where Outlook may have none.
  HRESULT GetObjectProperty(const wchar_t* name, ComPtr<IDispatch>& out,
                            bool mayBeNull = false) const {
    Variant value;
    VM_CHECK_HR(GetProperty(object_.Get(), name, value));
    VM_CHECK_HR(DispatchOf(value.value(), out));
    return out || mayBeNull ? S_OK : E_POINTER;
  }
  HRESULT GetTextProperty(const wchar_t* name, std::u16string& out) const {
    Variant value;
    VM_CHECK_HR(GetProperty(object_.Get(), name, value));
    return TextOf(value, out);
  }
  HRESULT GetNumberProperty(const wchar_t* name, std::int32_t& out) const {
    return NumberOf(object_.Get(), name, out);
  }
  static HRESULT NumberOf(IDispatch* object, const wchar_t* name, std::int32_t& out) {
    Variant value;
    VM_CHECK_HR(GetProperty(object, name, value));
    VM_CHECK_HR(VariantChangeType(value.get(), value.get(), 0, VT_I4));
    out = value.value().lVal;
    return S_OK;
  }
  HRESULT GetFlagProperty(const wchar_t* name, bool& out) const {
    Variant value;
    VM_CHECK_HR(GetProperty(object_.Get(), name, value));
    VM_CHECK_HR(VariantChangeType(value.get(), value.get(), 0, VT_BOOL));
    out = value.value().boolVal != VARIANT_FALSE;
    return S_OK;
  }
  // Text Outlook may hand out as another type (a number, an empty value).
  static HRESULT TextOf(Variant& value, std::u16string& out) {
    VM_CHECK_HR(VariantChangeType(value.get(), value.get(), 0, VT_BSTR));
    out = FromBstr(value.value().bstrVal);
    return S_OK;
  }

  ComPtr<IDispatch> object_;
};

// Item(index) of an Outlook collection, as an adapted object.
template <class Made>
HRESULT CollectionItem(IDispatch* collection, std::int32_t index, std::shared_ptr<Made>& out) {
  Variant item;
  std::vector<Variant> args;
  args.emplace_back(index);
  VM_CHECK_HR(CallMethod(collection, L"Item", std::move(args), &item));
  ComPtr<IDispatch> object;
  VM_CHECK_HR(DispatchOf(item.value(), object));
  if (!object) return E_POINTER;
  out = std::make_shared<Made>(object.Get());
  return S_OK;
}

template <class Interface>
class ObjectAdapter : public Interface, public Adapted {
 public:
  using Adapted::Adapted;

  HRESULT GetTypeId(std::u16string& iid) override {
    ComPtr<ITypeInfo> info;
    VM_CHECK_HR(object_->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()));
    TYPEATTR* attributes = nullptr;
    VM_CHECK_HR(info->GetTypeAttr(&attributes));
    wchar_t text[40] = {};
    const int length = StringFromGUID2(attributes->guid, text, 40);
    info->ReleaseTypeAttr(attributes);
    if (length == 0) return E_UNEXPECTED;
    iid = FromWin(text);
    return S_OK;
  }
  HRESULT AsExplorer(std::shared_ptr<outlook::Explorer>& out) override {
    ComPtr<IDispatch> explorer;
    VM_CHECK_HR(object_.As(kExplorerIid, explorer));
    out = AdaptExplorer(explorer.Get());
    return S_OK;
  }
  HRESULT AsInspector(std::shared_ptr<outlook::Inspector>& out) override {
    ComPtr<IDispatch> inspector;
    VM_CHECK_HR(object_.As(kInspectorIid, inspector));
    out = AdaptInspector(inspector.Get());
    return S_OK;
  }
  HRESULT AsMailItem(std::shared_ptr<outlook::MailItem>& out) override;
  HRESULT AsRibbonControl(std::shared_ptr<outlook::RibbonControl>& out) override;
  HRESULT AsWebBrowser(std::shared_ptr<outlook::WebBrowser>& out) override;
  HRESULT AsHtmlDocument(std::shared_ptr<outlook::HtmlDocument>& out) override;
};

class AnyObject final : public ObjectAdapter<outlook::Object> {
 public:
  using ObjectAdapter::ObjectAdapter;
};

// The object as `iid`, adapted by `Made`: E_NOINTERFACE when it is not one.
template <class Made, class Out>
HRESULT AdaptAs(const ComPtr<IDispatch>& object, REFIID iid, std::shared_ptr<Out>& out) {
  ComPtr<IDispatch> typed;
  VM_CHECK_HR(object.As(iid, typed));
  out = std::make_shared<Made>(typed.Get());
  return S_OK;
}

class SelectionAdapter final : public outlook::Selection, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT GetCount(std::int32_t& count) override { return GetNumberProperty(L"Count", count); }
  HRESULT GetItem(std::int32_t index, std::shared_ptr<outlook::Object>& out) override {
    std::shared_ptr<AnyObject> item;
    VM_CHECK_HR(CollectionItem(object_.Get(), index, item));
    out = std::move(item);
    return S_OK;
  }
};

class PropertyAccessorAdapter final : public outlook::PropertyAccessor, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT GetProperty(const std::u16string& schemaName, std::u16string& value) override {
    std::vector<Variant> args;
    args.emplace_back(schemaName);
    Variant result;
    VM_CHECK_HR(CallMethod(object_.Get(), L"GetProperty", std::move(args), &result));
    // Only text is asked for; anything else is the caller's wrong property.
    if (result.value().vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
    value = FromBstr(result.value().bstrVal);
    return S_OK;
  }
};

class AccountAdapter final : public outlook::Account, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT GetSmtpAddress(std::u16string& address) override {
    return GetTextProperty(L"SmtpAddress", address);
  }
};

class RecipientAdapter final : public outlook::Recipient, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT Resolve(bool& resolved) override {
    Variant result;
    VM_CHECK_HR(CallMethod(object_.Get(), L"Resolve", {}, &result));
    VM_CHECK_HR(VariantChangeType(result.get(), result.get(), 0, VT_BOOL));
    resolved = result.value().boolVal != VARIANT_FALSE;
    return S_OK;
  }
  HRESULT GetAddress(std::u16string& address) override {
    return GetTextProperty(L"Address", address);
  }
  // The recipient's own property: an unresolved recipient has no address
  // entry, and a list typed by name must still be recognised.
  HRESULT GetDisplayType(std::int32_t& type) override {
    return GetNumberProperty(L"DisplayType", type);
  }
  HRESULT GetType(std::int32_t& type) override { return GetNumberProperty(L"Type", type); }
  HRESULT GetPropertyAccessor(std::shared_ptr<outlook::PropertyAccessor>& out) override {
    ComPtr<IDispatch> accessor;
    VM_CHECK_HR(GetObjectProperty(L"PropertyAccessor", accessor));
    out = std::make_shared<PropertyAccessorAdapter>(accessor.Get());
    return S_OK;
  }
};

class RecipientsAdapter final : public outlook::Recipients, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT GetCount(std::int32_t& count) override { return GetNumberProperty(L"Count", count); }
  HRESULT GetItem(std::int32_t index, std::shared_ptr<outlook::Recipient>& out) override {
    std::shared_ptr<RecipientAdapter> recipient;
    VM_CHECK_HR(CollectionItem(object_.Get(), index, recipient));
    out = std::move(recipient);
    return S_OK;
  }
};

class AttachmentAdapter final : public outlook::Attachment, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT GetType(std::int32_t& type) override { return GetNumberProperty(L"Type", type); }
  HRESULT SaveAsFile(const std::u16string& path) override {
    std::vector<Variant> args;
    args.emplace_back(path);
    return CallMethod(object_.Get(), L"SaveAsFile", std::move(args));
  }
  HRESULT GetFileName(std::u16string& name) override { return GetTextProperty(L"FileName", name); }
};

class AttachmentsAdapter final : public outlook::Attachments, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT GetCount(std::int32_t& count) override { return GetNumberProperty(L"Count", count); }
  HRESULT GetItem(std::int32_t index, std::shared_ptr<outlook::Attachment>& out) override {
    std::shared_ptr<AttachmentAdapter> attachment;
    VM_CHECK_HR(CollectionItem(object_.Get(), index, attachment));
    out = std::move(attachment);
    return S_OK;
  }
};

class NameSpaceAdapter final : public outlook::NameSpace, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT GetCurrentUser(std::shared_ptr<outlook::Recipient>& out) override {
    ComPtr<IDispatch> user;
    VM_CHECK_HR(GetObjectProperty(L"CurrentUser", user));
    out = std::make_shared<RecipientAdapter>(user.Get());
    return S_OK;
  }
};

class MailItemAdapter final : public ObjectAdapter<outlook::MailItem> {
 public:
  using ObjectAdapter::ObjectAdapter;
  HRESULT GetSent(bool& sent) override { return GetFlagProperty(L"Sent", sent); }
  HRESULT GetEntryID(std::u16string& id) override { return GetTextProperty(L"EntryID", id); }
  HRESULT GetSubject(std::u16string& subject) override {
    return GetTextProperty(L"Subject", subject);
  }
  HRESULT GetHTMLBody(std::u16string& body) override { return GetTextProperty(L"HTMLBody", body); }
  HRESULT GetRecipients(std::shared_ptr<outlook::Recipients>& out) override {
    return Child<RecipientsAdapter>(L"Recipients", out);
  }
  HRESULT GetAttachments(std::shared_ptr<outlook::Attachments>& out) override {
    return Child<AttachmentsAdapter>(L"Attachments", out);
  }
  HRESULT Save() override { return CallMethod(object_.Get(), L"Save", {}); }
  HRESULT Delete() override { return CallMethod(object_.Get(), L"Delete", {}); }
  HRESULT Close(std::int32_t mode) override {
    std::vector<Variant> args;
    args.emplace_back(mode);
    return CallMethod(object_.Get(), L"Close", std::move(args));
  }
  HRESULT GetSendUsingAccount(std::shared_ptr<outlook::Account>& out) override {
    ComPtr<IDispatch> account;
    VM_CHECK_HR(GetObjectProperty(L"SendUsingAccount", account, true));
    out = account ? std::make_shared<AccountAdapter>(account.Get()) : nullptr;
    return S_OK;
  }
  HRESULT GetSession(std::shared_ptr<outlook::NameSpace>& out) override {
    return Child<NameSpaceAdapter>(L"Session", out);
  }
  HRESULT GetPropertyAccessor(std::shared_ptr<outlook::PropertyAccessor>& out) override {
    return Child<PropertyAccessorAdapter>(L"PropertyAccessor", out);
  }

 private:
  template <class Made, class Out>
  HRESULT Child(const wchar_t* name, std::shared_ptr<Out>& out) {
    ComPtr<IDispatch> child;
    VM_CHECK_HR(GetObjectProperty(name, child));
    out = std::make_shared<Made>(child.Get());
    return S_OK;
  }
};

class RibbonControlAdapter final : public ObjectAdapter<outlook::RibbonControl> {
 public:
  using ObjectAdapter::ObjectAdapter;
  HRESULT GetContext(std::shared_ptr<outlook::Object>& out) override {
    ComPtr<IDispatch> context;
    VM_CHECK_HR(GetObjectProperty(L"Context", context));
    out = AdaptObject(context.Get());
    return S_OK;
  }
};

class WebBrowserAdapter final : public ObjectAdapter<outlook::WebBrowser> {
 public:
  using ObjectAdapter::ObjectAdapter;
  HRESULT GetDocument(std::shared_ptr<outlook::Object>& out) override {
    ComPtr<IDispatch> document;
    VM_CHECK_HR(GetObjectProperty(L"Document", document, true));
    out = AdaptObject(document.Get());
    return S_OK;
  }
  // The control loads asynchronously: its document exists, and stays, only
  // once the load has completed, which takes a pumped message queue.
  HRESULT Navigate(const std::u16string& url) override {
    std::vector<Variant> args;
    args.emplace_back(url);
    VM_CHECK_HR(CallMethod(object_.Get(), L"Navigate", std::move(args)));
    const ULONGLONG deadline = GetTickCount64() + kNavigationLimitMs;
    for (;;) {
      std::int32_t state = 0;
      VM_CHECK_HR(GetNumberProperty(L"ReadyState", state));
      if (state == READYSTATE_COMPLETE) return S_OK;
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
      MsgWaitForMultipleObjectsEx(
          0, nullptr, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kNavigationPollMs)),
          kLoadMessages, 0);
      // The user's input waits: a click now could start another road inside
      // this one, or close the window whose pane this is.
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0,
                          PM_REMOVE | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE | PM_QS_PAINT)) {
        if (message.message == WM_QUIT) {
          PostQuitMessage(static_cast<int>(message.wParam));  // Outlook's to handle
          return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
  }

 private:
  static constexpr ULONGLONG kNavigationLimitMs = 5000;
  static constexpr DWORD kNavigationPollMs = 50;  // ReadyState has no wake-up of its own
  static constexpr DWORD kLoadMessages = QS_POSTMESSAGE | QS_SENDMESSAGE | QS_PAINT | QS_TIMER;
};

// Marks the page as saved from the Internet, so the browser shows it in the
// Internet zone with its restrictions, never in the local machine zone.
constexpr char16_t kInternetZoneMark[] = u"<!-- saved from url=(0014)about:internet -->\r\n";
// A BSTR's length, in characters, is a UINT of bytes over two.
constexpr std::size_t kMaxBstrLength = 0x7FFFFFF0u / sizeof(OLECHAR);

class HtmlDocumentAdapter final : public ObjectAdapter<outlook::HtmlDocument> {
 public:
  using ObjectAdapter::ObjectAdapter;
  // Through the interface, not IDispatch: write is [vararg], so a dispatcher
  // would wrap our array in its own and the view would never appear.
  HRESULT Write(const std::u16string& html) override {
    ComPtr<IHTMLDocument2> document;
    VM_CHECK_HR(object_.As(kHtmlDocumentIid, document));
    // One BSTR made in place and handed to the array: a large view copied
    // into a string, a VARIANT and the array would hold the UI thread.
    const std::u16string_view mark = marked_ ? u"" : kInternetZoneMark;
    if (html.size() > kMaxBstrLength - mark.size()) return E_OUTOFMEMORY;
    Bstr text(SysAllocStringLen(nullptr, static_cast<UINT>(mark.size() + html.size())));
    if (!text.Get()) return E_OUTOFMEMORY;
    std::memcpy(text.Get(), mark.data(), mark.size() * sizeof(char16_t));
    std::memcpy(text.Get() + mark.size(), html.data(), html.size() * sizeof(char16_t));
    SafeArray array(SafeArrayCreateVector(VT_VARIANT, 0, 1));
    if (!array.Get()) return E_OUTOFMEMORY;
    VARIANT* element = nullptr;
    VM_CHECK_HR(SafeArrayAccessData(array.Get(), reinterpret_cast<void**>(&element)));
    element->vt = VT_BSTR;
    element->bstrVal = text.Detach();  // the array's from here
    VM_CHECK_HR(SafeArrayUnaccessData(array.Get()));
    VM_CHECK_HR(document->write(array.Get()));
    marked_ = true;
    return S_OK;
  }
  HRESULT Close() override {
    ComPtr<IHTMLDocument2> document;
    VM_CHECK_HR(object_.As(kHtmlDocumentIid, document));
    return document->close();
  }

 private:
  bool marked_ = false;  // the mark goes first, once
};

class ExplorerAdapter final : public ObjectAdapter<outlook::Explorer> {
 public:
  using ObjectAdapter::ObjectAdapter;
  HRESULT GetSelection(std::shared_ptr<outlook::Selection>& out) override {
    ComPtr<IDispatch> selection;
    VM_CHECK_HR(GetObjectProperty(L"Selection", selection));
    out = std::make_shared<SelectionAdapter>(selection.Get());
    return S_OK;
  }
  HRESULT Advise(outlook::ExplorerEvents& sink) override {
    return advises_.Advise(object_.Get(), kExplorerEventsIid, &sink,
                           Serving([&sink](DISPID id, DISPPARAMS&) -> HRESULT {
                             if (id == kSelectionChangeDispId) return sink.OnSelectionChange();
                             if (id == kCloseDispId) return sink.OnClose();
                             return S_OK;
                           }));
  }
  HRESULT Unadvise(outlook::ExplorerEvents& sink) override {
    return advises_.Unadvise(kExplorerEventsIid, &sink);
  }

 private:
  AdviseList advises_;
};

class InspectorAdapter final : public ObjectAdapter<outlook::Inspector> {
 public:
  using ObjectAdapter::ObjectAdapter;
  HRESULT GetCurrentItem(std::shared_ptr<outlook::Object>& out) override {
    ComPtr<IDispatch> item;
    VM_CHECK_HR(GetObjectProperty(L"CurrentItem", item));
    out = AdaptObject(item.Get());
    return S_OK;
  }
  HRESULT Advise(outlook::InspectorEvents& sink) override {
    return advises_.Advise(object_.Get(), kInspectorEventsIid, &sink,
                           Serving([&sink](DISPID id, DISPPARAMS&) -> HRESULT {
                             if (id == kCloseDispId) return sink.OnClose();
                             return S_OK;
                           }));
  }
  HRESULT Unadvise(outlook::InspectorEvents& sink) override {
    return advises_.Unadvise(kInspectorEventsIid, &sink);
  }

 private:
  AdviseList advises_;
};

class ExplorersAdapter final : public outlook::Explorers, public Adapted {
 public:
  ExplorersAdapter(IDispatch* explorers, std::shared_ptr<AdviseList> advises)
      : Adapted(explorers), advises_(std::move(advises)) {}
  HRESULT Advise(outlook::ExplorersEvents& sink) override {
    return advises_->Advise(object_.Get(), kExplorersEventsIid, &sink,
                            Serving([&sink](DISPID id, DISPPARAMS& params) -> HRESULT {
                              IDispatch* window = SingleDispatchArgument(params);
                              if (id != kNewWindowDispId || !window) return S_OK;
                              return sink.OnNewExplorer(AdaptExplorer(window));
                            }));
  }
  HRESULT Unadvise(outlook::ExplorersEvents& sink) override {
    return advises_->Unadvise(kExplorersEventsIid, &sink);
  }

 private:
  std::shared_ptr<AdviseList> advises_;
};

class InspectorsAdapter final : public outlook::Inspectors, public Adapted {
 public:
  InspectorsAdapter(IDispatch* inspectors, std::shared_ptr<AdviseList> advises)
      : Adapted(inspectors), advises_(std::move(advises)) {}
  HRESULT Advise(outlook::InspectorsEvents& sink) override {
    return advises_->Advise(object_.Get(), kInspectorsEventsIid, &sink,
                            Serving([&sink](DISPID id, DISPPARAMS& params) -> HRESULT {
                              IDispatch* window = SingleDispatchArgument(params);
                              if (id != kNewWindowDispId || !window) return S_OK;
                              return sink.OnNewInspector(AdaptInspector(window));
                            }));
  }
  HRESULT Unadvise(outlook::InspectorsEvents& sink) override {
    return advises_->Unadvise(kInspectorsEventsIid, &sink);
  }

 private:
  std::shared_ptr<AdviseList> advises_;
};

class ApplicationAdapter final : public outlook::Application, public Adapted {
 public:
  ApplicationAdapter(IDispatch* application, std::vector<BoundHandler> bound)
      : Adapted(application), advises_(std::make_shared<AdviseList>(std::move(bound))) {}
  HRESULT GetActiveExplorer(std::shared_ptr<outlook::Explorer>& out) override {
    ComPtr<IDispatch> explorer;
    VM_CHECK_HR(GetObjectProperty(L"ActiveExplorer", explorer, true));
    out = explorer ? AdaptExplorer(explorer.Get()) : nullptr;
    return S_OK;
  }
  HRESULT GetExplorers(std::shared_ptr<outlook::Explorers>& out) override {
    ComPtr<IDispatch> explorers;
    VM_CHECK_HR(GetObjectProperty(L"Explorers", explorers));
    out = std::make_shared<ExplorersAdapter>(explorers.Get(), advises_);
    return S_OK;
  }
  HRESULT GetInspectors(std::shared_ptr<outlook::Inspectors>& out) override {
    ComPtr<IDispatch> inspectors;
    VM_CHECK_HR(GetObjectProperty(L"Inspectors", inspectors));
    out = std::make_shared<InspectorsAdapter>(inspectors.Get(), advises_);
    return S_OK;
  }
  HRESULT Advise(outlook::ApplicationEvents& sink) override {
    return advises_->Advise(object_.Get(), kApplicationEventsIid, &sink,
                            Serving([&sink](DISPID id, DISPPARAMS&) -> HRESULT {
                              if (id == kNewMailDispId) return sink.OnNewMail();
                              return S_OK;
                            }));
  }
  HRESULT Unadvise(outlook::ApplicationEvents& sink) override {
    return advises_->Unadvise(kApplicationEventsIid, &sink);
  }

 private:
  std::shared_ptr<AdviseList> advises_;
};

class TaskPaneAdapter final : public outlook::TaskPane, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT GetContentControl(std::shared_ptr<outlook::Object>& out) override {
    ComPtr<IDispatch> control;
    VM_CHECK_HR(GetObjectProperty(L"ContentControl", control));
    out = AdaptObject(control.Get());
    return S_OK;
  }
  HRESULT SetDockPosition(std::int32_t position) override {
    return PutProperty(object_.Get(), L"DockPosition", Variant(position));
  }
  HRESULT SetVisible(bool visible) override {
    return PutProperty(object_.Get(), L"Visible", Variant(visible));
  }
  HRESULT Delete() override { return CallMethod(object_.Get(), L"Delete", {}); }
};

class TaskPaneFactoryAdapter final : public outlook::TaskPaneFactory, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT CreateCTP(const std::u16string& controlId, const std::u16string& title,
                    const std::shared_ptr<outlook::Object>& window,
                    std::shared_ptr<outlook::TaskPane>& out) override {
    IDispatch* parent = AdaptedDispatch(window.get());
    if (!parent) return E_INVALIDARG;
    std::vector<Variant> args;
    args.emplace_back(controlId);
    args.emplace_back(title);
    args.emplace_back(parent);
    Variant pane;
    VM_CHECK_HR(CallMethod(object_.Get(), L"CreateCTP", std::move(args), &pane));
    ComPtr<IDispatch> object;
    VM_CHECK_HR(DispatchOf(pane.value(), object));
    if (!object) return E_POINTER;
    out = std::make_shared<TaskPaneAdapter>(object.Get());
    return S_OK;
  }
};

template <class Interface>
HRESULT ObjectAdapter<Interface>::AsMailItem(std::shared_ptr<outlook::MailItem>& out) {
  return AdaptAs<MailItemAdapter>(this->object_, kMailItemIid, out);
}
template <class Interface>
HRESULT ObjectAdapter<Interface>::AsRibbonControl(std::shared_ptr<outlook::RibbonControl>& out) {
  return AdaptAs<RibbonControlAdapter>(this->object_, kRibbonControlIid, out);
}
template <class Interface>
HRESULT ObjectAdapter<Interface>::AsWebBrowser(std::shared_ptr<outlook::WebBrowser>& out) {
  return AdaptAs<WebBrowserAdapter>(this->object_, kWebBrowserIid, out);
}
template <class Interface>
HRESULT ObjectAdapter<Interface>::AsHtmlDocument(std::shared_ptr<outlook::HtmlDocument>& out) {
  return AdaptAs<HtmlDocumentAdapter>(this->object_, kHtmlDocumentIid, out);
}

}  // namespace

std::shared_ptr<outlook::Application> AdaptApplication(IDispatch* application,
                                                       std::vector<BoundHandler> bound) {
  return application ? std::make_shared<ApplicationAdapter>(application, std::move(bound))
                     : nullptr;
}

std::shared_ptr<outlook::Explorer> AdaptExplorer(IDispatch* explorer) {
  return explorer ? std::make_shared<ExplorerAdapter>(explorer) : nullptr;
}

std::shared_ptr<outlook::Inspector> AdaptInspector(IDispatch* inspector) {
  return inspector ? std::make_shared<InspectorAdapter>(inspector) : nullptr;
}

std::shared_ptr<outlook::Object> AdaptObject(IDispatch* object) {
  return object ? std::make_shared<AnyObject>(object) : nullptr;
}

std::shared_ptr<outlook::TaskPaneFactory> AdaptTaskPaneFactory(IDispatch* factory) {
  return factory ? std::make_shared<TaskPaneFactoryAdapter>(factory) : nullptr;
}

IDispatch* AdaptedDispatch(const outlook::Object* object) {
  const auto* adapted = dynamic_cast<const Adapted*>(object);
  return adapted ? adapted->dispatch() : nullptr;
}

}  // namespace veilmark::com

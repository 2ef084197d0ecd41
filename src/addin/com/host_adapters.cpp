#include "addin/com/host_adapters.h"

#include <utility>

#include "addin/com/dispatch.h"
#include "addin/com/event_sinks.h"
#include "addin/com/guids.h"
#include "util/wchar_win32.h"

namespace veilmark::com {
namespace {

// The object an adapter stands for, reachable from any adapter.
class Adapted {
 public:
  explicit Adapted(IDispatch* object) : object_(object) {}
  virtual ~Adapted() = default;
  IDispatch* dispatch() const { return object_.Get(); }

 protected:
  // A property holding an object; `mayBeNull` where the host may have none.
  HRESULT GetObjectProperty(const wchar_t* name, ComPtr<IDispatch>& out,
                            bool mayBeNull = false) const {
    Variant value;
    VM_CHECK_HR(GetProperty(object_.Get(), name, value));
    VM_CHECK_HR(DispatchOf(value.value(), out));
    return out || mayBeNull ? S_OK : E_POINTER;
  }

  ComPtr<IDispatch> object_;
};

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
  HRESULT AsExplorer(std::shared_ptr<host::Explorer>& out) override {
    ComPtr<IDispatch> explorer;
    VM_CHECK_HR(object_.As(kExplorerIid, explorer));
    out = AdaptExplorer(explorer.Get());
    return S_OK;
  }
  HRESULT AsInspector(std::shared_ptr<host::Inspector>& out) override {
    ComPtr<IDispatch> inspector;
    VM_CHECK_HR(object_.As(kInspectorIid, inspector));
    out = AdaptInspector(inspector.Get());
    return S_OK;
  }
  // Mail items, ribbon controls and the browser's objects are not adapted
  // yet: the read and send roads end here with this answer.
  HRESULT AsMailItem(std::shared_ptr<host::MailItem>&) override { return E_NOTIMPL; }
  HRESULT AsRibbonControl(std::shared_ptr<host::RibbonControl>&) override { return E_NOTIMPL; }
  HRESULT AsWebBrowser(std::shared_ptr<host::WebBrowser>&) override { return E_NOTIMPL; }
  HRESULT AsHtmlDocument(std::shared_ptr<host::HtmlDocument>&) override { return E_NOTIMPL; }
};

class AnyObject final : public ObjectAdapter<host::Object> {
 public:
  using ObjectAdapter::ObjectAdapter;
};

class SelectionAdapter final : public host::Selection, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT GetCount(std::int32_t& count) override {
    Variant value;
    VM_CHECK_HR(GetProperty(object_.Get(), L"Count", value));
    VM_CHECK_HR(VariantChangeType(value.get(), value.get(), 0, VT_I4));
    count = value.value().lVal;
    return S_OK;
  }
  HRESULT GetItem(std::int32_t index, std::shared_ptr<host::Object>& out) override {
    Variant item;
    std::vector<Variant> args;
    args.emplace_back(index);
    VM_CHECK_HR(CallMethod(object_.Get(), L"Item", std::move(args), &item));
    ComPtr<IDispatch> object;
    VM_CHECK_HR(DispatchOf(item.value(), object));
    if (!object) return E_POINTER;
    out = AdaptObject(object.Get());
    return S_OK;
  }
};

class ExplorerAdapter final : public ObjectAdapter<host::Explorer> {
 public:
  using ObjectAdapter::ObjectAdapter;
  HRESULT GetSelection(std::shared_ptr<host::Selection>& out) override {
    ComPtr<IDispatch> selection;
    VM_CHECK_HR(GetObjectProperty(L"Selection", selection));
    out = std::make_shared<SelectionAdapter>(selection.Get());
    return S_OK;
  }
  HRESULT Advise(host::ExplorerEvents& sink) override {
    return Advises::Advise(object_.Get(), kExplorerEventsIid, &sink,
                           [&sink](DISPID id, DISPPARAMS&) -> HRESULT {
                             if (id == kSelectionChangeDispId) return sink.OnSelectionChange();
                             if (id == kCloseDispId) return sink.OnClose();
                             return DISP_E_MEMBERNOTFOUND;
                           });
  }
  HRESULT Unadvise(host::ExplorerEvents& sink) override {
    return Advises::Unadvise(object_.Get(), kExplorerEventsIid, &sink);
  }
};

class InspectorAdapter final : public ObjectAdapter<host::Inspector> {
 public:
  using ObjectAdapter::ObjectAdapter;
  HRESULT GetCurrentItem(std::shared_ptr<host::Object>& out) override {
    ComPtr<IDispatch> item;
    VM_CHECK_HR(GetObjectProperty(L"CurrentItem", item));
    out = AdaptObject(item.Get());
    return S_OK;
  }
  HRESULT Advise(host::InspectorEvents& sink) override {
    return Advises::Advise(object_.Get(), kInspectorEventsIid, &sink,
                           [&sink](DISPID id, DISPPARAMS&) -> HRESULT {
                             if (id == kCloseDispId) return sink.OnClose();
                             return DISP_E_MEMBERNOTFOUND;
                           });
  }
  HRESULT Unadvise(host::InspectorEvents& sink) override {
    return Advises::Unadvise(object_.Get(), kInspectorEventsIid, &sink);
  }
};

class ExplorersAdapter final : public host::Explorers, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT Advise(host::ExplorersEvents& sink) override {
    return Advises::Advise(object_.Get(), kExplorersEventsIid, &sink,
                           [&sink](DISPID id, DISPPARAMS& params) -> HRESULT {
                             IDispatch* window = SingleDispatchArgument(params);
                             if (id != kNewWindowDispId || !window) return DISP_E_MEMBERNOTFOUND;
                             return sink.OnNewExplorer(AdaptExplorer(window));
                           });
  }
  HRESULT Unadvise(host::ExplorersEvents& sink) override {
    return Advises::Unadvise(object_.Get(), kExplorersEventsIid, &sink);
  }
};

class InspectorsAdapter final : public host::Inspectors, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT Advise(host::InspectorsEvents& sink) override {
    return Advises::Advise(object_.Get(), kInspectorsEventsIid, &sink,
                           [&sink](DISPID id, DISPPARAMS& params) -> HRESULT {
                             IDispatch* window = SingleDispatchArgument(params);
                             if (id != kNewWindowDispId || !window) return DISP_E_MEMBERNOTFOUND;
                             return sink.OnNewInspector(AdaptInspector(window));
                           });
  }
  HRESULT Unadvise(host::InspectorsEvents& sink) override {
    return Advises::Unadvise(object_.Get(), kInspectorsEventsIid, &sink);
  }
};

class ApplicationAdapter final : public host::Application, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT GetActiveExplorer(std::shared_ptr<host::Explorer>& out) override {
    ComPtr<IDispatch> explorer;
    VM_CHECK_HR(GetObjectProperty(L"ActiveExplorer", explorer, true));
    out = explorer ? AdaptExplorer(explorer.Get()) : nullptr;
    return S_OK;
  }
  HRESULT GetExplorers(std::shared_ptr<host::Explorers>& out) override {
    ComPtr<IDispatch> explorers;
    VM_CHECK_HR(GetObjectProperty(L"Explorers", explorers));
    out = std::make_shared<ExplorersAdapter>(explorers.Get());
    return S_OK;
  }
  HRESULT GetInspectors(std::shared_ptr<host::Inspectors>& out) override {
    ComPtr<IDispatch> inspectors;
    VM_CHECK_HR(GetObjectProperty(L"Inspectors", inspectors));
    out = std::make_shared<InspectorsAdapter>(inspectors.Get());
    return S_OK;
  }
  HRESULT Advise(host::ApplicationEvents& sink) override {
    return Advises::Advise(object_.Get(), kApplicationEventsIid, &sink,
                           [&sink](DISPID id, DISPPARAMS&) -> HRESULT {
                             if (id == kNewMailDispId) return sink.OnNewMail();
                             return DISP_E_MEMBERNOTFOUND;
                           });
  }
  HRESULT Unadvise(host::ApplicationEvents& sink) override {
    return Advises::Unadvise(object_.Get(), kApplicationEventsIid, &sink);
  }
};

class TaskPaneAdapter final : public host::TaskPane, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT GetContentControl(std::shared_ptr<host::Object>& out) override {
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

class TaskPaneFactoryAdapter final : public host::TaskPaneFactory, public Adapted {
 public:
  using Adapted::Adapted;
  HRESULT CreateCTP(const std::u16string& controlId, const std::u16string& title,
                    const std::shared_ptr<host::Object>& window,
                    std::shared_ptr<host::TaskPane>& out) override {
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

}  // namespace

std::shared_ptr<host::Application> AdaptApplication(IDispatch* application) {
  return application ? std::make_shared<ApplicationAdapter>(application) : nullptr;
}

std::shared_ptr<host::Explorer> AdaptExplorer(IDispatch* explorer) {
  return explorer ? std::make_shared<ExplorerAdapter>(explorer) : nullptr;
}

std::shared_ptr<host::Inspector> AdaptInspector(IDispatch* inspector) {
  return inspector ? std::make_shared<InspectorAdapter>(inspector) : nullptr;
}

std::shared_ptr<host::Object> AdaptObject(IDispatch* object) {
  return object ? std::make_shared<AnyObject>(object) : nullptr;
}

std::shared_ptr<host::TaskPaneFactory> AdaptTaskPaneFactory(IDispatch* factory) {
  return factory ? std::make_shared<TaskPaneFactoryAdapter>(factory) : nullptr;
}

IDispatch* AdaptedDispatch(const host::Object* object) {
  const auto* adapted = dynamic_cast<const Adapted*>(object);
  return adapted ? adapted->dispatch() : nullptr;
}

}  // namespace veilmark::com

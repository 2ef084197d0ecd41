#include "addin/com/connect.h"

#include <olectl.h>

#include "addin/com/dispatch.h"
#include "addin/com/event_sinks.h"
#include "addin/com/guard.h"
#include "addin/com/host_adapters.h"
#include "resource_ids.h"
#include "util/wchar_win32.h"

namespace veilmark::com {
namespace {

// The button image, loaded once: pictures made from it do not own it, and
// it is freed when the DLL unloads.
class ButtonBitmap {
 public:
  ~ButtonBitmap() {
    if (bitmap_) DeleteObject(bitmap_);
  }
  HBITMAP Get(HINSTANCE module) {
    if (!bitmap_) {
      bitmap_ = static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(IDB_SEND_SECURE),
                                                IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    }
    return bitmap_;
  }

 private:
  HBITMAP bitmap_ = nullptr;
};

ButtonBitmap& SendSecureBitmap() {
  static ButtonBitmap bitmap;
  return bitmap;
}

// Messages of the image callback, as the ribbon's own test boxes show them.
constexpr wchar_t kImageCaption[] = L"Test addin";

}  // namespace

const InterfaceEntry<CConnect>* CConnect::Interfaces() {
  static const InterfaceEntry<CConnect> table[] = {
      Entry<CConnect, IConnect>(IID_IConnect),
      // Office's late-bound ribbon callbacks come through plain IDispatch.
      Entry<CConnect, IRibbonCallback>(IID_IDispatch),
      Entry<CConnect, _IDTExtensibility2>(IID__IDTExtensibility2),
      Entry<CConnect, IRibbonExtensibility>(IID_IRibbonExtensibility),
      Entry<CConnect, IRibbonCallback>(IID_IRibbonCallback),
      // Never reached (the first IDispatch entry answers); kept in map order.
      Entry<CConnect, ICustomTaskPaneConsumer>(IID_IDispatch),
      Entry<CConnect, ICustomTaskPaneConsumer>(IID_ICustomTaskPaneConsumer),
      {nullptr, nullptr},
  };
  return table;
}

HRESULT CConnect::Create(IUnknown* outer, REFIID iid, void** out) {
  return Guarded([&] { return ComObject<CConnect>::Create(outer, iid, out); });
}

CConnect::CConnect() {
  // The core's three host sinks are served by this object's own sinks.
  Advises::Bind(static_cast<host::ExplorersEvents*>(&core_), kExplorersEventsIid, &explorersSink_);
  Advises::Bind(static_cast<host::InspectorsEvents*>(&core_), kInspectorsEventsIid,
                &inspectorsSink_);
  Advises::Bind(static_cast<host::ApplicationEvents*>(&core_), kApplicationEventsIid,
                &applicationSink_);
}

CConnect::~CConnect() {
  // Released while hooked (unloaded without shutdown): unhook here, where a
  // failure can still be caught, rather than in the core's destructor.
  static_cast<void>(Guarded([&] { return core_.OnDisconnection(); }));
  Advises::Unbind(static_cast<host::ExplorersEvents*>(&core_), kExplorersEventsIid);
  Advises::Unbind(static_cast<host::InspectorsEvents*>(&core_), kInspectorsEventsIid);
  Advises::Unbind(static_cast<host::ApplicationEvents*>(&core_), kApplicationEventsIid);
}

HRESULT CConnect::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT CConnect::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return Guarded([&] {
    ComPtr<ITypeInfo> type;
    VM_CHECK_HR(ModuleTypeInfo(kAddinTypeLibrary, IID_IRibbonCallback, type));
    *info = type.Detach();
    return S_OK;
  });
}

HRESULT CConnect::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return Guarded([&]() -> HRESULT {
    struct Source {
      int library;
      const IID* iid;
    };
    const Source sources[] = {{kAddinTypeLibrary, &IID_IRibbonCallback},
                              {kOfficeTypeLibrary, &IID__IDTExtensibility2},
                              {kOfficeTypeLibrary, &IID_IRibbonExtensibility},
                              {kOfficeTypeLibrary, &IID_ICustomTaskPaneConsumer}};
    HRESULT hr = DISP_E_UNKNOWNNAME;
    for (const Source& source : sources) {
      ComPtr<ITypeInfo> type;
      VM_CHECK_HR(ModuleTypeInfo(source.library, *source.iid, type));
      hr = DispGetIDsOfNames(type.Get(), names, count, ids);
      if (hr != DISP_E_UNKNOWNNAME) break;
    }
    return hr;
  });
}

HRESULT CConnect::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* exception, UINT* argumentError) {
  // A command or a new window may run a login dialog, during which the host
  // can disconnect and release the add-in: it outlives the call.
  const ComPtr<IConnect> hold(this);
  return Guarded([&]() -> HRESULT {
    HRESULT hr = DISP_E_MEMBERNOTFOUND;
    if (id == kSecureSendClickDispId || id == kGetImageDispId) {
      ComPtr<ITypeInfo> type;
      VM_CHECK_HR(ModuleTypeInfo(kAddinTypeLibrary, IID_IRibbonCallback, type));
      hr = type->Invoke(static_cast<IRibbonCallback*>(this), id, flags, params, result, exception,
                        argumentError);
    } else if (id == kNewWindowDispId && params && params->cArgs == 1) {
      // NewExplorer and NewInspector share the id: the argument tells them apart.
      IDispatch* window = SingleDispatchArgument(*params);
      if (!window) return DISP_E_TYPEMISMATCH;
      ComPtr<IDispatch> inspector;
      if (SUCCEEDED(window->QueryInterface(kInspectorIid, inspector.PutVoid()))) {
        static_cast<void>(OnNewInspector(window));
      } else {
        static_cast<void>(OnNewExplorer(window));
      }
      hr = S_OK;  // handlers give nothing back to the source
    }
    if (hr == DISP_E_MEMBERNOTFOUND) {
      ComPtr<ITypeInfo> type;
      VM_CHECK_HR(ModuleTypeInfo(kOfficeTypeLibrary, IID__IDTExtensibility2, type));
      hr = type->Invoke(static_cast<_IDTExtensibility2*>(this), id, flags, params, result,
                        exception, argumentError);
    }
    return hr;
  });
}

HRESULT CConnect::OnNewExplorer(IDispatch* window) {
  ComPtr<IDispatch> explorer;
  VM_CHECK_HR(window->QueryInterface(kExplorerIid, explorer.PutVoid()));
  return core_.OnNewExplorer(AdaptExplorer(explorer.Get()));
}

HRESULT CConnect::OnNewInspector(IDispatch* window) {
  ComPtr<IDispatch> inspector;
  VM_CHECK_HR(window->QueryInterface(kInspectorIid, inspector.PutVoid()));
  return core_.OnNewInspector(AdaptInspector(inspector.Get()));
}

HRESULT CConnect::OnConnection(IDispatch* application, ext_ConnectMode, IDispatch*, SAFEARRAY**) {
  return Guarded([&] {
    ComPtr<IDispatch> app;
    // An object that is not Outlook's application leaves the core without one.
    if (application)
      static_cast<void>(VM_HR_OK(application->QueryInterface(kApplicationIid, app.PutVoid())));
    return core_.OnConnection(AdaptApplication(app.Get()));
  });
}

HRESULT CConnect::OnDisconnection(ext_DisconnectMode, SAFEARRAY**) {
  // Unloaded while Outlook runs: release what shutdown would have.
  return Guarded([&] { return core_.OnDisconnection(); });
}

HRESULT CConnect::OnAddInsUpdate(SAFEARRAY**) {
  return S_OK;
}

HRESULT CConnect::OnStartupComplete(SAFEARRAY**) {
  return Guarded([&] { return core_.OnStartupComplete(); });
}

HRESULT CConnect::OnBeginShutdown(SAFEARRAY**) {
  return Guarded([&] { return core_.OnBeginShutdown(); });
}

HRESULT CConnect::GetCustomUI(BSTR ribbonId, BSTR* xml) {
  if (!xml) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    const std::u16string id = FromBstr(ribbonId);
    std::u16string text;
    VM_CHECK_HR(core_.GetCustomUI(id, &text));
    if (text.empty()) {
      if (id != kComposeRibbonId) return S_OK;  // not our ribbon: nothing written
      std::string_view bytes;
      VM_CHECK_HR(LoadModuleResource(L"XML", IDR_RIBBON_XML, bytes));
      return E_UNEXPECTED;
    }
    Bstr result(text);
    if (!result.Allocated()) return E_OUTOFMEMORY;
    *xml = result.Detach();
    return S_OK;
  });
}

HRESULT CConnect::OnSecureSendClick(IDispatch* ribbonControl) {
  const ComPtr<IConnect> hold(this);  // as in Invoke
  return Guarded([&] { return core_.OnSecureSendClick(AdaptObject(ribbonControl)); });
}

HRESULT CConnect::OnGetImage(IDispatch*, IPictureDisp** image) {
  if (!image) return E_POINTER;
  *image = nullptr;
  HINSTANCE module = ModuleInstance();
  if (!module) return E_UNEXPECTED;
  HBITMAP bitmap = SendSecureBitmap().Get(module);
  if (!bitmap) {
    MessageBoxW(nullptr, L"problem Loadbitmap called", kImageCaption, MB_OK);
    return E_UNEXPECTED;
  }
  PICTDESC description{};
  description.cbSizeofstruct = sizeof description;
  description.picType = PICTYPE_BITMAP;
  description.bmp.hbitmap = bitmap;
  if (!VM_HR_OK(OleCreatePictureIndirect(&description, IID_IPictureDisp, FALSE,
                                         reinterpret_cast<void**>(image)))) {
    MessageBoxW(nullptr, L"Error in creating picture from bitmap.", kImageCaption, MB_OK);
  }
  return S_OK;
}

HRESULT CConnect::CTPFactoryAvailable(IDispatch* factory) {
  return Guarded([&] { return core_.CTPFactoryAvailable(AdaptTaskPaneFactory(factory)); });
}

HRESULT CConnect::SinkPort::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, events_)) {
    *out = static_cast<IDispatch*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT CConnect::SinkPort::GetTypeInfoCount(UINT* count) {
  return owner_->GetTypeInfoCount(count);
}

HRESULT CConnect::SinkPort::GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) {
  return owner_->GetTypeInfo(index, locale, info);
}

HRESULT CConnect::SinkPort::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) {
  return owner_->GetIDsOfNames(iid, names, count, locale, ids);
}

HRESULT CConnect::SinkPort::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) {
  return owner_->Invoke(id, iid, locale, flags, params, result, exception, argumentError);
}

}  // namespace veilmark::com

#include "com/connect.h"

#include <olectl.h>

#include "base/event_sink_win32.h"
#include "base/owner_win32.h"
#include "base/wchar_win32.h"
#include "com/dispatch.h"
#include "com/guard.h"
#include "com/module.h"
#include "resource_ids.h"

namespace veilmark::com {
namespace {

// The button image, loaded once: pictures made from it do not own it, and
// it is freed when the DLL unloads.
HBITMAP SendSecureBitmap(HINSTANCE module) {
  static GdiObject<HBITMAP> bitmap;
  if (!bitmap) {
    bitmap.Reset(static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(IDB_SEND_SECURE),
                                                 IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
  }
  return bitmap.Get();
}

// Messages of the image callback, as the ribbon's own test boxes show them.
constexpr wchar_t kImageCaption[] = L"Test addin";

}  // namespace

const InterfaceEntry<Connect>* Connect::Interfaces() {
  static const InterfaceEntry<Connect> table[] = {
      Entry<Connect, IConnect>(IID_IConnect),
      // Office's late-bound ribbon callbacks come through plain IDispatch.
      Entry<Connect, IRibbonCallback>(IID_IDispatch),
      Entry<Connect, _IDTExtensibility2>(IID__IDTExtensibility2),
      Entry<Connect, IRibbonExtensibility>(IID_IRibbonExtensibility),
      Entry<Connect, IRibbonCallback>(IID_IRibbonCallback),
      // Never reached (the first IDispatch entry answers); kept in map order.
      Entry<Connect, ICustomTaskPaneConsumer>(IID_IDispatch),
      Entry<Connect, ICustomTaskPaneConsumer>(IID_ICustomTaskPaneConsumer),
      {nullptr, nullptr},
  };
  return table;
}

HRESULT Connect::Create(IUnknown* outer, REFIID iid, void** out) {
  return Guarded([&] { return ComObject<Connect>::Create(outer, iid, out); });
}

Connect::~Connect() {
  // Released while hooked (unloaded without shutdown): unhook here, where a
  // failure can still be caught, rather than in the core's destructor.
  VM_LOG_HR(Guarded([&] { return core_.OnDisconnection(); }));
}

std::vector<BoundHandler> Connect::CoreHandlers() {
  // The subscriptions holding these go before this object: the core
  // unadvises everything on disconnection, at the latest in the destructor.
  const EventHandler invoke = [this](DISPID id, DISPPARAMS& params) {
    return Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                  nullptr);
  };
  return {
      {static_cast<outlook::ExplorersEvents*>(&core_), kExplorersEventsIid, invoke},
      {static_cast<outlook::InspectorsEvents*>(&core_), kInspectorsEventsIid, invoke},
      {static_cast<outlook::ApplicationEvents*>(&core_), kApplicationEventsIid, invoke},
  };
}

HRESULT Connect::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT Connect::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
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

HRESULT Connect::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
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

HRESULT Connect::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) {
  // A command or a new window may run a login dialog, during which Outlook
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
      if (VM_TRY_HR(window->QueryInterface(kInspectorIid, inspector.PutVoid()))) {
        VM_LOG_HR(OnNewInspector(window));
      } else {
        VM_LOG_HR(OnNewExplorer(window));
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

HRESULT Connect::OnNewExplorer(IDispatch* window) {
  ComPtr<IDispatch> explorer;
  VM_CHECK_HR(window->QueryInterface(kExplorerIid, explorer.PutVoid()));
  return core_.OnNewExplorer(AdaptExplorer(explorer.Get()));
}

HRESULT Connect::OnNewInspector(IDispatch* window) {
  ComPtr<IDispatch> inspector;
  VM_CHECK_HR(window->QueryInterface(kInspectorIid, inspector.PutVoid()));
  return core_.OnNewInspector(AdaptInspector(inspector.Get()));
}

HRESULT Connect::OnConnection(IDispatch* application, ext_ConnectMode, IDispatch*, SAFEARRAY**) {
  return Guarded([&] {
    ComPtr<IDispatch> app;
    // An object that is not Outlook's application leaves the core without one.
    if (application) VM_LOG_HR(application->QueryInterface(kApplicationIid, app.PutVoid()));
    return core_.OnConnection(AdaptApplication(app.Get(), CoreHandlers()));
  });
}

HRESULT Connect::OnDisconnection(ext_DisconnectMode, SAFEARRAY**) {
  // Unloaded while Outlook runs: release what shutdown would have.
  return Guarded([&] { return core_.OnDisconnection(); });
}

HRESULT Connect::OnAddInsUpdate(SAFEARRAY**) {
  return S_OK;
}

HRESULT Connect::OnStartupComplete(SAFEARRAY**) {
  return Guarded([&] { return core_.OnStartupComplete(); });
}

HRESULT Connect::OnBeginShutdown(SAFEARRAY**) {
  return Guarded([&] { return core_.OnBeginShutdown(); });
}

HRESULT Connect::GetCustomUI(BSTR ribbonId, BSTR* xml) {
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
    if (!result) return E_OUTOFMEMORY;
    *xml = result.Detach();
    return S_OK;
  });
}

HRESULT Connect::OnSecureSendClick(IDispatch* ribbonControl) {
  const ComPtr<IConnect> hold(this);  // as in Invoke
  return Guarded([&] { return core_.OnSecureSendClick(AdaptObject(ribbonControl)); });
}

HRESULT Connect::OnGetImage(IDispatch*, IPictureDisp** image) {
  if (!image) return E_POINTER;
  *image = nullptr;
  HINSTANCE module = ModuleInstance();
  if (!module) return E_UNEXPECTED;
  HBITMAP bitmap = SendSecureBitmap(module);
  if (!bitmap) {
    MessageBoxW(nullptr, L"problem Loadbitmap called", kImageCaption, MB_OK);
    return E_UNEXPECTED;
  }
  PICTDESC description{};
  description.cbSizeofstruct = sizeof description;
  description.picType = PICTYPE_BITMAP;
  description.bmp.hbitmap = bitmap;
  if (!VM_LOG_HR(OleCreatePictureIndirect(&description, IID_IPictureDisp, FALSE,
                                          reinterpret_cast<void**>(image)))) {
    MessageBoxW(nullptr, L"Error in creating picture from bitmap.", kImageCaption, MB_OK);
  }
  return S_OK;
}

HRESULT Connect::CTPFactoryAvailable(IDispatch* factory) {
  return Guarded([&] { return core_.CTPFactoryAvailable(AdaptTaskPaneFactory(factory)); });
}

}  // namespace veilmark::com

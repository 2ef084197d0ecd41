// Connect: the COM object Outlook creates (VeilmarkAddIn.Connect), over the
// portable connection core. It answers the add-in contract, the ribbon and
// the task-pane factory, and serves the core's three Outlook event sets
// (new explorers, new inspectors, the application's) through its own Invoke.
#pragma once

#include <vector>

#include "addin/connect_core.h"
#include "base/com_object_win32.h"
#include "com/guids.h"
#include "com/outlook_adapters.h"

namespace veilmark::com {

class Connect : public IConnect,
                public _IDTExtensibility2,
                public IRibbonExtensibility,
                public IRibbonCallback,
                public ICustomTaskPaneConsumer {
 public:
  static const InterfaceEntry<Connect>* Interfaces();
  static HRESULT Create(IUnknown* outer, REFIID iid, void** out);

  // IDispatch, one for every base: type information of IRibbonCallback,
  // names looked up in each interface's type information.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override;

  // _IDTExtensibility2
  HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode mode,
                                         IDispatch* addInInstance, SAFEARRAY** custom) override;
  HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode mode, SAFEARRAY** custom) override;
  HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) override;
  HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) override;
  HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) override;

  // IRibbonExtensibility
  HRESULT STDMETHODCALLTYPE GetCustomUI(BSTR ribbonId, BSTR* xml) override;

  // IRibbonCallback
  HRESULT STDMETHODCALLTYPE OnSecureSendClick(IDispatch* ribbonControl) override;
  HRESULT STDMETHODCALLTYPE OnGetImage(IDispatch* ribbonControl, IPictureDisp** image) override;

  // ICustomTaskPaneConsumer
  HRESULT STDMETHODCALLTYPE CTPFactoryAvailable(IDispatch* factory) override;

 protected:
  Connect() = default;
  ~Connect();
  Connect(const Connect&) = delete;
  Connect& operator=(const Connect&) = delete;

 private:
  // The core's sinks for those three sets, each served by this object's
  // Invoke: the handlers the application's adapters advise them with.
  std::vector<BoundHandler> CoreHandlers();
  HRESULT OnNewExplorer(IDispatch* window);
  HRESULT OnNewInspector(IDispatch* window);

  ConnectCore core_{PlatformFromEnvironment()};
};

}  // namespace veilmark::com

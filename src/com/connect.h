// CConnect: the COM object Outlook creates (VeilmarkAddIn.Connect), over the
// portable connection core. It answers the add-in contract, the ribbon and
// the task-pane factory, and is the sink of three host event sets, all
// served by one Invoke.
#pragma once

#include "addin/connect_core.h"
#include "com/com_object.h"
#include "com/guids.h"

namespace veilmark::com {

class CConnect : public IConnect,
                 public _IDTExtensibility2,
                 public IRibbonExtensibility,
                 public IRibbonCallback,
                 public ICustomTaskPaneConsumer {
 public:
  static const InterfaceEntry<CConnect>* Interfaces();
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
  CConnect();
  ~CConnect();
  CConnect(const CConnect&) = delete;
  CConnect& operator=(const CConnect&) = delete;

 private:
  // One connection point's sink: its own identity for the source, every
  // call into the connection object's Invoke. Lives as long as the object.
  class SinkPort final : public IDispatch {
   public:
    SinkPort(CConnect* owner, const IID& events) : owner_(owner), events_(events) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

   private:
    CConnect* owner_;
    IID events_;
  };

  // The event handlers of the three sinks.
  HRESULT OnNewExplorer(IDispatch* window);
  HRESULT OnNewInspector(IDispatch* window);

  // Before the core, so that they outlive its last unadvise.
  SinkPort explorersSink_{this, kExplorersEventsIid};
  SinkPort inspectorsSink_{this, kInspectorsEventsIid};
  SinkPort applicationSink_{this, kApplicationEventsIid};
  ConnectCore core_{PlatformFromEnvironment()};
};

}  // namespace veilmark::com

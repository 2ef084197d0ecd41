// The class factory of VeilmarkAddIn.Connect. It lives as long as the DLL
// and holds no module lock of its own; LockServer does.
#pragma once

#include "base/hresult.h"

namespace veilmark::com {

class ConnectFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  // Aggregation as COM allows it: only with IID_IUnknown.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;
};

ConnectFactory& TheConnectFactory();

}  // namespace veilmark::com

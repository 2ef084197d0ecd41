// The class factory of VeilmarkAddIn.Connect: one per DllGetClassObject,
// holding no module lock of its own; LockServer does.
#pragma once

#include "base/com_object_win32.h"

namespace veilmark::com {

class ConnectFactory : public IClassFactory {
 public:
  static constexpr bool kLocksModule = false;
  static const InterfaceEntry<ConnectFactory>* Interfaces();
  static HRESULT Create(REFIID iid, void** out);

  // Aggregation as COM allows it: only with IID_IUnknown.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 protected:
  ConnectFactory() = default;
  virtual ~ConnectFactory() = default;
};

}  // namespace veilmark::com

#include "com/class_factory.h"

#include "com/connect.h"
#include "com/module.h"

namespace veilmark::com {

HRESULT ConnectFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *out = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT ConnectFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  return CConnect::Create(outer, iid, out);
}

HRESULT ConnectFactory::LockServer(BOOL lock) {
  if (lock) {
    LockModule();
  } else {
    UnlockModule();
  }
  return S_OK;
}

ConnectFactory& TheConnectFactory() {
  static ConnectFactory factory;
  return factory;
}

}  // namespace veilmark::com

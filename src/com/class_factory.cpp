#include "com/class_factory.h"

#include "com/connect.h"
#include "com/guard.h"

namespace veilmark::com {

const InterfaceEntry<ConnectFactory>* ConnectFactory::Interfaces() {
  static const InterfaceEntry<ConnectFactory> table[] = {
      Entry<ConnectFactory, IClassFactory>(IID_IClassFactory),
      {nullptr, nullptr},
  };
  return table;
}

HRESULT ConnectFactory::Create(REFIID iid, void** out) {
  return Guarded([&] { return ComObject<ConnectFactory>::Create(nullptr, iid, out); });
}

HRESULT ConnectFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  return Connect::Create(outer, iid, out);
}

HRESULT ConnectFactory::LockServer(BOOL lock) {
  if (lock) {
    LockModule();
  } else {
    UnlockModule();
  }
  return S_OK;
}

}  // namespace veilmark::com

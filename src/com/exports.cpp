// The DLL's entry point and its five exports.
#include "base/com_object_win32.h"
#include "com/class_factory.h"
#include "com/guard.h"
#include "com/guids.h"
#include "com/module.h"
#include "com/registration.h"

using veilmark::com::Guarded;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    veilmark::com::SetModuleInstance(instance);
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllCanUnloadNow() {
  return veilmark::com::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_Connect)) return CLASS_E_CLASSNOTAVAILABLE;
  return veilmark::com::ConnectFactory::Create(iid, out);
}

STDAPI DllRegisterServer() {
  return Guarded([] { return veilmark::com::RegisterServer(); });
}

STDAPI DllUnregisterServer() {
  return Guarded([] { return veilmark::com::UnregisterServer(); });
}

// "user" asks for per-user registration; registration is always per user,
// so the command line changes nothing else.
STDAPI DllInstall(BOOL install, LPCWSTR) {
  if (!install) return DllUnregisterServer();
  const HRESULT registered = DllRegisterServer();
  if (!VM_LOG_HR(registered)) {
    VM_LOG_HR(DllUnregisterServer());  // leave nothing half-made
  }
  return registered;
}

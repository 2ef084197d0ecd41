// Registration of the server, always for the current user: what the scripts
// put under the classes root lands in HKCU\Software\Classes, and the type
// library is registered there too.
#pragma once

#include "util/hresult.h"

namespace veilmark::com {

inline constexpr wchar_t kAppId[] = L"{F9B424D4-51A1-40E0-8EB1-1B9097AF9811}";

// The system calls registration is made of, behind one seam so that tests
// can see their order and fail any one of them.
class RegistrationCalls {
 public:
  virtual ~RegistrationCalls() = default;
  // Until RestoreClassesRoot, HKEY_CLASSES_ROOT of this process is the user's
  // classes key, given in `classes` (made first: a fresh profile lacks it).
  virtual HRESULT OverrideClassesRoot(HKEY& classes) = 0;
  virtual void RestoreClassesRoot() = 0;
  // Lets the type library calls follow the override for a user without
  // elevation; S_FALSE where the system has no such switch.
  virtual HRESULT EnablePerUserTypeLibraries() = 0;
  virtual HRESULT RunScript(int id, bool install, HKEY classes) = 0;
  virtual HRESULT RegisterTypeLibrary() = 0;
  // S_FALSE when this module's type library is not registered.
  virtual HRESULT UnregisterTypeLibrary(HKEY classes) = 0;
};

// The real calls, on this module.
RegistrationCalls& SystemRegistrationCalls();

// A registration that fails part-way removes what it wrote and returns the
// failing HRESULT.
HRESULT RegisterServer(RegistrationCalls& calls);
HRESULT UnregisterServer(RegistrationCalls& calls);

inline HRESULT RegisterServer() {
  return RegisterServer(SystemRegistrationCalls());
}
inline HRESULT UnregisterServer() {
  return UnregisterServer(SystemRegistrationCalls());
}

}  // namespace veilmark::com

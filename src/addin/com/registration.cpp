#include "addin/com/registration.h"

#include <string>

#include "addin/com/com_ptr.h"
#include "addin/com/guids.h"
#include "addin/com/module.h"
#include "addin/com/registry_script.h"
#include "resource_ids.h"
#include "util/text.h"
#include "util/wchar_win32.h"

namespace veilmark::com {
namespace {

// While it lives, HKEY_CLASSES_ROOT of this process is the user's classes
// hive, for the type library's registration. A fresh profile may lack the
// key, so it is created first.
class PerUserClasses {
 public:
  PerUserClasses() {
    const LONG created = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                         KEY_ALL_ACCESS, nullptr, &classes_, nullptr);
    if (created != ERROR_SUCCESS) {
      status_ = HRESULT_FROM_WIN32(static_cast<DWORD>(created));
      classes_ = nullptr;
      return;
    }
    const LONG overridden = RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_);
    status_ =
        overridden == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(overridden));
    overriding_ = overridden == ERROR_SUCCESS;
  }
  ~PerUserClasses() {
    if (overriding_) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    if (classes_) RegCloseKey(classes_);
  }
  PerUserClasses(const PerUserClasses&) = delete;
  PerUserClasses& operator=(const PerUserClasses&) = delete;

  HRESULT status() const { return status_; }
  HKEY key() const { return classes_; }

 private:
  HKEY classes_ = nullptr;
  bool overriding_ = false;
  HRESULT status_ = E_UNEXPECTED;
};

HRESULT RunScript(int id, bool install, HKEY classes) {
  std::string_view bytes;
  VM_CHECK_HR(LoadModuleResource(L"REGISTRY", id, bytes));
  const std::wstring path = ModulePath();
  const Replacements replacements = {
      {u"MODULE", FromWin(path.c_str())},
      {u"APPID", FromWin(kAppId)},
  };
  std::vector<ScriptRoot> script;
  std::string error;
  VM_CHECK_HR(ParseRegistryScript(Utf8ToWide(bytes), replacements, script, error));
  return ApplyRegistryScript(script, install, classes);
}

#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
#endif

}  // namespace

HRESULT RegisterServer() {
  PerUserClasses classes;
  VM_CHECK_HR(classes.status());
  VM_CHECK_HR(RunScript(IDR_MODULE_SCRIPT, true, classes.key()));
  VM_CHECK_HR(RunScript(IDR_CONNECT_SCRIPT, true, classes.key()));
  const std::wstring path = ModulePath();
  ComPtr<ITypeLib> library;
  VM_CHECK_HR(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put()));
  std::wstring registeredPath = path;  // the call wants a writable text
  return RegisterTypeLib(library.Get(), registeredPath.data(), nullptr);
}

HRESULT UnregisterServer() {
  PerUserClasses classes;
  VM_CHECK_HR(classes.status());
  // A library that is not registered is no failure: removing twice is fine.
  static_cast<void>(UnRegisterTypeLib(LIBID_VeilmarkAddInLib, 1, 0, 0x0409, kSysKind));
  VM_CHECK_HR(RunScript(IDR_CONNECT_SCRIPT, false, classes.key()));
  return RunScript(IDR_MODULE_SCRIPT, false, classes.key());
}

}  // namespace veilmark::com

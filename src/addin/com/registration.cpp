#include "addin/com/registration.h"

#include <iterator>
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

#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
// Under the classes root: this bitness's entry of the type library, beside
// the other bitness's under the same library key.
constexpr wchar_t kTypeLibraryEntry[] =
    L"TypeLib\\{24919A8D-2502-49CA-B37B-C348EE6E708C}\\1.0\\409\\win64";
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
constexpr wchar_t kTypeLibraryEntry[] =
    L"TypeLib\\{24919A8D-2502-49CA-B37B-C348EE6E708C}\\1.0\\409\\win32";
#endif

class SystemCalls final : public RegistrationCalls {
 public:
  HRESULT OverrideClassesRoot(HKEY& classes) override {
    RestoreClassesRoot();
    VM_CHECK_HR(FromRegistry(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, classes_.Put(), nullptr)));
    VM_CHECK_HR(FromRegistry(RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_.Get())));
    overriding_ = true;
    classes = classes_.Get();
    return S_OK;
  }

  void RestoreClassesRoot() override {
    if (overriding_) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    overriding_ = false;
    classes_.Reset();
  }

  // Not declared by mingw's headers and missing from older systems and Wine:
  // looked up, never imported, so the DLL loads everywhere.
  HRESULT EnablePerUserTypeLibraries() override {
    const HMODULE automation = GetModuleHandleW(L"oleaut32.dll");
    const FARPROC found =
        automation ? GetProcAddress(automation, "OaEnablePerUserTLibRegistration") : nullptr;
    if (!found) return S_FALSE;
    using Enable = void(WINAPI*)();
    reinterpret_cast<Enable>(reinterpret_cast<void (*)()>(found))();
    return S_OK;
  }

  HRESULT RunScript(int id, bool install, HKEY classes) override {
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

  HRESULT RegisterTypeLibrary() override {
    const std::wstring path = ModulePath();
    ComPtr<ITypeLib> library;
    VM_CHECK_HR(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put()));
    std::wstring registeredPath = path;  // the call wants a writable text
    return RegisterTypeLib(library.Get(), registeredPath.data(), nullptr);
  }

  HRESULT UnregisterTypeLibrary(HKEY classes) override {
    // The system's call fails differently on each system for a library that
    // is not registered; asking first makes removing twice no failure.
    RegKey entry;
    const LONG opened = RegOpenKeyExW(classes, kTypeLibraryEntry, 0, KEY_READ, entry.Put());
    if (opened == ERROR_FILE_NOT_FOUND) return S_FALSE;
    VM_CHECK_HR(FromRegistry(opened));
    return UnRegisterTypeLib(LIBID_VeilmarkAddInLib, 1, 0, 0x0409, kSysKind);
  }

 private:
  RegKey classes_;
  bool overriding_ = false;
};

// While it lives, the classes root is the user's; restored however
// registration ends.
class UserClassesRoot {
 public:
  explicit UserClassesRoot(RegistrationCalls& calls)
      : calls_(calls), status_(calls.OverrideClassesRoot(key_)) {}
  ~UserClassesRoot() { calls_.RestoreClassesRoot(); }
  UserClassesRoot(const UserClassesRoot&) = delete;
  UserClassesRoot& operator=(const UserClassesRoot&) = delete;

  HRESULT status() const { return status_; }
  HKEY key() const { return key_; }

 private:
  RegistrationCalls& calls_;
  HKEY key_ = nullptr;
  HRESULT status_;
};

enum class Step { kModuleScript, kConnectScript, kTypeLibrary };
constexpr Step kSteps[] = {Step::kModuleScript, Step::kConnectScript, Step::kTypeLibrary};

HRESULT Run(RegistrationCalls& calls, Step step, bool install, HKEY classes) {
  switch (step) {
    case Step::kModuleScript:
      return calls.RunScript(IDR_MODULE_SCRIPT, install, classes);
    case Step::kConnectScript:
      return calls.RunScript(IDR_CONNECT_SCRIPT, install, classes);
    case Step::kTypeLibrary:
      return install ? calls.RegisterTypeLibrary() : calls.UnregisterTypeLibrary(classes);
  }
  return E_UNEXPECTED;
}

}  // namespace

RegistrationCalls& SystemRegistrationCalls() {
  static SystemCalls calls;
  return calls;
}

HRESULT RegisterServer(RegistrationCalls& calls) {
  UserClassesRoot classes(calls);
  VM_CHECK_HR(classes.status());
  // Before any type library call: without it a standard user's registration
  // ignores the override and is refused.
  VM_CHECK_HR(calls.EnablePerUserTypeLibraries());
  for (std::size_t done = 0; done < std::size(kSteps); ++done) {
    const HRESULT result = Run(calls, kSteps[done], true, classes.key());
    if (VM_HR_OK(result)) continue;
    // The failed step may have written part of itself: it is undone too, then
    // the steps before it, last first. The first failure is the one reported.
    for (std::size_t undo = done + 1; undo-- > 0;) {
      static_cast<void>(Run(calls, kSteps[undo], false, classes.key()));
    }
    return result;
  }
  return S_OK;
}

HRESULT UnregisterServer(RegistrationCalls& calls) {
  UserClassesRoot classes(calls);
  VM_CHECK_HR(classes.status());
  VM_CHECK_HR(calls.EnablePerUserTypeLibraries());
  for (std::size_t undo = std::size(kSteps); undo-- > 0;) {
    VM_CHECK_HR(Run(calls, kSteps[undo], false, classes.key()));
  }
  return S_OK;
}

}  // namespace veilmark::com

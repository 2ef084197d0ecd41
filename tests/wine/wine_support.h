// What the Wine tests share: the add-in DLL beside the test program, its
// exports, a COM apartment, registry reads and child programs.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "api/api_endpoint.h"
#include "api/server_reply.h"
#include "base/hresult.h"
#include "base/owner_win32.h"

namespace veilmark::wine_tests {

// A GUID nothing here answers to.
inline constexpr GUID kUnusedGuid = {0x11223344, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 8}};

// The full path of VeilmarkAddIn.dll, which the build puts beside the tests.
std::wstring AddinPath();

// The DLL loaded into the test process (the same module COM loads).
class AddinModule {
 public:
  AddinModule();
  ~AddinModule();
  AddinModule(const AddinModule&) = delete;
  AddinModule& operator=(const AddinModule&) = delete;

  HRESULT RegisterServer() const;
  HRESULT UnregisterServer() const;
  HRESULT Install(bool install, const wchar_t* commandLine) const;
  HRESULT CanUnloadNow() const;
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const;
  HMODULE handle() const { return module_.Get(); }

 private:
  FARPROC Export(const char* name) const;
  LibraryHandle module_;
};

class Apartment {
 public:
  Apartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~Apartment() {
    if (VM_TRY_HR(hr_)) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  HRESULT status() const { return hr_; }

 private:
  HRESULT hr_;
};

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0);
// The value as text; none when the key or value is missing or not text.
std::optional<std::wstring> ReadText(HKEY root, const std::wstring& path,
                                     const wchar_t* name = nullptr, REGSAM view = 0);
std::optional<DWORD> ReadNumber(HKEY root, const std::wstring& path, const wchar_t* name);
// Removes the key and all under it.
void DeleteTree(HKEY root, const std::wstring& path, REGSAM view = 0);

// The registry view of this program, and the other one.
#ifdef _WIN64
inline constexpr REGSAM kOwnView = KEY_WOW64_64KEY;
inline constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
inline constexpr REGSAM kOwnView = KEY_WOW64_32KEY;
inline constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

bool UnderWine();

// Wine's oleaut32 also registers a type library's interfaces in the other
// registry view, and writes that copy under HKEY_LOCAL_MACHINE: it applies
// the override of HKEY_CLASSES_ROOT in the program's own view only. (Windows
// writes nothing there for a per-user registration, which a standard user
// could not.) True for that copy alone: under Wine, the add-in's interface
// key in HKEY_LOCAL_MACHINE's classes in `view`, naming its type library.
bool IsWinesInterfaceCopy(const std::wstring& machinePath, REGSAM view);

// Wine's COM looks for classes under the machine's classes only, where
// Windows sees the user's classes merged in. While it lives, this presents
// the add-in's per-user keys to COM as Windows would, by copying them there.
class UserClassesSeenByCom {
 public:
  UserClassesSeenByCom();
  ~UserClassesSeenByCom();
  UserClassesSeenByCom(const UserClassesSeenByCom&) = delete;
  UserClassesSeenByCom& operator=(const UserClassesSeenByCom&) = delete;
};

// Runs a program of the system (regsvr32, ...) and gives its exit code.
DWORD RunProgram(const std::wstring& commandLine);

// The hostile service a suite runs beside (with-hostile-service).
ApiEndpoint HostileEndpoint();
// The reply status's first message, or empty.
std::string FirstMessage(const ServerReply& reply);

}  // namespace veilmark::wine_tests

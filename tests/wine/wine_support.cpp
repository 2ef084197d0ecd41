#include "wine_support.h"

#include <stdexcept>
#include <vector>

namespace veilmark::wine_tests {

std::wstring AddinPath() {
  std::vector<wchar_t> buffer(MAX_PATH * 4);
  const DWORD length =
      GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  std::wstring path(buffer.data(), length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"VeilmarkAddIn.dll";
}

AddinModule::AddinModule() : module_(LoadLibraryW(AddinPath().c_str())) {
  if (!module_) throw std::runtime_error("VeilmarkAddIn.dll does not load");
}

AddinModule::~AddinModule() = default;

namespace {

// Through void (*)(), the one cast between function types the compiler
// accepts silently.
template <class Function>
Function Cast(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

using NoArguments = HRESULT(STDAPICALLTYPE*)();

}  // namespace

FARPROC AddinModule::Export(const char* name) const {
  FARPROC address = GetProcAddress(module_.Get(), name);
  if (!address) throw std::runtime_error(std::string("no export ") + name);
  return address;
}

HRESULT AddinModule::RegisterServer() const {
  return Cast<NoArguments>(Export("DllRegisterServer"))();
}

HRESULT AddinModule::UnregisterServer() const {
  return Cast<NoArguments>(Export("DllUnregisterServer"))();
}

HRESULT AddinModule::Install(bool install, const wchar_t* commandLine) const {
  using Function = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
  return Cast<Function>(Export("DllInstall"))(install, commandLine);
}

HRESULT AddinModule::CanUnloadNow() const {
  return Cast<NoArguments>(Export("DllCanUnloadNow"))();
}

HRESULT AddinModule::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
  using Function = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  return Cast<Function>(Export("DllGetClassObject"))(clsid, iid, out);
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
  RegistryKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Put()) == ERROR_SUCCESS;
}

std::optional<std::wstring> ReadText(HKEY root, const std::wstring& path, const wchar_t* name,
                                     REGSAM view) {
  RegistryKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD bytes = 0;
  std::optional<std::wstring> text;
  if (RegGetValueW(key.Get(), nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) ==
      ERROR_SUCCESS) {
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1);
    if (RegGetValueW(key.Get(), nullptr, name, RRF_RT_REG_SZ, nullptr, buffer.data(), &bytes) ==
        ERROR_SUCCESS) {
      text = std::wstring(buffer.data());
    }
  }
  return text;
}

std::optional<DWORD> ReadNumber(HKEY root, const std::wstring& path, const wchar_t* name) {
  DWORD value = 0;
  DWORD bytes = sizeof value;
  if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &bytes) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

void DeleteTree(HKEY root, const std::wstring& path, REGSAM view) {
  {
    RegistryKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.Put()) != ERROR_SUCCESS) {
      return;
    }
    RegDeleteTreeW(key.Get(), nullptr);
  }
  RegDeleteKeyExW(root, path.c_str(), view, 0);
}

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool IsWinesInterfaceCopy(const std::wstring& machinePath, REGSAM view) {
  const std::wstring interfaceKey =
      L"Software\\Classes\\Interface\\{4CA564D7-4F81-4C2C-9429-6609A57D26A5}";
  return UnderWine() && _wcsicmp(machinePath.c_str(), interfaceKey.c_str()) == 0 &&
         ReadText(HKEY_LOCAL_MACHINE, machinePath + L"\\TypeLib", nullptr, view) ==
             L"{24919A8D-2502-49CA-B37B-C348EE6E708C}";
}

namespace {

const wchar_t* const kAddinClassKeys[] = {
    L"VeilmarkAddIn.Connect",
    L"VeilmarkAddIn.Connect.1",
    L"CLSID\\{1A23B247-C9CF-43F5-A7AE-6B1FF4BDB52A}",
    L"TypeLib\\{24919A8D-2502-49CA-B37B-C348EE6E708C}",
    L"Interface\\{4CA564D7-4F81-4C2C-9429-6609A57D26A5}",
};

}  // namespace

UserClassesSeenByCom::UserClassesSeenByCom() {
  for (const wchar_t* name : kAddinClassKeys) {
    const std::wstring user = std::wstring(L"Software\\Classes\\") + name;
    RegistryKey from;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, user.c_str(), 0, KEY_READ, from.Put()) != ERROR_SUCCESS) {
      throw std::runtime_error("the add-in is not registered for the user");
    }
    RegistryKey to;
    const std::wstring machine = L"Software\\Classes\\" + std::wstring(name);
    const LONG created = RegCreateKeyExW(HKEY_LOCAL_MACHINE, machine.c_str(), 0, nullptr, 0,
                                         KEY_ALL_ACCESS, nullptr, to.Put(), nullptr);
    const LONG copied =
        created == ERROR_SUCCESS ? RegCopyTreeW(from.Get(), nullptr, to.Get()) : created;
    if (copied != ERROR_SUCCESS) throw std::runtime_error("cannot copy the user's classes");
  }
}

UserClassesSeenByCom::~UserClassesSeenByCom() {
  for (const wchar_t* name : kAddinClassKeys) {
    DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + std::wstring(name));
  }
}

DWORD RunProgram(const std::wstring& commandLine) {
  std::wstring line = commandLine;  // CreateProcessW may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    throw std::runtime_error("program does not start");
  }
  const KernelHandle thread(process.hThread);
  const KernelHandle program(process.hProcess);
  if (WaitForSingleObject(program.Get(), 120000) != WAIT_OBJECT_0) {
    throw std::runtime_error("program does not end");
  }
  DWORD code = 0;
  GetExitCodeProcess(program.Get(), &code);
  return code;
}

ApiEndpoint HostileEndpoint() {
  wchar_t port[16] = {};
  const DWORD length = GetEnvironmentVariableW(L"VEILMARK_HOSTILE_PORT", port, 16);
  if (length == 0 || length >= 16) throw std::runtime_error("run under with-hostile-service");
  ApiEndpoint endpoint;
  endpoint.host = u"localhost";
  endpoint.port = static_cast<std::uint16_t>(std::stoi(port));
  return endpoint;
}

std::string FirstMessage(const ServerReply& reply) {
  return reply.status().messages().empty() ? "" : reply.status().messages()[0];
}

}  // namespace veilmark::wine_tests

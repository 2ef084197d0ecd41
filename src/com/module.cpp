#include "com/module.h"

#include <vector>

namespace veilmark::com {
namespace {

HINSTANCE& Instance() {
  static HINSTANCE instance = nullptr;
  return instance;
}

}  // namespace

HINSTANCE ModuleInstance() {
  return Instance();
}

void SetModuleInstance(HINSTANCE instance) {
  Instance() = instance;
}

std::wstring ModulePath() {
  if (!Instance()) return {};
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(Instance(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);  // cut short: try a larger buffer
  }
}

HRESULT LoadModuleResource(const wchar_t* type, int id, std::string_view& bytes) {
  HINSTANCE module = Instance();
  if (!module) return E_UNEXPECTED;
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!found) return HRESULT_FROM_WIN32(GetLastError());
  HGLOBAL loaded = LoadResource(module, found);
  if (!loaded) return HRESULT_FROM_WIN32(GetLastError());
  const void* data = LockResource(loaded);
  const DWORD size = SizeofResource(module, found);
  if (!data || size == 0) return HRESULT_FROM_WIN32(GetLastError());
  bytes = std::string_view(static_cast<const char*>(data), size);
  return S_OK;
}

}  // namespace veilmark::com

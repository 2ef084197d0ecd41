// Registry scripts in the registrar's syntax, as the module's REGISTRY
// resources hold them: root keys, keys marked NoRemove / ForceRemove / Delete,
// default values and `val` named values of type s (text) or d (number),
// and %NAME% replacements.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/hresult.h"

namespace veilmark::com {

struct ScriptValue {
  bool isNumber = false;
  std::u16string text;
  std::uint32_t number = 0;
};

struct ScriptKey {
  enum class Mark { kNone, kNoRemove, kForceRemove, kDelete };
  Mark mark = Mark::kNone;
  std::u16string name;
  std::optional<ScriptValue> value;  // the default value
  std::vector<std::pair<std::u16string, ScriptValue>> values;
  std::vector<ScriptKey> keys;
};

struct ScriptRoot {
  std::u16string name;  // as written: HKCR, HKEY_CURRENT_USER, ...
  std::vector<ScriptKey> keys;
};

using Replacements = std::map<std::u16string, std::u16string>;

// An open registry key, closed when dropped.
class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { Reset(); }
  HKEY Get() const { return key_; }
  // For out-parameters: closes the current key first.
  HKEY* Put() {
    Reset();
    return &key_;
  }
  void Reset() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

// A registry call's result as an HRESULT.
inline HRESULT FromRegistry(LONG result) {
  return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(result));
}

// E_INVALIDARG, with `error` saying where, for text that is not a script or
// names a replacement that is not given.
HRESULT ParseRegistryScript(std::u16string_view text, const Replacements& replacements,
                            std::vector<ScriptRoot>& out, std::string& error);

// Writes (install) or removes (uninstall) what the script describes; HKCR
// stands for `classesRoot`. The registry's error on failure.
HRESULT ApplyRegistryScript(const std::vector<ScriptRoot>& script, bool install, HKEY classesRoot);

}  // namespace veilmark::com

// Owners of Automation's values: BSTR, SAFEARRAY, VARIANT, and the texts an
// EXCEPINFO carries.
#pragma once

#include <oaidl.h>

#include <cstdint>
#include <string>

#include "base/hresult.h"
#include "base/owner.h"

namespace veilmark::com {

class Bstr : public OwnerOf<BSTR, &SysFreeString> {
 public:
  Bstr() = default;
  // Adopts a string the caller owns.
  explicit Bstr(BSTR text) : Owner(text) {}
  // A copy of `text`; holds nothing when out of memory.
  explicit Bstr(const std::u16string& text);
};

std::u16string FromBstr(BSTR text);

struct SafeArrayTraits {
  using Handle = SAFEARRAY*;
  static Handle Empty() { return nullptr; }
  static bool Holds(Handle array) { return array != nullptr; }
  static void Close(Handle array) { VM_LOG_HR(SafeArrayDestroy(array)); }
};
using SafeArray = Owner<SafeArrayTraits>;

class Variant {
 public:
  Variant() { VariantInit(&value_); }
  explicit Variant(IDispatch* object);  // VT_DISPATCH, holding its own reference
  explicit Variant(std::int32_t number);
  explicit Variant(bool flag);
  explicit Variant(const std::u16string& text);
  // Takes the array of VARIANT over.
  explicit Variant(SafeArray array);
  Variant(const Variant& other);
  Variant& operator=(const Variant&) = delete;
  ~Variant() { Clear(); }

  VARIANT* get() { return &value_; }
  const VARIANT& value() const { return value_; }
  // For out-parameters: cleared first.
  VARIANT* Put() {
    Clear();
    return &value_;
  }

 private:
  void Clear() { VM_LOG_HR(VariantClear(&value_)); }

  VARIANT value_;
};

// The EXCEPINFO a failed Invoke fills, its texts freed with it.
class ExceptionInfo {
 public:
  ExceptionInfo() = default;
  ExceptionInfo(const ExceptionInfo&) = delete;
  ExceptionInfo& operator=(const ExceptionInfo&) = delete;
  ~ExceptionInfo() { Clear(); }

  // For Invoke's out-parameter: cleared first.
  EXCEPINFO* Put() {
    Clear();
    return &info_;
  }
  const EXCEPINFO& value() const { return info_; }
  // The failure it describes: its own code, or DISP_E_EXCEPTION for none.
  HRESULT Code();

 private:
  void Clear();

  EXCEPINFO info_{};
};

}  // namespace veilmark::com

// Automation helpers: owned BSTR and VARIANT, the module's type information
// for type-library-driven IDispatch, and late-bound calls by member name.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "com/com_ptr.h"

namespace veilmark::com {

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::u16string& text);
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(value_); }

  BSTR Get() const { return value_; }
  BSTR Detach() { return std::exchange(value_, nullptr); }
  bool Allocated() const { return value_ != nullptr; }

 private:
  BSTR value_ = nullptr;
};

std::u16string FromBstr(BSTR text);

class SafeArray {
 public:
  explicit SafeArray(SAFEARRAY* array) : value_(array) {}
  SafeArray(SafeArray&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  SafeArray(const SafeArray&) = delete;
  SafeArray& operator=(const SafeArray&) = delete;
  ~SafeArray() {
    if (value_) SafeArrayDestroy(value_);
  }

  SAFEARRAY* Get() const { return value_; }
  SAFEARRAY* Detach() { return std::exchange(value_, nullptr); }

 private:
  SAFEARRAY* value_;
};

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
  ~Variant() { VariantClear(&value_); }

  VARIANT* get() { return &value_; }
  const VARIANT& value() const { return value_; }
  // For out-parameters: cleared first.
  VARIANT* Put() {
    VariantClear(&value_);
    return &value_;
  }

 private:
  VARIANT value_;
};

// The object a VARIANT holds (by value or by reference); null for an empty
// or null variant. E_NOINTERFACE when it holds something else.
HRESULT DispatchOf(const VARIANT& value, ComPtr<IDispatch>& out);

// Type information of `iid` from the module's type library `index` (1: the
// add-in's, 2: our declarations of the Office interfaces), loaded once.
HRESULT ModuleTypeInfo(int index, REFIID iid, ComPtr<ITypeInfo>& out);

// Late binding: GetIDsOfNames, then Invoke. `args` in the order written.
HRESULT InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<Variant>& args,
                     VARIANT* result);
HRESULT GetProperty(IDispatch* object, const wchar_t* name, Variant& result);
HRESULT PutProperty(IDispatch* object, const wchar_t* name, Variant value);
HRESULT CallMethod(IDispatch* object, const wchar_t* name, std::vector<Variant> args,
                   Variant* result = nullptr);

}  // namespace veilmark::com

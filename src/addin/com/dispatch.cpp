#include "addin/com/dispatch.h"

#include <map>
#include <new>
#include <tuple>

#include "addin/com/module.h"
#include "util/wchar_win32.h"

namespace veilmark::com {

Bstr::Bstr(const std::u16string& text)
    : value_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                               static_cast<UINT>(text.size()))) {}

std::u16string FromBstr(BSTR text) {
  return text ? FromWin(text, SysStringLen(text)) : std::u16string();
}

Variant::Variant(IDispatch* object) : Variant() {
  value_.vt = VT_DISPATCH;
  value_.pdispVal = object;
  if (object) object->AddRef();
}

Variant::Variant(std::int32_t number) : Variant() {
  value_.vt = VT_I4;
  value_.lVal = number;
}

Variant::Variant(bool flag) : Variant() {
  value_.vt = VT_BOOL;
  value_.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(const std::u16string& text) : Variant() {
  Bstr owned(text);
  if (!owned.Allocated()) throw std::bad_alloc();
  value_.vt = VT_BSTR;
  value_.bstrVal = owned.Detach();
}

Variant::Variant(SafeArray array) : Variant() {
  value_.vt = VT_ARRAY | VT_VARIANT;
  value_.parray = array.Detach();
}

Variant::Variant(const Variant& other) : Variant() {
  if (FAILED(VariantCopy(&value_, const_cast<VARIANT*>(&other.value_)))) throw std::bad_alloc();
}

HRESULT DispatchOf(const VARIANT& value, ComPtr<IDispatch>& out) {
  out.Reset();
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return S_OK;
    case VT_DISPATCH:
      out = ComPtr<IDispatch>(value.pdispVal);
      return S_OK;
    case VT_DISPATCH | VT_BYREF:
      if (value.ppdispVal) out = ComPtr<IDispatch>(*value.ppdispVal);
      return S_OK;
    case VT_UNKNOWN:
      if (!value.punkVal) return S_OK;
      return value.punkVal->QueryInterface(IID_IDispatch, out.PutVoid());
    default:
      return E_NOINTERFACE;
  }
}

HRESULT ModuleTypeInfo(int index, REFIID iid, ComPtr<ITypeInfo>& out) {
  // One apartment thread: a plain cache is enough.
  static std::map<int, ComPtr<ITypeLib>> libraries;
  ComPtr<ITypeLib>& library = libraries[index];
  if (!library) {
    const std::wstring path = ModulePath();
    if (path.empty()) return E_UNEXPECTED;
    const std::wstring resource = path + L"\\" + std::to_wstring(index);
    VM_CHECK_HR(LoadTypeLibEx(resource.c_str(), REGKIND_NONE, library.Put()));
  }
  return library->GetTypeInfoOfGuid(iid, out.Put());
}

namespace {

// The EXCEPINFO of a failed Invoke, its texts freed with it.
struct ExceptionInfo {
  EXCEPINFO info{};
  ExceptionInfo() = default;
  ExceptionInfo(const ExceptionInfo&) = delete;
  ExceptionInfo& operator=(const ExceptionInfo&) = delete;
  ~ExceptionInfo() {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
  HRESULT Code() {
    if (info.pfnDeferredFillIn && FAILED(info.pfnDeferredFillIn(&info))) return DISP_E_EXCEPTION;
    if (FAILED(info.scode)) return info.scode;
    if (info.wCode != 0) return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, info.wCode);
    return DISP_E_EXCEPTION;
  }
};

}  // namespace

HRESULT InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<Variant>& args,
                     VARIANT* result) {
  if (!object) return E_POINTER;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  VM_CHECK_HR(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
  // Automation takes the arguments last to first.
  std::vector<VARIANT> reversed;
  reversed.reserve(args.size());
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->get());
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.cArgs = static_cast<UINT>(reversed.size());
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.cNamedArgs = 1;
    params.rgdispidNamedArgs = &named;
  }
  ExceptionInfo exception;
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                    &exception.info, nullptr);
  // Outlook raises a member's own failure (a missing MAPI property, an item
  // already deleted) as an exception; the caller wants its code.
  return hr == DISP_E_EXCEPTION ? exception.Code() : hr;
}

HRESULT GetProperty(IDispatch* object, const wchar_t* name, Variant& result) {
  std::vector<Variant> none;
  return InvokeByName(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, none, result.Put());
}

HRESULT PutProperty(IDispatch* object, const wchar_t* name, Variant value) {
  std::vector<Variant> args;
  args.push_back(value);
  return InvokeByName(object, name, DISPATCH_PROPERTYPUT, args, nullptr);
}

HRESULT CallMethod(IDispatch* object, const wchar_t* name, std::vector<Variant> args,
                   Variant* result) {
  return InvokeByName(object, name, DISPATCH_METHOD, args, result ? result->Put() : nullptr);
}

}  // namespace veilmark::com

#include "base/automation_win32.h"

#include <new>

#include "base/wchar_win32.h"

namespace veilmark::com {

Bstr::Bstr(const std::u16string& text)
    : Owner(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
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
  if (!owned) throw std::bad_alloc();
  value_.vt = VT_BSTR;
  value_.bstrVal = owned.Detach();
}

Variant::Variant(SafeArray array) : Variant() {
  value_.vt = VT_ARRAY | VT_VARIANT;
  value_.parray = array.Detach();
}

Variant::Variant(const Variant& other) : Variant() {
  if (!VM_LOG_HR(VariantCopy(&value_, const_cast<VARIANT*>(&other.value_)))) {
    throw std::bad_alloc();
  }
}

HRESULT ExceptionInfo::Code() {
  if (info_.pfnDeferredFillIn && !VM_LOG_HR(info_.pfnDeferredFillIn(&info_))) {
    return DISP_E_EXCEPTION;
  }
  if (!VM_TRY_HR(info_.scode)) return info_.scode;
  if (info_.wCode != 0) return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, info_.wCode);
  return DISP_E_EXCEPTION;
}

void ExceptionInfo::Clear() {
  SysFreeString(info_.bstrSource);
  SysFreeString(info_.bstrDescription);
  SysFreeString(info_.bstrHelpFile);
  info_ = EXCEPINFO{};
}

}  // namespace veilmark::com

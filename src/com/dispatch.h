// Automation in the COM server: the module's type information for
// type-library-driven IDispatch, and late-bound calls by member name.
#pragma once

#include <vector>

#include "base/automation_win32.h"
#include "base/com_ptr_win32.h"

namespace veilmark::com {

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

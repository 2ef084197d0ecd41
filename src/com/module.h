// The DLL itself: its instance handle, its path and its resources (its lock
// count is the COM object base's, base/com_object_win32.h).
#pragma once

#include <string>
#include <string_view>

#include "base/hresult.h"

namespace veilmark::com {

HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);
// The DLL's full path; empty when the handle is not known.
std::wstring ModulePath();

// A resource's bytes, valid as long as the module is loaded. E_UNEXPECTED
// without a module handle, otherwise the system's error for a missing one.
HRESULT LoadModuleResource(const wchar_t* type, int id, std::string_view& bytes);

}  // namespace veilmark::com

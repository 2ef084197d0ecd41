// Registration of the server, always for the current user: what the scripts
// put under the classes root lands in HKCU\Software\Classes, and the type
// library is registered there too.
#pragma once

#include "util/hresult.h"

namespace veilmark::com {

inline constexpr wchar_t kAppId[] = L"{F9B424D4-51A1-40E0-8EB1-1B9097AF9811}";

HRESULT RegisterServer();
HRESULT UnregisterServer();

}  // namespace veilmark::com

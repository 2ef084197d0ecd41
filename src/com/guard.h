// Every COM entry point runs its body through Guarded: no exception may
// cross into Outlook, so each one is reported and turned into an HRESULT.
#pragma once

#include <exception>
#include <new>
#include <optional>
#include <string>

#include "base/hresult.h"
#include "base/protocol_exception.h"
#include "base/text.h"
#include "ui/error_box.h"
#include "ui/ui.h"

namespace veilmark::com {

inline constexpr char16_t kUnexpectedError[] = u"Unexpected error in the Veilmark add-in";

// Entry points outside a connection (registration) have no UI of their own;
// the Win32 one holds no state, so a new one is as good.
inline void ShowUnhandled(const std::u16string& message, std::int32_t code = 0,
                          const std::optional<std::u16string>& info = std::nullopt) {
  ShowError(*MakePlatformUi({}), message, code, info);
}

template <class Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const ProtocolException& error) {
    try {
      ShowUnhandled(error.message(), error.code());
    } catch (...) {
    }
    return E_FAIL;
  } catch (const std::exception& error) {
    try {
      ShowUnhandled(kUnexpectedError, 0, Utf8ToWide(error.what()));
    } catch (...) {
    }
    return E_UNEXPECTED;
  } catch (...) {
    try {
      ShowUnhandled(kUnexpectedError);
    } catch (...) {
    }
    return E_UNEXPECTED;
  }
}

}  // namespace veilmark::com

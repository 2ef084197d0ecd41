// Every COM entry point runs its body through Guarded: no exception may
// cross into Outlook, so each one is reported and turned into an HRESULT.
#pragma once

#include <exception>
#include <new>

#include "base/hresult.h"
#include "base/protocol_exception.h"
#include "base/text.h"
#include "ui/error_box.h"

namespace veilmark::com {

inline constexpr char16_t kUnexpectedError[] = u"Unexpected error in the Veilmark add-in";

template <class Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const ProtocolException& error) {
    try {
      ShowError(error.message(), error.code());
    } catch (...) {
    }
    return E_FAIL;
  } catch (const std::exception& error) {
    try {
      ShowError(kUnexpectedError, 0, Utf8ToWide(error.what()));
    } catch (...) {
    }
    return E_UNEXPECTED;
  } catch (...) {
    try {
      ShowError(kUnexpectedError);
    } catch (...) {
    }
    return E_UNEXPECTED;
  }
}

}  // namespace veilmark::com

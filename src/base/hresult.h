// HRESULT, the codes the add-in meets, and the check every Outlook call goes
// through. Windows has them from its own headers; elsewhere they are defined
// here with the same values so the core behaves the same on both.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200u);

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#endif

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace veilmark {

namespace diagnostics {
void RecordHostFailure(std::string_view operation, HRESULT hr);  // diagnostic_log.h
}

// Receives failed checks in debug builds. Unset, a failure is reported the way
// a failed assertion is and aborts; tests that fail Outlook calls on purpose
// install their own.
using HrAssertHandler = void (*)(const char* file, int line, const char* expression);
inline HrAssertHandler hrAssertHandler = nullptr;

inline constexpr char kHrAssertExpression[] = "(((HRESULT)((hr))) >= 0)";

inline void HrAssertFailed(const char* file, int line) {
  if (hrAssertHandler) {
    hrAssertHandler(file, line, kHrAssertExpression);
    return;
  }
  std::fprintf(stderr, "%s:%d: Assertion `%s' failed.\n", file, line, kHrAssertExpression);
  std::abort();
}

// Not for direct use: the body of the checks below. `file` is null in
// release builds, where nothing is asserted.
inline bool HrOkOrRecord(HRESULT hr, std::string_view operation, const char* file, int line) {
  if (SUCCEEDED(hr)) return true;
  diagnostics::RecordHostFailure(operation, hr);
  if (file) HrAssertFailed(file, line);
  return false;
}

}  // namespace veilmark

// The three ways to check an Outlook call's HRESULT.

// Returns a failure from the enclosing function, skipping the rest of it;
// the failure is asserted in debug builds and recorded in the diagnostic log.
// The check after every Outlook call.
#define VM_CHECK_HR(expr)                        \
  do {                                           \
    const HRESULT vmCheckedHr_ = (expr);         \
    if (!VM_LOG_HR_VALUE(vmCheckedHr_, #expr)) { \
      return vmCheckedHr_;                       \
    }                                            \
  } while (false)

// Whether the call succeeded, where a failure is an answer rather than a
// fault (is this item a mail item?): neither asserted nor recorded.
#define VM_TRY_HR(expr) SUCCEEDED(expr)

// Whether the call succeeded, for the few paths that carry on after a
// failure: it is asserted in debug builds and recorded in the diagnostic log.
#define VM_LOG_HR(expr) VM_LOG_HR_VALUE((expr), #expr)

// Not for direct use: the logging half of the checks above.
#ifdef NDEBUG
#define VM_LOG_HR_VALUE(hr, text) ::veilmark::HrOkOrRecord((hr), (text), nullptr, 0)
#else
#define VM_LOG_HR_VALUE(hr, text) ::veilmark::HrOkOrRecord((hr), (text), __FILE__, __LINE__)
#endif

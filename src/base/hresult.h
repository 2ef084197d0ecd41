// HRESULT, the codes the add-in meets, and the check every host call goes
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

namespace veilmark {

// Receives failed checks in debug builds. Unset, a failure is reported the way
// a failed assertion is and aborts; tests that fail host calls on purpose
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

// Not for direct use: the debug half of VM_HR_OK.
inline bool HrOkOrAssert(HRESULT hr, const char* file, int line) {
  if (SUCCEEDED(hr)) return true;
  HrAssertFailed(file, line);
  return false;
}

}  // namespace veilmark

// Whether a host call succeeded; a failure is asserted in debug builds. For
// the few paths that carry on after a failed call.
#ifdef NDEBUG
#define VM_HR_OK(expr) SUCCEEDED(expr)
#else
#define VM_HR_OK(expr) ::veilmark::HrOkOrAssert((expr), __FILE__, __LINE__)
#endif

// The check after every host call: a failure is asserted in debug builds and
// returned from the enclosing function, skipping the rest of it.
#define VM_CHECK_HR(expr)                \
  do {                                   \
    const HRESULT vmCheckedHr_ = (expr); \
    if (!VM_HR_OK(vmCheckedHr_)) {       \
      return vmCheckedHr_;               \
    }                                    \
  } while (false)

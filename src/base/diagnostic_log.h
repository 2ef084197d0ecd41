// An opt-in record of what went wrong, for a user to hand to support: failed
// Outlook calls by operation and HRESULT, and the service's status codes. Off
// by default. Callers pass names and codes only, never session identifiers,
// passwords, addresses or message content.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/hresult.h"

namespace veilmark::diagnostics {

// A file past this size is moved to "<path>.1" (replacing an older one)
// before the next record.
inline constexpr std::uint64_t kRotateBytes = std::uint64_t{1024} * 1024;

// Starts recording to `path`; an empty path stops it.
void Start(std::u16string path);
bool Recording();

void RecordHostFailure(std::string_view operation, HRESULT hr);
void RecordServiceStatus(std::string_view operation, std::string_view status);

// Where the user asked for the log: on Windows the per-user registry value
// HKCU\Software\Veilmark\AddIn\DiagnosticLog (a non-zero DWORD), on Linux the
// environment variable VEILMARK_DIAGNOSTIC_LOG (a non-empty value that is not
// "0"). The file is diagnostic.log in the data folder; empty when off or when
// there is no data folder.
std::u16string RequestedLogPath();

}  // namespace veilmark::diagnostics

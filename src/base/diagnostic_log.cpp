#include "base/diagnostic_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "base/local_files.h"

namespace veilmark::diagnostics {
namespace {

struct Log {
  std::mutex mutex;
  std::u16string path;
};

Log& TheLog() {
  static Log log;
  return log;
}

std::string Timestamp() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

void Write(std::string line) {
  Log& log = TheLog();
  std::lock_guard<std::mutex> lock(log.mutex);
  if (log.path.empty()) return;
  // A log that cannot be written must not disturb the add-in.
  static_cast<void>(AppendToFile(log.path, Timestamp() + " " + line + "\n", kRotateBytes));
}

}  // namespace

void Start(std::u16string path) {
  Log& log = TheLog();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.path = std::move(path);
}

bool Recording() {
  Log& log = TheLog();
  std::lock_guard<std::mutex> lock(log.mutex);
  return !log.path.empty();
}

void RecordHostFailure(std::string_view operation, HRESULT hr) {
  if (!Recording()) return;
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  Write("Outlook call failed: " + std::string(operation) + " " + code);
}

void RecordServiceStatus(std::string_view operation, std::string_view status) {
  if (!Recording()) return;
  Write("service answered " + std::string(operation) + ": " + std::string(status));
}

}  // namespace veilmark::diagnostics

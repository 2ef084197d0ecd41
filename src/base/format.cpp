#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "base/text.h"

namespace veilmark {

std::u16string IntToWide(std::int32_t value) {
  const std::string narrow = IntToNarrow(value);
  return std::u16string(narrow.begin(), narrow.end());
}

std::string IntToNarrow(std::int32_t value) {
  std::ostringstream stream;
  stream << value;
  return stream ? stream.str() : std::string();
}

std::u16string FormatSize(std::uint64_t bytes) {
  static constexpr const char* kUnits[] = {"B", "KB", "MB", "GB", "TB", "PB"};
  constexpr int kLastUnit = 5;
  const double count = static_cast<double>(bytes);
  int unit = 0;
  if (bytes > 0) unit = static_cast<int>(std::floor(std::log(count) / std::log(1024.0)));
  // Past petabytes there is no unit; keep counting in PB rather than invent one.
  if (unit > kLastUnit) unit = kLastUnit;
  const double value = std::floor(count / std::pow(1024.0, unit) + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%.0f%s", value, kUnits[unit]);
  const std::string narrow(text);
  return std::u16string(narrow.begin(), narrow.end());
}

void LowerAscii(std::u16string& text) {
  for (char16_t& unit : text) {
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
  }
}

void LowerAscii(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

}  // namespace veilmark

#include <string>
#include <string_view>

#include "util/text.h"

namespace veilmark {
namespace {

bool PassesUnchanged(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
         (byte >= '0' && byte <= '9') || byte == '-';
}

}  // namespace

bool UrlEncode(std::string_view input, std::size_t capacity, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.clear();
  if (capacity == 0) return false;  // no room even for the terminator
  // `limit` is the last index a byte may be written to, the terminator aside.
  const std::ptrdiff_t limit = static_cast<std::ptrdiff_t>(capacity) - 2;
  out.reserve(capacity);
  for (char c : input) {
    const auto written = static_cast<std::ptrdiff_t>(out.size());
    if (written > limit) break;
    const auto byte = static_cast<unsigned char>(c);
    if (PassesUnchanged(byte)) {
      out.push_back(c);
    } else if (byte == ' ') {
      out.push_back('+');
    } else {
      if (written + 2 > limit) return false;
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0x0F]);
    }
  }
  return true;
}

std::string UrlEncode(std::string_view input) {
  std::string out;
  // Three bytes per input byte plus two always fits, so this cannot fail.
  UrlEncode(input, input.size() * 3 + 2, out);
  return out;
}

}  // namespace veilmark

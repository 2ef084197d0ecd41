#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>

#include "util/checked_size.h"
#include "util/text.h"

namespace veilmark {
namespace {

constexpr bool IsUnreserved(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
         (byte >= '0' && byte <= '9') || byte == '-';
}

// Encoded length of each byte: 1 as it is (or '+' for a space), else 3.
struct WidthTable {
  unsigned char width[256];
  constexpr WidthTable() : width() {
    for (int byte = 0; byte < 256; ++byte) {
      const auto b = static_cast<unsigned char>(byte);
      width[byte] = IsUnreserved(b) || b == ' ' ? 1 : 3;
    }
  }
};
constexpr WidthTable kWidths;

bool PassesUnchanged(unsigned char byte) {
  return IsUnreserved(byte);
}

}  // namespace

bool UrlEncode(std::string_view input, std::size_t capacity, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.clear();
  if (capacity == 0) return false;  // no room even for the terminator
  // `limit` is the last index a byte may be written to, the terminator aside.
  const bool noRoom = capacity < 2;
  const std::size_t limit = noRoom ? 0 : capacity - 2;
  // Three bytes an input byte and the terminator's room, without wrapping.
  CheckedSize needed(input.size());
  needed *= 3;
  needed += 2;
  out.resize(needed.ok() ? std::min(capacity, needed.value()) : capacity);
  char* const begin = out.data();
  char* at = begin;
  for (char c : input) {
    const auto written = static_cast<std::size_t>(at - begin);
    if (noRoom || written > limit) break;
    const auto byte = static_cast<unsigned char>(c);
    if (PassesUnchanged(byte)) {
      *at++ = c;
    } else if (byte == ' ') {
      *at++ = '+';
    } else {
      if (written + 2 > limit) {
        out.clear();
        return false;
      }
      at[0] = '%';
      at[1] = kHex[byte >> 4];
      at[2] = kHex[byte & 0x0F];
      at += 3;
    }
  }
  out.resize(static_cast<std::size_t>(at - begin));
  return true;
}

std::string UrlEncode(std::string_view input) {
  std::string out;
  AppendUrlEncoded(out, input);
  return out;
}

std::size_t UrlEncodedLength(std::string_view input) {
  // At most three times the input: only an input over a third of SIZE_MAX
  // (possible on a 32-bit build) needs the checked sum.
  if (input.size() <= kSizeMax / 3) {
    std::size_t length = 0;
    for (char c : input) length += kWidths.width[static_cast<unsigned char>(c)];
    return length;
  }
  CheckedSize length;
  for (char c : input) length += kWidths.width[static_cast<unsigned char>(c)];
  return length.ok() ? length.value() : kSizeMax;
}

void AppendUrlEncoded(std::string& out, std::string_view input) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::size_t start = out.size();
  const std::size_t length = UrlEncodedLength(input);
  std::size_t total = 0;
  if (length == kSizeMax || !CheckedAdd(start, length, total)) {
    throw std::length_error("URL-encoded text too long");
  }
  out.resize(total);
  char* at = out.data() + start;
  for (char c : input) {
    const auto byte = static_cast<unsigned char>(c);
    if (kWidths.width[byte] == 1) {
      *at++ = byte == ' ' ? '+' : c;
    } else {
      at[0] = '%';
      at[1] = kHex[byte >> 4];
      at[2] = kHex[byte & 0x0F];
      at += 3;
    }
  }
}

}  // namespace veilmark

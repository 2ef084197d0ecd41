#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/checked_size.h"
#include "base/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Each byte as written, in the low three bytes (stored four at a time:
// the fourth is overwritten by what follows), and its width in the top one.
struct EncodingTable {
  std::uint32_t entry[256];
  constexpr EncodingTable() : entry() {
    constexpr char kHex[] = "0123456789ABCDEF";
    for (unsigned byte = 0; byte < 256; ++byte) {
      const auto b = static_cast<unsigned char>(byte);
      if (b == ' ') {
        entry[byte] = '+' | 1u << 24;
      } else if (IsUnreserved(b)) {
        entry[byte] = byte | 1u << 24;
      } else {
        entry[byte] = '%' | static_cast<std::uint32_t>(kHex[byte >> 4]) << 8 |
                      static_cast<std::uint32_t>(kHex[byte & 0x0F]) << 16 | 3u << 24;
      }
    }
  }
};
constexpr EncodingTable kEncodings;

bool PassesUnchanged(unsigned char byte) {
  return IsUnreserved(byte);
}

// Sixteen bytes at a time: bit k of a mask is byte k.
constexpr std::size_t kChunk = 16;
constexpr unsigned kWholeChunk = (1u << kChunk) - 1;

#if defined(__SSE2__)
// x in [lo, lo + span]: the difference, saturated past span, is zero.
inline __m128i InRange(__m128i x, char lo, char span) {
  const __m128i offset = _mm_sub_epi8(x, _mm_set1_epi8(lo));
  return _mm_cmpeq_epi8(_mm_subs_epu8(offset, _mm_set1_epi8(span)), _mm_setzero_si128());
}

inline __m128i Load(const unsigned char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// The bytes written as one byte: unreserved, or a space.
inline unsigned SingleMask(__m128i bytes) {
  const __m128i letters = InRange(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), 'a', 'z' - 'a');
  const __m128i digits = InRange(bytes, '0', 9);
  const __m128i others = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('-')),
                                      _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')));
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(letters, digits), others)));
}

inline unsigned SingleMask(const unsigned char* at) {
  return SingleMask(Load(at));
}

// The chunk as written where every byte is one: spaces turned to '+'.
inline void PutSingles(const unsigned char* at, unsigned char* to) {
  const __m128i bytes = Load(at);
  const __m128i plus =
      _mm_and_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), _mm_set1_epi8(' ' ^ '+'));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_xor_si128(bytes, plus));
}
#else
inline unsigned SingleMask(const unsigned char* at) {
  unsigned mask = 0;
  for (std::size_t k = 0; k < kChunk; ++k) {
    mask |= static_cast<unsigned>(kWidths.width[at[k]] == 1) << k;
  }
  return mask;
}

inline void PutSingles(const unsigned char* at, unsigned char* to) {
  for (std::size_t k = 0; k < kChunk; ++k) to[k] = at[k] == ' ' ? '+' : at[k];
}
#endif

// Bit counting without a library call (no popcnt instruction assumed).
inline unsigned CountOnes(unsigned mask) {
  mask = mask - ((mask >> 1) & 0x55555555u);
  mask = (mask & 0x33333333u) + ((mask >> 2) & 0x33333333u);
  mask = (mask + (mask >> 4)) & 0x0F0F0F0Fu;
  return (mask * 0x01010101u) >> 24;
}

inline unsigned LowestOne(unsigned mask) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctz(mask));
#else
  unsigned index = 0;
  while ((mask & 1) == 0) {
    mask >>= 1;
    ++index;
  }
  return index;
#endif
}

char* PutEscape(char* to, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  to[0] = '%';
  to[1] = kHex[byte >> 4];
  to[2] = kHex[byte & 0x0F];
  return to + 3;
}

char* PutEncoded(char* to, unsigned char byte) {
  if (kWidths.width[byte] == 3) return PutEscape(to, byte);
  *to = byte == ' ' ? '+' : static_cast<char>(byte);
  return to + 1;
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
  const auto* at = reinterpret_cast<const unsigned char*>(input.data());
  const std::size_t n = input.size();
  std::size_t escapes = 0;  // at most n: never wraps
  std::size_t i = 0;
  for (; n - i >= kChunk; i += kChunk) escapes += kChunk - CountOnes(SingleMask(at + i));
  for (; i < n; ++i) escapes += kWidths.width[at[i]] == 3;
  // n + 2 * escapes: over SIZE_MAX only for input past a third of it.
  CheckedSize length(n);
  length += escapes;
  length += escapes;
  return length.ok() ? length.value() : kSizeMax;
}

void AppendUrlEncoded(std::string& out, std::string_view input) {
  const std::size_t start = out.size();
  const std::size_t length = UrlEncodedLength(input);
  std::size_t total = 0;
  if (length == kSizeMax || !CheckedAdd(start, length, total)) {
    throw std::length_error("URL-encoded text too long");
  }
  out.resize(total);
  char* to = out.data() + start;
  char* const last = out.data() + total;
  const auto* at = reinterpret_cast<const unsigned char*>(input.data());
  const std::size_t n = input.size();
  std::size_t i = 0;
  // A chunk of bytes written as one is copied in one step; otherwise the
  // runs between escapes are, each escape from the table. Copies are of a
  // whole chunk, of which only the run counts: the room test keeps them
  // inside the output (a chunk gives at most 48 bytes).
  while (n - i >= kChunk && static_cast<std::size_t>(last - to) >= 4 * kChunk) {
    const unsigned single = SingleMask(at + i);
    if (single == kWholeChunk) {
      PutSingles(at + i, reinterpret_cast<unsigned char*>(to));
      to += kChunk;
      i += kChunk;
      continue;
    }
    const unsigned stops = ~single & kWholeChunk;
    if (CountOnes(stops) <= 2) {
      // Armored text: long runs, each copied whole with its escape after.
      unsigned char padded[2 * kChunk] = {};
      PutSingles(at + i, padded);
      unsigned from = 0;
      for (unsigned left = stops; left != 0; left &= left - 1) {
        const unsigned stop = LowestOne(left);
        std::memcpy(to, padded + from, kChunk);
        to = PutEscape(to + (stop - from), at[i + stop]);
        from = stop + 1;
      }
      std::memcpy(to, padded + from, kChunk);
      to += kChunk - from;
      i += kChunk;
      continue;
    }
    // Escapes every few bytes, as in HTML: no branch per byte. Little-endian
    // stores put the low byte of an entry first.
    for (std::size_t k = 0; k < kChunk; ++k) {
      const std::uint32_t entry = kEncodings.entry[at[i + k]];
      std::memcpy(to, &entry, sizeof entry);
      to += entry >> 24;
    }
    i += kChunk;
  }
  for (; i < n; ++i) to = PutEncoded(to, at[i]);
}

}  // namespace veilmark

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/checked_size.h"
#include "base/text.h"
#include "base/url_encode_paths.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// Byte shuffles where the processor has them, chosen at run time: the
// baseline of x86_64 is SSE2.
#if defined(__SSE2__) && defined(__GNUC__)
#define VEILMARK_SHUFFLE_ENCODER 1
#include <tmmintrin.h>
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

// Bytes are read 64 at a time: bit k of a mask is byte k of the span.
constexpr std::size_t kSpan = 64;
// A span writes at most three bytes a byte; a copy stores up to a span's
// length past what it means to write (and reads as far past the span).
// Below this much room or input, byte by byte.
constexpr std::size_t kSpanRoom = 4 * kSpan;
constexpr std::size_t kSpanInput = 2 * kSpan;

#if defined(__SSE2__)
// x in [lo, lo + count): moved by -lo - 128, the range starts at the lowest
// signed byte, so one signed comparison tests both ends.
inline __m128i InRange(__m128i x, char lo, int count) {
  const __m128i moved = _mm_add_epi8(x, _mm_set1_epi8(static_cast<char>(-128 - lo)));
  return _mm_cmplt_epi8(moved, _mm_set1_epi8(static_cast<char>(-128 + count)));
}

inline __m128i Load(const unsigned char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// 0xFF where a byte passes unchanged: a letter, a digit or '-'.
inline __m128i Unreserved(__m128i bytes) {
  const __m128i letters = InRange(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), 'a', 26);
  const __m128i digits = InRange(bytes, '0', 10);
  return _mm_or_si128(_mm_or_si128(letters, digits), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('-')));
}

inline __m128i Spaces(__m128i bytes) {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '));
}

// Spaces are turned to '+' as the bytes are copied, so only escapes stop a
// copy.
inline std::uint64_t Stops(const unsigned char* at) {
  std::uint64_t stops = 0;
  for (std::size_t k = 0; k < kSpan; k += 16) {
    const __m128i bytes = Load(at + k);
    const __m128i written = _mm_or_si128(Unreserved(bytes), Spaces(bytes));
    stops |= static_cast<std::uint64_t>(~_mm_movemask_epi8(written) & 0xFFFF) << k;
  }
  return stops;
}

// Sixteen bytes copied, spaces as '+'.
inline void Copy16(const unsigned char* at, char* to) {
  const __m128i bytes = Load(at);
  const __m128i plus = _mm_and_si128(Spaces(bytes), _mm_set1_epi8(' ' ^ '+'));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_xor_si128(bytes, plus));
}

std::size_t CountEscapes(const unsigned char* at, std::size_t n, std::size_t& done) {
  // The bytes written as one are counted per lane (a comparison gives -1),
  // the lanes added up before any can overflow.
  std::size_t singles = 0;
  std::size_t i = 0;
  while (n - i >= 16) {
    __m128i counts = _mm_setzero_si128();
    for (int k = 0; k < 255 && n - i >= 16; ++k, i += 16) {
      const __m128i bytes = Load(at + i);
      counts = _mm_sub_epi8(counts, _mm_or_si128(Unreserved(bytes), Spaces(bytes)));
    }
    std::uint64_t halves[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(halves), _mm_sad_epu8(counts, _mm_setzero_si128()));
    singles += static_cast<std::size_t>(halves[0] + halves[1]);
  }
  done = i;
  return i - singles;
}

#if defined(VEILMARK_SHUFFLE_ENCODER)
// Eight bytes with the escapes among them marked (bit j: byte j) are
// written as up to 24 by two shuffles per 16 output bytes: one picks the
// bytes as written (the eight, then '%' in lanes 8 to 15), the other the hex
// digits (lanes 2j and 2j + 1 for byte j). A lane with its top bit set picks
// nothing, so the two are ORed.
struct ShuffleTable {
  struct Entry {
    unsigned char bytes[2][16];
    unsigned char digits[2][16];
  };
  Entry entry[256];
  unsigned char length[256];
  constexpr ShuffleTable() : entry(), length() {
    for (unsigned mask = 0; mask < 256; ++mask) {
      unsigned char bytes[32] = {};
      unsigned char digits[32] = {};
      for (unsigned k = 0; k < 32; ++k) bytes[k] = digits[k] = 0x80;
      unsigned at = 0;
      for (unsigned j = 0; j < 8; ++j) {
        if (mask >> j & 1) {
          bytes[at] = static_cast<unsigned char>(8);
          digits[at + 1] = static_cast<unsigned char>(2 * j);
          digits[at + 2] = static_cast<unsigned char>(2 * j + 1);
          at += 3;
        } else {
          bytes[at] = static_cast<unsigned char>(j);
          at += 1;
        }
      }
      for (unsigned half = 0; half < 2; ++half) {
        for (unsigned k = 0; k < 16; ++k) {
          entry[mask].bytes[half][k] = bytes[16 * half + k];
          entry[mask].digits[half][k] = digits[16 * half + k];
        }
      }
      length[mask] = static_cast<unsigned char>(at);
    }
  }
};
constexpr ShuffleTable kShuffles;

__attribute__((target("ssse3"))) inline char* PutEight(char* to, __m128i bytes, __m128i digits,
                                                       unsigned mask) {
  const ShuffleTable::Entry& entry = kShuffles.entry[mask];
  for (std::ptrdiff_t half = 0; half < 2; ++half) {
    const __m128i picked = _mm_or_si128(_mm_shuffle_epi8(bytes, Load(entry.bytes[half])),
                                        _mm_shuffle_epi8(digits, Load(entry.digits[half])));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16 * half), picked);
  }
  return to + kShuffles.length[mask];
}

// A span where escapes come every few bytes, without a branch on them:
// writes up to 16 bytes past its output.
__attribute__((target("ssse3"))) char* PutDenseSpan(const unsigned char* span,
                                                    std::uint64_t escapes, char* to) {
  const __m128i hex =
      _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i percent = _mm_set1_epi8('%');
  for (std::size_t k = 0; k < kSpan; k += 16) {
    const __m128i raw = Load(span + k);
    const __m128i written =
        _mm_xor_si128(raw, _mm_and_si128(Spaces(raw), _mm_set1_epi8(' ' ^ '+')));
    const __m128i high = _mm_shuffle_epi8(hex, _mm_and_si128(_mm_srli_epi16(raw, 4), nibble));
    const __m128i low = _mm_shuffle_epi8(hex, _mm_and_si128(raw, nibble));
    to = PutEight(to, _mm_unpacklo_epi64(written, percent), _mm_unpacklo_epi8(high, low),
                  static_cast<unsigned>(escapes >> k & 0xFF));
    to = PutEight(to, _mm_unpackhi_epi64(written, percent), _mm_unpackhi_epi8(high, low),
                  static_cast<unsigned>(escapes >> (k + 8) & 0xFF));
  }
  return to;
}

bool HasShuffles() {
  return __builtin_cpu_supports("ssse3");
}
#endif
#else
// Without vector registers a space is one more stop, written from the table.
inline std::uint64_t Stops(const unsigned char* at) {
  std::uint64_t stops = 0;
  for (std::size_t k = 0; k < kSpan; ++k) {
    stops |= static_cast<std::uint64_t>(!IsUnreserved(at[k])) << k;
  }
  return stops;
}

inline void Copy16(const unsigned char* at, char* to) {
  std::memcpy(to, at, 16);
}

std::size_t CountEscapes(const unsigned char*, std::size_t, std::size_t& done) {
  done = 0;
  return 0;
}
#endif

inline unsigned LowestOne(std::uint64_t mask) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctzll(mask));
#else
  unsigned index = 0;
  while ((mask & 1) == 0) {
    mask >>= 1;
    ++index;
  }
  return index;
#endif
}

// A run of plain bytes as long as the span's rest, in stores of 16: where
// escapes are few, four stores cost less than a branch on the run's length
// that the processor cannot guess.
inline void CopyRest(const unsigned char* at, char* to) {
  for (std::size_t k = 0; k < kSpan; k += 16) Copy16(at + k, to + k);
}

// `count` plain bytes in steps of 16: up to 15 written past them.
inline void CopyRun(const unsigned char* at, char* to, std::size_t count) {
  Copy16(at, to);
  for (std::size_t k = 16; k < count; k += 16) Copy16(at + k, to + k);
}

// At most four stops: the lowest four bits cleared leave none.
inline bool FewStops(std::uint64_t stops) {
  for (int k = 0; k < 4; ++k) stops &= stops - 1;
  return stops == 0;
}

// One byte's encoding in one store of four: the fourth byte is overwritten
// by what follows. Little-endian stores put the low byte of an entry first.
inline char* PutFromTable(char* to, unsigned char byte) {
  const std::uint32_t entry = kEncodings.entry[byte];
  std::memcpy(to, &entry, sizeof entry);
  return to + (entry >> 24);
}

char* PutEncoded(char* to, unsigned char byte) {
  const std::uint32_t entry = kEncodings.entry[byte];
  const unsigned width = entry >> 24;
  for (unsigned k = 0; k < width; ++k) to[k] = static_cast<char>(entry >> (8 * k));
  return to + width;
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
    if (IsUnreserved(byte)) {
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
  std::size_t i = 0;
  std::size_t escapes = CountEscapes(at, n, i);  // at most n: never wraps
  for (; i < n; ++i) escapes += kWidths.width[at[i]] == 3;
  // n + 2 * escapes: over SIZE_MAX only for input past a third of it.
  CheckedSize length(n);
  length += escapes;
  length += escapes;
  return length.ok() ? length.value() : kSizeMax;
}

namespace {

void AppendEncoded(std::string& out, std::string_view input, [[maybe_unused]] bool shuffles) {
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
  // Each run of plain bytes up to the next escape is copied in one step,
  // each escape is one store from the table.
  while (n - i >= kSpanInput && static_cast<std::size_t>(last - to) >= kSpanRoom) {
    const unsigned char* const span = at + i;
    std::uint64_t stops = Stops(span);
    std::size_t from = 0;
    if (FewStops(stops)) {
      for (; stops != 0; stops &= stops - 1) {
        const std::size_t stop = LowestOne(stops);
        CopyRest(span + from, to);
        to = PutFromTable(to + (stop - from), span[stop]);
        from = stop + 1;
      }
      CopyRest(span + from, to);
#if defined(VEILMARK_SHUFFLE_ENCODER)
    } else if (shuffles) {
      to = PutDenseSpan(span, stops, to);
      i += kSpan;
      continue;
#endif
    } else {
      for (; stops != 0; stops &= stops - 1) {
        const std::size_t stop = LowestOne(stops);
        CopyRun(span + from, to, stop - from);
        to = PutFromTable(to + (stop - from), span[stop]);
        from = stop + 1;
      }
      if (from < kSpan) CopyRun(span + from, to, kSpan - from);
    }
    to += kSpan - from;
    i += kSpan;
  }
  for (; i < n && static_cast<std::size_t>(last - to) >= 4; ++i) to = PutFromTable(to, at[i]);
  for (; i < n; ++i) to = PutEncoded(to, at[i]);
}

}  // namespace

void AppendUrlEncoded(std::string& out, std::string_view input) {
#if defined(VEILMARK_SHUFFLE_ENCODER)
  static const bool kCanShuffle = HasShuffles();
  AppendEncoded(out, input, kCanShuffle);
#else
  AppendEncoded(out, input, false);
#endif
}

void AppendUrlEncodedWithoutShuffles(std::string& out, std::string_view input) {
  AppendEncoded(out, input, false);
}

}  // namespace veilmark

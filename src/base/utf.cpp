#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace veilmark {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Mail text is mostly ASCII: a block with no high bit set is copied as it
// is, a character at a time only where a multi-byte sequence starts.
constexpr std::size_t kBlock = 16;

#if defined(__SSE2__)
// Widens 16 ASCII bytes to `to`; false (nothing written) when one is not.
bool WidenAscii(const unsigned char* at, char16_t* to) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  if (_mm_movemask_epi8(bytes) != 0) return false;
  const __m128i zero = _mm_setzero_si128();
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_unpacklo_epi8(bytes, zero));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 8), _mm_unpackhi_epi8(bytes, zero));
  return true;
}

// Narrows 16 units below 0x80 to `to`; false (nothing written) when one is not.
bool NarrowAscii(const char16_t* at, char* to) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 8));
  const __m128i notAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i any = _mm_and_si128(_mm_or_si128(low, high), notAscii);
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(any, _mm_setzero_si128())) != 0xFFFF) return false;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(low, high));
  return true;
}
#else
constexpr std::uint64_t kHighBytes = 0x8080808080808080u;
constexpr std::uint64_t kHighUnits = 0xFF80FF80FF80FF80u;

bool WidenAscii(const unsigned char* at, char16_t* to) {
  std::uint64_t a, b;
  std::memcpy(&a, at, 8);
  std::memcpy(&b, at + 8, 8);
  if (((a | b) & kHighBytes) != 0) return false;
  for (std::size_t k = 0; k < kBlock; ++k) to[k] = at[k];
  return true;
}

bool NarrowAscii(const char16_t* at, char* to) {
  std::uint64_t words[4];
  std::memcpy(words, at, sizeof words);
  if (((words[0] | words[1] | words[2] | words[3]) & kHighUnits) != 0) return false;
  for (std::size_t k = 0; k < kBlock; ++k) to[k] = static_cast<char>(at[k]);
  return true;
}
#endif

char* PutUtf8(char* at, std::uint32_t cp) {
  if (cp < 0x800) {
    at[0] = static_cast<char>(0xC0 | (cp >> 6));
    at[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return at + 2;
  }
  if (cp < 0x10000) {
    at[0] = static_cast<char>(0xE0 | (cp >> 12));
    at[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    at[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return at + 3;
  }
  at[0] = static_cast<char>(0xF0 | (cp >> 18));
  at[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  at[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  at[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return at + 4;
}

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

}  // namespace

std::string WideToUtf8(std::u16string_view wide) {
  // Sized for all-ASCII; grown only when a unit needs more than one byte.
  // Invariant: the room left holds one byte per unit not yet read.
  std::string out(wide.size(), '\0');
  char* at = out.data();
  const char16_t* in = wide.data();
  const char16_t* const end = in + wide.size();
  while (in != end) {
    while (static_cast<std::size_t>(end - in) >= kBlock && NarrowAscii(in, at)) {
      at += kBlock;
      in += kBlock;
    }
    if (in == end) break;
    const std::uint32_t unit = *in;
    if (unit < 0x80) {
      *at++ = static_cast<char>(unit);
      ++in;
      continue;
    }
    std::uint32_t cp = kReplacement;  // a lone surrogate unless paired below
    std::size_t read = 1;
    if (unit < 0xD800 || unit > 0xDFFF) {
      cp = unit;
    } else if (unit <= 0xDBFF && end - in > 1 && in[1] >= 0xDC00 && in[1] <= 0xDFFF) {
      cp = 0x10000 + ((unit - 0xD800) << 10) + (in[1] - 0xDC00);
      read = 2;
    }
    in += read;
    const std::size_t used = static_cast<std::size_t>(at - out.data());
    const std::size_t needed = used + 4 + static_cast<std::size_t>(end - in);
    if (needed > out.size()) {
      out.resize(needed + (needed - used) / 2);  // amortized over the text left
      at = out.data() + used;
    }
    at = PutUtf8(at, cp);
  }
  out.resize(static_cast<std::size_t>(at - out.data()));
  return out;
}

// Decodes with "maximal subpart" replacement: a truncated or invalid sequence
// yields one U+FFFD for the bytes that could still have started a valid one.
std::u16string Utf8ToWide(std::string_view utf8) {
  std::u16string out(utf8.size(), u'\0');  // never more units than bytes
  char16_t* at = out.data();
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  std::size_t i = 0;
  while (i < n) {
    while (n - i >= kBlock && WidenAscii(bytes + i, at)) {
      at += kBlock;
      i += kBlock;
    }
    if (i == n) break;
    unsigned char lead = bytes[i];
    if (lead < 0x80) {
      *at++ = lead;
      ++i;
      continue;
    }
    std::size_t need = 0;
    std::uint32_t cp = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      need = 1;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      need = 2;
      cp = lead & 0x0F;
      if (lead == 0xE0) lo = 0xA0;
      if (lead == 0xED) hi = 0x9F;  // no encoded surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      need = 3;
      cp = lead & 0x07;
      if (lead == 0xF0) lo = 0x90;
      if (lead == 0xF4) hi = 0x8F;
    } else {
      *at++ = kReplacement;
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool ok = true;
    for (std::size_t k = 0; k < need; ++k, ++j) {
      if (j >= n) {
        ok = false;
        break;
      }
      unsigned char b = bytes[j];
      bool in_range = k == 0 ? (b >= lo && b <= hi) : IsContinuation(b);
      if (!in_range) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (b & 0x3F);
    }
    if (!ok) {
      *at++ = kReplacement;
      i = j;  // resume at the byte that broke the sequence
      continue;
    }
    // A four-byte sequence gives two units: never more units than bytes.
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *at++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *at++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *at++ = static_cast<char16_t>(cp);
    }
    i = j;
  }
  out.resize(static_cast<std::size_t>(at - out.data()));
  return out;
}

}  // namespace veilmark

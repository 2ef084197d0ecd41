// Text helpers shared by every layer: UTF-8/UTF-16 conversion, form encoding,
// number and size formatting, ASCII lower-casing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace veilmark {

// Ill-formed input never fails: each bad sequence becomes U+FFFD, as the
// Windows converters do with flags 0.
std::string WideToUtf8(std::u16string_view wide);
std::u16string Utf8ToWide(std::string_view utf8);

// Form-URL-encodes bytes. `capacity` is the output size a caller would give a
// C buffer: room for the escapes plus a terminator. Letters, digits and '-'
// pass; a space becomes '+'; every other byte, zero included, is "%XX".
// Plain bytes that no longer fit are dropped silently; an escape that no
// longer fits fails the call (returns false, `out` unusable).
bool UrlEncode(std::string_view input, std::size_t capacity, std::string& out);

// The whole input encoded; cannot fail or cut.
std::string UrlEncode(std::string_view input);
// The same, appended to `out` (std::length_error rather than a wrapped size);
// and its length, so callers can reserve: SIZE_MAX when it does not fit in
// size_t (a 32-bit build given over a third of its address space).
void AppendUrlEncoded(std::string& out, std::string_view input);
std::size_t UrlEncodedLength(std::string_view input);

std::u16string IntToWide(std::int32_t value);
std::string IntToNarrow(std::int32_t value);

// Whole units of 1024, rounded half up: "0B", "1023B", "2KB", "1024KB", "5GB".
std::u16string FormatSize(std::uint64_t bytes);

void LowerAscii(std::u16string& text);
void LowerAscii(std::string& text);

}  // namespace veilmark

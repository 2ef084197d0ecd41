// The header rule never reads outside the text and agrees with a plain
// restatement of it on every input.
#include "base/text.h"
#include "fuzz_support.h"
#include "read/protected_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string headers = WideFromBytes(data, size);
  const bool found = veilmark::DeclaresPgpMime(headers);
  std::u16string lower = headers;
  veilmark::LowerAscii(lower);
  // Recognised exactly when the first "protocol=" is followed by one
  // character (the opening quote), the type, one more (the closing quote) and
  // then the first ";".
  const std::size_t at = lower.find(u"protocol=");
  const std::size_t semicolon = at == std::u16string::npos ? at : lower.find(u';', at);
  const bool expected = semicolon != std::u16string::npos && semicolon == at + 36 &&
                        lower.compare(at + 10, 25, u"application/pgp-encrypted") == 0;
  FUZZ_CHECK(found == expected);
  return 0;
}

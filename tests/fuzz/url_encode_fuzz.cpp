// The whole form of any bytes decodes back to them and uses only the
// unreserved characters, '+' and upper-case escapes, on every path of the
// encoder alike; a small capacity never writes past its end.
#include <string>

#include "base/text.h"
#include "base/url_encode_paths.h"
#include "fuzz_support.h"

namespace {

int HexValue(char c) {
  return c <= '9' ? c - '0' : c - 'A' + 10;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string encoded = veilmark::UrlEncode(input);
  std::string decoded;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const char c = encoded[i];
    if (c == '+') {
      decoded += ' ';
    } else if (c == '%') {
      FUZZ_CHECK(i + 2 < encoded.size());
      const char hi = encoded[i + 1], lo = encoded[i + 2];
      FUZZ_CHECK(((hi >= '0' && hi <= '9') || (hi >= 'A' && hi <= 'F')) &&
                 ((lo >= '0' && lo <= '9') || (lo >= 'A' && lo <= 'F')));
      decoded += static_cast<char>(HexValue(hi) * 16 + HexValue(lo));
      i += 2;
    } else {
      FUZZ_CHECK((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '-');
      decoded += c;
    }
  }
  FUZZ_CHECK(decoded == input);
  std::string unshuffled;
  veilmark::AppendUrlEncodedWithoutShuffles(unshuffled, input);
  FUZZ_CHECK(unshuffled == encoded);

  const std::size_t capacity = size ? data[0] % 16 : 0;
  std::string cut;
  if (veilmark::UrlEncode(input, capacity, cut)) FUZZ_CHECK(cut.size() + 1 <= capacity);
  return 0;
}

// Conversions never fail: valid text round-trips, everything else becomes
// U+FFFD, and the output is always well formed.
#include <string>

#include "base/text.h"
#include "fuzz_support.h"

namespace {

bool WellFormedUtf16(const std::u16string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string wide = veilmark::Utf8ToWide(bytes);
  FUZZ_CHECK(WellFormedUtf16(wide));
  const std::string back = veilmark::WideToUtf8(wide);
  // Decoding what we encoded is lossless, whatever the first input was.
  FUZZ_CHECK(veilmark::Utf8ToWide(back) == wide);
  if (wide.find(u'\uFFFD') == std::u16string::npos) FUZZ_CHECK(back == bytes);

  const std::u16string units = WideFromBytes(data, size);
  const std::string utf8 = veilmark::WideToUtf8(units);
  const std::u16string again = veilmark::Utf8ToWide(utf8);
  if (WellFormedUtf16(units)) FUZZ_CHECK(again == units);
  FUZZ_CHECK(WellFormedUtf16(again) && again.size() <= units.size());
  return 0;
}

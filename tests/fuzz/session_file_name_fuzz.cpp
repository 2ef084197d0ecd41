// Any account text names one plain file inside the data folder: valid UTF-8,
// at most 255 bytes, none of the characters a Windows name cannot hold, no
// trailing dot or space; and a name that was not shortened gives the account
// back when its escapes are undone.
#include <string>

#include "base/text.h"
#include "fuzz_support.h"
#include "login/session_store.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool HasLoneSurrogate(const std::u16string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (text[i] >= 0xD800 && text[i] <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string account = WideFromBytes(data, size);
  const std::u16string wide = veilmark::SessionFileNamePart(account);
  const std::string part = veilmark::WideToUtf8(wide);
  FUZZ_CHECK(veilmark::Utf8ToWide(part) == wide);  // whole characters only
  const std::string name = "session_" + part + ".dat";
  FUZZ_CHECK(name.size() <= 255);
  FUZZ_CHECK(wide.size() <= 200);
  for (char c : part) {
    const auto byte = static_cast<unsigned char>(c);
    FUZZ_CHECK(byte >= 0x20);
    for (char bad : std::string("\\/:*?\"<>|")) FUZZ_CHECK(c != bad);
  }
  FUZZ_CHECK(part.empty() || (part.back() != '.' && part.back() != ' '));
  // Deterministic, so a restart finds the same file.
  FUZZ_CHECK(veilmark::SessionFileNamePart(account) == wide);

  // A shortened name ends with '~' and 16 lowercase hex digits; any other
  // name must undo to the account.
  bool looksShortened = part.size() >= 17 && part.size() <= 197 && part[part.size() - 17] == '~';
  for (std::size_t i = part.size() - (looksShortened ? 16 : 0); i < part.size(); ++i) {
    looksShortened = looksShortened &&
                     ((part[i] >= '0' && part[i] <= '9') || (part[i] >= 'a' && part[i] <= 'f'));
  }
  if (!looksShortened) {
    std::string undone;
    for (std::size_t i = 0; i < part.size(); ++i) {
      if (part[i] == '%') {
        FUZZ_CHECK(i + 2 < part.size());
        const int high = HexValue(part[i + 1]);
        const int low = HexValue(part[i + 2]);
        FUZZ_CHECK(high >= 0 && low >= 0);
        undone += static_cast<char>(high * 16 + low);
        i += 2;
      } else {
        undone += part[i];
      }
    }
    if (!HasLoneSurrogate(account)) FUZZ_CHECK(undone == veilmark::WideToUtf8(account));
  }
  return 0;
}

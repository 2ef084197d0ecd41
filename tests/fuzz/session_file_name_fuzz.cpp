// Any account text names one plain file inside the data folder.
#include <string>

#include "fuzz_support.h"
#include "login/session_store.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string account = WideFromBytes(data, size);
  const std::string part = veilmark::WideToUtf8(veilmark::SessionFileNamePart(account));
  const std::string name = "session_" + part + ".dat";
  FUZZ_CHECK(name.size() <= 255);
  for (char c : part) {
    FUZZ_CHECK((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '@' || c == '.' || c == '_' || c == '+' || c == '-' || c == '%' || c == '~');
  }
  // Deterministic, so a restart finds the same file.
  FUZZ_CHECK(veilmark::SessionFileNamePart(account) == veilmark::SessionFileNamePart(account));
  return 0;
}

// No attachment field can open a tag or an attribute: every markup
// character of the view comes from the sanitized clear text or the fixed
// template.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "read/decrypted_view.h"

namespace {

std::size_t Count(const std::u16string& text, char16_t c) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // Split the input into the clear text and the attachments' fields at 0xFF bytes.
  std::vector<std::u16string> pieces(1);
  for (std::size_t i = 1; i + 1 < size; i += 2) {
    if (data[i] == 0xFF && data[i + 1] == 0xFF) {
      pieces.emplace_back();
    } else {
      pieces.back().push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
  }
  std::vector<veilmark::VeilmarkDecryptedAtt> attachments;
  for (std::size_t i = 1; i + 2 < pieces.size() && attachments.size() < 8; i += 3) {
    attachments.push_back({pieces[i], pieces[i + 1], pieces[i + 2],
                           static_cast<std::int64_t>(data[0]) << (data[0] % 40),
                           data[0] % 2 ? "image/png" : "application/pdf"});
  }
  const std::u16string& clear = pieces[0];
  const std::u16string view = veilmark::ComposeDecryptedView(clear, attachments, u"vault.example");
  if (attachments.empty()) return 0;
  std::vector<veilmark::VeilmarkDecryptedAtt> blank(attachments.size());
  for (std::size_t i = 0; i < blank.size(); ++i) blank[i].contentType = attachments[i].contentType;
  const std::u16string reference = veilmark::ComposeDecryptedView(clear, blank, u"vault.example");
  for (char16_t markup : {u'<', u'>', u'"', u'\''}) {
    FUZZ_CHECK(Count(view, markup) == Count(reference, markup));
  }
  return 0;
}

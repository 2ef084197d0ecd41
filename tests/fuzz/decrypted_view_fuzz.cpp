// No attachment field can open a tag or an attribute: every markup
// character of the view comes from the sanitized clear text or the fixed
// template.
#include <algorithm>
#include <string>
#include <vector>

#include "api/api_endpoint.h"
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
  // The same blocks with plain fields: a link where the url is a path, a
  // thumbnail where the preview is one, and nothing of the sender's text.
  std::vector<veilmark::VeilmarkDecryptedAtt> blank(attachments.size());
  for (std::size_t i = 0; i < blank.size(); ++i) {
    const veilmark::VeilmarkDecryptedAtt& att = attachments[i];
    blank[i].contentType = att.contentType;
    blank[i].url = veilmark::IsServicePath(att.url) ? u"/" : u"";
    const std::u16string& preview = att.previewUrl.empty() ? att.url : att.previewUrl;
    blank[i].previewUrl = veilmark::IsServicePath(preview) ? u"/" : u"";
  }
  // No link leaves the service: in the blocks alone, every href and src is
  // the origin followed by a path (one '/', not two).
  const std::u16string blocks = veilmark::ComposeDecryptedView(u"", attachments, u"vault.example");
  const std::u16string origin = u"\"https://vault.example/";
  for (const std::u16string attribute : {u"href=", u"src="}) {
    for (std::size_t at = blocks.find(attribute); at != std::u16string::npos;
         at = blocks.find(attribute, at + 1)) {
      FUZZ_CHECK(blocks.compare(at + attribute.size(), origin.size(), origin) == 0);
      const std::size_t next = at + attribute.size() + origin.size();
      FUZZ_CHECK(next >= blocks.size() || blocks[next] != u'/');
    }
  }
  const std::u16string reference = veilmark::ComposeDecryptedView(clear, blank, u"vault.example");
  for (char16_t markup : {u'<', u'>', u'"', u'\''}) {
    FUZZ_CHECK(Count(view, markup) == Count(reference, markup));
  }
  return 0;
}

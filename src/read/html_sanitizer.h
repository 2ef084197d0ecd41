// Mail HTML comes from whoever wrote the message. It is parsed by a real HTML
// parser and a new fragment is written from an allowlist, so that nothing in
// the pane can run, submit, load from elsewhere or restyle the page around it.
#pragma once

#include <string>
#include <string_view>

namespace veilmark {

struct SanitizedHtml {
  // A body fragment: every element and attribute allowlisted, every text and
  // attribute value escaped, every attribute double-quoted.
  std::u16string html;
  // An image pointed outside `imageOrigin`; its element was kept without it.
  bool blockedRemoteImages = false;
};

// `imageOrigin` ("https://host[:port]", the service's own) is where images may
// load from; inline data: images of the common raster types are kept too.
SanitizedHtml SanitizeHtml(std::u16string_view html, std::u16string_view imageOrigin);

}  // namespace veilmark

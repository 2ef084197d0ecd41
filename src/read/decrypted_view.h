// The HTML shown for a decrypted message: its clear text, sanitized, then one
// block per attachment linking to the copy the service keeps.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "api/server_reply.h"

namespace veilmark {

inline constexpr char16_t kPaneTitle[] = u"Secure message contents";
inline constexpr char16_t kRemoteImagesBlocked[] = u"Remote images in this message were blocked.";

// `apiHost` ("host[:port]") is the service's: attachment links and the only
// images the clear text may load point there.
std::u16string ComposeDecryptedView(const std::u16string& clearText,
                                    const std::vector<VeilmarkDecryptedAtt>& attachments,
                                    const std::u16string& apiHost);

// True for a path on the service: exactly one leading '/'. Only such an
// attachment "url" or "previewUrl" is put behind https:// and the API host;
// anything else ("@evil.example/x", ".evil.example/x", "//evil.example/x")
// would move the link off the service, so that block shows the name and size
// with the generic image and no link.
bool IsServicePath(std::u16string_view url);

// Text safe inside an element or a quoted attribute.
std::u16string EscapeHtml(const std::u16string& text);

}  // namespace veilmark

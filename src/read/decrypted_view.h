// The HTML shown for a decrypted message: its clear text, sanitized, then one
// block per attachment linking to the copy the service keeps.
#pragma once

#include <string>
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

// Text safe inside an element or a quoted attribute.
std::u16string EscapeHtml(const std::u16string& text);

}  // namespace veilmark

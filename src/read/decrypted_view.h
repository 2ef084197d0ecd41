// The HTML shown for a decrypted message: its clear text, then one block per
// attachment linking to the copy the service keeps.
#pragma once

#include <string>
#include <vector>

#include "api/server_reply.h"

namespace veilmark {

inline constexpr char16_t kPaneTitle[] = u"Secure message contents";

std::u16string ComposeDecryptedView(const std::u16string& clearText,
                                    const std::vector<VeilmarkDecryptedAtt>& attachments);

// Text safe inside an element or a quoted attribute.
std::u16string EscapeHtml(const std::u16string& text);

}  // namespace veilmark

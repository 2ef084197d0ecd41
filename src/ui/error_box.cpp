#include "ui/error_box.h"

#include <cstdio>

#include "ui/ui.h"

namespace veilmark {
std::u16string ErrorBoxText(const std::u16string& message, std::int32_t code,
                            const std::optional<std::u16string>& additionalInfo) {
  std::u16string text = message;
  if (code != 0) {
    char hex[9];
    // Negative codes (HRESULTs) show as their 32-bit two's complement.
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(static_cast<std::uint32_t>(code)));
    text += u"\nError code: ";
    for (const char* p = hex; *p; ++p) text += static_cast<char16_t>(*p);
  }
  if (additionalInfo) {
    text += u"\nAdditional info: ";
    text += *additionalInfo;
  }
  return text;
}

void ShowError(Ui& ui, const std::u16string& message, std::int32_t code,
               const std::optional<std::u16string>& additionalInfo) {
  ui.ShowMessage(kMessageCaption, ErrorBoxText(message, code, additionalInfo));
}

}  // namespace veilmark

// Everything the user is told goes through this one box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace veilmark {

// The message, then "\nError code: <hex>" when `code` is not 0, then
// "\nAdditional info: <info>" when info is given (even empty).
std::u16string ErrorBoxText(const std::u16string& message, std::int32_t code,
                            const std::optional<std::u16string>& additionalInfo);

class Ui;

void ShowError(Ui& ui, const std::u16string& message, std::int32_t code = 0,
               const std::optional<std::u16string>& additionalInfo = std::nullopt);

}  // namespace veilmark

// The service's images: the CAPTCHA picture and the generic attachment icon,
// drawn here and written as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veilmark::service {

// Letters and digits that cannot be mistaken for one another (no 0/O, 1/I).
inline constexpr std::string_view kCaptchaAlphabet = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";

// A PNG file of 8-bit samples: `channels` 1 (grey) or 4 (RGBA), rows top down.
std::string EncodePng(std::uint32_t width, std::uint32_t height, int channels,
                      const std::vector<std::uint8_t>& samples);

// `text` in large glyphs over noise; characters outside the alphabet stay blank.
// `seed` drives the jitter and the noise only.
std::string RenderCaptchaPng(std::string_view text, std::uint32_t seed);

// A 32x32 page with a folded corner, for attachments that are not images.
const std::string& AttachmentIconPng();

}  // namespace veilmark::service

// The PNG files the service draws, read back with libpng.
#include "images.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <vector>

namespace veilmark::service {
namespace {

struct Decoded {
  bool ok = false;
  png_uint_32 width = 0, height = 0;
  std::vector<png_byte> grey;  // one byte per pixel
};

Decoded Decode(const std::string& png) {
  Decoded decoded;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return decoded;
  image.format = PNG_FORMAT_GRAY;
  decoded.width = image.width;
  decoded.height = image.height;
  decoded.grey.resize(PNG_IMAGE_SIZE(image));
  png_color background{255, 255, 255};
  decoded.ok = png_image_finish_read(&image, &background, decoded.grey.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return decoded;
}

// Columns that hold a dark pixel, as runs: one run per glyph when they stand apart.
int DarkColumnRuns(const Decoded& image) {
  int runs = 0;
  bool inRun = false;
  for (png_uint_32 x = 0; x < image.width; ++x) {
    int dark = 0;
    for (png_uint_32 y = 0; y < image.height; ++y) dark += image.grey[y * image.width + x] < 90;
    const bool isDark = dark >= 5;  // a glyph column, not a stray stroke
    if (isDark && !inRun) ++runs;
    inRun = isDark;
  }
  return runs;
}

TEST(EncodePngTest, RoundTripsGreyAndRefusesMismatchedSizes) {
  std::vector<std::uint8_t> pixels(7 * 3);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 12);
  const Decoded decoded = Decode(EncodePng(7, 3, 1, pixels));
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.width, 7u);
  EXPECT_EQ(decoded.height, 3u);
  EXPECT_EQ(decoded.grey, std::vector<png_byte>(pixels.begin(), pixels.end()));
  EXPECT_THROW(EncodePng(7, 3, 1, std::vector<std::uint8_t>(20)), std::invalid_argument);
  EXPECT_THROW(EncodePng(1, 1, 3, std::vector<std::uint8_t>(3)), std::invalid_argument);
}

TEST(CaptchaTest, DrawsOneDarkGlyphPerCharacter) {
  for (const char* text : {"AB3", "HKMNW", "QRS2Z9"}) {
    const Decoded image = Decode(RenderCaptchaPng(text, 7));
    ASSERT_TRUE(image.ok) << text;
    EXPECT_EQ(image.height, 56u);
    EXPECT_GT(image.width, 30u * std::char_traits<char>::length(text));
    EXPECT_EQ(DarkColumnRuns(image), static_cast<int>(std::char_traits<char>::length(text)))
        << text;
  }
  // Characters outside the alphabet (easily confused ones) are not drawn.
  EXPECT_EQ(DarkColumnRuns(Decode(RenderCaptchaPng("A0O1I", 3))), 1);
}

TEST(CaptchaTest, DifferentTextsGiveDifferentPictures) {
  const Decoded a = Decode(RenderCaptchaPng("ABCDE", 1));
  const Decoded b = Decode(RenderCaptchaPng("ABCDF", 1));
  ASSERT_TRUE(a.ok && b.ok);
  EXPECT_NE(a.grey, b.grey);
}

TEST(AttachmentIconTest, IsA32PixelImageWithTransparency) {
  const std::string& icon = AttachmentIconPng();
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, icon.data(), icon.size()));
  EXPECT_EQ(image.width, 32u);
  EXPECT_EQ(image.height, 32u);
  EXPECT_TRUE(image.format & PNG_FORMAT_FLAG_ALPHA);
  image.format = PNG_FORMAT_RGBA;
  std::vector<png_byte> rgba(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
  EXPECT_EQ(rgba[3], 0) << "the corner is transparent";
  EXPECT_EQ(rgba[(16 * 32 + 16) * 4 + 3], 255) << "the page is opaque";
}

}  // namespace
}  // namespace veilmark::service

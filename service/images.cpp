#include "images.h"

#include <zlib.h>

#include <array>
#include <random>
#include <stdexcept>

namespace veilmark::service {
namespace {

// 5x7 glyphs, one byte per row, bit 4 the leftmost column; in alphabet order.
constexpr std::array<std::array<std::uint8_t, 7>, 32> kGlyphs = {{
    {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},  // A
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E},  // B
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E},  // C
    {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C},  // D
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F},  // E
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10},  // F
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F},  // G
    {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},  // H
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C},  // J
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11},  // K
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F},  // L
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11},  // M
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11},  // N
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10},  // P
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D},  // Q
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11},  // R
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E},  // S
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},  // T
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // U
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04},  // V
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A},  // W
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11},  // X
    {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04},  // Y
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F},  // Z
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},  // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},  // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},  // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},  // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},  // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 9
}};
static_assert(kGlyphs.size() == kCaptchaAlphabet.size());

constexpr int kScale = 5;
constexpr int kCell = 32;
constexpr int kMargin = 8;
constexpr int kHeight = 56;

void PutUint32(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value >> 24));
  out.push_back(static_cast<char>(value >> 16));
  out.push_back(static_cast<char>(value >> 8));
  out.push_back(static_cast<char>(value));
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutUint32(out, static_cast<std::uint32_t>(data.size()));
  const std::string typed = std::string(type, 4) + data;
  out += typed;
  const uLong crc =
      crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
  PutUint32(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::string EncodePng(std::uint32_t width, std::uint32_t height, int channels,
                      const std::vector<std::uint8_t>& samples) {
  if ((channels != 1 && channels != 4) || width == 0 || height == 0 ||
      samples.size() != static_cast<std::size_t>(width) * height * channels) {
    throw std::invalid_argument("EncodePng: samples do not match the size");
  }
  // Filter type 0 (none) in front of every row.
  const std::size_t rowBytes = static_cast<std::size_t>(width) * channels;
  std::string raw;
  raw.reserve((rowBytes + 1) * height);
  for (std::uint32_t y = 0; y < height; ++y) {
    raw.push_back('\0');
    raw.append(reinterpret_cast<const char*>(samples.data()) + y * rowBytes, rowBytes);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    throw std::runtime_error("EncodePng: zlib failed");
  }
  packed.resize(packedSize);

  std::string header;
  PutUint32(header, width);
  PutUint32(header, height);
  header.push_back(8);                      // bit depth
  header.push_back(channels == 1 ? 0 : 6);  // grey, or RGB with alpha
  header.append(3, '\0');                   // deflate, adaptive filters, no interlace

  std::string png("\x89PNG\r\n\x1a\n", 8);
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", "");
  return png;
}

std::string RenderCaptchaPng(std::string_view text, std::uint32_t seed) {
  std::mt19937 random(seed);
  const int width = 2 * kMargin + kCell * static_cast<int>(text.size());
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * kHeight);
  for (auto& pixel : pixels) pixel = static_cast<std::uint8_t>(215 + random() % 40);
  auto set = [&](int x, int y, std::uint8_t shade) {
    if (x >= 0 && x < width && y >= 0 && y < kHeight) {
      pixels[static_cast<std::size_t>(y) * width + x] = shade;
    }
  };

  // Two thin strokes under the text: they cross it without cutting glyphs.
  for (int line = 0; line < 2; ++line) {
    double y = 10 + random() % (kHeight - 20);
    const double slope = (static_cast<int>(random() % 21) - 10) / 40.0;
    for (int x = 0; x < width; ++x, y += slope) set(x, static_cast<int>(y), 110);
  }
  std::uniform_int_distribution<int> jitter(-4, 4);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t glyph = kCaptchaAlphabet.find(text[i]);
    if (glyph == std::string_view::npos) continue;
    const int left = kMargin + static_cast<int>(i) * kCell + 3 + jitter(random) / 2;
    const int top = (kHeight - 7 * kScale) / 2 + jitter(random);
    const auto shade = static_cast<std::uint8_t>(20 + random() % 60);
    for (int row = 0; row < 7; ++row) {
      for (int column = 0; column < 5; ++column) {
        if (!(kGlyphs[glyph][row] & (0x10 >> column))) continue;
        for (int dy = 0; dy < kScale; ++dy) {
          for (int dx = 0; dx < kScale; ++dx) {
            set(left + column * kScale + dx, top + row * kScale + dy, shade);
          }
        }
      }
    }
  }
  return EncodePng(static_cast<std::uint32_t>(width), kHeight, 1, pixels);
}

const std::string& AttachmentIconPng() {
  static const std::string icon = [] {
    constexpr int kSize = 32;
    std::vector<std::uint8_t> rgba(kSize * kSize * 4, 0);  // transparent
    auto paint = [&](int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
      std::uint8_t* pixel = &rgba[(static_cast<std::size_t>(y) * kSize + x) * 4];
      pixel[0] = r;
      pixel[1] = g;
      pixel[2] = b;
      pixel[3] = 255;
    };
    constexpr int kLeft = 6, kRight = 25, kTop = 2, kBottom = 29, kFold = 7;
    for (int y = kTop; y <= kBottom; ++y) {
      for (int x = kLeft; x <= kRight; ++x) {
        const int intoCorner = x - (kRight - kFold) - (y - kTop);
        if (intoCorner > 0) continue;  // cut off by the fold
        const bool edge = x == kLeft || y == kBottom || y == kTop || x == kRight || intoCorner == 0;
        if (edge) {
          paint(x, y, 70, 80, 95);
        } else {
          paint(x, y, 255, 255, 255);
        }
      }
    }
    for (int i = 0; i <= kFold; ++i) {  // the folded flap
      paint(kRight - kFold, kTop + i, 70, 80, 95);
      paint(kRight - kFold + i, kTop + kFold, 70, 80, 95);
    }
    for (int y = 13; y <= 25; y += 3) {
      for (int x = kLeft + 3; x <= kRight - 3; ++x) paint(x, y, 120, 150, 200);
    }
    return EncodePng(kSize, kSize, 4, rgba);
  }();
  return icon;
}

}  // namespace veilmark::service

#include "base/text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

#include "base/url_encode_paths.h"

namespace veilmark {
namespace {

using namespace std::string_literals;

TEST(Utf8Conversion, EmptyInputGivesEmptyOutput) {
  EXPECT_EQ(WideToUtf8(u""), "");
  EXPECT_EQ(Utf8ToWide(""), u"");
}

TEST(Utf8Conversion, ZeroBytesConvertLikeAnyOtherCharacter) {
  const std::u16string wide = Utf8ToWide("A\0B"s);
  ASSERT_EQ(wide.size(), 3u);
  EXPECT_EQ(wide, u"A\0B"s);
  EXPECT_EQ(WideToUtf8(wide), "A\0B"s);
}

TEST(Utf8Conversion, EncodesEveryLength) {
  EXPECT_EQ(WideToUtf8(u"\u00e9"), "\xC3\xA9");
  EXPECT_EQ(WideToUtf8(u"\u20ac"), "\xE2\x82\xAC");
  EXPECT_EQ(WideToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Utf8ToWide("\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"), u"Иван");
}

TEST(Utf8Conversion, LoneSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(WideToUtf8(u"\xD800"s), "\xEF\xBF\xBD");
  EXPECT_EQ(WideToUtf8(u"a\xDC00z"s), "a\xEF\xBF\xBDz");
  // A high surrogate followed by another high one: both are lone.
  EXPECT_EQ(WideToUtf8(u"\xD800\xD801"s), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Utf8Conversion, IllFormedUtf8IsReplacedNotRejected) {
  EXPECT_EQ(Utf8ToWide("a\xFF"
                       "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToWide("\xC3"), u"\uFFFD");  // cut short at the end
  EXPECT_EQ(Utf8ToWide("\xE2\x82"
                       "A"),
            u"\uFFFDA");                                         // one mark for the maximal subpart
  EXPECT_EQ(Utf8ToWide("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf8ToWide("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // past U+10FFFF
  EXPECT_EQ(Utf8ToWide("\x80"), u"\uFFFD");
}

TEST(Utf8Conversion, ValidTextRoundTrips) {
  const std::u16string text = u"Grüße, Иван, 東京, \U0001F512 and \u0000 end"s;
  EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
}

TEST(UrlEncode, LettersDigitsAndHyphenPassSpaceBecomesPlus) {
  EXPECT_EQ(UrlEncode("Ab-9 z"), "Ab-9+z");
}

TEST(UrlEncode, EscapesEverythingElseInUpperCaseHex) {
  EXPECT_EQ(UrlEncode("a.b"), "a%2Eb");
  EXPECT_EQ(UrlEncode("._~*&=+/@"), "%2E%5F%7E%2A%26%3D%2B%2F%40");
  EXPECT_EQ(UrlEncode("\xC3\xA9"), "%C3%A9");
  EXPECT_EQ(UrlEncode("\xFF\x80"), "%FF%80");
}

TEST(UrlEncode, ZeroBytesAreEncodedNotTheEnd) {
  EXPECT_EQ(UrlEncode("a\0b"s), "a%00b");
  EXPECT_EQ(UrlEncode("\0"s), "%00");
}

TEST(UrlEncode, CapacityCutsPlainBytesAndFailsOnAnEscape) {
  std::string out;
  ASSERT_TRUE(UrlEncode("a.b", 5, out));
  EXPECT_EQ(out, "a%2E");  // the b found no room and was dropped
  EXPECT_FALSE(UrlEncode("a.", 4, out));
  ASSERT_TRUE(UrlEncode("abcdef", 4, out));
  EXPECT_EQ(out, "abc");  // never more than capacity - 1 bytes
  EXPECT_FALSE(UrlEncode("a", 0, out));
  ASSERT_TRUE(UrlEncode("", 1, out));
  EXPECT_EQ(out, "");
}

TEST(UrlEncode, WholeFormNeverCutsPunctuationOrNonAscii) {
  const std::string punctuation(1000, '.');
  EXPECT_EQ(UrlEncode(punctuation).size(), 3000u);
  std::string letters;
  for (int i = 0; i < 200; ++i) letters += "\xE4\xB8\x9C";
  EXPECT_EQ(UrlEncode(letters).size(), letters.size() * 3);
}

// The converters and the encoder copy plain runs in blocks and fall back a
// character at a time: every case below is tried at each offset within a
// block and next to a block's end, in plain ASCII, so that a sequence split
// across the boundary or a block wrongly taken as plain shows.
std::string Around(std::size_t offset, const std::string& middle) {
  return std::string(offset, 'a') + middle + std::string(40, 'z');
}

TEST(TextAtBlockEdges, Utf8ToWideDecodesAndReplacesAtEveryOffset) {
  struct Case {
    std::string utf8;
    std::u16string wide;
  };
  const Case cases[] = {
      {"\xC3\xA9", u"\u00e9"},
      {"\xE2\x82\xAC", u"\u20ac"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xE2\x82", u"\uFFFD"},                  // cut short before plain text
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"\xFF", u"\uFFFD"},
      {"\x7F\x80", u"\x7F\uFFFD"},  // the last ASCII byte, then a lone tail
  };
  for (const Case& c : cases) {
    for (std::size_t offset = 0; offset < 34; ++offset) {
      const std::u16string expected =
          std::u16string(offset, u'a') + c.wide + std::u16string(40, u'z');
      EXPECT_EQ(Utf8ToWide(Around(offset, c.utf8)), expected) << "offset " << offset;
    }
  }
}

TEST(TextAtBlockEdges, Utf8ToWideEndsOnACutSequenceAfterPlainBlocks) {
  const std::string text = std::string(32, 'a') + "\xF0\x9F\x98";
  EXPECT_EQ(Utf8ToWide(text), std::u16string(32, u'a') + u"\uFFFD");
}

TEST(TextAtBlockEdges, WideToUtf8EncodesAndReplacesAtEveryOffset) {
  struct Case {
    std::u16string wide;
    std::string utf8;
  };
  const Case cases[] = {
      {u"\u00e9", "\xC3\xA9"},
      {u"\u0080", "\xC2\x80"},  // the first unit past ASCII
      {u"\uFFFF", "\xEF\xBF\xBF"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {u"\xD800"s, "\xEF\xBF\xBD"},  // lone high surrogate before plain text
      {u"\xDC00\xD800"s, "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    for (std::size_t offset = 0; offset < 34; ++offset) {
      const std::u16string wide = std::u16string(offset, u'a') + c.wide + std::u16string(40, u'z');
      EXPECT_EQ(WideToUtf8(wide), Around(offset, c.utf8)) << "offset " << offset;
    }
  }
}

TEST(TextAtBlockEdges, WideToUtf8GrowsForTextThatWidens) {
  // Three bytes a unit throughout, and a surrogate pair as the very last units.
  const std::u16string wide = std::u16string(1000, u'\u6771') + u"\U0001F512";
  const std::string utf8 = WideToUtf8(wide);
  ASSERT_EQ(utf8.size(), 3004u);
  EXPECT_EQ(utf8.substr(2997, 3), "\xE6\x9D\xB1");
  EXPECT_EQ(utf8.substr(3000), "\xF0\x9F\x94\x92");
  EXPECT_EQ(Utf8ToWide(utf8), wide);
}

TEST(TextAtBlockEdges, UrlEncodeEscapesEveryByteAtEveryOffset) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const bool plain =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    std::string expected = plain ? std::string(1, c) : c == ' ' ? "+" : "%";
    if (!plain && c != ' ') expected += {kHex[byte >> 4], kHex[byte & 15]};
    for (std::size_t offset : {0u, 7u, 15u, 16u, 17u, 31u, 63u, 64u, 65u, 127u, 128u, 150u}) {
      EXPECT_EQ(UrlEncode(Around(offset, std::string(1, c))), Around(offset, expected))
          << "byte " << byte << " at " << offset;
    }
  }
}

TEST(TextAtBlockEdges, UrlEncodeOfDenseAndSparseEscapesMatchesItsLength) {
  // Armored lines (an escape every few dozen bytes), HTML (every few), and
  // nothing but escapes, long enough to cross many blocks.
  std::string armored, html, escapes;
  for (int i = 0; i < 300; ++i) {
    armored += "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNk+/ZWZnaGlqa2xtbm9wcXJzdHV2\n";
    html += "<p style=\"color:#333\">Dear <b>reader</b> &amp; caf\xC3\xA9.</p>";
    escapes += "<>&\"";
  }
  for (const std::string* text : {&armored, &html, &escapes}) {
    const std::string encoded = UrlEncode(*text);
    EXPECT_EQ(encoded.size(), UrlEncodedLength(*text));
    std::string prefixed = "x=";
    AppendUrlEncoded(prefixed, *text);
    EXPECT_EQ(prefixed, "x=" + encoded);
  }
  EXPECT_EQ(UrlEncode(armored).substr(0, 48), "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNk%2B%2FZW");
  EXPECT_EQ(UrlEncode(html).substr(0, 40), "%3Cp+style%3D%22color%3A%23333%22%3EDear");
  EXPECT_EQ(UrlEncode(escapes).substr(0, 12), "%3C%3E%26%22");
}

// The form encoding a byte at a time, as it is defined: the encoder's spans,
// shuffles and tails must give the very same bytes.
std::string EncodeByteByByte(std::string_view input) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : input) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-') {
      out += c;
    } else if (c == ' ') {
      out += '+';
    } else {
      out += {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return out;
}

void ExpectEncodedAsByteByByte(const std::string& text, const std::string& what) {
  const std::string expected = EncodeByteByByte(text);
  EXPECT_EQ(UrlEncode(text), expected) << what;
  EXPECT_EQ(UrlEncodedLength(text), expected.size()) << what;
  std::string appended = "k=";
  AppendUrlEncoded(appended, text);
  EXPECT_EQ(appended, "k=" + expected) << what;
  std::string unshuffled = "k=";
  AppendUrlEncodedWithoutShuffles(unshuffled, text);
  EXPECT_EQ(unshuffled, "k=" + expected) << what << ", without shuffles";
}

TEST(TextAtBlockEdges, UrlEncodeMatchesByteByByteOnRandomTextOfEveryDensity) {
  // From no escapes to nothing else, in lengths across several spans and
  // every tail; armored lines and HTML among them.
  std::string everyByte;
  for (int byte = 0; byte < 256; ++byte) everyByte += static_cast<char>(byte);
  const std::string alphabets[] = {
      "abcXYZ019-",
      "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ+/\n",
      "abc <p class=\"x\">&amp;</p>",
      "a b",
      "%/+&",
      everyByte,
  };
  std::mt19937 random(19);
  for (const std::string& alphabet : alphabets) {
    for (int round = 0; round < 60; ++round) {
      const std::size_t size = round < 40 ? random() % 400 : random() % 5000;
      std::string text;
      for (std::size_t i = 0; i < size; ++i) text += alphabet[random() % alphabet.size()];
      ExpectEncodedAsByteByByte(text, "alphabet of " + std::to_string(alphabet.size()));
    }
  }
}

TEST(TextAtBlockEdges, UrlEncodeMatchesByteByByteWithAnOddByteAtEveryPosition) {
  // One escape (or space) in plain text, and one plain byte among escapes, at
  // every position of texts up to past three spans: each run's first and last
  // byte, each block's and span's edge, and the switch to the tail.
  for (std::size_t size = 1; size <= 200; ++size) {
    for (std::size_t at = 0; at < size; ++at) {
      for (char odd : {'/', ' ', '\xFF'}) {
        std::string plain(size, 'q');
        plain[at] = odd;
        ExpectEncodedAsByteByByte(plain,
                                  "size " + std::to_string(size) + " at " + std::to_string(at));
      }
      std::string escapes(size, '<');
      escapes[at] = 'Z';
      ExpectEncodedAsByteByByte(
          escapes, "escapes, size " + std::to_string(size) + " at " + std::to_string(at));
      if (HasFailure()) return;
    }
  }
}

TEST(IntToText, DecimalWithSign) {
  EXPECT_EQ(IntToWide(-42), u"-42");
  EXPECT_EQ(IntToNarrow(0), "0");
  EXPECT_EQ(IntToNarrow(2147483647), "2147483647");
  EXPECT_EQ(IntToNarrow(-2147483647 - 1), "-2147483648");
}

TEST(FormatSize, RoundsHalfUpWithinTheUnit) {
  EXPECT_EQ(FormatSize(0), u"0B");
  EXPECT_EQ(FormatSize(1), u"1B");
  EXPECT_EQ(FormatSize(1023), u"1023B");
  EXPECT_EQ(FormatSize(1024), u"1KB");
  EXPECT_EQ(FormatSize(1535), u"1KB");
  EXPECT_EQ(FormatSize(1536), u"2KB");
  EXPECT_EQ(FormatSize(1024ULL * 1024 - 1), u"1024KB");
  EXPECT_EQ(FormatSize(1024ULL * 1024), u"1MB");
  EXPECT_EQ(FormatSize(1024ULL * 1024 * 1024), u"1GB");
  EXPECT_EQ(FormatSize(5ULL * 1024 * 1024 * 1024), u"5GB");
}

TEST(FormatSize, BeyondPetabytesStaysInPetabytes) {
  EXPECT_EQ(FormatSize(1ULL << 60), u"1024PB");
  EXPECT_EQ(FormatSize(~0ULL), u"16384PB");
}

TEST(LowerAscii, OnlyAsciiLettersChange) {
  std::u16string wide = u"ÄBc@X.ORG";
  LowerAscii(wide);
  EXPECT_EQ(wide, u"Äbc@x.org");
  std::string narrow = "MiXeD \xC3\x84";
  LowerAscii(narrow);
  EXPECT_EQ(narrow, "mixed \xC3\x84");
}

}  // namespace
}  // namespace veilmark

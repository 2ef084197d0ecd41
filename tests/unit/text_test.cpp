#include "base/text.h"

#include <gtest/gtest.h>

#include <string>

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

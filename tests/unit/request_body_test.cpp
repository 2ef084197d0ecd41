#include <gtest/gtest.h>

#include <string>

#include "api/api_client.h"

namespace veilmark {
namespace {

using namespace std::string_literals;

TEST(FormBody, NoParametersIsJustJsonTrue) {
  EXPECT_EQ(BuildFormBody({}, {}), "json=true");
}

TEST(FormBody, TextBeforeBytesEachInNameOrderEmptiesLeftOut) {
  const std::string body = BuildFormBody({{"body", u"Hi there"}, {"cc", u""}, {"Zed", u"z"}},
                                         {{"sessionId", "s1"}, {"attachment", "1,2"}, {"x", ""}});
  EXPECT_EQ(body, "Zed=z&body=Hi+there&attachment=1%2C2&sessionId=s1&json=true");
}

TEST(FormBody, TextIsSentAsUtf8BytesAreSentAsTheyAre) {
  EXPECT_EQ(BuildFormBody({{"email", u"é@x.org"}}, {{"cipherText", "\xC3\xA9\0!"s}}),
            "email=%C3%A9%40x%2Eorg&cipherText=%C3%A9%00%21&json=true");
}

TEST(Multipart, BoundaryIsTheFixedPrefixAndTheTime) {
  EXPECT_EQ(MakeBoundary(1700000000), "---------------------veilmark1700000000");
  EXPECT_EQ(MakeBoundary(1700000000).size(), 39u);
}

TEST(Multipart, BoundaryNeverAppearsAsADelimiterInTheFile) {
  const std::string plain = MakeBoundary(1700000000);
  EXPECT_EQ(MakeBoundary(1700000000, "data"), plain);
  EXPECT_EQ(MakeBoundary(1700000000, "x" + plain), plain);  // not at a line start
  const std::string hostile = "a\r\n--" + plain + "\r\n--" + plain + "x--";
  const std::string boundary = MakeBoundary(1700000000, hostile);
  EXPECT_EQ(boundary, plain + "xx");
  EXPECT_EQ(MakeBoundary(1700000000, "--" + plain), plain + "x");
}

TEST(Multipart, ExactLayout) {
  const std::string body = BuildMultipartBody("B", "data\0bytes"s, u"report.pdf", "sess");
  EXPECT_EQ(body,
            "--B\r\nContent-Disposition: form-data; name=\"ATT1\"; filename=\"report.pdf\";\r\n"
            "Content-Type: application/pdf\r\n\r\ndata\0bytes\r\n"
            "--B\r\nContent-Disposition: form-data; name=\"sessionId\"\r\n\r\nsess\r\n"
            "--B\r\nContent-Disposition: form-data; name=\"json\"\r\n\r\ntrue\r\n"
            "--B--\r\n"s);
}

TEST(Multipart, EmptyFileStillHasItsPart) {
  const std::string body = BuildMultipartBody("B", "", u"empty.txt", "s");
  EXPECT_NE(body.find("Content-Type: text/plain\r\n\r\n\r\n--B\r\n"), std::string::npos);
}

TEST(Multipart, FileNameIsRawUtf8ButCannotBreakTheHeader) {
  EXPECT_NE(BuildMultipartBody("B", "x", u"Отчёт.txt", "s")
                .find("filename=\"\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.txt\";"),
            std::string::npos);
  const std::string body = BuildMultipartBody("B", "x", u"a\"b\r\nc.txt", "s");
  EXPECT_NE(body.find("filename=\"a%22b%0D%0Ac.txt\";\r\n"), std::string::npos);
}

}  // namespace
}  // namespace veilmark

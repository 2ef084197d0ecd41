// The body readers of the API, on the edge cases the add-in and broken
// clients produce.
#include "form.h"

#include <gtest/gtest.h>

namespace veilmark::service {
namespace {

TEST(UrlEncodedTest, DecodesThePlusAndPercentFormsTheAddInSends) {
  const auto params =
      ParseUrlEncoded("email=joe%40example%2Eorg&password=two+words&name=%D0%AF&json=true");
  EXPECT_EQ(params.at("email"), "joe@example.org");
  EXPECT_EQ(params.at("password"), "two words");
  EXPECT_EQ(params.at("name"), "\xd0\xaf");
  EXPECT_EQ(params.at("json"), "true");
}

TEST(UrlEncodedTest, ToleratesOddPairs) {
  const auto params = ParseUrlEncoded("&a=1&a=2&flag&b=%zz%4&c=%2B&=x&");
  EXPECT_EQ(params.at("a"), "1") << "the first of a repeated name wins";
  EXPECT_EQ(params.at("flag"), "");
  EXPECT_EQ(params.at("b"), "%zz%4");
  EXPECT_EQ(params.at("c"), "+");
  EXPECT_TRUE(ParseUrlEncoded("").empty());
}

TEST(PercentEncodeTest, KeepsOnlyUnreservedBytes) {
  EXPECT_EQ(PercentEncode("R\xc3\xa9sum\xc3\xa9 1.pdf"), "R%C3%A9sum%C3%A9%201.pdf");
  EXPECT_EQ(PercentEncode("a/b?c#d"), "a%2Fb%3Fc%23d");
}

TEST(MultipartTest, ReadsTheAddInsUploadWithItsSemicolonAfterTheFileName) {
  const std::string boundary = "---------------------veilmark1733650000";
  const std::string data = std::string("bin\0\r\n--not-a-boundary\r\n", 25);
  const std::string body =
      "--" + boundary +
      "\r\nContent-Disposition: form-data; name=\"ATT1\"; filename=\"caf\xc3\xa9; \"x\".pdf\";"
      "\r\nContent-Type: application/pdf\r\n\r\n" +
      data + "\r\n--" + boundary +
      "\r\nContent-Disposition: form-data; name=\"sessionId\"\r\n\r\nabc\r\n--" + boundary +
      "\r\nContent-Disposition: form-data; name=\"json\"\r\n\r\ntrue\r\n--" + boundary + "--\r\n";
  std::string error;
  const auto parts = ParseMultipart(body, boundary, &error);
  ASSERT_TRUE(parts) << error;
  ASSERT_EQ(parts->size(), 3u);
  EXPECT_EQ((*parts)[0].name, "ATT1");
  ASSERT_TRUE((*parts)[0].fileName);
  // No escapes inside quotes: the name ends at the next quote.
  EXPECT_EQ(*(*parts)[0].fileName, "caf\xc3\xa9; ");
  EXPECT_EQ((*parts)[0].contentType, "application/pdf");
  EXPECT_EQ((*parts)[0].data, data);
  EXPECT_EQ((*parts)[1].name, "sessionId");
  EXPECT_FALSE((*parts)[1].fileName);
  EXPECT_EQ((*parts)[1].data, "abc");
  EXPECT_EQ((*parts)[2].data, "true");
}

TEST(MultipartTest, EmptyFileAndPreambleAreFine) {
  const std::string body =
      "preamble\r\n--b\r\ncontent-disposition: form-data; filename=\"\"; name=\"ATT1\"\r\n\r\n"
      "\r\n--b--";
  std::string error;
  const auto parts = ParseMultipart(body, "b", &error);
  ASSERT_TRUE(parts) << error;
  ASSERT_EQ(parts->size(), 1u);
  EXPECT_EQ((*parts)[0].name, "ATT1");
  EXPECT_EQ(*(*parts)[0].fileName, "");
  EXPECT_EQ((*parts)[0].data, "");
}

TEST(MultipartTest, RefusesBrokenStructure) {
  std::string error;
  EXPECT_FALSE(
      ParseMultipart("--b\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\nv", "b", &error));
  EXPECT_EQ(error, "part not closed by a boundary");
  EXPECT_FALSE(
      ParseMultipart("--b\r\nContent-Disposition: attachment\r\n\r\nv\r\n--b--", "b", &error));
  EXPECT_FALSE(
      ParseMultipart("--b\r\nContent-Disposition: form-data\r\n\r\nv\r\n--b--", "b", &error));
  EXPECT_EQ(error, "part without a field name");
  EXPECT_FALSE(ParseMultipart("--bXY\r\n", "b", &error));
  EXPECT_FALSE(ParseMultipart("anything", "", &error));

  std::string many;
  for (int i = 0; i < 65; ++i)
    many += "--b\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\nv\r\n";
  EXPECT_FALSE(ParseMultipart(many + "--b--", "b", &error));
  EXPECT_EQ(error, "too many parts");
}

TEST(MultipartTest, BoundaryComesFromTheContentType) {
  EXPECT_EQ(MultipartBoundary("multipart/form-data; boundary=---x123"), "---x123");
  EXPECT_EQ(MultipartBoundary("Multipart/Form-Data; charset=utf-8; boundary=\"a b\""), "a b");
  EXPECT_EQ(MultipartBoundary("multipart/form-data"), "");
  EXPECT_EQ(MultipartBoundary("text/plain; boundary=x"), "");
}

}  // namespace
}  // namespace veilmark::service

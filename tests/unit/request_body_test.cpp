#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api/api_client.h"
#include "api/http_exchange.h"
#include "base/checked_size.h"
#include "base/protocol_exception.h"
#include "base/text.h"
#include "support/temp_data_home.h"

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

// decrypt-mime's body encoded from the cipher text's file: the bytes the
// form makes of the same fields, across the pieces the file is read in, and
// again for each new session.
TEST(DecryptMimeBody, SameBytesAsTheFormForEachSession) {
  testing::TempDataHome home;
  const std::filesystem::path file = home.root() / "cipher.asc";
  std::string cipher = "-----BEGIN PGP MESSAGE-----\r\n";
  while (cipher.size() < 2621440) cipher += "hQEMA8Vb0d3Z+/=\r\n\xC3\xA9\0&%"s;
  std::ofstream(file, std::ios::binary) << cipher;
  DecryptMimeBody body(Utf8ToWide(file.string()));
  EXPECT_EQ(body.cipherBytes(), cipher.size());
  EXPECT_FALSE(body.tooLarge());
  // The last is longer than the room kept for a session: the body grows.
  for (const std::string& session : {"s-1"s, ""s, "s-2"s, std::string(700, '+') + "\xC3\xA9"}) {
    const std::string expected =
        BuildFormBody({}, {{"cipherText", cipher}, {"sessionId", session}});
    EXPECT_TRUE(body.WithSession(session) == expected) << "session of " << session.size();
  }
}

TEST(DecryptMimeBody, EmptyFileLeavesTheCipherTextOutAMissingOneThrows) {
  testing::TempDataHome home;
  const std::filesystem::path file = home.root() / "empty.asc";
  std::ofstream(file, std::ios::binary).close();
  DecryptMimeBody body(Utf8ToWide(file.string()));
  EXPECT_EQ(body.cipherBytes(), 0u);
  EXPECT_EQ(body.WithSession("s-1"), "sessionId=s-1&json=true");
  EXPECT_EQ(body.WithSession(""), "json=true");
  EXPECT_THROW(DecryptMimeBody(Utf8ToWide((home.root() / "missing.asc").string())),
               ProtocolException);
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

// ---- Size arithmetic that cannot wrap (the i686 DLL's size_t) ----

TEST(CheckedSize, AddAndMultiplyReportWrapping) {
  std::size_t out = 7;
  EXPECT_TRUE(CheckedAdd(kSizeMax - 1, 1, out));
  EXPECT_EQ(out, kSizeMax);
  out = 7;
  EXPECT_FALSE(CheckedAdd(kSizeMax, 1, out));
  EXPECT_FALSE(CheckedAdd(kSizeMax / 2 + 1, kSizeMax / 2 + 1, out));
  EXPECT_EQ(out, 7u);  // untouched
  EXPECT_TRUE(CheckedMultiply(kSizeMax / 3, 3, out));
  EXPECT_EQ(out, kSizeMax / 3 * 3);
  EXPECT_FALSE(CheckedMultiply(kSizeMax / 3 + 1, 3, out));
  EXPECT_TRUE(CheckedMultiply(0, kSizeMax, out));
  EXPECT_EQ(out, 0u);
  // What wraps on a 32-bit build: 0x55555556 * 3 and 0xFFFFFF00 + 0x200.
  if (sizeof(std::size_t) == 4) {
    EXPECT_FALSE(CheckedMultiply(0x55555556u, 3, out));
    EXPECT_FALSE(CheckedAdd(0xFFFFFF00u, 0x200u, out));
  }
}

TEST(CheckedSize, AWrapAnywhereSticks) {
  CheckedSize size(kSizeMax - 10);
  size += 10;
  EXPECT_TRUE(size.ok());
  EXPECT_EQ(size.value(), kSizeMax);
  EXPECT_FALSE(size.AtMost(kSizeMax - 1));
  size += 1;
  EXPECT_FALSE(size.ok());
  size += 0;
  EXPECT_FALSE(size.ok());
  EXPECT_FALSE(size.AtMost(kSizeMax));
  CheckedSize product(kSizeMax / 4 + 1);
  product *= 4;
  EXPECT_FALSE(product.ok());
  CheckedSize sum;
  sum += product;
  EXPECT_FALSE(sum.ok());
}

TEST(Multipart, SizeMatchesTheBodyAndNeverWraps) {
  const std::string body = BuildMultipartBody("B", "data\0bytes"s, u"report.pdf", "sess");
  const CheckedSize size = MultipartBodySize(1, 10, 10, sizeof "application/pdf" - 1, 4);
  ASSERT_TRUE(size.ok());
  EXPECT_EQ(size.value(), body.size());
  // A file size near SIZE_MAX, or a boundary whose four copies wrap.
  EXPECT_FALSE(MultipartBodySize(39, kSizeMax - 100, 10, 10, 10).ok());
  EXPECT_FALSE(MultipartBodySize(kSizeMax / 4 + 1, 0, 0, 0, 0).ok());
  EXPECT_FALSE(MultipartBodySize(39, 10, kSizeMax, 10, 10).ok());
  EXPECT_TRUE(MultipartBodySize(39, kSizeMax / 2, 10, 10, 10).ok());
}

TEST(FormBody, SizeMatchesTheBody) {
  const TextParams texts{{"email", u"é@x.org"}, {"body", u"a b"}};
  const ByteParams bytes{{"cipherText", "\xC3\xA9\0!"}, {"empty", ""}};
  const CheckedSize size = FormBodySize(texts, bytes);
  ASSERT_TRUE(size.ok());
  EXPECT_EQ(size.value(), BuildFormBody(texts, bytes).size());
}

TEST(UrlEncode, CapacityNearSizeMaxNeverWraps) {
  std::string out;
  ASSERT_TRUE(UrlEncode("a b%", kSizeMax, out));
  EXPECT_EQ(out, "a+b%25");
}

// An exchange that records what reaches it.
class RecordingExchange : public HttpExchange {
 public:
  ExchangeOutcome Post(const ApiEndpoint&, const HttpPost& post) override {
    bodySizes.push_back(post.body.size());
    return {true, R"({"status":{"statusCode":"OK"},"att":[{"id":1}]})", ""};
  }
  std::vector<std::size_t> bodySizes;
};

TEST(PayloadBound, FormBodyOverTheBoundIsRefusedBeforeTheExchange) {
  EXPECT_EQ(kMaxPayloadBytes, std::size_t{256} * 1024 * 1024);
  RecordingExchange exchange;
  ApiClient client(exchange, ApiEndpoint());
  // 86 MiB of bytes that each take three: 258 MiB encoded.
  const std::string source(std::size_t{86} * 1024 * 1024, '\0');
  auto reply = client.DecryptMime("s", source);
  EXPECT_EQ(reply->request(), "error");
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_EQ(reply->status().messages(), std::vector<std::string>{kPayloadTooLarge});
  EXPECT_TRUE(exchange.bodySizes.empty());
  // Under the bound it goes.
  EXPECT_TRUE(client.DecryptMime("s", std::string(1000, '\0'))->status().isOk());
  ASSERT_EQ(exchange.bodySizes.size(), 1u);
}

TEST(PayloadBound, UploadOverTheBoundIsRefusedBeforeTheExchange) {
  RecordingExchange exchange;
  ApiClient client(exchange, ApiEndpoint());
  // The file alone fits; with its part headers the body does not.
  const std::string file(kMaxPayloadBytes - 100, 'a');
  auto reply = client.UploadAttachment("s", file, u"big.bin");
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_EQ(reply->status().messages(), std::vector<std::string>{kPayloadTooLarge});
  EXPECT_TRUE(exchange.bodySizes.empty());
  // A file over the bound is refused before its boundary is even sought.
  const std::string larger(kMaxPayloadBytes + 1, 'a');
  EXPECT_EQ(client.UploadAttachment("s", larger, u"big.bin")->status().code(), "CLIENT_ERROR");
  EXPECT_TRUE(exchange.bodySizes.empty());
  EXPECT_TRUE(client.UploadAttachment("s", "small", u"a.txt")->status().isOk());
  EXPECT_EQ(exchange.bodySizes.size(), 1u);
}

}  // namespace
}  // namespace veilmark

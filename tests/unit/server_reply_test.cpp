#include "api/server_reply.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/protocol_exception.h"

namespace veilmark {
namespace {

using namespace std::string_literals;

TEST(ParseReply, StatusOnlyOk) {
  auto reply = ParseReply(R"({"status":{"statusCode":"OK"}})");
  EXPECT_TRUE(reply->status().isOk());
  EXPECT_EQ(reply->request(), "unknown");
  EXPECT_TRUE(reply->status().messages().empty());
  EXPECT_EQ(reply->sessionId(), "");
  EXPECT_TRUE(reply->users().empty());
  EXPECT_TRUE(reply->clearText().empty());
  EXPECT_TRUE(reply->aliases().empty());
}

TEST(ParseReply, RefusalKeepsStatusAndSessionButNoPayload) {
  auto reply = ParseReply(R"({"request":"decrypt-mime","sessionId":"s-1",
      "status":{"statusCode":"INVALID_SESSION","message":["first","second"]},
      "clearText":"secret","users":[{"email":"a@b"}]})");
  const ReplyStatus& status = reply->status();
  EXPECT_TRUE(status.needsLogin());
  EXPECT_EQ(status.code(), "INVALID_SESSION");
  EXPECT_EQ(reply->request(), "decrypt-mime");
  EXPECT_EQ(reply->sessionId(), "s-1");
  EXPECT_TRUE(reply->clearText().empty());
  EXPECT_TRUE(reply->users().empty());
  EXPECT_EQ(status.describe(), u"Status code is: INVALID_SESSION\nMessage: first\nMessage: second");
}

TEST(ParseReply, StatusTestsAreExact) {
  EXPECT_TRUE(
      ParseReply(R"({"status":{"statusCode":"EXT_PASS_NOT_FILLED"}})")->status().needsLogin());
  EXPECT_TRUE(ParseReply(R"({"status":{"statusCode":"EXTRA_PASS"}})")->status().isExtraPass());
  EXPECT_FALSE(ParseReply(R"({"status":{"statusCode":"ok"}})")->status().isOk());
  EXPECT_FALSE(ParseReply(R"({"status":{"statusCode":"invalid_session"}})")->status().needsLogin());
}

TEST(ParseReply, MissingStatusIsNotOk) {
  for (const char* text : {"{}", R"({"status":{}})", R"({"request":"x"})"}) {
    auto reply = ParseReply(text);
    EXPECT_EQ(reply->status().code(), "NOT_OK") << text;
    EXPECT_TRUE(reply->status().messages().empty());
    EXPECT_EQ(reply->status().describe(), u"Status code is: NOT_OK");
  }
}

TEST(ParseReply, TextThatIsNotJsonIsAParseError) {
  for (const std::string& text : {""s, "<html><body>502 Bad Gateway</body></html>"s,
                                  R"({"status":{"statusCode":"OK")"s, "\0\0"s}) {
    auto reply = ParseReply(text);
    EXPECT_EQ(reply->status().code(), "PARSE_ERROR");
    EXPECT_EQ(reply->request(), "error");
    ASSERT_EQ(reply->status().messages().size(), 1u);
    EXPECT_EQ(reply->status().messages()[0].rfind("Unable to parse server reply - ", 0), 0u);
  }
}

TEST(ParseReply, ParseErrorNamesLineAndColumn) {
  auto reply = ParseReply("{\n  \"status\": ,\n}");
  ASSERT_EQ(reply->status().messages().size(), 1u);
  EXPECT_NE(reply->status().messages()[0].find("Line 2"), std::string::npos);
}

TEST(ParseReply, CommentsAreAccepted) {
  auto reply = ParseReply("// from the service\n{\"status\":{\"statusCode\":\"OK\"} /* x */}");
  EXPECT_TRUE(reply->status().isOk());
}

TEST(ParseReply, FullOkPayload) {
  auto reply = ParseReply(R"({
    "status":{"statusCode":"OK"},"sessionId":"abc",
    "users":[{"firstName":"Иван","middleName":null,"lastName":"Petrov","email":"ivan@example.org",
              "registerState":"ACTIVE","registeredFrom":"GMAIL"}],
    "openIdUrl":"https://id.example/start","clearText":"<p>Hi</p>","cipherText":"---",
    "securityQuestion":"Pet?",
    "decryptedAttachments":[{"name":"a.png","url":"/att/1","previewUrl":"/att/1/p",
                             "size":1234567890123,"contentType":"image/png"},
                            {"name":"b.bin"}],
    "att":[{"id":42,"name":"report.pdf"},{"name":"noid"}],
    "aliases":["x@example.org","Y@example.org"]})");
  ASSERT_TRUE(reply->status().isOk());
  EXPECT_EQ(reply->sessionId(), "abc");
  ASSERT_EQ(reply->users().size(), 1u);
  const VeilmarkUser& user = reply->users()[0];
  EXPECT_EQ(user.firstName, u"Иван");
  EXPECT_EQ(user.middleName, u"");
  EXPECT_EQ(user.email, u"ivan@example.org");
  EXPECT_EQ(user.registeredFrom, u"GMAIL");
  EXPECT_EQ(reply->openIdUrl(), u"https://id.example/start");
  EXPECT_EQ(reply->clearText(), u"<p>Hi</p>");
  EXPECT_EQ(reply->cipherText(), u"---");
  EXPECT_EQ(reply->securityQuestion(), u"Pet?");
  ASSERT_EQ(reply->decryptedAttachments().size(), 2u);
  EXPECT_EQ(reply->decryptedAttachments()[0].size, 1234567890123);
  EXPECT_EQ(reply->decryptedAttachments()[0].contentType, "image/png");
  EXPECT_EQ(reply->decryptedAttachments()[0].previewUrl, u"/att/1/p");
  EXPECT_EQ(reply->decryptedAttachments()[1].size, 0);
  ASSERT_EQ(reply->uploadedAttachments().size(), 2u);
  EXPECT_EQ(reply->uploadedAttachments()[0].id, "42");
  EXPECT_EQ(reply->uploadedAttachments()[0].name, u"report.pdf");
  EXPECT_EQ(reply->uploadedAttachments()[1].id, "0");
  EXPECT_EQ(reply->aliases(), (std::vector<std::u16string>{u"x@example.org", u"Y@example.org"}));
}

TEST(ParseReply, UploadIdKeepsEveryDigit) {
  auto reply = ParseReply(R"({"status":{"statusCode":"OK"},"att":[{"id":1234567890123}]})");
  ASSERT_EQ(reply->uploadedAttachments().size(), 1u);
  EXPECT_EQ(reply->uploadedAttachments()[0].id, "1234567890123");
}

TEST(ParseReply, ScalarsReadAsText) {
  auto reply = ParseReply(
      R"({"status":{"statusCode":"OK","message":[true,7]},"sessionId":12,"clearText":null})");
  EXPECT_EQ(reply->sessionId(), "12");
  EXPECT_EQ(reply->status().messages(), (std::vector<std::string>{"true", "7"}));
  EXPECT_EQ(reply->clearText(), u"");
}

TEST(ParseReply, NarrowFieldsKeepTheirUtf8Bytes) {
  auto reply = ParseReply(
      "{\"status\":{\"statusCode\":\"OK\"},\"sessionId\":\"s\xC3\xA9\","
      "\"decryptedAttachments\":[{\"contentType\":\"text/\xC3\xA9\",\"name\":\"\xC3\xA9.txt\"}]}");
  EXPECT_EQ(reply->sessionId(), "s\xC3\xA9");
  EXPECT_EQ(reply->decryptedAttachments()[0].contentType, "text/\xC3\xA9");
  EXPECT_EQ(reply->decryptedAttachments()[0].name, u"é.txt");
}

TEST(ParseReply, InvalidUtf8InTextsIsReplaced) {
  auto reply = ParseReply(
      "{\"status\":{\"statusCode\":\"OK\"},\"clearText\":\"a\xFF"
      "b\"}");
  ASSERT_TRUE(reply->status().isOk());
  EXPECT_EQ(reply->clearText(), u"a\uFFFDb");
}

// A refusal whose "message" is a plain string must keep its code, or
// the re-login never runs.
TEST(ParseReply, RefusalWithAStringMessageKeepsItsCode) {
  auto reply =
      ParseReply(R"({"status":{"statusCode":"INVALID_SESSION","message":"Session expired"}})");
  EXPECT_EQ(reply->status().code(), "INVALID_SESSION");
  EXPECT_TRUE(reply->status().needsLogin());
  EXPECT_TRUE(reply->status().messages().empty());
  EXPECT_EQ(reply->request(), "unknown");
}

TEST(ParseReply, RootThatIsNotAnObjectIsAReplyWithoutStatus) {
  for (const char* text : {R"([1,2])", R"("text")", R"(42)", "null", "true"}) {
    auto reply = ParseReply(text);
    EXPECT_EQ(reply->status().code(), "NOT_OK") << text;
    EXPECT_EQ(reply->request(), "unknown") << text;
    EXPECT_TRUE(reply->status().messages().empty()) << text;
  }
}

TEST(ParseReply, StatusOfAnUnexpectedTypeIsAbsent) {
  for (const char* text :
       {R"({"status":"OK"})", R"({"status":[{"statusCode":"OK"}]})",
        R"({"status":{"statusCode":{"x":1}}})", R"({"status":{"statusCode":null}})"}) {
    EXPECT_EQ(ParseReply(text)->status().code(), "NOT_OK") << text;
  }
}

TEST(ParseReply, MembersOfUnexpectedTypesReadAsAbsent) {
  auto reply = ParseReply(R"({"status":{"statusCode":"OK","message":[{"m":1},"kept",["x"]]},
      "sessionId":["a"],"clearText":{"html":"x"},"cipherText":[],"users":[
      "a@b",{"email":["a@b"],"firstName":"Ann"}],"decryptedAttachments":[7,{"name":{"n":1},
      "url":"/a","size":"x12"}],"att":[{"id":[1],"name":"n"}],"aliases":[["a"],"b@c",{}]})");
  ASSERT_TRUE(reply->status().isOk());
  EXPECT_EQ(reply->request(), "unknown");
  EXPECT_EQ(reply->status().messages(), std::vector<std::string>{"kept"});
  EXPECT_EQ(reply->sessionId(), "");
  EXPECT_EQ(reply->clearText(), u"");
  EXPECT_EQ(reply->cipherText(), u"");
  ASSERT_EQ(reply->users().size(), 1u);
  EXPECT_EQ(reply->users()[0].email, u"");
  EXPECT_EQ(reply->users()[0].firstName, u"Ann");
  ASSERT_EQ(reply->decryptedAttachments().size(), 1u);
  EXPECT_EQ(reply->decryptedAttachments()[0].name, u"");
  EXPECT_EQ(reply->decryptedAttachments()[0].url, u"/a");
  EXPECT_EQ(reply->decryptedAttachments()[0].size, 0);
  ASSERT_EQ(reply->uploadedAttachments().size(), 1u);
  EXPECT_EQ(reply->uploadedAttachments()[0].id, "0");
  EXPECT_EQ(reply->aliases(), std::vector<std::u16string>{u"b@c"});
}

TEST(ParseReply, ListsOfUnexpectedTypesAreEmpty) {
  auto reply = ParseReply(R"({"status":{"statusCode":"OK","message":"not a list"},
      "users":{"email":"a"},"decryptedAttachments":"x","att":7,"aliases":"a@b"})");
  ASSERT_TRUE(reply->status().isOk());
  EXPECT_TRUE(reply->status().messages().empty());
  EXPECT_TRUE(reply->users().empty());
  EXPECT_TRUE(reply->decryptedAttachments().empty());
  EXPECT_TRUE(reply->uploadedAttachments().empty());
  EXPECT_TRUE(reply->aliases().empty());
}

TEST(ParseReply, NumbersGivenAsWholeDoublesOrDigitsAreConverted) {
  auto reply = ParseReply(R"({"status":{"statusCode":"OK"},"decryptedAttachments":[
      {"size":"12"},{"size":1.5},{"size":1e30},{"size":2e3},{"size":"-3"},{"size":"1 2"},
      {"size":"99999999999999999999"},{"size":true},{"size":-9.3e18}],
      "att":[{"id":"7"},{"id":7.0},{"id":"9223372036854775807"}]})");
  ASSERT_TRUE(reply->status().isOk());
  std::vector<std::int64_t> sizes;
  for (const auto& att : reply->decryptedAttachments()) sizes.push_back(att.size);
  EXPECT_EQ(sizes, (std::vector<std::int64_t>{12, 0, 0, 2000, -3, 0, 0, 0, 0}));
  ASSERT_EQ(reply->uploadedAttachments().size(), 3u);
  EXPECT_EQ(reply->uploadedAttachments()[0].id, "7");
  EXPECT_EQ(reply->uploadedAttachments()[1].id, "7");
  EXPECT_EQ(reply->uploadedAttachments()[2].id, "9223372036854775807");
}

// The service may itself send the code PARSE_ERROR; it is kept as sent.
TEST(ParseReply, ServiceMaySendTheCodeParseError) {
  auto reply = ParseReply(R"({"status":{"statusCode":"PARSE_ERROR"}})");
  EXPECT_EQ(reply->status().code(), "PARSE_ERROR");
  EXPECT_EQ(reply->request(), "unknown");
  EXPECT_TRUE(reply->status().messages().empty());
}

TEST(ParseReply, PayloadShapeIsNotCheckedOnARefusal) {
  auto reply = ParseReply(R"({"status":{"statusCode":"DENIED"},"att":7,"users":"x"})");
  EXPECT_EQ(reply->status().code(), "DENIED");
}

TEST(ParseReply, NestingBeyondTheParserLimitIsAParseError) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_EQ(ParseReply(deep)->status().code(), "PARSE_ERROR");
  const std::string deepMember = R"({"status":{"statusCode":"OK"},"x":)" + std::string(5000, '[') +
                                 std::string(5000, ']') + "}";
  EXPECT_EQ(ParseReply(deepMember)->status().code(), "PARSE_ERROR");
}

TEST(FailureReply, HasRequestErrorAndExactlyOneMessage) {
  auto reply = MakeFailureReply("CLIENT_ERROR", "Unable to open HTTP session");
  EXPECT_EQ(reply->request(), "error");
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_EQ(reply->status().messages(), std::vector<std::string>{"Unable to open HTTP session"});
  EXPECT_EQ(reply->sessionId(), "");
  EXPECT_EQ(reply->status().describe(),
            u"Status code is: CLIENT_ERROR\nMessage: Unable to open HTTP session");
}

TEST(ProtocolException, WhatIsFixedAndMessageTravels) {
  ProtocolException error(u"Unable to load file", 5);
  ProtocolException copy = error;
  EXPECT_STREQ(copy.what(), "Veilmark Protocol Exception Occured");
  EXPECT_EQ(copy.message(), u"Unable to load file");
  EXPECT_EQ(copy.code(), 5);
}

TEST(ParseOwnedReply, GivesWhatParseReplyGivesAndFreesTheText) {
  const std::string json =
      R"({"status":{"statusCode":"OK"},"clearText":"<p>Gr\u00fc\u00dfe \ud83d\udd12</p>",)"
      R"("cipherText":"-----BEGIN-----","decryptedAttachments":[{"name":"a.pdf","size":3}]})";
  std::string owned = json;
  const auto reply = ParseOwnedReply(std::move(owned));
  const auto expected = ParseReply(json);
  EXPECT_TRUE(owned.empty());
  ASSERT_TRUE(reply->status().isOk());
  EXPECT_EQ(reply->clearText(), u"<p>Grüße \U0001F512</p>");
  EXPECT_EQ(reply->clearText(), expected->clearText());
  EXPECT_EQ(reply->cipherText(), u"-----BEGIN-----");
  ASSERT_EQ(reply->decryptedAttachments().size(), 1u);
  EXPECT_EQ(reply->decryptedAttachments()[0].size, 3);
}

TEST(ParseOwnedReply, TextThatIsNotJsonIsAParseErrorAndStillFreed) {
  std::string owned = "{\"status\":";
  const auto reply = ParseOwnedReply(std::move(owned));
  EXPECT_TRUE(owned.empty());
  EXPECT_EQ(reply->status().code(), "PARSE_ERROR");
  EXPECT_EQ(reply->status().messages(), ParseReply("{\"status\":")->status().messages());
}

// A clear text of a type the service does not send reads as absent, also
// when it is converted from the parser's bytes.
TEST(ParseOwnedReply, ClearTextOfAnotherTypeReadsAsItsText) {
  EXPECT_EQ(ParseReply(R"({"status":{"statusCode":"OK"},"clearText":12})")->clearText(), u"12");
  EXPECT_EQ(ParseReply(R"({"status":{"statusCode":"OK"},"clearText":[1]})")->clearText(), u"");
  EXPECT_EQ(ParseReply(R"({"status":{"statusCode":"OK"},"clearText":"a\u0000b"})")->clearText(),
            std::u16string(u"a\0b", 3));
}

}  // namespace
}  // namespace veilmark

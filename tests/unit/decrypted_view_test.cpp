#include "read/decrypted_view.h"

#include <gtest/gtest.h>

#include "api/api_endpoint.h"

namespace veilmark {
namespace {

VeilmarkDecryptedAtt Att(std::u16string name, std::u16string url, std::u16string preview,
                         std::int64_t size, std::string type) {
  return {std::move(name), std::move(url), std::move(preview), size, std::move(type)};
}

std::u16string Block(const std::u16string& href, const std::u16string& thumb,
                     const std::u16string& name, const std::u16string& size) {
  return u"<table cellpadding=\"0\"><tbody><tr><td><a href=\"" + href +
         u"\"><img style=\"max-height:180px\" src=\"" + thumb + u"\" alt=\"" + name +
         u"\"></a></td><td><b>" + name + u"</b><br/>" + size + u"<span>&nbsp;&nbsp;<a href=\"" +
         href + u"\">Download</a>&nbsp;&nbsp;</span></td></tr></tbody></table>";
}

class DecryptedViewTest : public ::testing::Test {
 protected:
  DecryptedViewTest() { SetApiEndpoint(ParseApiHost("vault.example")); }
  ~DecryptedViewTest() override { SetApiEndpoint(ApiEndpoint()); }

  const std::u16string host = u"https://vault.example";
  const std::u16string icon = u"https://vault.example/images/attachment.png";
};

TEST_F(DecryptedViewTest, NoAttachmentsIsTheClearTextExactly) {
  EXPECT_EQ(ComposeDecryptedView(u"<p>Hi & <b>bye</b></p>", {}), u"<p>Hi & <b>bye</b></p>");
}

TEST_F(DecryptedViewTest, WithoutBodyTagBlocksFollowInListOrder) {
  const auto view = ComposeDecryptedView(
      u"<p>Hi</p>",
      {Att(u"A", u"/a/1", u"", 1536, "application/pdf"), Att(u"B", u"/a/2", u"", 0, "text/plain")});
  EXPECT_EQ(view, u"<p>Hi</p><hr/>" + Block(host + u"/a/1", icon, u"A", u"2KB") +
                      Block(host + u"/a/2", icon, u"B", u"0B"));
}

TEST_F(DecryptedViewTest, WithBodyTagBlocksGoBeforeItLastFirst) {
  const auto view = ComposeDecryptedView(u"<html><BODY>Hi</BODY></html>",
                                         {Att(u"A", u"/a/1", u"", 1, "application/pdf"),
                                          Att(u"B", u"/a/2", u"", 2, "application/pdf")});
  EXPECT_EQ(view, u"<html><BODY>Hi<hr/>" + Block(host + u"/a/2", icon, u"B", u"2B") +
                      Block(host + u"/a/1", icon, u"A", u"1B") + u"</BODY></html>");
}

TEST_F(DecryptedViewTest, OnlyTheFirstBodyEndCounts) {
  const auto view =
      ComposeDecryptedView(u"x</body>y</body>", {Att(u"A", u"/a", u"", 1, "text/plain")});
  EXPECT_EQ(view, u"x<hr/>" + Block(host + u"/a", icon, u"A", u"1B") + u"</body>y</body>");
}

TEST_F(DecryptedViewTest, ThumbnailsForImagesOnly) {
  EXPECT_NE(ComposeDecryptedView(u"", {Att(u"p", u"/a/1", u"/p/1", 1, "Image/PNG")})
                .find(u"src=\"https://vault.example/p/1\""),
            std::u16string::npos);
  EXPECT_NE(ComposeDecryptedView(u"", {Att(u"p", u"/a/1", u"", 1, "image/png")})
                .find(u"src=\"https://vault.example/a/1\""),
            std::u16string::npos);
  EXPECT_NE(ComposeDecryptedView(u"", {Att(u"p", u"/a/1", u"/p/1", 1, "img")})
                .find(u"src=\"" + icon + u"\""),
            std::u16string::npos);
}

TEST_F(DecryptedViewTest, LinksUseTheConfiguredPort) {
  SetApiEndpoint(ParseApiHost("localhost:8443"));
  EXPECT_NE(ComposeDecryptedView(u"", {Att(u"n", u"/a/1", u"", 1, "x")})
                .find(u"href=\"https://localhost:8443/a/1\""),
            std::u16string::npos);
}

TEST_F(DecryptedViewTest, SenderTextsCannotOpenTagsOrAttributes) {
  const auto view = ComposeDecryptedView(
      u"<p>body</p>",
      {Att(u"a\"b<script>x</script>'&.png", u"/a/1\" onmouseover=\"x", u"/p'1>", 1, "image/png")});
  EXPECT_EQ(view.find(u"<script>"), std::u16string::npos);
  EXPECT_NE(view.find(u"alt=\"a&quot;b&lt;script&gt;x&lt;/script&gt;&#39;&amp;.png\""),
            std::u16string::npos);
  EXPECT_NE(view.find(u"<b>a&quot;b&lt;script&gt;"), std::u16string::npos);
  EXPECT_NE(view.find(u"href=\"https://vault.example/a/1&quot; onmouseover=&quot;x\""),
            std::u16string::npos);
  EXPECT_NE(view.find(u"src=\"https://vault.example/p&#39;1&gt;\""), std::u16string::npos);
}

TEST(EscapeHtml, EscapesTheFiveCharacters) {
  EXPECT_EQ(EscapeHtml(u"<a href=\"x\">'&'</a>"),
            u"&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
  EXPECT_EQ(EscapeHtml(u"plain Ünïcode"), u"plain Ünïcode");
}

}  // namespace
}  // namespace veilmark

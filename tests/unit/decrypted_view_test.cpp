#include "read/decrypted_view.h"

#include <gtest/gtest.h>

#include <string>

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
  static std::u16string Compose(const std::u16string& clearText,
                                const std::vector<VeilmarkDecryptedAtt>& attachments,
                                const std::u16string& apiHost = u"vault.example") {
    return ComposeDecryptedView(clearText, attachments, apiHost);
  }

  const std::u16string host = u"https://vault.example";
  const std::u16string icon = u"https://vault.example/images/attachment.png";
};

TEST_F(DecryptedViewTest, NoAttachmentsIsTheSanitizedTextAlone) {
  EXPECT_EQ(Compose(u"<p>Hi & <b>bye</b></p><script>x()</script>", {}),
            u"<p>Hi &amp; <b>bye</b></p>");
}

TEST_F(DecryptedViewTest, WithoutBodyTagBlocksFollowInListOrder) {
  const auto view = Compose(u"<p>Hi</p>", {Att(u"A", u"/a/1", u"", 1536, "application/pdf"),
                                           Att(u"B", u"/a/2", u"", 0, "text/plain")});
  EXPECT_EQ(view, u"<p>Hi</p><hr/>" + Block(host + u"/a/1", icon, u"A", u"2KB") +
                      Block(host + u"/a/2", icon, u"B", u"0B"));
}

TEST_F(DecryptedViewTest, AWholeDocumentLosesItsWrapperAndBlocksFollowInListOrder) {
  const auto view =
      Compose(u"<html><BODY>Hi</BODY></html>", {Att(u"A", u"/a/1", u"", 1, "application/pdf"),
                                                Att(u"B", u"/a/2", u"", 2, "application/pdf")});
  EXPECT_EQ(view, u"<p>Hi</p><hr/>" + Block(host + u"/a/1", icon, u"A", u"1B") +
                      Block(host + u"/a/2", icon, u"B", u"2B"));
}

TEST_F(DecryptedViewTest, BlocksNeverLandInsideTheSendersMarkup) {
  // A body end inside a comment or an unclosed element once placed the
  // blocks where the sender chose.
  const auto view = Compose(u"<a href=https://x.example><!--</body>-->y",
                            {Att(u"A", u"/a", u"", 1, "text/plain")});
  EXPECT_EQ(view,
            u"<a href=\"https://x.example\">y</a><hr/>" + Block(host + u"/a", icon, u"A", u"1B"));
}

TEST_F(DecryptedViewTest, RemoteImagesAreBlockedWithOneNoticeOnTop) {
  const auto view = Compose(
      u"<p>a<img src=http://t.example/1.gif>b<img src=http://t.example/2>"
      u"<img src=https://vault.example/own.png></p>",
      {});
  const std::u16string notice = kRemoteImagesBlocked;
  ASSERT_NE(view.find(notice), std::u16string::npos);
  EXPECT_EQ(view.find(notice), view.rfind(notice));
  EXPECT_LT(view.find(notice), view.find(u"<p>"));
  EXPECT_EQ(view.find(u"//t.example"), std::u16string::npos);
  EXPECT_NE(view.find(u"<img src=\"https://vault.example/own.png\">"), std::u16string::npos);
  EXPECT_EQ(Compose(u"<p><img src=https://vault.example/own.png></p>", {}),
            u"<p><img src=\"https://vault.example/own.png\"></p>");
}

TEST_F(DecryptedViewTest, OwnImagesAreThoseOfTheGivenServiceHost) {
  EXPECT_EQ(Compose(u"<img src=https://localhost:8443/p/1>", {}, u"localhost:8443"),
            u"<img src=\"https://localhost:8443/p/1\">");
  EXPECT_NE(Compose(u"<img src=https://localhost:8443/p/1>", {}).find(kRemoteImagesBlocked),
            std::u16string::npos);
}

TEST_F(DecryptedViewTest, ThumbnailsForImagesOnly) {
  EXPECT_NE(Compose(u"", {Att(u"p", u"/a/1", u"/p/1", 1, "Image/PNG")})
                .find(u"src=\"https://vault.example/p/1\""),
            std::u16string::npos);
  EXPECT_NE(Compose(u"", {Att(u"p", u"/a/1", u"", 1, "image/png")})
                .find(u"src=\"https://vault.example/a/1\""),
            std::u16string::npos);
  EXPECT_NE(Compose(u"", {Att(u"p", u"/a/1", u"/p/1", 1, "img")}).find(u"src=\"" + icon + u"\""),
            std::u16string::npos);
}

TEST_F(DecryptedViewTest, LinksUseTheGivenPort) {
  EXPECT_NE(Compose(u"", {Att(u"n", u"/a/1", u"", 1, "x")}, u"localhost:8443")
                .find(u"href=\"https://localhost:8443/a/1\""),
            std::u16string::npos);
}

TEST_F(DecryptedViewTest, SenderTextsCannotOpenTagsOrAttributes) {
  const auto view = Compose(
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

// A url or previewUrl that is not a path (exactly one leading '/')
// would name another host behind "https://vault.example": no link then.
std::u16string Unlinked(const std::u16string& thumb, const std::u16string& name,
                        const std::u16string& size) {
  return u"<table cellpadding=\"0\"><tbody><tr><td><img style=\"max-height:180px\" src=\"" + thumb +
         u"\" alt=\"" + name + u"\"></td><td><b>" + name + u"</b><br/>" + size +
         u"</td></tr></tbody></table>";
}

TEST_F(DecryptedViewTest, UrlsThatAreNotAPathGiveNoLink) {
  for (const std::u16string url :
       {u"@evil.example/x", u".evil.example/x", u"//evil.example/x", u"", u"evil", u":8443/x",
        u"\\evil.example/x", u"https://evil.example/x", u"///x"}) {
    const auto view = Compose(u"", {Att(u"A", url, u"", 1536, "image/png")});
    EXPECT_EQ(view, u"<hr/>" + Unlinked(icon, u"A", u"2KB")) << std::string(url.begin(), url.end());
    EXPECT_EQ(view.find(u"evil"), std::u16string::npos);
    EXPECT_EQ(view.find(u"href"), std::u16string::npos);
  }
}

TEST_F(DecryptedViewTest, PreviewThatIsNotAPathGetsTheGenericImage) {
  const auto view = Compose(u"", {Att(u"A", u"/a/1", u"@evil.example/p", 1, "image/png")});
  EXPECT_EQ(view, u"<hr/>" + Block(host + u"/a/1", icon, u"A", u"1B"));
  EXPECT_EQ(Compose(u"", {Att(u"A", u"/a/1", u"//evil.example/p", 1, "image/png")}),
            u"<hr/>" + Block(host + u"/a/1", icon, u"A", u"1B"));
}

TEST(ServicePath, ExactlyOneLeadingSlash) {
  EXPECT_TRUE(IsServicePath(u"/"));
  EXPECT_TRUE(IsServicePath(u"/a/1"));
  EXPECT_TRUE(IsServicePath(u"/a//b"));
  EXPECT_FALSE(IsServicePath(u""));
  EXPECT_FALSE(IsServicePath(u"//"));
  EXPECT_FALSE(IsServicePath(u"//evil.example/x"));
  EXPECT_FALSE(IsServicePath(u"@evil.example/x"));
  EXPECT_FALSE(IsServicePath(u".evil.example/x"));
  EXPECT_FALSE(IsServicePath(u"a/b"));
}

TEST(EscapeHtml, EscapesTheFiveCharacters) {
  EXPECT_EQ(EscapeHtml(u"<a href=\"x\">'&'</a>"),
            u"&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
  EXPECT_EQ(EscapeHtml(u"plain Ünïcode"), u"plain Ünïcode");
}

}  // namespace
}  // namespace veilmark

#include "read/html_sanitizer.h"

#include <gtest/gtest.h>

#include <string>

namespace veilmark {
namespace {

constexpr char16_t kOrigin[] = u"https://vault.example";

std::u16string Clean(std::u16string_view html) {
  return SanitizeHtml(html, kOrigin).html;
}

bool Blocked(std::u16string_view html) {
  return SanitizeHtml(html, kOrigin).blockedRemoteImages;
}

TEST(HtmlSanitizer, KeepsTheFormattingOfMail) {
  EXPECT_EQ(Clean(u"<p>Hi <b>Bob</b>, <i>see</i> <u>this</u></p>"),
            u"<p>Hi <b>Bob</b>, <i>see</i> <u>this</u></p>");
  EXPECT_EQ(Clean(u"<ul><li>one<li>two</ul><ol><li>x</li></ol>"),
            u"<ul><li>one</li><li>two</li></ul><ol><li>x</li></ol>");
  EXPECT_EQ(Clean(u"<table border=1 cellpadding=2><tr><td colspan=2 bgcolor=#eee>a</td></tr>"
                  u"</table>"),
            u"<table border=\"1\" cellpadding=\"2\"><tr><td colspan=\"2\" bgcolor=\"#eee\">a</td>"
            u"</tr></table>");
  EXPECT_EQ(Clean(u"<font face=Arial color=red size=2>f</font><br><hr>"),
            u"<font face=\"Arial\" color=\"red\" size=\"2\">f</font><br><hr>");
  EXPECT_EQ(Clean(u"<h1 align=center class=title>T</h1><pre>  a\n  b</pre>"),
            u"<h1 align=\"center\" class=\"title\">T</h1><pre>  a\n  b</pre>");
}

TEST(HtmlSanitizer, DocumentWrapperAndHeadAreGone) {
  EXPECT_EQ(Clean(u"<!DOCTYPE html><html><head><title>t</title><meta charset=utf-8>"
                  u"<style>p{color:red}</style></head><BODY bgcolor=red><P>Hi</P></BODY></html>"),
            u"<p>Hi</p>");
}

TEST(HtmlSanitizer, CodeGoesWithItsContent) {
  for (const char16_t* code :
       {u"<script>alert(1)</script>", u"<SCRIPT SRC=//evil/x.js></SCRIPT>",
        u"<style>@import 'http://evil/x.css';</style>", u"<iframe src=https://evil>x</iframe>",
        u"<object data=x.swf><param name=a value=b>fallback</object>",
        u"<embed src=x.swf><embed src=y.swf></embed>", u"<meta http-equiv=refresh content=0;url=x>",
        u"<link rel=stylesheet href=http://evil/x.css><base href=http://evil/>",
        u"<applet code=A>x</applet>",
        u"<form action=https://evil><input name=p><button>b</button>"
        u"<textarea>t</textarea><select><option>o</select></form>",
        u"<svg onload=alert(1)><circle/></svg>", u"<math><mi>x</mi></math>",
        u"<noscript>n</noscript>", u"<template><p>t</p></template>",
        u"<xml id=i><x><c><![CDATA[<img src=x onerror=alert(1)>]]></c></x></xml>",
        u"<frameset><frame src=x></frameset>"}) {
    EXPECT_EQ(Clean(u"<p>a</p>" + std::u16string(code) + u"<p>b</p>"), u"<p>a</p><p>b</p>")
        << std::string(code, code + std::char_traits<char16_t>::length(code));
  }
}

TEST(HtmlSanitizer, UnknownWrappersKeepTheirText) {
  EXPECT_EQ(Clean(u"<div><article><section>Hi <mark>you</mark></section></article></div>"),
            u"<div>Hi you</div>");
  EXPECT_EQ(Clean(u"<div><blink><marquee>moving</marquee></blink></div>"), u"<div>moving</div>");
}

TEST(HtmlSanitizer, CommentsAndConditionalCommentsVanish) {
  EXPECT_EQ(Clean(u"<p>a<!--[if IE]><script>alert(1)</script><![endif]-->b<!-- x -->c</p>"),
            u"<p>abc</p>");
  EXPECT_EQ(Clean(u"<?xml:namespace prefix=t ns=urn:x?><p>p</p>"), u"<p>p</p>");
}

TEST(HtmlSanitizer, HandlersAndUnlistedAttributesAreDropped) {
  EXPECT_EQ(Clean(u"<p onclick=x OnMouseOver=\"y\" ONLOAD='z' id=i name=n>t</p>"), u"<p>t</p>");
  EXPECT_EQ(Clean(u"<table><tr><td background=http://evil/b.png>t</td></tr></table>"),
            u"<table><tr><td>t</td></tr></table>");
  // href belongs to links only, src and alt to images only.
  EXPECT_EQ(Clean(u"<div href=https://a src=https://b alt=c>d</div>"), u"<div>d</div>");
  // The first of a repeated attribute is the one a browser keeps.
  EXPECT_EQ(Clean(u"<p title=a title=b>t</p>"), u"<p title=\"a\">t</p>");
}

TEST(HtmlSanitizer, TextAndValuesAreEscapedAndQuoted) {
  EXPECT_EQ(Clean(u"<p>a &lt; b &amp; c &gt; d</p>"), u"<p>a &lt; b &amp; c &gt; d</p>");
  EXPECT_EQ(Clean(u"<p title='say \"hi\" &amp; <go>'>x</p>"),
            u"<p title=\"say &quot;hi&quot; &amp; &lt;go&gt;\">x</p>");
  EXPECT_EQ(Clean(u"<p title=\"it's\">x</p>"), u"<p title=\"it&#39;s\">x</p>");
  EXPECT_EQ(Clean(u"<p>caf&eacute; &#x263A; \u00e9</p>"), u"<p>caf\u00e9 \u263a \u00e9</p>");
  EXPECT_EQ(Clean(std::u16string(u"<p>a\0b</p>", 9)), u"<p>a\ufffdb</p>");
}

TEST(HtmlSanitizer, MalformedAndUnclosedMarkupIsClosed) {
  EXPECT_EQ(Clean(u"<p><b>bold <i>both"), u"<p><b>bold <i>both</i></b></p>");
  EXPECT_EQ(Clean(u"<script>alert(1)"), u"");
  EXPECT_EQ(Clean(u"<p>a<script>alert(1)</p>b"), u"<p>a</p>");
  EXPECT_EQ(Clean(u"<img src=x onerror=alert(1)//"), u"<img>");
  EXPECT_EQ(Clean(u"<<script>alert(1)//<</script>"), u"<p>&lt;</p>");
  EXPECT_EQ(Clean(u"</div><p>x"), u"<p>x</p>");
}

TEST(HtmlSanitizer, UnwrappingNeverLeavesWhatTheParserWouldReadOtherwise) {
  // A paragraph in an unknown element in a paragraph: read again, the second
  // paragraph would end the first, so the output says so itself.
  EXPECT_EQ(Clean(u"<p>a<article><p>b</p></article>c</p>"), u"<p>a</p><p>b</p>c");
  EXPECT_EQ(Clean(Clean(u"<p>a<article><p>b</p></article>c</p>")),
            Clean(u"<p>a<article><p>b</p></article>c</p>"));
}

TEST(HtmlSanitizer, AnElementIsJudgedAlikeWhereverItsNameFirstComes) {
  // What is worked out once per name holds wherever the name comes next: in
  // dropped content first, as a stray end tag first, or after more distinct
  // names than are remembered.
  EXPECT_EQ(Clean(u"<form><b>x</b><i>y</i></form><b>z</b><i>w</i>"), u"<b>z</b><i>w</i>");
  EXPECT_EQ(Clean(u"</script></zz><div>a<script>alert(1)</script></div>"), u"<div>a</div>");
  std::u16string many;
  for (int i = 0; i < 70; ++i)
    many += u"<x" + std::u16string(1, u'a' + i % 26) + std::u16string(1, u'a' + i / 26) + u"></x>";
  EXPECT_EQ(Clean(many + u"<p>a<article><p>b</p></article>c</p><li>d<x><li>e"),
            u"<p>a</p><p>b</p>c<li>d</li><li>e</li>");
  EXPECT_EQ(Clean(many + u"<SCRIPT>alert(1)</SCRIPT><Td>f"), u"<td>f</td>");
}

TEST(HtmlSanitizer, StylesKeepOnlyHarmlessDeclarations) {
  EXPECT_EQ(Clean(u"<p style=\"COLOR: Red; font-family: 'Segoe UI', Arial; margin-left:4px;"
                  u" border-top-width: 1px; background-color: rgb(1, 2, 3) !important\">t</p>"),
            u"<p style=\"color:Red;font-family:&#39;Segoe UI&#39;, Arial;margin-left:4px;"
            u"border-top-width:1px;background-color:rgb(1, 2, 3) !important\">t</p>");
  EXPECT_EQ(Clean(u"<p style=\"position:fixed;top:0;display:none;color:blue\">t</p>"),
            u"<p style=\"color:blue\">t</p>");
  for (const char16_t* style :
       {u"width:expression(alert(1))", u"width:EXPRESSION (alert(1))",
        u"behavior:url(#default#time2)", u"color:red;behavior:url(x.htc)",
        u"-moz-binding:url(x.xml#x)", u"background-color:url(http://evil/t.png)",
        u"color:red;background-image:url(http://evil/t.png)", u"@import 'x.css'",
        u"color:javascript:alert(1)", u"width:ex/**/pression(alert(1))",
        u"width:\\65xpression(alert(1))", u"color:red\\;x", u"width:calc(1px)",
        u"color:rgb(1,2,3)(", u"font-family:'unclosed", u"color:\uff45\uff58\uff50(1)",
        u"font-family:'a(b)'"}) {
    const std::u16string out = Clean(u"<p style=\"" + std::u16string(style) + u"\">t</p>");
    EXPECT_TRUE(out == u"<p>t</p>" || out == u"<p style=\"color:red\">t</p>")
        << std::string(out.begin(), out.end());
  }
}

TEST(HtmlSanitizer, LinksOnlyToTheWebAndMail) {
  EXPECT_EQ(Clean(u"<a href=\"https://example.org/x?a=1&amp;b=2\">x</a>"),
            u"<a href=\"https://example.org/x?a=1&amp;b=2\">x</a>");
  EXPECT_EQ(Clean(u"<a href=HTTP://example.org>x</a>"), u"<a href=\"HTTP://example.org\">x</a>");
  EXPECT_EQ(Clean(u"<a href=\"mailto:bob@example.org\">m</a>"),
            u"<a href=\"mailto:bob@example.org\">m</a>");
  EXPECT_EQ(Clean(u"<a href=\"#part2\">p</a>"), u"<a href=\"#part2\">p</a>");
  for (const char16_t* href :
       {u"javascript:alert(1)", u"JaVaScRiPt:alert(1)", u"jav&#x61;script:alert(1)",
        u"jav&#97;script:alert(1)", u"java\tscript:alert(1)", u"java&#x09;script:alert(1)",
        u"java&#10;script:alert(1)", u" \x01javascript:alert(1)", u"vbscript:msgbox(1)",
        u"VBSCRIPT:msgbox(1)", u"data:text/html;base64,PHNjcmlwdD4=", u"file:///c:/x",
        u"//evil.example/x", u"\\\\evil\\share", u"relative/page.html", u"ftp://x",
        u"java\u0000script:alert(1)", u"&#106;&#97;&#118;&#97;script:alert(1)"}) {
    EXPECT_EQ(Clean(u"<a href=\"" + std::u16string(href) + u"\">x</a>"), u"<a>x</a>")
        << std::string(href, href + std::char_traits<char16_t>::length(href));
  }
}

TEST(HtmlSanitizer, OnlyInlineAndOwnImagesLoad) {
  const char16_t png[] = u"<img src=\"data:image/png;base64,iVBORw0KGgo=\" alt=dot>";
  EXPECT_EQ(Clean(png), u"<img src=\"data:image/png;base64,iVBORw0KGgo=\" alt=\"dot\">");
  EXPECT_FALSE(Blocked(png));
  EXPECT_EQ(Clean(u"<img src=https://VAULT.example/p/1 width=10>"),
            u"<img src=\"https://VAULT.example/p/1\" width=\"10\">");
  EXPECT_FALSE(Blocked(u"<img src=https://vault.example/p/1>"));

  // Tracking images keep their place and text, never their address.
  const SanitizedHtml tracked = SanitizeHtml(
      u"<img src=\"http://track.example/o.gif?u=bob\" alt=\"Logo\" width=1 "
      u"height=1>",
      kOrigin);
  EXPECT_EQ(tracked.html, u"<img alt=\"Logo\" width=\"1\" height=\"1\">");
  EXPECT_TRUE(tracked.blockedRemoteImages);
  for (const char16_t* remote :
       {u"https://vault.example.evil/x.png", u"https://vault.example@evil/x.png",
        u"https://vault.example:444/x.png", u"http://vault.example/x.png", u"//evil/x.png",
        u"\\\\evil\\share\\x.png", u"HTTPS://evil/x.png"}) {
    EXPECT_TRUE(Blocked(u"<img src=\"" + std::u16string(remote) + u"\">"));
    EXPECT_EQ(Clean(u"<img src=\"" + std::u16string(remote) + u"\">"), u"<img>");
  }
  for (const char16_t* other :
       {u"javascript:alert(1)", u"data:image/svg+xml;base64,PHN2Zz4=",
        u"data:text/html;base64,PHNjcmlwdD4=", u"data:image/png;base64,<x>", u"cid:part1"}) {
    EXPECT_FALSE(Blocked(u"<img src=\"" + std::u16string(other) + u"\">"));
    EXPECT_EQ(Clean(u"<img src=\"" + std::u16string(other) + u"\">"), u"<img>");
  }
  // Unlisted loading attributes of the old engine are gone too.
  EXPECT_EQ(Clean(u"<img dynsrc=http://evil/v.avi lowsrc=http://evil/l.gif>"), u"<img>");
  EXPECT_FALSE(Blocked(u"<p>no images</p>"));
}

TEST(HtmlSanitizer, TextBeforeAnyTagGetsTheParagraphAReaderWouldGiveIt) {
  // Text in an unknown element first: read again, the parser would skip the
  // blanks and put the rest in a paragraph of its own.
  EXPECT_EQ(Clean(u"<x> </x><x>a</x><div>b</div>"), u"<p>a</p><div>b</div>");
  EXPECT_EQ(Clean(u"<scr<script>ipt>alert(1)</scr</script>ipt>"), u"<p>ipt&gt;alert(1)ipt&gt;</p>");
}

TEST(HtmlSanitizer, OutputIsStable) {
  for (const char16_t* html :
       {u"<p>a<b>b<p>c</b>d", u"<table><td>x<table><tr><td>y</table>z",
        u"<ul><li>a<ul><li>b</ul><li>c</ul>", u"<a href=https://a>x<a href=https://b>y</a>",
        u"<dl><dt>t<dd>d<dt>u</dl>", u"<pre>\n\nx</pre>", u"<p>&nbsp; &amp;amp;</p>",
        u"<pdl.dlhiv> ", u"x<unknown>text</unknown>", u"<x>a<p>b</x>c"}) {
    const std::u16string once = Clean(html);
    EXPECT_EQ(Clean(once), once);
  }
}

}  // namespace
}  // namespace veilmark

// Whatever the sender writes, the sanitized HTML read again by the parser holds
// only allowlisted elements and attributes, no handler, comment, disallowed
// scheme or style, and sanitizing it again changes nothing.
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "base/text.h"
#include "fuzz_support.h"
#include "read/html_sanitizer.h"

namespace {

constexpr char16_t kOrigin[] = u"https://vault.example";

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string Lower(std::string text) {
  veilmark::LowerAscii(text);
  return text;
}

std::string Attribute(xmlNode* node, xmlAttr* attribute) {
  xmlChar* value = xmlNodeListGetString(node->doc, attribute->children, 1);
  std::string text = value ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return text;
}

void CheckAttribute(const std::string& element, const std::string& name, const std::string& value) {
  FUZZ_CHECK(name.rfind("on", 0) != 0);
  const std::string lower = Lower(value);
  if (name == "href") {
    FUZZ_CHECK(element == "a");
    FUZZ_CHECK(lower.rfind("https:", 0) == 0 || lower.rfind("http:", 0) == 0 ||
               lower.rfind("mailto:", 0) == 0 || lower.rfind("#", 0) == 0);
  } else if (name == "src") {
    FUZZ_CHECK(element == "img");
    FUZZ_CHECK(lower.rfind("https://vault.example/", 0) == 0 ||
               lower.rfind("data:image/png;base64,", 0) == 0 ||
               lower.rfind("data:image/gif;base64,", 0) == 0 ||
               lower.rfind("data:image/jpeg;base64,", 0) == 0 ||
               lower.rfind("data:image/webp;base64,", 0) == 0);
  } else if (name == "alt") {
    FUZZ_CHECK(element == "img");
  } else if (name == "style") {
    // No word that could load, run or bind, in any declaration; no
    // property that places or hides content over the pane.
    for (std::string_view banned :
         {"expression", "url(", "behavior", "binding", "javascript", "vbscript", "@", "\\", "/*"}) {
      FUZZ_CHECK(lower.find(banned) == std::string::npos);
    }
    std::size_t start = 0;
    while (start < lower.size()) {
      const std::size_t end = std::min(lower.find(';', start), lower.size());
      const std::string declaration = lower.substr(start, end - start);
      const std::string property = declaration.substr(0, declaration.find(':'));
      FUZZ_CHECK(!IsOneOf(property, {"position", "display", "visibility", "z-index", "background",
                                     "background-image", "list-style-image", "content", "cursor",
                                     "-moz-binding", "behavior", "float", "top", "left"}));
      start = end + 1;
    }
  } else {
    FUZZ_CHECK(IsOneOf(
        name, {"align", "valign", "width", "height", "colspan", "rowspan", "border", "cellpadding",
               "cellspacing", "bgcolor", "color", "face", "size", "dir", "title", "class"}));
  }
}

void CheckTree(xmlNode* node) {
  for (; node; node = node->next) {
    FUZZ_CHECK(node->type != XML_COMMENT_NODE && node->type != XML_PI_NODE);
    if (node->type != XML_ELEMENT_NODE) continue;
    const std::string name = reinterpret_cast<const char*>(node->name);
    // The parser's own document wrapper, and the paragraph it opens for text
    // at the top, are its additions.
    FUZZ_CHECK(IsOneOf(
        name, {"html",   "body",    "p",      "div",        "span",  "br",    "hr",  "b",
               "strong", "i",       "em",     "u",          "s",     "sub",   "sup", "small",
               "big",    "font",    "center", "blockquote", "pre",   "code",  "h1",  "h2",
               "h3",     "h4",      "h5",     "h6",         "ul",    "ol",    "li",  "dl",
               "dt",     "dd",      "table",  "thead",      "tbody", "tfoot", "tr",  "td",
               "th",     "caption", "col",    "colgroup",   "a",     "img"}));
    for (xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
      CheckAttribute(name, reinterpret_cast<const char*>(attribute->name),
                     Attribute(node, attribute));
    }
    CheckTree(node->children);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string input =
      veilmark::Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
  const veilmark::SanitizedHtml once = veilmark::SanitizeHtml(input, kOrigin);
  const veilmark::SanitizedHtml twice = veilmark::SanitizeHtml(once.html, kOrigin);
  FUZZ_CHECK(twice.html == once.html);
  FUZZ_CHECK(!twice.blockedRemoteImages);
  FUZZ_CHECK(once.html.find(u"<!") == std::u16string::npos);

  const std::string output = veilmark::WideToUtf8(once.html);
  htmlDocPtr document = htmlReadMemory(
      output.data(), static_cast<int>(output.size()), nullptr, "UTF-8",
      HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
  if (document) {
    CheckTree(xmlDocGetRootElement(document));
    xmlFreeDoc(document);
  }
  return 0;
}

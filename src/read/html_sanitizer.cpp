#include "read/html_sanitizer.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/text.h"

namespace veilmark {
namespace {

enum class Treatment { kKeep, kUnwrap, kDrop };

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

Treatment Classify(std::string_view name) {
  if (IsOneOf(name, {"p",      "div",        "span",  "br",    "hr",  "b",     "strong", "i",
                     "em",     "u",          "s",     "sub",   "sup", "small", "big",    "font",
                     "center", "blockquote", "pre",   "code",  "h1",  "h2",    "h3",     "h4",
                     "h5",     "h6",         "ul",    "ol",    "li",  "dl",    "dt",     "dd",
                     "table",  "thead",      "tbody", "tfoot", "tr",  "td",    "th",     "caption",
                     "col",    "colgroup",   "a",     "img"})) {
    return Treatment::kKeep;
  }
  // Code, forms, frames and embedded documents go with everything inside
  // them; so do the head and the old engine's comment element and data
  // islands, whose content it never shows as text. Void elements of the same
  // kind (embed, input, meta, link, base, frame, param) have no content: the
  // parser may not know them all as void, so they are only left out, and
  // what it nested in them stays the message's own, sanitized like the rest.
  if (IsOneOf(name,
              {"script",   "style",    "iframe",   "frameset", "object", "applet", "form",
               "button",   "textarea", "select",   "option",   "svg",    "math",   "template",
               "noscript", "noembed",  "noframes", "head",     "title",  "xml",    "comment"})) {
    return Treatment::kDrop;
  }
  return Treatment::kUnwrap;
}

bool IsVoid(std::string_view name) {
  return IsOneOf(name, {"br", "hr", "img", "col"});
}

// Layout and look only: nothing that positions over the pane, hides, or loads.
bool IsAllowedStyleProperty(std::string_view name) {
  static const std::unordered_set<std::string_view> kAllowed = {
      "color",           "background-color", "font",           "font-family",     "font-size",
      "font-style",      "font-weight",      "font-variant",   "line-height",     "text-align",
      "text-decoration", "text-indent",      "text-transform", "letter-spacing",  "word-spacing",
      "white-space",     "vertical-align",   "direction",      "list-style-type", "width",
      "height",          "min-width",        "max-width",      "min-height",      "max-height",
      "border-collapse", "border-spacing"};
  if (kAllowed.count(name) != 0) return true;
  for (std::string_view box : {"margin", "padding", "border"}) {
    if (name.substr(0, box.size()) != box) continue;
    std::string_view rest = name.substr(box.size());
    if (rest.empty()) return true;
    for (std::string_view side : {"-top", "-right", "-bottom", "-left"}) {
      if (rest.substr(0, side.size()) == side) {
        rest.remove_prefix(side.size());
        break;
      }
    }
    if (rest.empty()) return true;
    return box == "border" && IsOneOf(rest, {"-width", "-style", "-color"});
  }
  return false;
}

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string Lowered(std::string_view text) {
  std::string lower(text);
  LowerAscii(lower);
  return lower;
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
  };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// A declaration's value: words, numbers, units, colours, quoted font names and
// the colour functions. No escapes, comments, url(), expression() or
// anything else that could make the value call out or run.
bool IsHarmlessStyleValue(std::string_view value) {
  if (value.empty()) return false;
  const std::string lower = Lowered(value);
  for (std::string_view banned :
       {"expression", "url", "behavior", "binding", "javascript", "vbscript"}) {
    if (lower.find(banned) != std::string::npos) return false;
  }
  char quote = 0;
  bool inFunction = false;
  std::size_t wordStart = 0;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    const char c = lower[i];
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '\\' || c == ';' || c == ':' || c == '<' || c == '>' ||
        c == '&' || c == '@' || c == '/' || c == '*') {
      return false;
    }
    if (quote) {
      if (c == quote) quote = 0;
      if (c == '(' || c == ')') return false;
      continue;
    }
    if (byte >= 0x80) return false;  // full-width letters once spelled keywords
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '(') {
      if (inFunction) return false;
      if (!IsOneOf(std::string_view(lower).substr(wordStart, i - wordStart),
                   {"rgb", "rgba", "hsl", "hsla"})) {
        return false;
      }
      inFunction = true;
    } else if (c == ')') {
      if (!inFunction) return false;
      inFunction = false;
    } else if (!IsAsciiAlpha(c) && !IsAsciiDigit(c) &&
               std::string_view("-#%., !+").find(c) == std::string_view::npos) {
      return false;
    }
    if (!IsAsciiAlpha(c) && !IsAsciiDigit(c) && c != '-') wordStart = i + 1;
  }
  return quote == 0 && !inFunction;
}

// The allowed declarations, written back as "name:value" joined by ";".
std::string FilterStyle(std::string_view style) {
  // Comments and escapes would let the browser read other words than the
  // ones checked here: such a style is dropped whole.
  if (style.find('\\') != std::string_view::npos || style.find("/*") != std::string_view::npos) {
    return {};
  }
  std::string kept;
  while (!style.empty()) {
    const std::size_t end = std::min(style.find(';'), style.size());
    const std::string_view declaration = style.substr(0, end);
    style.remove_prefix(std::min(end + 1, style.size()));
    const std::size_t colon = declaration.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string property = Lowered(Trimmed(declaration.substr(0, colon)));
    const std::string_view value = Trimmed(declaration.substr(colon + 1));
    if (!IsAllowedStyleProperty(property) || !IsHarmlessStyleValue(value)) continue;
    if (!kept.empty()) kept += ';';
    kept += property;
    kept += ':';
    kept += value;
  }
  return kept;
}

// A URL as the browser reads it: control characters dropped wherever they
// are (the parser has already decoded character references), spaces trimmed.
std::string CleanUrl(std::string_view url) {
  const auto control = [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  };
  std::string clean;
  clean.reserve(url.size());
  // Runs between control characters, each appended whole.
  for (auto at = url.begin(); at != url.end();) {
    const auto stop = std::find_if(at, url.end(), control);
    clean.append(at, stop);
    at = stop == url.end() ? stop : stop + 1;
  }
  const std::string_view trimmed = Trimmed(clean);
  return std::string(trimmed);
}

// The lower-cased scheme, or empty when the URL has none.
std::string SchemeOf(std::string_view url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0 || !IsAsciiAlpha(url[0])) return {};
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = url[i];
    if (!IsAsciiAlpha(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.') return {};
  }
  return Lowered(url.substr(0, colon));
}

bool IsAllowedLink(std::string_view url) {
  const std::string scheme = SchemeOf(url);
  if (scheme.empty()) return !url.empty() && url.front() == '#';
  return scheme == "https" || scheme == "http" || scheme == "mailto";
}

// `text` starts with `lowerPrefix`, letters in any case.
bool StartsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerPrefix[i]) return false;
  }
  return true;
}

bool IsInlineImage(std::string_view url) {
  for (std::string_view prefix : {"data:image/png;base64,", "data:image/gif;base64,",
                                  "data:image/jpeg;base64,", "data:image/webp;base64,"}) {
    if (!StartsWithIgnoringCase(url, prefix)) continue;
    const std::string_view data = url.substr(prefix.size());
    return std::all_of(data.begin(), data.end(), [](char c) {
      return IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '+' || c == '/' || c == '=' || c == ' ';
    });
  }
  return false;
}

bool IsRemote(std::string_view url) {
  const std::string scheme = SchemeOf(url);
  return scheme == "http" || scheme == "https" || scheme == "ftp" || url.substr(0, 2) == "//" ||
         url.substr(0, 2) == "\\\\";
}

// Per byte: 1 escaped in text and attributes, 2 in attributes only.
struct EscapeTable {
  unsigned char kind[256];
  constexpr EscapeTable() : kind() {
    kind[static_cast<unsigned char>('&')] = kind[static_cast<unsigned char>('<')] =
        kind[static_cast<unsigned char>('>')] = 1 | 2;
    kind[static_cast<unsigned char>('"')] = kind[static_cast<unsigned char>('\'')] = 2;
  }
};
constexpr EscapeTable kEscapes;

void AppendEscaped(std::string& out, const char* text, std::size_t size, bool attribute) {
  const unsigned char escaped = attribute ? 2 : 1;
  std::size_t plain = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (!(kEscapes.kind[static_cast<unsigned char>(text[i])] & escaped)) continue;
    const char* entity = nullptr;
    switch (text[i]) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '"':
        entity = "&quot;";
        break;
      default:
        entity = "&#39;";
        break;
    }
    out.append(text + plain, i - plain);
    out += entity;
    plain = i + 1;
  }
  out.append(text + plain, size - plain);
}

void AppendAttribute(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  AppendEscaped(out, value.data(), value.size(), true);
  out += '"';
}

// What is known of an element by its name, worked out once per distinct name
// a document uses rather than by list for every tag; elements are named by
// their index here.
class ElementKinds {
 public:
  struct Kind {
    std::string name;
    Treatment treatment;
    bool isVoid;
    bool isAnchor;
    bool isImage;
  };

  std::size_t IdOf(std::string_view name) {
    const auto found = ids_.find(name);
    if (found != ids_.end()) return found->second;
    const std::size_t id = kinds_.size();
    kinds_.push_back({std::string(name), Classify(name), IsVoid(name), name == "a", name == "img"});
    ids_.emplace(kinds_.back().name, id);
    return id;
  }

  const Kind& operator[](std::size_t id) const { return kinds_[id]; }

  // The parser, reading the output again, would close `open` on seeing
  // `next` start; pairs of the first names are remembered.
  bool ParserClosesOn(std::size_t open, std::size_t next) {
    if (open >= kRemembered || next >= kRemembered) {
      return ParserClosesOn(kinds_[open].name, kinds_[next].name);
    }
    const std::uint64_t bit = std::uint64_t{1} << next;
    if (!(asked_[open] & bit)) {
      asked_[open] |= bit;
      if (ParserClosesOn(kinds_[open].name, kinds_[next].name)) closes_[open] |= bit;
    }
    return (closes_[open] & bit) != 0;
  }

 private:
  static constexpr std::size_t kRemembered = 64;

  static bool ParserClosesOn(const std::string& open, const std::string& next) {
    if (open == next) {
      return IsOneOf(open, {"a", "col", "colgroup", "li", "p", "tbody", "td", "th", "tr"});
    }
    // The parser's own table of start tags that end an open element, read
    // through its public check with a lone node standing for the new tag.
    xmlNode probe{};
    probe.type = XML_ELEMENT_NODE;
    probe.name = reinterpret_cast<const xmlChar*>(next.c_str());
    return htmlAutoCloseTag(nullptr, reinterpret_cast<const xmlChar*>(open.c_str()), &probe) == 1;
  }

  std::deque<Kind> kinds_;  // never moves a name the index points into
  std::unordered_map<std::string_view, std::size_t> ids_;
  std::uint64_t asked_[kRemembered] = {};
  std::uint64_t closes_[kRemembered] = {};
};

// The attributes kept in some form, by name.
enum class AttributeKind { kOther, kPlain, kAlt, kStyle, kHref, kSrc };

AttributeKind AttributeKindOf(std::string_view name) {
  static const std::unordered_map<std::string_view, AttributeKind> kKinds = [] {
    std::unordered_map<std::string_view, AttributeKind> kinds;
    for (std::string_view plain :
         {"align", "valign", "width", "height", "colspan", "rowspan", "border", "cellpadding",
          "cellspacing", "bgcolor", "color", "face", "size", "dir", "title", "class"}) {
      kinds.emplace(plain, AttributeKind::kPlain);
    }
    kinds.emplace("alt", AttributeKind::kAlt);
    kinds.emplace("style", AttributeKind::kStyle);
    kinds.emplace("href", AttributeKind::kHref);
    kinds.emplace("src", AttributeKind::kSrc);
    return kinds;
  }();
  const auto found = kKinds.find(name);
  return found == kKinds.end() ? AttributeKind::kOther : found->second;
}

// The parser gives names in lower case already; a copy is made only when not.
class LowerName {
 public:
  explicit LowerName(const char* raw) : view_(raw) {
    if (std::any_of(view_.begin(), view_.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
      copy_ = Lowered(view_);
      view_ = copy_;
    }
  }
  std::string_view view() const { return view_; }

 private:
  std::string_view view_;
  std::string copy_;
};

// What the serializer has open: every element the parser reported, with what
// became of it in the output.
struct OpenElement {
  std::size_t id;
  Treatment treatment;
  bool closedEarly = false;
};

class Writer {
 public:
  Writer(std::string origin, std::size_t inputSize) : imageOrigin_(std::move(origin)) {
    out_.reserve(inputSize);
  }

  void Start(const char* rawName, const xmlChar** attributes) {
    const std::size_t id = kinds_.IdOf(LowerName(rawName).view());
    const ElementKinds::Kind& kind = kinds_[id];
    Treatment treatment = dropping_ > 0 ? Treatment::kDrop : kind.treatment;
    if (treatment == Treatment::kDrop) ++dropping_;
    if (treatment == Treatment::kKeep) {
      CloseWhatTheParserWouldClose(id);
      tagWritten_ = true;
      out_ += '<';
      out_ += kind.name;
      WriteAttributes(kind, attributes);
      out_ += '>';
    }
    open_.push_back({id, treatment});
  }

  void End(const char* rawName) {
    const std::size_t id = kinds_.IdOf(LowerName(rawName).view());
    auto match = std::find_if(open_.rbegin(), open_.rend(),
                              [&](const OpenElement& element) { return element.id == id; });
    if (match == open_.rend()) return;
    const std::size_t keep = open_.size() - static_cast<std::size_t>(match - open_.rbegin()) - 1;
    while (open_.size() > keep) Pop();
  }

  void Text(const char* text, std::size_t size) {
    if (dropping_ > 0) return;
    if (!tagWritten_) {
      // Read again, blanks before the first tag are skipped, and other text
      // there gets a paragraph of the parser's own around it: the output
      // does the same itself, with the paragraph below all else.
      const bool blank = std::all_of(text, text + size, [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r';
      });
      if (blank) return;
      out_ += "<p>";
      open_.insert(open_.begin(), {kinds_.IdOf("p"), Treatment::kKeep});
      tagWritten_ = true;
    }
    AppendEscaped(out_, text, size, false);
  }

  std::string Finish() {
    while (!open_.empty()) Pop();
    return std::move(out_);
  }

  bool blockedRemoteImages() const { return blocked_; }

 private:
  void Pop() {
    const OpenElement& element = open_.back();
    if (element.treatment == Treatment::kDrop) --dropping_;
    const ElementKinds::Kind& kind = kinds_[element.id];
    if (element.treatment == Treatment::kKeep && !element.closedEarly && !kind.isVoid) {
      out_ += "</";
      out_ += kind.name;
      out_ += '>';
    }
    open_.pop_back();
  }

  // Unwrapping can put an element straight inside one that, read again, the
  // parser would close on seeing it (a <p> in a <p>). Closing it here keeps
  // the output what a second reading makes of it.
  void CloseWhatTheParserWouldClose(std::size_t id) {
    for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
      const ElementKinds::Kind& open = kinds_[it->id];
      if (it->treatment != Treatment::kKeep || it->closedEarly || open.isVoid) continue;
      if (!kinds_.ParserClosesOn(it->id, id)) return;
      out_ += "</";
      out_ += open.name;
      out_ += '>';
      it->closedEarly = true;
    }
  }

  void WriteAttributes(const ElementKinds::Kind& element, const xmlChar** attributes) {
    if (!attributes) return;
    // The parser has already dropped repeated attributes, keeping the first
    // as browsers do.
    for (std::size_t i = 0; attributes[i]; i += 2) {
      const LowerName lower(reinterpret_cast<const char*>(attributes[i]));
      const std::string_view name = lower.view();
      const char* rawValue = reinterpret_cast<const char*>(attributes[i + 1]);
      const std::string_view value = rawValue ? rawValue : "";
      switch (AttributeKindOf(name)) {
        case AttributeKind::kPlain:
          AppendAttribute(out_, name, value);
          break;
        case AttributeKind::kAlt:
          if (element.isImage) AppendAttribute(out_, name, value);
          break;
        case AttributeKind::kStyle: {
          const std::string style = FilterStyle(value);
          if (!style.empty()) AppendAttribute(out_, name, style);
          break;
        }
        case AttributeKind::kHref:
          if (element.isAnchor) {
            const std::string url = CleanUrl(value);
            if (IsAllowedLink(url)) AppendAttribute(out_, name, url);
          }
          break;
        case AttributeKind::kSrc:
          if (element.isImage) {
            const std::string url = CleanUrl(value);
            if (IsInlineImage(url) || IsOwnImage(url)) {
              AppendAttribute(out_, name, url);
            } else if (IsRemote(url)) {
              blocked_ = true;
            }
          }
          break;
        case AttributeKind::kOther:
          break;
      }
    }
  }

  bool IsOwnImage(std::string_view url) const {
    return url.size() > imageOrigin_.size() && url[imageOrigin_.size()] == '/' &&
           StartsWithIgnoringCase(url, imageOrigin_);
  }

  std::string imageOrigin_;  // lower-cased
  std::string out_;
  ElementKinds kinds_;
  std::vector<OpenElement> open_;
  int dropping_ = 0;
  bool tagWritten_ = false;
  bool blocked_ = false;
};

void OnStart(void* context, const xmlChar* name, const xmlChar** attributes) {
  static_cast<Writer*>(context)->Start(reinterpret_cast<const char*>(name), attributes);
}

void OnEnd(void* context, const xmlChar* name) {
  static_cast<Writer*>(context)->End(reinterpret_cast<const char*>(name));
}

void OnText(void* context, const xmlChar* text, int size) {
  static_cast<Writer*>(context)->Text(reinterpret_cast<const char*>(text),
                                      static_cast<std::size_t>(size));
}

}  // namespace

SanitizedHtml SanitizeHtml(std::u16string_view html, std::u16string_view imageOrigin) {
  // A NUL would end the parser's reading early; browsers read it as U+FFFD.
  std::string input = WideToUtf8(html);
  for (std::size_t nul = input.find('\0'); nul != std::string::npos; nul = input.find('\0', nul)) {
    input.replace(nul, 1, "\xEF\xBF\xBD");
  }
  Writer writer(Lowered(WideToUtf8(imageOrigin)), input.size());
  if (!input.empty()) {
    xmlInitParser();
    htmlParserCtxtPtr context = htmlCreateMemoryParserCtxt(
        input.data(), static_cast<int>(std::min<std::size_t>(input.size(), INT32_MAX)));
    if (context) {
      // Only structure and text are wanted: no tree, no messages, no network,
      // and the document cannot switch the encoding it was decoded with.
      htmlSAXHandler handlers{};
      handlers.startElement = OnStart;
      handlers.endElement = OnEnd;
      handlers.characters = OnText;
      handlers.ignorableWhitespace = OnText;
      handlers.cdataBlock = OnText;
      *context->sax = handlers;
      context->userData = &writer;
      htmlCtxtUseOptions(context, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                      HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC);
      xmlSwitchEncoding(context, XML_CHAR_ENCODING_UTF8);
      htmlParseDocument(context);
      htmlFreeParserCtxt(context);
    }
  }
  SanitizedHtml result;
  result.blockedRemoteImages = writer.blockedRemoteImages();
  result.html = Utf8ToWide(writer.Finish());
  return result;
}

}  // namespace veilmark

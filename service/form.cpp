#include "form.h"

#include <cctype>

namespace veilmark::service {
namespace {

constexpr std::size_t kMaxParts = 64;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A parameter of a header value: name="value" (quoted, no escapes inside,
// as browsers and the add-in write it) or name=token.
std::optional<std::string> HeaderParameter(std::string_view value, std::string_view name) {
  std::size_t position = value.find(';');
  while (position != std::string_view::npos) {
    std::string_view rest = Trim(value.substr(position + 1));
    if (StartsWithNoCase(rest, name) && rest.size() > name.size() && rest[name.size()] == '=') {
      rest.remove_prefix(name.size() + 1);
      if (!rest.empty() && rest.front() == '"') {
        const std::size_t close = rest.find('"', 1);
        if (close == std::string_view::npos) return std::nullopt;
        return std::string(rest.substr(1, close - 1));
      }
      return std::string(Trim(rest.substr(0, rest.find(';'))));
    }
    // Skip a quoted value so that a ";" inside it is not taken as a separator.
    const std::size_t quote = value.find('"', position + 1);
    const std::size_t next = value.find(';', position + 1);
    if (quote != std::string_view::npos && quote < next) {
      const std::size_t close = value.find('"', quote + 1);
      if (close == std::string_view::npos) return std::nullopt;
      position = value.find(';', close + 1);
    } else {
      position = next;
    }
  }
  return std::nullopt;
}

bool ParsePartHeaders(std::string_view block, FormPart& part, std::string* error) {
  bool sawDisposition = false;
  std::size_t start = 0;
  while (start < block.size()) {
    std::size_t end = block.find("\r\n", start);
    if (end == std::string_view::npos) end = block.size();
    const std::string_view line = block.substr(start, end - start);
    start = end + 2;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      if (error) *error = "part header line without a colon";
      return false;
    }
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (StartsWithNoCase(name, "content-disposition") && name.size() == 19) {
      if (!StartsWithNoCase(value, "form-data")) {
        if (error) *error = "part is not form-data";
        return false;
      }
      auto fieldName = HeaderParameter(value, "name");
      if (!fieldName) {
        if (error) *error = "part without a field name";
        return false;
      }
      part.name = *fieldName;
      part.fileName = HeaderParameter(value, "filename");
      sawDisposition = true;
    } else if (StartsWithNoCase(name, "content-type") && name.size() == 12) {
      part.contentType = std::string(value);
    }
  }
  if (!sawDisposition && error) *error = "part without Content-Disposition";
  return sawDisposition;
}

}  // namespace

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+' && plusIsSpace) {
      out.push_back(' ');
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string PercentEncode(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kDigits[byte >> 4]);
      out.push_back(kDigits[byte & 0x0f]);
    }
  }
  return out;
}

std::map<std::string, std::string> ParseUrlEncoded(std::string_view body) {
  std::map<std::string, std::string> params;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('&', start);
    if (end == std::string_view::npos) end = body.size();
    const std::string_view pair = body.substr(start, end - start);
    if (!pair.empty()) {
      const std::size_t equals = pair.find('=');
      const std::string name = PercentDecode(pair.substr(0, equals), true);
      const std::string value =
          equals == std::string_view::npos ? "" : PercentDecode(pair.substr(equals + 1), true);
      params.emplace(name, value);
    }
    start = end + 1;
  }
  return params;
}

std::string MultipartBoundary(std::string_view contentType) {
  if (!StartsWithNoCase(Trim(contentType), "multipart/form-data")) return "";
  auto boundary = HeaderParameter(contentType, "boundary");
  if (!boundary || boundary->empty() || boundary->size() > 200) return "";
  return *boundary;
}

std::optional<std::vector<FormPart>> ParseMultipart(std::string_view body,
                                                    std::string_view boundary, std::string* error) {
  auto fail = [&](const char* reason) -> std::optional<std::vector<FormPart>> {
    if (error) *error = reason;
    return std::nullopt;
  };
  if (boundary.empty()) return fail("no boundary");
  const std::string delimiter = "--" + std::string(boundary);
  // The first delimiter opens the body (a preamble before it is ignored).
  std::size_t position;
  if (body.substr(0, delimiter.size()) == delimiter) {
    position = 0;
  } else {
    position = body.find("\r\n" + delimiter);
    if (position == std::string_view::npos) return fail("no opening boundary");
    position += 2;
  }
  std::vector<FormPart> parts;
  const std::string separator = "\r\n" + delimiter;
  for (;;) {
    position += delimiter.size();
    if (body.substr(position, 2) == "--") return parts;  // closing delimiter
    if (body.substr(position, 2) != "\r\n") return fail("boundary not followed by a line break");
    position += 2;
    if (parts.size() == kMaxParts) return fail("too many parts");
    // Every form-data part names its field, so a part opening with the blank
    // line is as malformed as one whose headers never end.
    if (body.substr(position, 2) == "\r\n") return fail("part without Content-Disposition");
    const std::size_t headersEnd = body.find("\r\n\r\n", position);
    if (headersEnd == std::string_view::npos) return fail("part headers not ended");
    FormPart part;
    const std::size_t contentStart = headersEnd + 4;
    if (!ParsePartHeaders(body.substr(position, headersEnd - position), part, error)) {
      return std::nullopt;
    }
    const std::size_t contentEnd = body.find(separator, contentStart);
    if (contentEnd == std::string_view::npos) return fail("part not closed by a boundary");
    part.data = std::string(body.substr(contentStart, contentEnd - contentStart));
    parts.push_back(std::move(part));
    position = contentEnd + 2;
  }
}

}  // namespace veilmark::service

// Request bodies of the API: url-encoded forms and multipart/form-data.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veilmark::service {

// Name to value, decoded ("+" is a space, %XX a byte); the first of a
// repeated name wins. Malformed %-escapes are kept literally.
std::map<std::string, std::string> ParseUrlEncoded(std::string_view body);

std::string PercentDecode(std::string_view text, bool plusIsSpace);
// Every byte but ASCII letters, digits and "-._~" as %XX.
std::string PercentEncode(std::string_view bytes);

struct FormPart {
  std::string name;
  std::optional<std::string> fileName;  // raw bytes between the quotes
  std::string contentType;              // empty when the part has none
  std::string data;
};

// The boundary parameter of a multipart Content-Type value, or empty.
std::string MultipartBoundary(std::string_view contentType);

// The parts of a multipart/form-data body, or nothing with a reason in
// `error` when the body does not follow the boundary structure.
std::optional<std::vector<FormPart>> ParseMultipart(std::string_view body,
                                                    std::string_view boundary, std::string* error);

}  // namespace veilmark::service

// The form-encoded POST every command but the upload travels as.
#include <string>

#include "api/api_client.h"
#include "util/text.h"

namespace veilmark {
namespace {

void AppendParam(std::string& body, const std::string& name, std::string_view bytes) {
  body += name;
  body += '=';
  body += UrlEncode(bytes);
  body += '&';
}

}  // namespace

std::string BuildFormBody(const TextParams& textParams, const ByteParams& byteParams) {
  std::string body;
  for (const auto& [name, value] : textParams) {
    if (!value.empty()) AppendParam(body, name, WideToUtf8(value));
  }
  for (const auto& [name, value] : byteParams) {
    if (!value.empty()) AppendParam(body, name, value);
  }
  body += "json=true";
  return body;
}

std::unique_ptr<ServerReply> ApiClient::postForm(std::u16string_view command,
                                                 const TextParams& textParams,
                                                 const ByteParams& byteParams) {
  const std::string body = BuildFormBody(textParams, byteParams);
  std::u16string headers = u"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: ";
  headers += Utf8ToWide(std::to_string(body.size()));
  headers += u"\r\n";
  return exchange(kApiPathPrefix + std::u16string(command), std::move(headers), body);
}

}  // namespace veilmark

// The form-encoded POST every command but the upload travels as.
#include <string>
#include <utility>
#include <vector>

#include "api/api_client.h"
#include "util/text.h"

namespace veilmark {
namespace {

void AppendParam(std::string& body, const std::string& name, std::string_view bytes) {
  body += name;
  body += '=';
  AppendUrlEncoded(body, bytes);
  body += '&';
}

}  // namespace

std::string BuildFormBody(const TextParams& textParams, const ByteParams& byteParams) {
  std::vector<std::pair<const std::string*, std::string>> texts;
  for (const auto& [name, value] : textParams) {
    if (!value.empty()) texts.emplace_back(&name, WideToUtf8(value));
  }
  // One allocation of the exact size: a message source can be large.
  std::size_t size = sizeof "json=true" - 1;
  for (const auto& [name, utf8] : texts) size += name->size() + 2 + UrlEncodedLength(utf8);
  for (const auto& [name, value] : byteParams) {
    if (!value.empty()) size += name.size() + 2 + UrlEncodedLength(value);
  }
  std::string body;
  body.reserve(size);
  for (const auto& [name, utf8] : texts) AppendParam(body, *name, utf8);
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

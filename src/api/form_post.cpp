// The form-encoded POST every command but the upload travels as.
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "api/api_client.h"
#include "util/checked_size.h"
#include "util/text.h"

namespace veilmark {
namespace {

void AppendParam(std::string& body, const std::string& name, std::string_view bytes) {
  body += name;
  body += '=';
  AppendUrlEncoded(body, bytes);
  body += '&';
}

// The parameters as sent: texts in UTF-8 (converted once), empty values left
// out, names in order, texts first.
struct FormParts {
  std::vector<std::pair<const std::string*, std::string>> texts;
  std::vector<std::pair<const std::string*, std::string_view>> bytes;
};

FormParts Collect(const TextParams& textParams, const ByteParams& byteParams) {
  FormParts parts;
  for (const auto& [name, value] : textParams) {
    if (!value.empty()) parts.texts.emplace_back(&name, WideToUtf8(value));
  }
  for (const auto& [name, value] : byteParams) {
    if (!value.empty()) parts.bytes.emplace_back(&name, value);
  }
  return parts;
}

CheckedSize SizeOf(const FormParts& parts) {
  CheckedSize size(sizeof "json=true" - 1);
  auto add = [&size](const std::string& name, std::string_view value) {
    const std::size_t encoded = UrlEncodedLength(value);
    if (encoded == kSizeMax) size += kSizeMax;  // did not fit: the sum wraps
    size += name.size();
    size += 2;  // '=' and '&'
    size += encoded;
  };
  for (const auto& [name, utf8] : parts.texts) add(*name, utf8);
  for (const auto& [name, value] : parts.bytes) add(*name, value);
  return size;
}

std::string Build(const FormParts& parts, std::size_t size) {
  std::string body;
  body.reserve(size);  // one allocation of the exact size: a message source can be large
  for (const auto& [name, utf8] : parts.texts) AppendParam(body, *name, utf8);
  for (const auto& [name, value] : parts.bytes) AppendParam(body, *name, value);
  body += "json=true";
  return body;
}

}  // namespace

CheckedSize FormBodySize(const TextParams& textParams, const ByteParams& byteParams) {
  return SizeOf(Collect(textParams, byteParams));
}

std::string BuildFormBody(const TextParams& textParams, const ByteParams& byteParams) {
  const FormParts parts = Collect(textParams, byteParams);
  const CheckedSize size = SizeOf(parts);
  if (!size.ok()) throw std::length_error("form body too long");
  return Build(parts, size.value());
}

std::unique_ptr<ServerReply> ApiClient::postForm(std::u16string_view command,
                                                 const TextParams& textParams,
                                                 const ByteParams& byteParams) {
  const FormParts parts = Collect(textParams, byteParams);
  const CheckedSize size = SizeOf(parts);
  if (!size.AtMost(kMaxPayloadBytes)) return MakeFailureReply("CLIENT_ERROR", kPayloadTooLarge);
  const std::string body = Build(parts, size.value());
  std::u16string headers = u"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: ";
  headers += Utf8ToWide(std::to_string(body.size()));
  headers += u"\r\n";
  return exchange(kApiPathPrefix + std::u16string(command), std::move(headers), body);
}

}  // namespace veilmark

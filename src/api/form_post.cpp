// The form-encoded POST every command but the upload travels as.
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "api/api_client.h"
#include "base/checked_size.h"
#include "base/local_files.h"
#include "base/text.h"

namespace veilmark {
namespace {

void AppendParam(std::string& body, std::string_view name, std::string_view bytes) {
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

std::u16string FormHeaders(std::size_t size) {
  std::u16string headers = u"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: ";
  headers += Utf8ToWide(std::to_string(size));
  headers += u"\r\n";
  return headers;
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

DecryptMimeBody::DecryptMimeBody(const std::u16string& cipherFile) {
  constexpr std::string_view kField = "cipherText=";
  CheckedSize size(kField.size() + 1);
  ReadFileInChunks(cipherFile, [&](std::string_view chunk) {
    cipherBytes_ += chunk.size();
    const std::size_t encoded = UrlEncodedLength(chunk);
    if (encoded == kSizeMax) size += kSizeMax;  // did not fit: the sum wraps
    size += encoded;
  });
  if (!size.AtMost(kMaxPayloadBytes)) {
    tooLarge_ = true;
    return;
  }
  if (cipherBytes_ > 0) {
    // Room for the session and the end, so a new session seldom moves the body.
    body_.reserve(size.value() + 256);
    body_ += kField;
    ReadFileInChunks(cipherFile, [&](std::string_view chunk) { AppendUrlEncoded(body_, chunk); });
    body_ += '&';
  }
  sessionAt_ = body_.size();
}

const std::string& DecryptMimeBody::WithSession(std::string_view sessionId) {
  body_.resize(sessionAt_);
  if (!sessionId.empty()) AppendParam(body_, "sessionId", sessionId);
  body_ += "json=true";
  return body_;
}

std::unique_ptr<ServerReply> ApiClient::DecryptMime(const std::string& sessionId,
                                                    DecryptMimeBody& body) {
  if (body.tooLarge()) return MakeFailureReply("CLIENT_ERROR", kPayloadTooLarge);
  const std::string& bytes = body.WithSession(sessionId);
  if (bytes.size() > kMaxPayloadBytes) return MakeFailureReply("CLIENT_ERROR", kPayloadTooLarge);
  return Exchange(kApiPathPrefix + std::u16string(u"decrypt-mime"), FormHeaders(bytes.size()),
                  bytes);
}

std::unique_ptr<ServerReply> ApiClient::PostForm(std::u16string_view command,
                                                 const TextParams& textParams,
                                                 const ByteParams& byteParams) {
  const FormParts parts = Collect(textParams, byteParams);
  const CheckedSize size = SizeOf(parts);
  if (!size.AtMost(kMaxPayloadBytes)) return MakeFailureReply("CLIENT_ERROR", kPayloadTooLarge);
  const std::string body = Build(parts, size.value());
  return Exchange(kApiPathPrefix + std::u16string(command), FormHeaders(body.size()), body);
}

}  // namespace veilmark

// "upload-attachments": one file per multipart request.
#include <cstddef>
#include <ctime>
#include <stdexcept>
#include <string>
#include <string_view>

#include "api/api_client.h"
#include "api/content_type.h"
#include "util/checked_size.h"
#include "util/text.h"

namespace veilmark {
namespace {

// A quote, CR or LF would end the filename parameter or the part header
// early; escape them as browsers do. Every other byte stays raw UTF-8.
std::string QuotedFileName(std::u16string_view fileName) {
  std::string out;
  for (char c : WideToUtf8(fileName)) {
    switch (c) {
      case '"':
        out += "%22";
        break;
      case '\r':
        out += "%0D";
        break;
      case '\n':
        out += "%0A";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string MakeBoundary(std::time_t now, std::string_view data) {
  std::string boundary =
      "---------------------veilmark" + std::to_string(static_cast<long long>(now));
  // A delimiter is "--" and the boundary at the start of a line.
  while (data.find("\r\n--" + boundary) != std::string_view::npos ||
         data.rfind("--" + boundary, 0) == 0) {
    boundary += 'x';
  }
  return boundary;
}

namespace {

// The fixed texts around the variable parts, in order.
constexpr std::string_view kOpen = "--";
constexpr std::string_view kFileHeader =
    "\r\nContent-Disposition: form-data; name=\"ATT1\"; filename=\"";
constexpr std::string_view kTypeHeader = "\";\r\nContent-Type: ";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kNextPart = "\r\n--";
constexpr std::string_view kSessionHeader =
    "\r\nContent-Disposition: form-data; name=\"sessionId\"\r\n\r\n";
constexpr std::string_view kJsonPart =
    "\r\nContent-Disposition: form-data; name=\"json\"\r\n\r\ntrue\r\n--";
constexpr std::string_view kClose = "--\r\n";

}  // namespace

CheckedSize MultipartBodySize(std::size_t boundary, std::size_t data, std::size_t quotedFileName,
                              std::size_t contentType, std::size_t sessionId) {
  CheckedSize size(kOpen.size() + kFileHeader.size() + kTypeHeader.size() + kHeaderEnd.size() +
                   2 * kNextPart.size() + kSessionHeader.size() + kJsonPart.size() + kClose.size());
  CheckedSize boundaries(boundary);
  boundaries *= 4;
  size += boundaries;
  size += data;
  size += quotedFileName;
  size += contentType;
  size += sessionId;
  return size;
}

std::string BuildMultipartBody(std::string_view boundary, std::string_view data,
                               std::u16string_view fileName, std::string_view sessionId) {
  const std::string quotedName = QuotedFileName(fileName);
  const std::string contentType = contentTypeFor(fileName);
  const CheckedSize size = MultipartBodySize(boundary.size(), data.size(), quotedName.size(),
                                             contentType.size(), sessionId.size());
  if (!size.ok()) throw std::length_error("multipart body too long");
  std::string body;
  body.reserve(size.value());
  body += kOpen;
  body += boundary;
  body += kFileHeader;
  body += quotedName;
  body += kTypeHeader;
  body += contentType;
  body += kHeaderEnd;
  body += data;
  body += kNextPart;
  body += boundary;
  body += kSessionHeader;
  body += sessionId;
  body += kNextPart;
  body += boundary;
  body += kJsonPart;
  body += boundary;
  body += kClose;
  return body;
}

std::unique_ptr<ServerReply> ApiClient::uploadAttachment(const std::string& sessionId,
                                                         std::string_view data,
                                                         std::u16string_view fileName) {
  // Refused before the boundary search and the copy: the bound is on the body.
  if (data.size() > kMaxPayloadBytes) return MakeFailureReply("CLIENT_ERROR", kPayloadTooLarge);
  const std::string boundary = MakeBoundary(std::time(nullptr), data);
  const CheckedSize size =
      MultipartBodySize(boundary.size(), data.size(), QuotedFileName(fileName).size(),
                        contentTypeFor(fileName).size(), sessionId.size());
  if (!size.AtMost(kMaxPayloadBytes)) return MakeFailureReply("CLIENT_ERROR", kPayloadTooLarge);
  const std::string body = BuildMultipartBody(boundary, data, fileName, sessionId);
  std::u16string headers = u"Content-Type: multipart/form-data; boundary=" + Utf8ToWide(boundary);
  return exchange(std::u16string(kApiPathPrefix) + u"upload-attachments", std::move(headers), body);
}

}  // namespace veilmark

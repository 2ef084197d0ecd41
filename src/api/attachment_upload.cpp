// "upload-attachments": one file per multipart request.
#include <ctime>
#include <string>

#include "api/api_client.h"
#include "api/content_type.h"
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

std::string BuildMultipartBody(std::string_view boundary, std::string_view data,
                               std::u16string_view fileName, std::string_view sessionId) {
  std::string body;
  body.reserve(data.size() + 512);
  body += "--";
  body += boundary;
  body += "\r\nContent-Disposition: form-data; name=\"ATT1\"; filename=\"";
  body += QuotedFileName(fileName);
  body += "\";\r\nContent-Type: ";
  body += contentTypeFor(fileName);
  body += "\r\n\r\n";
  body += data;
  body += "\r\n--";
  body += boundary;
  body += "\r\nContent-Disposition: form-data; name=\"sessionId\"\r\n\r\n";
  body += sessionId;
  body += "\r\n--";
  body += boundary;
  body += "\r\nContent-Disposition: form-data; name=\"json\"\r\n\r\ntrue\r\n--";
  body += boundary;
  body += "--\r\n";
  return body;
}

std::unique_ptr<ServerReply> ApiClient::uploadAttachment(const std::string& sessionId,
                                                         std::string_view data,
                                                         std::u16string_view fileName) {
  const std::string boundary = MakeBoundary(std::time(nullptr), data);
  const std::string body = BuildMultipartBody(boundary, data, fileName, sessionId);
  std::u16string headers = u"Content-Type: multipart/form-data; boundary=" + Utf8ToWide(boundary);
  return exchange(std::u16string(kApiPathPrefix) + u"upload-attachments", std::move(headers), body);
}

}  // namespace veilmark

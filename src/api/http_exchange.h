// The platform seam for one HTTPS POST: WinHTTP on Windows, libcurl on Linux.
#pragma once

#include <string>
#include <string_view>

#include "api/api_endpoint.h"

namespace veilmark {

struct HttpPost {
  std::u16string path;     // "/api/<command>"
  std::u16string headers;  // "Name: value" lines, each ended by "\r\n" (the last may be bare)
  std::string_view body;
};

// Either the whole reply body, or the failed step's message for the user.
struct ExchangeOutcome {
  bool ok = false;
  std::string body;
  std::string error;
};

class HttpExchange {
 public:
  virtual ~HttpExchange() = default;
  virtual ExchangeOutcome Post(const ApiEndpoint& endpoint, const HttpPost& post) = 0;
};

// The exchange this platform was built with; lives for the whole process.
HttpExchange& PlatformHttpExchange();

namespace exchange_messages {
inline constexpr char kOpenSession[] = "Unable to open HTTP session";
inline constexpr char kOpenConnection[] =
    "Unable to open HTTP connection to Veilmark server, please make sure you are connected to "
    "the internet";
inline constexpr char kSend[] = "Unable to send request - ";
inline constexpr char kReceive[] = "Unable to receive response - ";
inline constexpr char kQueryData[] = "Error in WinHttpQueryDataAvailable - ";
inline constexpr char kReadData[] = "Error in WinHttpReadData - ";
}  // namespace exchange_messages

}  // namespace veilmark

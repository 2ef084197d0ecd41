// The platform seam for one HTTPS POST: WinHTTP on Windows, libcurl on Linux.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "api/api_endpoint.h"
#include "base/cancellation.h"

namespace veilmark {

struct HttpPost {
  std::u16string path;     // "/api/<command>"
  std::u16string headers;  // "Name: value" lines, each ended by "\r\n" (the last may be bare)
  std::string_view body;
  // Set from the UI thread while the exchange runs on a worker: the
  // exchange stops as soon as it can and fails with kCancelled.
  Cancellation* cancel = nullptr;
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

// The bounds every exchange keeps, so a dead or hostile service never hangs
// the user nor fills a 32-bit process.
struct ExchangeLimits {
  // Close to WinHTTP's defaults, so a dead service never hangs the user.
  long connectSeconds = 60;
  // Once connected, fewer than `stallBytes` of body sent and received in
  // any `stallSeconds` is a stall, however the bytes are spread (0: no such
  // limit). WinHTTP also takes `stallSeconds` as its send and receive
  // time-outs.
  long stallSeconds = 30;
  std::size_t stallBytes = 1024;
  // No reply the add-in reads comes near this; a larger one is refused
  // rather than held in memory.
  std::size_t maxReplyBytes = std::size_t{64} * 1024 * 1024;
};

// The exchange this platform was built with (WinHTTP or libcurl).
std::unique_ptr<HttpExchange> MakePlatformHttpExchange(const ExchangeLimits& limits = {});

namespace exchange_messages {
inline constexpr char kOpenSession[] = "Unable to open HTTP session";
inline constexpr char kOpenConnection[] =
    "Unable to open HTTP connection to Veilmark server, please make sure you are connected to "
    "the internet";
inline constexpr char kSend[] = "Unable to send request - ";
inline constexpr char kReceive[] = "Unable to receive response - ";
inline constexpr char kQueryData[] = "Error in WinHttpQueryDataAvailable - ";
inline constexpr char kReadData[] = "Error in WinHttpReadData - ";
// A 3xx is never followed (it could carry the POST body to another host):
// the receive fails with WinHTTP's number for a refused redirect.
inline constexpr char kCancelled[] = "The request to the Veilmark server was cancelled";
inline constexpr char kRedirected[] = "Unable to receive response - 12156";
}  // namespace exchange_messages

}  // namespace veilmark

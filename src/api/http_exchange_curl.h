// The libcurl exchange with its limits, for callers that need other limits
// than the platform default (tests playing a slow or hostile service).
#pragma once

#include <cstddef>
#include <memory>

#include "api/http_exchange.h"

namespace veilmark {

struct CurlLimits {
  // Close to WinHTTP's defaults, so a dead service never hangs the user.
  long connectSeconds = 60;
  // Once connected, fewer than `stallBytes` of body sent and received in
  // any `stallSeconds` is a stall, however the bytes are spread (0: no
  // such limit).
  long stallSeconds = 30;
  std::size_t stallBytes = 1024;
  // No reply the add-in reads comes near this; a larger one is refused
  // rather than held in memory.
  std::size_t maxReplyBytes = std::size_t{64} * 1024 * 1024;
};

std::unique_ptr<HttpExchange> MakeCurlExchange(const CurlLimits& limits);

}  // namespace veilmark

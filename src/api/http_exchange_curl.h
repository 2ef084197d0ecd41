// The libcurl exchange with its limits, for callers that need other limits
// than the platform default.
#pragma once

#include <memory>

#include "api/http_exchange.h"

namespace veilmark {

using CurlLimits = ExchangeLimits;

std::unique_ptr<HttpExchange> MakeCurlExchange(const CurlLimits& limits);

}  // namespace veilmark

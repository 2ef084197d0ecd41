// Trusting the configured CA file beside the system's store, for every
// libcurl transfer of the add-in (the exchange and the fetching browser).
#pragma once

#include <curl/curl.h>

#include <string>

namespace veilmark {

// Sets the transfer up to trust the system's CAs and also `caFile` (kept
// alive by the caller for the transfer's life; none when it is empty).
void TrustExtraCa(CURL* curl, const std::string& caFile);

}  // namespace veilmark

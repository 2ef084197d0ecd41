// The form encoder's paths, each reachable on any processor so that tests
// can hold them all to the same output.
#pragma once

#include <string>
#include <string_view>

namespace veilmark {

// AppendUrlEncoded as on a processor without byte shuffles (SSSE3).
void AppendUrlEncodedWithoutShuffles(std::string& out, std::string_view input);

}  // namespace veilmark

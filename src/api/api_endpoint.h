// Where the service is: fixed once at start-up for the whole process.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veilmark {

inline constexpr char16_t kApiPathPrefix[] = u"/api/";
inline constexpr char kDefaultApiHost[] = "api.veilmark.com";

struct ApiEndpoint {
  std::u16string host = u"api.veilmark.com";
  std::uint16_t port = 443;
  // An extra trusted CA file, beside the system's store (Linux only).
  std::string caBundle;

  // "host", or "host:port" when the port is not 443: the apiHost of links.
  std::u16string authority() const;
};

// "host[:port]"; an empty text is the default host. A port that is not a
// number from 1 to 65535 leaves the whole text as the host name.
ApiEndpoint ParseApiHost(std::string_view text);

// VEILMARK_API_HOST and VEILMARK_CA_BUNDLE.
ApiEndpoint EndpointFromEnvironment();

}  // namespace veilmark

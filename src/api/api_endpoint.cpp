#include "api/api_endpoint.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "base/text.h"

namespace veilmark {
namespace {

std::optional<std::uint16_t> ParsePort(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::u16string ApiEndpoint::authority() const {
  std::u16string text = host.find(u':') == std::u16string::npos ? host : u"[" + host + u"]";
  if (port != 443) text += u":" + IntToWide(port);
  return text;
}

ApiEndpoint ParseApiHost(std::string_view text) {
  ApiEndpoint endpoint;
  if (text.empty()) return endpoint;
  std::string_view host = text;
  if (text.front() == '[') {  // [v6-address]:port
    const std::size_t close = text.find(']');
    if (close != std::string_view::npos) {
      host = text.substr(1, close - 1);
      std::string_view rest = text.substr(close + 1);
      if (rest.size() > 1 && rest.front() == ':') {
        if (auto port = ParsePort(rest.substr(1))) endpoint.port = *port;
      }
    }
  } else if (const std::size_t colon = text.rfind(':');
             colon != std::string_view::npos && text.find(':') == colon) {
    if (auto port = ParsePort(text.substr(colon + 1))) {
      host = text.substr(0, colon);
      endpoint.port = *port;
    }
  }
  endpoint.host = Utf8ToWide(host);
  return endpoint;
}

ApiEndpoint EndpointFromEnvironment() {
  const char* host = std::getenv("VEILMARK_API_HOST");
  ApiEndpoint endpoint = ParseApiHost(host ? host : "");
  if (const char* bundle = std::getenv("VEILMARK_CA_BUNDLE")) endpoint.caBundle = bundle;
  return endpoint;
}

}  // namespace veilmark

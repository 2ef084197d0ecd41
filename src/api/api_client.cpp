#include "api/api_client.h"

#include <string>
#include <utility>

#include "base/text.h"

namespace veilmark {

ApiClient::ApiClient(HttpExchange& exchange, ApiEndpoint endpoint)
    : exchange_(exchange), endpoint_(std::move(endpoint)) {}

std::unique_ptr<ServerReply> ApiClient::Exchange(std::u16string path, std::u16string headers,
                                                 std::string_view body) {
  HttpPost post{std::move(path), std::move(headers), body};
  ExchangeOutcome outcome = exchange_.Post(endpoint_, post);
  if (!outcome.ok) return MakeFailureReply("CLIENT_ERROR", std::move(outcome.error));
  return parseReply(outcome.body);
}

}  // namespace veilmark

#include "api/api_client.h"

#include <string>
#include <utility>

#include "base/diagnostic_log.h"
#include "base/text.h"

namespace veilmark {

ApiClient::ApiClient(HttpExchange& exchange, ApiEndpoint endpoint)
    : exchange_(exchange), endpoint_(std::move(endpoint)) {}

std::unique_ptr<ServerReply> ApiClient::Exchange(std::u16string path, std::u16string headers,
                                                 std::string_view body) {
  HttpPost post{std::move(path), std::move(headers), body, cancel_};
  ExchangeOutcome outcome = exchange_.Post(endpoint_, post);
  std::unique_ptr<ServerReply> reply =
      outcome.ok ? ParseOwnedReply(std::move(outcome.body))
                 : MakeFailureReply("CLIENT_ERROR", std::move(outcome.error));
  // The command and the code only: the messages may quote what was sent.
  if (!reply->status().isOk()) {
    const std::string command = WideToUtf8(post.path.substr(post.path.rfind(u'/') + 1));
    diagnostics::RecordServiceStatus(command, reply->status().code());
  }
  return reply;
}

}  // namespace veilmark

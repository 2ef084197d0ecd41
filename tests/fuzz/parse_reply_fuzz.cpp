// Any reply text gives a reply; a refusal never carries a payload. The local
// parser's own failure (request "error", exactly one message) comes only from
// text that is not JSON; the code PARSE_ERROR alone proves nothing, since a
// service may send {"status":{"statusCode":"PARSE_ERROR"}} itself. Text that
// is JSON keeps the status code it carries.
#include <json/json.h>

#include <string>
#include <string_view>

#include "api/server_reply.h"
#include "fuzz_support.h"

namespace {

// What the reply model must read as the code: "status" an object and its
// "statusCode" a scalar (not null) gives that scalar as text, else NOT_OK.
std::string ExpectedCode(const Json::Value& root) {
  if (!root.isObject() || !root.isMember("status")) return "NOT_OK";
  const Json::Value& status = root["status"];
  if (!status.isObject() || !status.isMember("statusCode")) return "NOT_OK";
  const Json::Value& code = status["statusCode"];
  if (code.isNull() || code.isObject() || code.isArray()) return "NOT_OK";
  return code.asString();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto reply = veilmark::parseReply(text);
  FUZZ_CHECK(reply);
  if (!reply->status().isOk()) {
    FUZZ_CHECK(reply->users().empty() && reply->clearText().empty() &&
               reply->decryptedAttachments().empty() && reply->aliases().empty());
  }

  // The same parse, done apart, tells JSON from not-JSON.
  bool isJson = false;
  Json::Value root;
  try {
    Json::Reader reader;
    isJson = reader.parse(text.data(), text.data() + text.size(), root, true);
  } catch (const std::exception&) {
    isJson = false;
  }
  if (isJson) {
    FUZZ_CHECK(reply->status().code() == ExpectedCode(root));
    if (!root.isObject()) FUZZ_CHECK(reply->request() == "unknown");
  } else {
    FUZZ_CHECK(reply->status().code() == "PARSE_ERROR");
    FUZZ_CHECK(reply->request() == "error");
    FUZZ_CHECK(reply->status().messages().size() == 1);
  }
  reply->status().describe();
  return 0;
}

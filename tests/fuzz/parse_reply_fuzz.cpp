// Any reply text gives a reply; a refusal never carries a payload.
#include <string_view>

#include "api/server_reply.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto reply = veilmark::parseReply(std::string_view(reinterpret_cast<const char*>(data), size));
  FUZZ_CHECK(reply);
  FUZZ_CHECK(!reply->status().code().empty() || reply->request() != "error");
  if (!reply->status().isOk()) {
    FUZZ_CHECK(reply->users().empty() && reply->clearText().empty() &&
               reply->decryptedAttachments().empty() && reply->aliases().empty());
  }
  if (reply->status().code() == "PARSE_ERROR") {
    FUZZ_CHECK(reply->status().messages().size() == 1);
  }
  reply->status().describe();
  return 0;
}

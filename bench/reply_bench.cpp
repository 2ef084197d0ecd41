// Parsing a decryption reply whose clear text is 1 MB.
#include <benchmark/benchmark.h>

#include <string>

#include "api/server_reply.h"

namespace {

void BM_ParseReplyMegabyteClearText(benchmark::State& state) {
  std::string body = "<html><body>";
  while (body.size() < (1u << 20)) body += "<p>Quarterly numbers, as discussed.</p>\\n";
  body += "</body></html>";
  const std::string json = R"({"status":{"statusCode":"OK"},"clearText":")" + body +
                           R"(","decryptedAttachments":[{"name":"a.pdf","url":"/a/1",)"
                           R"("size":1234,"contentType":"application/pdf"}]})";
  for (auto _ : state) {
    auto reply = veilmark::ParseReply(json);
    benchmark::DoNotOptimize(reply->clearText().data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(json.size()));
}

}  // namespace

BENCHMARK(BM_ParseReplyMegabyteClearText);

// Parsing a decryption reply whose clear text is 1 MB and 10 MB, beside
// jsoncpp's own parse of the same text (the limit: the reply is built from
// its tree).
#include <benchmark/benchmark.h>
#include <json/json.h>

#include <string>

#include "api/server_reply.h"

namespace {

std::string ReplyJson(std::size_t clearTextBytes) {
  std::string body = "<html><body>";
  while (body.size() < clearTextBytes) body += "<p>Quarterly numbers, as discussed.</p>\\n";
  body += "</body></html>";
  return R"({"status":{"statusCode":"OK"},"clearText":")" + body +
         R"(","decryptedAttachments":[{"name":"a.pdf","url":"/a/1",)"
         R"("size":1234,"contentType":"application/pdf"}]})";
}

void BM_ParseReply(benchmark::State& state) {
  const std::string json = ReplyJson(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto reply = veilmark::ParseReply(json);
    benchmark::DoNotOptimize(reply->clearText().data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(json.size()));
}

// The same reader ParseReply uses, with the same settings.
void BM_JsoncppParse(benchmark::State& state) {
  const std::string json = ReplyJson(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    Json::Reader reader;
    Json::Value root;
    benchmark::DoNotOptimize(reader.parse(json.data(), json.data() + json.size(), root, true));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(json.size()));
}

}  // namespace

BENCHMARK(BM_ParseReply)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsoncppParse)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

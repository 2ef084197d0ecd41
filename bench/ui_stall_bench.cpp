// The longest time the UI thread goes without handling an event while a
// service call waits: a 5 s stalled exchange, and a 25 MB decryption (form
// body, reply parsing and the view's sanitizing, all on the worker). Prints
// the best and worst of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "api/api_client.h"
#include "read/decrypted_view.h"
#include "ui/wait.h"

namespace {

using Clock = std::chrono::steady_clock;
using veilmark::ApiClient;
using veilmark::ExchangeOutcome;
using veilmark::HttpPost;

// The service as a function of the request: a stall, or a 25 MB reply.
class BenchExchange final : public veilmark::HttpExchange {
 public:
  BenchExchange(std::chrono::milliseconds stall, std::string reply)
      : stall_(stall), reply_(std::move(reply)) {}
  ExchangeOutcome Post(const veilmark::ApiEndpoint&, const HttpPost& post) override {
    const auto until = Clock::now() + stall_;
    while (Clock::now() < until && !(post.cancel && post.cancel->requested())) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return {true, reply_, {}};
  }

 private:
  std::chrono::milliseconds stall_;
  std::string reply_;
};

std::string LargeReply(std::size_t bytes) {
  std::string clear;
  while (clear.size() < bytes) clear += "<p>Quarterly figures, <b>row</b> and <i>notes</i>.</p>";
  return R"({"status":{"statusCode":"OK"},"clearText":")" + clear +
         R"(","decryptedAttachments":[]})";
}

// The longest gap between the UI thread's event handling during one call.
double LongestGapMs(veilmark::HttpExchange& exchange, const std::string& cipherText) {
  Clock::time_point last = Clock::now();
  Clock::duration longest{0};
  veilmark::TerminalWaiter waiter(
      [&] {
        const auto now = Clock::now();
        longest = std::max(longest, now - last);
        last = now;
      },
      std::cerr);
  ApiClient client(exchange, veilmark::ApiEndpoint{});
  std::u16string view;
  last = Clock::now();
  waiter.Run(
      {u"Decrypting the message\u2026", cipherText.size()}, [&](veilmark::Cancellation& cancel) {
        ApiClient api = client.Cancellable(cancel);
        auto reply = api.DecryptMime("s-1", cipherText);
        view =
            veilmark::ComposeDecryptedView(reply->clearText(), reply->decryptedAttachments(), u"x");
      });
  longest = std::max(longest, Clock::now() - last);
  return std::chrono::duration<double, std::milli>(longest).count();
}

void Report(const char* name, std::vector<double> gaps) {
  std::sort(gaps.begin(), gaps.end());
  std::printf("%-36s best %6.1f ms  worst %6.1f ms  (%zu runs)\n", name, gaps.front(), gaps.back(),
              gaps.size());
}

}  // namespace

int main() {
  const std::string small = "-----BEGIN PGP MESSAGE-----";
  const std::string large(25u * 1024 * 1024, 'A');
  BenchExchange stalled(std::chrono::milliseconds(5000), LargeReply(100));
  BenchExchange decrypting(std::chrono::milliseconds(0), LargeReply(25u * 1024 * 1024));
  std::vector<double> stall, decrypt;
  for (int i = 0; i < 3; ++i) stall.push_back(LongestGapMs(stalled, small));
  for (int i = 0; i < 3; ++i) decrypt.push_back(LongestGapMs(decrypting, large));
  Report("5 s stalled exchange", stall);
  Report("25 MB decryption (body, reply, view)", decrypt);
  return 0;
}

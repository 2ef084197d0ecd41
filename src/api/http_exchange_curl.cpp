// libcurl transport: sends what WinHTTP would send for the same call.
#include "api/http_exchange_curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "api/stall_window.h"
#include "base/curl_extra_ca.h"
#include "base/owner.h"
#include "base/text.h"

namespace veilmark {
namespace {

using CurlHandle = OwnerOf<CURL*, &curl_easy_cleanup>;
using HeaderList = OwnerOf<curl_slist*, &curl_slist_free_all>;

// Which step a failure belongs to, in WinHTTP's terms.
struct Transfer {
  std::string_view body;
  std::size_t sent = 0;
  bool bodyHandedOver = false;
  bool headersDone = false;
  CURL* curl = nullptr;
  std::size_t maxReply = 0;
  std::string reply;
  // Watched from the moment the connection stands; the connect limit
  // covers the time before.
  std::chrono::seconds stallWindow{0};
  std::uint64_t stallFloor = 0;
  std::optional<StallWindow> watch;
  bool stalled = false;
  const Cancellation* cancel = nullptr;
};

int OnConnected(void* user, char*, char*, int, int) {
  auto* transfer = static_cast<Transfer*>(user);
  if (transfer->stallWindow.count() > 0) {
    transfer->watch.emplace(transfer->stallWindow, transfer->stallFloor);
  }
  return CURL_PREREQFUNC_OK;
}

// Counts body bytes only: curl's counters leave the headers out.
int OnProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  auto* transfer = static_cast<Transfer*>(user);
  if (transfer->cancel && transfer->cancel->requested()) return 1;  // aborts the transfer
  if (!transfer->watch) return 0;
  const auto moved = static_cast<std::uint64_t>(received) + static_cast<std::uint64_t>(sent);
  if (!transfer->watch->Stalled(StallWindow::Clock::now(), moved)) return 0;
  transfer->stalled = true;
  return 1;  // aborts the transfer
}

size_t ReadBody(char* buffer, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t room = size * count;
  const std::size_t left = transfer->body.size() - transfer->sent;
  const std::size_t take = std::min(room, left);
  std::memcpy(buffer, transfer->body.data() + transfer->sent, take);
  transfer->sent += take;
  if (transfer->sent == transfer->body.size()) transfer->bodyHandedOver = true;
  return take;
}

size_t OnHeader(char* buffer, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  if (length == 2 && buffer[0] == '\r' && buffer[1] == '\n') {
    long status = 0;
    curl_easy_getinfo(transfer->curl, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200) transfer->headersDone = true;  // not an interim 100
  }
  return length;
}

size_t OnBody(char* buffer, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  transfer->headersDone = true;
  if (transfer->reply.size() + size * count > transfer->maxReply) return 0;  // aborts
  transfer->reply.append(buffer, size * count);
  return size * count;
}

HeaderList BuildHeaders(const std::u16string& headerText) {
  curl_slist* list = nullptr;
  auto append = [&list](const std::string& line) {
    if (curl_slist* grown = curl_slist_append(list, line.c_str())) list = grown;
  };
  const std::string text = WideToUtf8(headerText);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) append(text.substr(start, end - start));
    start = end + 2;
  }
  // Headers curl would add that WinHTTP does not send, and the two that
  // WinHTTP's bypass-proxy-cache flag adds.
  append("Accept:");
  append("Expect:");
  append("Pragma: no-cache");
  append("Cache-Control: no-cache");
  return HeaderList(list);
}

std::string Url(const ApiEndpoint& endpoint, const std::u16string& path) {
  std::string host = WideToUtf8(endpoint.host);
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return "https://" + host + ":" + std::to_string(endpoint.port) + WideToUtf8(path);
}

ExchangeOutcome Failed(std::string message) {
  ExchangeOutcome outcome;
  outcome.error = std::move(message);
  return outcome;
}

class CurlExchange final : public HttpExchange {
 public:
  explicit CurlExchange(const CurlLimits& limits) : limits_(limits) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
  }

  ExchangeOutcome Post(const ApiEndpoint& endpoint, const HttpPost& post) override {
    namespace m = exchange_messages;
    CurlHandle curl(curl_easy_init());
    if (!curl) return Failed(m::kOpenSession);
    CURL* c = curl.Get();

    const std::string url = Url(endpoint, post.path);
    HeaderList headers = BuildHeaders(post.headers);
    if (curl_easy_setopt(c, CURLOPT_URL, url.c_str()) != CURLE_OK || !headers) {
      return Failed(m::kOpenConnection);
    }
    Transfer transfer;
    transfer.body = post.body;
    transfer.bodyHandedOver = post.body.empty();
    transfer.curl = c;
    transfer.cancel = post.cancel;
    transfer.maxReply = limits_.maxReplyBytes;
    transfer.stallWindow = std::chrono::seconds(limits_.stallSeconds);
    transfer.stallFloor = limits_.stallBytes;

    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Veilmark Outlook AddIn");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.Get());
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post.body.size()));
    curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadBody);
    curl_easy_setopt(c, CURLOPT_READDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, limits_.connectSeconds);
    curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, OnConnected);
    curl_easy_setopt(c, CURLOPT_PREREQDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    TrustExtraCa(c, endpoint.caBundle);

    const CURLcode result = curl_easy_perform(c);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 300 && status < 400) return Failed(m::kRedirected);
    if (result != CURLE_OK) {
      if (post.cancel && post.cancel->requested()) return Failed(m::kCancelled);
      // A stall reads as the time-out it is, whichever way it was noticed.
      const CURLcode reason = transfer.stalled ? CURLE_OPERATION_TIMEDOUT : result;
      const std::string number = std::to_string(static_cast<int>(reason));
      if (transfer.headersDone) return Failed(m::kReadData + number);
      if (transfer.bodyHandedOver) return Failed(m::kReceive + number);
      return Failed(m::kSend + number);
    }
    ExchangeOutcome outcome;
    outcome.ok = true;
    outcome.body = std::move(transfer.reply);
    return outcome;
  }

 private:
  CurlLimits limits_;
};

}  // namespace

std::unique_ptr<HttpExchange> MakeCurlExchange(const CurlLimits& limits) {
  return std::make_unique<CurlExchange>(limits);
}

std::unique_ptr<HttpExchange> MakePlatformHttpExchange(const ExchangeLimits& limits) {
  return MakeCurlExchange(limits);
}

}  // namespace veilmark

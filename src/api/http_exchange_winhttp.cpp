// WinHTTP transport: one synchronous POST per call, its own session,
// connection and request each time, the platform's defaults otherwise.
#include <windows.h>
#include <winhttp.h>

#include <string>
#include <vector>

#include "api/http_exchange.h"
#include "util/wchar_win32.h"

namespace veilmark {
namespace {

class Handle {
 public:
  explicit Handle(HINTERNET handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle_) WinHttpCloseHandle(handle_);
  }
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

// Secure, and not answered from a proxy's cache.
constexpr DWORD kRequestFlags = WINHTTP_FLAG_SECURE | WINHTTP_FLAG_BYPASS_PROXY_CACHE;
static_assert(kRequestFlags == 0x00800100);

ExchangeOutcome Failed(std::string message) {
  ExchangeOutcome outcome;
  outcome.error = std::move(message);
  return outcome;
}

// Read at once, before anything else can change the thread's last error.
ExchangeOutcome FailedWithError(const char* message) {
  const DWORD error = GetLastError();
  return Failed(message + std::to_string(error));
}

class WinHttpExchange final : public HttpExchange {
 public:
  ExchangeOutcome Post(const ApiEndpoint& endpoint, const HttpPost& post) override {
    namespace m = exchange_messages;
    // Declared in opening order: closed request, connection, session.
    Handle session(WinHttpOpen(L"Veilmark Outlook AddIn", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return Failed(m::kOpenSession);
    Handle connection(WinHttpConnect(session.get(), AsWin(endpoint.host), endpoint.port, 0));
    if (!connection) return Failed(m::kOpenConnection);
    Handle request(WinHttpOpenRequest(connection.get(), L"POST", AsWin(post.path), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      kRequestFlags));
    if (!request) return Failed(m::kOpenConnection);

    const DWORD length = static_cast<DWORD>(post.body.size());
    if (!WinHttpSendRequest(request.get(), AsWin(post.headers), static_cast<DWORD>(-1L),
                            const_cast<char*>(post.body.data()), length, length, 0)) {
      return FailedWithError(m::kSend);
    }
    if (!WinHttpReceiveResponse(request.get(), nullptr)) return FailedWithError(m::kReceive);

    std::string reply;
    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(request.get(), &available)) {
        return FailedWithError(m::kQueryData);
      }
      if (available == 0) break;
      std::vector<char> chunk(available + 1, 0);
      DWORD read = 0;
      if (!WinHttpReadData(request.get(), chunk.data(), available, &read)) {
        return FailedWithError(m::kReadData);
      }
      reply.append(chunk.data(), read);
    }
    ExchangeOutcome outcome;
    outcome.ok = true;
    outcome.body = std::move(reply);
    return outcome;
  }
};

}  // namespace

HttpExchange& PlatformHttpExchange() {
  static WinHttpExchange exchange;
  return exchange;
}

}  // namespace veilmark

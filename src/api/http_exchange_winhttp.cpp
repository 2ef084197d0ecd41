// WinHTTP transport: one synchronous POST per call, its own session,
// connection and request each time, within the same bounds as the libcurl
// transport.
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "api/http_exchange.h"
#include "base/owner.h"
#include "base/wchar_win32.h"

namespace veilmark {
namespace {

using InternetHandle = OwnerOf<HINTERNET, &WinHttpCloseHandle>;

// The request's handle, closed once, by its owner or by a cancelling thread:
// closing it from another thread is how WinHTTP interrupts a synchronous
// call, so it cannot be a plain owner.
class RequestHandle {
 public:
  explicit RequestHandle(HINTERNET handle) : handle_(handle) {}
  RequestHandle(const RequestHandle&) = delete;
  RequestHandle& operator=(const RequestHandle&) = delete;
  ~RequestHandle() { Close(); }
  void Close() {
    if (HINTERNET handle = handle_.exchange(nullptr)) WinHttpCloseHandle(handle);
  }
  HINTERNET Get() const { return handle_.load(); }
  explicit operator bool() const { return Get() != nullptr; }

 private:
  std::atomic<HINTERNET> handle_;
};

// A cancellable exchange, shared by the worker waiting for it and the thread
// running it. Closing the request from another thread does not end a
// blocked receive under every WinHTTP (Wine's waits out its time-out), so
// the worker stops waiting at once and the exchange's thread finishes alone.
struct Pending {
  std::mutex mutex;
  std::condition_variable ended;
  bool cancelled = false;
  bool done = false;
  RequestHandle* request = nullptr;  // while the exchange uses it
  ExchangeOutcome outcome;

  void Cancel() {
    std::lock_guard<std::mutex> lock(mutex);
    cancelled = true;
    if (request) request->Close();
    ended.notify_all();
  }
};

// Lets a cancellation reach `pending` for as long as it lives.
class InterruptScope {
 public:
  InterruptScope(Cancellation& cancel, const std::shared_ptr<Pending>& pending) : cancel_(cancel) {
    cancel_.SetInterrupt([pending] { pending->Cancel(); });
  }
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;
  ~InterruptScope() { cancel_.SetInterrupt({}); }

 private:
  Cancellation& cancel_;
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

ExchangeOutcome FailedWith(const char* message, DWORD error) {
  return Failed(message + std::to_string(error));
}

// Whether the request came back with a redirect, which is never followed.
bool Redirected(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return false;  // no status to judge; the body decides
  }
  return status >= 300 && status < 400;
}

class WinHttpExchange final : public HttpExchange {
 public:
  explicit WinHttpExchange(const ExchangeLimits& limits) : limits_(limits) {}

  ExchangeOutcome Post(const ApiEndpoint& endpoint, const HttpPost& post) override {
    if (!post.cancel) return Open(limits_, endpoint, post, nullptr);
    auto job = std::make_unique<Job>(limits_, endpoint, post);
    const std::shared_ptr<Pending> pending = job->pending;
    const InterruptScope interrupt(*post.cancel, pending);
    // The thread holds the module until it ends, as it may outlive the call.
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&Job::Run), &module)) {
      return Failed(exchange_messages::kOpenSession);
    }
    job->module = module;
    HANDLE thread = CreateThread(nullptr, 0, &Job::Run, job.get(), 0, nullptr);
    if (!thread) {
      FreeLibrary(module);
      return Failed(exchange_messages::kOpenSession);
    }
    job.release();
    CloseHandle(thread);
    std::unique_lock<std::mutex> lock(pending->mutex);
    pending->ended.wait(lock, [&pending] { return pending->done || pending->cancelled; });
    if (pending->cancelled) return Failed(exchange_messages::kCancelled);
    return std::move(pending->outcome);
  }

 private:
  // What the exchange's thread owns: copies of the call's arguments.
  struct Job {
    Job(const ExchangeLimits& limits, const ApiEndpoint& endpoint, const HttpPost& post)
        : limits(limits),
          endpoint(endpoint),
          path(post.path),
          headers(post.headers),
          body(post.body),
          pending(std::make_shared<Pending>()) {}

    static DWORD WINAPI Run(void* parameter) {
      HMODULE module = nullptr;
      {
        std::unique_ptr<Job> job(static_cast<Job*>(parameter));
        module = job->module;
        HttpPost post;
        post.path = job->path;
        post.headers = job->headers;
        post.body = job->body;
        ExchangeOutcome outcome = Open(job->limits, job->endpoint, post, job->pending.get());
        std::lock_guard<std::mutex> lock(job->pending->mutex);
        job->pending->outcome = std::move(outcome);
        job->pending->done = true;
        job->pending->ended.notify_all();
      }
      FreeLibraryAndExitThread(module, 0);
      return 0;
    }

    ExchangeLimits limits;
    ApiEndpoint endpoint;
    std::u16string path;
    std::u16string headers;
    std::string body;
    std::shared_ptr<Pending> pending;
    HMODULE module = nullptr;
  };

  // One exchange on its own session; `pending`, when given, may close the
  // request from another thread.
  static ExchangeOutcome Open(const ExchangeLimits& limits, const ApiEndpoint& endpoint,
                              const HttpPost& post, Pending* pending) {
    namespace m = exchange_messages;
    // Declared in opening order: closed request, connection, session.
    InternetHandle session(WinHttpOpen(L"Veilmark Outlook AddIn", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return Failed(m::kOpenSession);
    // WinHTTP's defaults would follow a redirect to any host, re-sending the
    // body (password, session, cipher text) on 307 and 308, and wait for a
    // name's resolution forever: here it counts as connecting, as in libcurl.
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    const int connectMs = static_cast<int>(limits.connectSeconds * 1000);
    const int stallMs = static_cast<int>(limits.stallSeconds * 1000);
    if (!WinHttpSetTimeouts(session.Get(), connectMs, connectMs, stallMs, stallMs) ||
        !WinHttpSetOption(session.Get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never))) {
      return Failed(m::kOpenSession);
    }
    InternetHandle connection(
        WinHttpConnect(session.Get(), AsWin(endpoint.host), endpoint.port, 0));
    if (!connection) return Failed(m::kOpenConnection);
    RequestHandle request(WinHttpOpenRequest(connection.Get(), L"POST", AsWin(post.path), nullptr,
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                             kRequestFlags));
    if (!request) return Failed(m::kOpenConnection);
    if (pending) {
      std::lock_guard<std::mutex> lock(pending->mutex);
      if (pending->cancelled) return Failed(m::kCancelled);
      pending->request = &request;
    }
    ExchangeOutcome outcome = Exchange(limits, request, post);
    if (pending) {
      std::lock_guard<std::mutex> lock(pending->mutex);
      pending->request = nullptr;
    }
    return outcome;
  }

  static ExchangeOutcome Exchange(const ExchangeLimits& limits, const RequestHandle& request,
                                  const HttpPost& post) {
    namespace m = exchange_messages;

    const DWORD length = static_cast<DWORD>(post.body.size());
    if (!WinHttpSendRequest(request.Get(), AsWin(post.headers), static_cast<DWORD>(-1L),
                            const_cast<char*>(post.body.data()), length, length, 0)) {
      return FailedWithError(m::kSend);
    }
    if (!WinHttpReceiveResponse(request.Get(), nullptr)) return FailedWithError(m::kReceive);
    if (Redirected(request.Get())) return Failed(m::kRedirected);

    // A declared length over the cap is refused before reading, and a body
    // that ends short of it is a failure, never parsed.
    DWORD declared = 0;
    DWORD size = sizeof(declared);
    const bool hasLength = WinHttpQueryHeaders(
        request.Get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
        WINHTTP_HEADER_NAME_BY_INDEX, &declared, &size, WINHTTP_NO_HEADER_INDEX);
    if (hasLength && declared > limits.maxReplyBytes) {
      return FailedWith(m::kReadData, ERROR_NOT_ENOUGH_MEMORY);
    }

    // The receive time-out bounds each wait; a reply that trickles in under
    // it is cut once a whole stall period brought less than a byte a second.
    const ULONGLONG periodMs = static_cast<ULONGLONG>(limits.stallSeconds) * 1000;
    ULONGLONG periodStart = GetTickCount64();
    ULONGLONG periodBytes = 0;
    std::string reply;
    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(request.Get(), &available)) {
        return FailedWithError(m::kQueryData);
      }
      if (available == 0) break;
      if (available > limits.maxReplyBytes - reply.size()) {
        return FailedWith(m::kReadData, ERROR_NOT_ENOUGH_MEMORY);
      }
      std::vector<char> chunk(available + 1, 0);
      DWORD read = 0;
      if (!WinHttpReadData(request.Get(), chunk.data(), available, &read)) {
        return FailedWithError(m::kReadData);
      }
      reply.append(chunk.data(), read);
      periodBytes += read;
      const ULONGLONG elapsed = GetTickCount64() - periodStart;
      if (elapsed >= periodMs) {
        if (periodBytes * 1000 < elapsed) return FailedWith(m::kReadData, ERROR_WINHTTP_TIMEOUT);
        periodStart += elapsed;
        periodBytes = 0;
      }
    }
    if (hasLength && reply.size() < declared) {
      return FailedWith(m::kReadData, ERROR_WINHTTP_CONNECTION_ERROR);
    }
    ExchangeOutcome outcome;
    outcome.ok = true;
    outcome.body = std::move(reply);
    return outcome;
  }

  ExchangeLimits limits_;
};

}  // namespace

std::unique_ptr<HttpExchange> MakePlatformHttpExchange(const ExchangeLimits& limits) {
  return std::make_unique<WinHttpExchange>(limits);
}

}  // namespace veilmark

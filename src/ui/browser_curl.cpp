// The fetching browser over libcurl: one easy handle per browser, so its
// cookie store and connections last across its navigations.
#include <curl/curl.h>

#include <memory>
#include <string>

#include "base/curl_extra_ca.h"
#include "base/owner.h"
#include "ui/browser.h"

namespace veilmark {
namespace {

// As the service exchange: nobody is left waiting for ever on a dead server.
constexpr long kConnectTimeoutSeconds = 60;
constexpr long kStallSeconds = 30;
constexpr long kMaxRedirects = 20;

using CurlHandle = OwnerOf<CURL*, &curl_easy_cleanup>;

struct Download {
  std::string body;
  bool tooLarge = false;
};

// Aborts the transfer once the wait is cancelled.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* cancel = static_cast<const Cancellation*>(user);
  return cancel && cancel->requested() ? 1 : 0;
}

size_t OnBody(char* buffer, size_t size, size_t count, void* user) {
  auto* download = static_cast<Download*>(user);
  const std::size_t length = size * count;
  if (download->body.size() + length > kMaxBrowserDocument) {
    download->tooLarge = true;
    return 0;  // curl stops with a write error
  }
  download->body.append(buffer, length);
  return length;
}

class CurlBrowser final : public Browser {
 public:
  explicit CurlBrowser(std::string extraCaFile) : caBundle_(std::move(extraCaFile)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    curl_.Reset(curl_easy_init());
    CURL* c = curl_.Get();
    if (!c) return;
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    // The CAPTCHA image comes over plain HTTP; nothing else may be reached.
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");  // cookie engine on, in memory only
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Veilmark Outlook AddIn");
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    TrustExtraCa(c, caBundle_);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  }

  BrowserResult Open(std::string_view url) override { return Fetch(url, nullptr); }
  BrowserResult OpenCancellable(std::string_view url, const Cancellation& cancel) override {
    return Fetch(url, &cancel);
  }

 private:
  BrowserResult Fetch(std::string_view url, const Cancellation* cancel) {
    BrowserResult result;
    CURL* c = curl_.Get();
    if (!c) {
      result.error = "cannot start a transfer";
      return result;
    }
    const std::string address(url);
    Download download;
    curl_easy_setopt(c, CURLOPT_URL, address.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &download);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, cancel ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, cancel);
    const CURLcode code = curl_easy_perform(c);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, nullptr);
    if (cancel && cancel->requested()) {
      result.error = "cancelled";
      return result;
    }
    if (download.tooLarge) {
      result.error = "document larger than " + std::to_string(kMaxBrowserDocument) + " bytes";
      return result;
    }
    if (code != CURLE_OK) {
      result.error = curl_easy_strerror(code);
      return result;
    }
    result.ok = true;
    BrowserDocument& document = result.document;
    const char* effective = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective) {
      document.url = effective;
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &document.status);
    const char* type = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) {
      document.contentType = type;
    }
    document.source = std::move(download.body);
    return result;
  }

  std::string caBundle_;  // read by the TLS callback for the handle's lifetime
  CurlHandle curl_;
};

}  // namespace

std::unique_ptr<Browser> MakePlatformBrowser(std::string extraCaFile) {
  return std::make_unique<CurlBrowser>(std::move(extraCaFile));
}

}  // namespace veilmark

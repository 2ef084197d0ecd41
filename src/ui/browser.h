// The fetching browser behind browser controls where there is no embedded web
// browser (the terminal): it opens an address, follows redirects, keeps the
// cookies it was given for its own later navigations, and hands back the
// document it ended on.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "base/cancellation.h"

namespace veilmark {

// A document larger than this is refused rather than held in memory.
inline constexpr std::size_t kMaxBrowserDocument = std::size_t{16} * 1024 * 1024;

struct BrowserDocument {
  std::string url;          // where it was found, after redirects
  long status = 0;          // HTTP status of the last answer; error pages are documents too
  std::string contentType;  // as sent, parameters included; empty when none was sent
  std::string source;       // the bytes as received (content coding undone)
};

struct BrowserResult {
  bool ok = false;
  BrowserDocument document;  // when ok
  std::string error;         // when not ok: why no document arrived
};

class Browser {
 public:
  virtual ~Browser() = default;
  // Loads `url` (GET). Cookies set by any answer, redirects included, are sent
  // on later requests of this browser only.
  virtual BrowserResult Open(std::string_view url) = 0;
  // The same, ended early (no document) once `cancel` is requested; a
  // browser that cannot stop early loads the whole page.
  virtual BrowserResult OpenCancellable(std::string_view url, const Cancellation& cancel) {
    (void)cancel;
    return Open(url);
  }
};

class Waiter;

// `inner` loading each page on a worker while the UI thread waits on
// `waiter` (the wait window says "Loading the page…"); a wait cancelled or
// abandoned ends with no document.
std::unique_ptr<Browser> MakeWaitingBrowser(std::unique_ptr<Browser> inner,
                                            std::shared_ptr<Waiter> waiter);

// A new browser with no cookies. TLS is verified against the system's CAs and
// `extraCaFile` when it is not empty.
std::unique_ptr<Browser> MakePlatformBrowser(std::string extraCaFile);

// "image/png; x=y" is an image; the type is compared without case.
inline bool IsImageContentType(std::string_view contentType) {
  const std::size_t start = contentType.find_first_not_of(" \t");
  if (start == std::string_view::npos) return false;
  constexpr std::string_view kImage = "image/";
  const std::string_view head = contentType.substr(start, kImage.size());
  if (head.size() != kImage.size()) return false;
  for (std::size_t i = 0; i < head.size(); ++i) {
    const char c = head[i] >= 'A' && head[i] <= 'Z' ? static_cast<char>(head[i] + 32) : head[i];
    if (c != kImage[i]) return false;
  }
  return true;
}

}  // namespace veilmark

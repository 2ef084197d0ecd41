#include "ui/wait.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <thread>
#include <utility>

#include "base/text.h"
#include "ui/browser.h"

namespace veilmark {

std::u16string WaitWindowText(const WaitNotice& notice) {
  if (notice.bytes == 0) return notice.text;
  char size[32];
  if (notice.bytes >= std::size_t{1024} * 1024) {
    std::snprintf(size, sizeof size, "%.1f MB", static_cast<double>(notice.bytes) / (1024 * 1024));
  } else if (notice.bytes < 1024) {
    std::snprintf(size, sizeof size, "%u bytes", static_cast<unsigned>(notice.bytes));
  } else {
    std::snprintf(size, sizeof size, "%.1f KB", static_cast<double>(notice.bytes) / 1024);
  }
  return notice.text + u" (" + Utf8ToWide(size) + u")";
}

WaitEnd PumpingWaiter::Run(const WaitNotice& notice, const WaitWork& work) {
  const auto wait = std::make_shared<Wait>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waits_.push_back(wait);
  }
  std::thread worker([this, wait, &work] {
    work(wait->cancel);
    wait->done.store(true);
    WakeUp();
  });
  {
    const std::shared_ptr<void> busy = ShowBusy();
    std::shared_ptr<void> window;
    bool windowShown = false;  // once, whether or not it could show
    const auto start = std::chrono::steady_clock::now();
    // Short slices: a nested wait or the window's timing never waits long
    // for a wake-up meant for another wait.
    while (!wait->done.load()) {
      PumpFor(wait->done, std::chrono::milliseconds(20));
      if (!windowShown && !wait->done.load() &&
          std::chrono::steady_clock::now() - start >= kWindowDelay) {
        windowShown = true;
        window = ShowWindow(notice, [wait] { wait->cancel.Request(); });
      }
    }
  }
  worker.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waits_.erase(std::find(waits_.begin(), waits_.end(), wait));
  }
  if (wait->abandoned.load()) return WaitEnd::kAbandoned;
  return wait->cancel.requested() ? WaitEnd::kCancelled : WaitEnd::kDone;
}

namespace {

constexpr char16_t kLoadingNotice[] = u"Loading the page\u2026";

class WaitingBrowser final : public Browser {
 public:
  WaitingBrowser(std::unique_ptr<Browser> inner, std::shared_ptr<Waiter> waiter)
      : inner_(std::move(inner)), waiter_(std::move(waiter)) {}

  BrowserResult Open(std::string_view url) override {
    BrowserResult result;
    const WaitEnd end = waiter_->Run({kLoadingNotice, 0}, [&](Cancellation& cancel) {
      result = inner_->OpenCancellable(url, cancel);
    });
    if (end != WaitEnd::kDone) return BrowserResult{false, {}, "cancelled"};
    return result;
  }

 private:
  std::unique_ptr<Browser> inner_;
  std::shared_ptr<Waiter> waiter_;
};

}  // namespace

std::unique_ptr<Browser> MakeWaitingBrowser(std::unique_ptr<Browser> inner,
                                            std::shared_ptr<Waiter> waiter) {
  return std::make_unique<WaitingBrowser>(std::move(inner), std::move(waiter));
}

void PumpingWaiter::CancelInnermost() {
  std::shared_ptr<Wait> innermost;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (waits_.empty()) return;
    innermost = waits_.back();
  }
  innermost->cancel.Request();
}

void PumpingWaiter::AbandonAll() {
  std::vector<std::shared_ptr<Wait>> waits;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waits = waits_;
  }
  for (const auto& wait : waits) {
    wait->abandoned.store(true);
    wait->cancel.Request();
  }
}

}  // namespace veilmark

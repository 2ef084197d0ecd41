// A request to stop, set on one thread (the UI's) and seen on another (the
// worker's), which may also hand over a way to interrupt a blocking call.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <utility>

namespace veilmark {

class Cancellation {
 public:
  bool requested() const { return requested_.load(std::memory_order_acquire); }

  // Sets the request and runs the interrupt in place, if any, once.
  void Request() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (requested_.exchange(true, std::memory_order_acq_rel)) return;
    if (interrupt_) interrupt_();
  }

  // `interrupt` runs on the cancelling thread while set; run at once when
  // cancellation came first. Cleared before what it touches goes away: once
  // SetInterrupt({}) returns, it is not running.
  void SetInterrupt(std::function<void()> interrupt) {
    std::lock_guard<std::mutex> lock(mutex_);
    interrupt_ = std::move(interrupt);
    if (interrupt_ && requested()) interrupt_();
  }

 private:
  std::atomic<bool> requested_{false};
  std::mutex mutex_;
  std::function<void()> interrupt_;
};

}  // namespace veilmark

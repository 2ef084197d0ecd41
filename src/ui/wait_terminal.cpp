// The Linux waiter: the host's events between short sleeps, the wait
// window as lines on the terminal.
#include <iostream>
#include <utility>

#include "base/text.h"
#include "ui/wait.h"

namespace veilmark {

TerminalWaiter::TerminalWaiter(std::function<void()> pumpEvents, std::ostream& err)
    : pumpEvents_(std::move(pumpEvents)), err_(err) {}

void TerminalWaiter::PumpFor(const std::atomic<bool>& done, std::chrono::milliseconds slice) {
  if (pumpEvents_) pumpEvents_();
  std::unique_lock<std::mutex> lock(mutex_);
  woken_.wait_for(lock, slice, [&done] { return done.load(); });
}

void TerminalWaiter::WakeUp() {
  // Taken so the wake-up cannot fall between PumpFor's check and its sleep.
  std::lock_guard<std::mutex> lock(mutex_);
  woken_.notify_all();
}

std::shared_ptr<void> TerminalWaiter::ShowWindow(const WaitNotice& notice, std::function<void()>) {
  err_ << "wait: " << WideToUtf8(WaitWindowText(notice)) << " [Cancel]" << std::endl;
  std::ostream* err = &err_;
  return std::shared_ptr<void>(nullptr, [err](void*) { *err << "wait: closed" << std::endl; });
}

std::unique_ptr<Waiter> MakePlatformWaiter() {
  return std::make_unique<TerminalWaiter>(nullptr, std::cerr);
}

}  // namespace veilmark

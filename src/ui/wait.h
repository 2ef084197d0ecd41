// The platform seam for waiting on work without freezing the UI thread: the
// work runs on a worker thread while the calling (UI) thread keeps handling
// its messages (Win32) or the host's events (Linux). The work must touch no
// Outlook object: bytes in, bytes out.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/cancellation.h"

namespace veilmark {

// What the wait window says: "Decrypting the message…" and the size, when
// known (0: not shown).
struct WaitNotice {
  std::u16string text;
  std::uint64_t bytes = 0;
};

// "Decrypting the message… (25.0 MB)".
std::u16string WaitWindowText(const WaitNotice& notice);

enum class WaitEnd {
  kDone,
  kCancelled,  // the user pressed Cancel: the road ends as a failure
  kAbandoned,  // the add-in is going: the road ends quietly
};

using WaitWork = std::function<void(Cancellation& cancel)>;

class Waiter {
 public:
  virtual ~Waiter() = default;
  // Runs `work` on a worker thread and returns once it has ended; events
  // delivered meanwhile run on this thread, and may start nested waits.
  virtual WaitEnd Run(const WaitNotice& notice, const WaitWork& work) = 0;
  // The Cancel button of the innermost wait.
  virtual void CancelInnermost() = 0;
  // Shutdown: every wait in progress is cancelled and ends as kAbandoned.
  virtual void AbandonAll() = 0;
};

// The part both platforms share: the worker, the stack of waits, the timing
// of the wait window.
class PumpingWaiter : public Waiter {
 public:
  WaitEnd Run(const WaitNotice& notice, const WaitWork& work) final;
  void CancelInnermost() final;
  void AbandonAll() final;

  // How long the wait runs before its window shows.
  static constexpr std::chrono::milliseconds kWindowDelay{1000};

 protected:
  // Handles what the UI thread has pending, then sleeps until `done` or
  // `slice` has passed (a wake-up may come early).
  virtual void PumpFor(const std::atomic<bool>& done, std::chrono::milliseconds slice) = 0;
  // Called on the worker once `done` is set.
  virtual void WakeUp() = 0;
  // The wait cursor, or nothing; held for the whole wait.
  virtual std::shared_ptr<void> ShowBusy() { return nullptr; }
  // The wait window with its Cancel button, calling `cancel`; closed when
  // the returned owner goes.
  virtual std::shared_ptr<void> ShowWindow(const WaitNotice& notice,
                                           std::function<void()> cancel) = 0;

 private:
  struct Wait {
    Cancellation cancel;
    std::atomic<bool> done{false};
    std::atomic<bool> abandoned{false};
  };
  std::mutex mutex_;
  std::vector<std::shared_ptr<Wait>> waits_;
};

// Linux: the host's event loop turned by `pumpEvents` between short sleeps
// on a condition variable; the window's texts go to `err`.
class TerminalWaiter final : public PumpingWaiter {
 public:
  TerminalWaiter(std::function<void()> pumpEvents, std::ostream& err);

 protected:
  void PumpFor(const std::atomic<bool>& done, std::chrono::milliseconds slice) override;
  void WakeUp() override;
  std::shared_ptr<void> ShowWindow(const WaitNotice& notice, std::function<void()> cancel) override;

 private:
  std::function<void()> pumpEvents_;
  std::ostream& err_;
  std::mutex mutex_;
  std::condition_variable woken_;
};

#ifdef _WIN32
// Windows: MsgWaitForMultipleObjectsEx over an event the worker sets, every
// message dispatched meanwhile; the wait cursor, and after kWindowDelay a
// small modeless window owned by the active window.
class Win32Waiter final : public PumpingWaiter {
 public:
  Win32Waiter();
  ~Win32Waiter() override;
  Win32Waiter(const Win32Waiter&) = delete;
  Win32Waiter& operator=(const Win32Waiter&) = delete;

 protected:
  void PumpFor(const std::atomic<bool>& done, std::chrono::milliseconds slice) override;
  void WakeUp() override;
  std::shared_ptr<void> ShowBusy() override;
  std::shared_ptr<void> ShowWindow(const WaitNotice& notice, std::function<void()> cancel) override;

 private:
  void* event_;            // a manual-reset event HANDLE
  bool quitHeld_ = false;  // a WM_QUIT taken during a wait, for the outer loop
  int quitCode_ = 0;
};
#endif

// The platform's waiter: the Win32 message pump with its wait window; on
// Linux a TerminalWaiter with no events of its own, writing to stderr.
std::unique_ptr<Waiter> MakePlatformWaiter();

}  // namespace veilmark

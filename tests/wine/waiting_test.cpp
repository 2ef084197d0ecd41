// The Win32 waiter under Wine: the UI thread keeps handling its messages
// while work runs on the worker, the wait window's Cancel ends a stalled
// WinHTTP exchange, and shutdown ends a wait. And the DLL's own read road,
// loaded by COM, through a slow service and a 25 MB message.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "api/api_client.h"
#include "api/http_exchange.h"
#include "base/local_files.h"
#include "base/text.h"
#include "com/guids.h"
#include "login/session_store.h"
#include "outlook_window.h"
#include "scripted_user.h"
#include "ui/wait.h"
#include "wine_support.h"

namespace veilmark::wine_tests {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

// What the product promises: no message waits longer than this.
constexpr milliseconds kResponsiveBound{100};
// A shared machine can hold any thread for a moment; a UI thread that the
// add-in blocks misses the bound on every try. So each timing is taken up to
// three times and the best is held to the bound.
constexpr int kTimingTries = 3;
constexpr UINT kTick = WM_APP + 1;
constexpr UINT kShutdown = WM_APP + 2;

// A window of the UI thread that records when each posted tick is handled.
class TickWindow {
 public:
  TickWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &TickWindow::Proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VeilmarkWaitingTestTicks";
    RegisterClassW(&windowClass);  // fails harmlessly when registered already
    window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10,
                              nullptr, nullptr, windowClass.hInstance, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TickWindow() { DestroyWindow(window_); }
  TickWindow(const TickWindow&) = delete;
  TickWindow& operator=(const TickWindow&) = delete;

  HWND window() const { return window_; }
  const std::vector<Clock::time_point>& handled() const { return handled_; }
  std::function<void()> onShutdown;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTick) {
      auto* self = reinterpret_cast<TickWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      if (self) self->handled_.push_back(Clock::now());
      return 0;
    }
    if (message == kShutdown) {
      auto* self = reinterpret_cast<TickWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      if (self && self->onShutdown) self->onShutdown();
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  HWND window_ = nullptr;
  std::vector<Clock::time_point> handled_;
};

// Posts a tick to `window` every 20 ms until destroyed; `onTick` runs on the
// posting thread before each.
class Ticker {
 public:
  explicit Ticker(HWND window, std::function<void()> onTick = {})
      : thread_([this, window, onTick = std::move(onTick)] {
          while (!stop_.load()) {
            if (onTick) onTick();
            PostMessageW(window, kTick, 0, 0);
            std::this_thread::sleep_for(20ms);
          }
        }) {}
  ~Ticker() {
    stop_.store(true);
    thread_.join();
  }
  Ticker(const Ticker&) = delete;
  Ticker& operator=(const Ticker&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The longest time in [start, end] with no tick handled.
milliseconds LongestGap(const std::vector<Clock::time_point>& handled, Clock::time_point start,
                        Clock::time_point end) {
  Clock::time_point previous = start;
  Clock::duration longest{};
  for (const auto at : handled) {
    if (at < start || at > end) continue;
    longest = std::max(longest, at - previous);
    previous = at;
  }
  longest = std::max(longest, end - previous);
  return std::chrono::duration_cast<milliseconds>(longest);
}

struct WaitWindowFound {
  HWND window = nullptr;
};

BOOL CALLBACK FindWaitWindow(HWND window, LPARAM found) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (std::wstring(name) != L"VeilmarkWaitWindow" || !IsWindowVisible(window)) return TRUE;
  reinterpret_cast<WaitWindowFound*>(found)->window = window;
  return FALSE;
}

// The visible wait window of `thread`, or null.
HWND WaitWindowOf(DWORD thread) {
  WaitWindowFound found;
  EnumThreadWindows(thread, &FindWaitWindow, reinterpret_cast<LPARAM>(&found));
  return found.window;
}

// Clicks the wait window's Cancel once it shows; records when it did.
class CancelClicker {
 public:
  explicit CancelClicker(DWORD uiThread) : uiThread_(uiThread) {}
  void operator()() {
    if (clicked_.load()) return;
    HWND window = WaitWindowOf(uiThread_);
    if (!window) return;
    HWND button = GetDlgItem(window, IDCANCEL);
    if (!button) return;
    clickedAt_ = Clock::now();
    clicked_.store(true);
    PostMessageW(button, BM_CLICK, 0, 0);
  }
  bool clicked() const { return clicked_.load(); }
  Clock::time_point clickedAt() const { return clickedAt_; }

 private:
  DWORD uiThread_;
  std::atomic<bool> clicked_{false};
  Clock::time_point clickedAt_;
};

// Closes any dialog that shows on `uiThread` (a road's message box or a
// login), keeping its text: a road that fails then ends the test at once
// instead of waiting on a modal box nobody answers.
class DialogCloser {
 public:
  explicit DialogCloser(DWORD uiThread) : uiThread_(uiThread) {}
  void operator()() {
    HWND dialog = OpenDialogOf(uiThread_);
    if (!dialog) return;
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (dialog == closed_) return;  // still closing: its text is kept
    closed_ = dialog;
    wchar_t text[512] = {};
    // A message box's text is its static 0xFFFF; other dialogs go by caption.
    if (!GetDlgItemTextW(dialog, 0xFFFF, text, 512)) GetWindowTextW(dialog, text, 512);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!shown_.empty()) shown_ += L" | ";
      shown_ += text;
    }
  }
  std::string shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return WideToUtf8(std::u16string(shown_.begin(), shown_.end()));
  }

 private:
  DWORD uiThread_;
  HWND closed_ = nullptr;  // the ticker thread's own
  mutable std::mutex mutex_;
  std::wstring shown_;
};

// Under Xvfb no window manager answers Wine's X driver, which then waits 2 s
// on each hidden window for a state change that never comes: the process's
// windows are kept unmanaged. Read when the first window is made.
class UnmanagedWindows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      return;
    }
    const wchar_t no[] = L"N";
    RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(no), sizeof no);
    RegCloseKey(key);
  }
  static void TearDownTestSuite() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, L"Managed");
    RegCloseKey(key);
  }
  static constexpr wchar_t kKey[] = L"Software\\Wine\\X11 Driver";
};

// The best of up to kTimingTries runs of `measure` (a gap).
template <typename Measure>
milliseconds BestOfTries(Measure measure) {
  milliseconds best = milliseconds::max();
  for (int i = 0; i < kTimingTries && best >= kResponsiveBound; ++i) {
    best = std::min(best, measure());
  }
  return best;
}

class Win32Waiting : public UnmanagedWindows {};
class Win32WaitingHostile : public UnmanagedWindows {};

void PrintGap(const char* what, milliseconds gap) {
  // Picked up by bench/README.md's UI-thread figures.
  std::printf("[ gap      ] %s: longest gap between handled messages %lld ms\n", what,
              static_cast<long long>(gap.count()));
}

TEST_F(Win32Waiting, MessagesKeepBeingHandledWhileWorkSleeps) {
  const milliseconds gap = BestOfTries([] {
    TickWindow ticks;
    const auto waiter = MakePlatformWaiter();
    bool worked = false;
    Clock::time_point start;
    Clock::time_point end;
    {
      Ticker ticker(ticks.window());
      start = Clock::now();
      const WaitEnd ended = waiter->Run({u"Working", 0}, [&worked](Cancellation&) {
        std::this_thread::sleep_for(4s);
        worked = true;
      });
      end = Clock::now();
      EXPECT_EQ(ended, WaitEnd::kDone);
    }
    EXPECT_TRUE(worked);
    EXPECT_GE(end - start, 4s);
    const milliseconds gap = LongestGap(ticks.handled(), start, end);
    PrintGap("sleeping work", gap);
    return gap;
  });
  EXPECT_LT(gap, kResponsiveBound) << "the UI thread stopped handling messages during the wait";
}

TEST_F(Win32Waiting, WaitWindowShowsAfterTheDelayAndItsCancelEndsTheWait) {
  TickWindow ticks;
  const auto waiter = MakePlatformWaiter();
  CancelClicker clicker(GetCurrentThreadId());
  std::atomic<bool> sawCancel{false};
  Clock::time_point start;
  Clock::time_point end;
  {
    Ticker ticker(ticks.window(), [&clicker] { clicker(); });
    start = Clock::now();
    const WaitEnd ended = waiter->Run({u"Working", 0}, [&sawCancel](Cancellation& cancel) {
      const auto until = Clock::now() + 20s;
      while (!cancel.requested() && Clock::now() < until) std::this_thread::sleep_for(5ms);
      sawCancel = cancel.requested();
    });
    end = Clock::now();
    EXPECT_EQ(ended, WaitEnd::kCancelled);
  }
  ASSERT_TRUE(clicker.clicked()) << "no wait window with a Cancel button showed";
  EXPECT_TRUE(sawCancel);
  EXPECT_GE(clicker.clickedAt() - start, PumpingWaiter::kWindowDelay);
  EXPECT_LT(clicker.clickedAt() - start, 5s) << "the wait window came late";
  EXPECT_LT(end - clicker.clickedAt(), 2s) << "Cancel did not end the wait promptly";
  // The window goes with the wait.
  EXPECT_EQ(WaitWindowOf(GetCurrentThreadId()), nullptr);
}

TEST_F(Win32Waiting, AbandonAllEndsAWaitInProgress) {
  TickWindow ticks;
  const auto waiter = MakePlatformWaiter();
  std::atomic<bool> abandonedSent{false};
  Clock::time_point start;
  Clock::time_point end;
  {
    // Shutdown comes as a message to the UI thread while the wait runs.
    ticks.onShutdown = [&] {
      waiter->AbandonAll();
      abandonedSent = true;
    };
    Ticker ticker(ticks.window());
    std::thread shutdown([&ticks] {
      std::this_thread::sleep_for(1500ms);
      PostMessageW(ticks.window(), kShutdown, 0, 0);
    });
    start = Clock::now();
    const WaitEnd ended = waiter->Run({u"Working", 0}, [](Cancellation& cancel) {
      const auto until = Clock::now() + 20s;
      while (!cancel.requested() && Clock::now() < until) std::this_thread::sleep_for(5ms);
    });
    end = Clock::now();
    shutdown.join();
    EXPECT_EQ(ended, WaitEnd::kAbandoned);
  }
  EXPECT_TRUE(abandonedSent);
  EXPECT_LT(end - start, 5s) << "AbandonAll did not end the wait";
  EXPECT_EQ(WaitWindowOf(GetCurrentThreadId()), nullptr);
}

// The thread's processor time, user and kernel.
std::chrono::milliseconds ThreadCpuTime() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  const auto ticks = [](const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return std::chrono::milliseconds((ticks(kernel) + ticks(user)) / 10000);
}

// A quit posted during a wait is the outer loop's: kept for it, without the
// pump spinning on it until the wait ends.
TEST_F(Win32Waiting, QuitDuringAWaitIsHandedBackWithoutSpinning) {
  TickWindow ticks;
  const auto waiter = MakePlatformWaiter();
  ticks.onShutdown = [] { PostQuitMessage(7); };
  PostMessageW(ticks.window(), kShutdown, 0, 0);
  const auto cpuBefore = ThreadCpuTime();
  const WaitEnd ended =
      waiter->Run({u"Working", 0}, [](Cancellation&) { std::this_thread::sleep_for(3s); });
  const auto cpu = ThreadCpuTime() - cpuBefore;
  EXPECT_EQ(ended, WaitEnd::kDone);
  EXPECT_LT(cpu, 1s) << "the pump kept the processor busy during the wait";
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit was lost";
  EXPECT_EQ(message.wParam, 7u);
}

// Against the hostile service (with-hostile-service).

// The exchange stalls for its 3 s limit; the UI thread keeps up meanwhile.
TEST_F(Win32WaitingHostile, MessagesKeepBeingHandledDuringAStalledExchange) {
  const milliseconds gap = BestOfTries([] {
    TickWindow ticks;
    const auto waiter = MakePlatformWaiter();
    ExchangeLimits limits;
    limits.stallSeconds = 3;
    const auto exchange = MakePlatformHttpExchange(limits);
    std::unique_ptr<ServerReply> reply;
    Clock::time_point start;
    Clock::time_point end;
    {
      Ticker ticker(ticks.window());
      start = Clock::now();
      const WaitEnd ended = waiter->Run({u"Decrypting the message", 0}, [&](Cancellation&) {
        reply = ApiClient(*exchange, HostileEndpoint()).DecryptMime("stall", "payload");
      });
      end = Clock::now();
      EXPECT_EQ(ended, WaitEnd::kDone);
    }
    EXPECT_TRUE(reply && reply->status().code() == "CLIENT_ERROR");
    EXPECT_GE(end - start, 2s) << "the exchange ended without stalling: "
                               << (reply ? FirstMessage(*reply) : "no reply");
    const milliseconds gap = LongestGap(ticks.handled(), start, end);
    PrintGap("stalled WinHTTP exchange", gap);
    return gap;
  });
  EXPECT_LT(gap, kResponsiveBound) << "the UI thread stopped handling messages during the wait";
}

// The exchange's own limit is 30 s: only Cancel ends it in a few.
TEST_F(Win32WaitingHostile, CancelInTheWaitWindowEndsAStalledExchange) {
  TickWindow ticks;
  const auto waiter = MakePlatformWaiter();
  const auto exchange = MakePlatformHttpExchange();
  CancelClicker clicker(GetCurrentThreadId());
  std::unique_ptr<ServerReply> reply;
  Clock::time_point end;
  {
    Ticker ticker(ticks.window(), [&clicker] { clicker(); });
    const WaitEnd ended = waiter->Run({u"Decrypting the message", 0}, [&](Cancellation& cancel) {
      reply = ApiClient(*exchange, HostileEndpoint())
                  .Cancellable(cancel)
                  .DecryptMime("stall", "payload");
    });
    end = Clock::now();
    EXPECT_EQ(ended, WaitEnd::kCancelled)
        << "the exchange ended by itself: " << (reply ? FirstMessage(*reply) : "no reply");
  }
  ASSERT_TRUE(clicker.clicked()) << "no wait window with a Cancel button showed";
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
  EXPECT_EQ(FirstMessage(*reply), exchange_messages::kCancelled);
  EXPECT_LT(end - clicker.clickedAt(), 2s) << "Cancel did not end the exchange promptly";
}

long long Ms(Clock::duration duration) {
  return static_cast<long long>(std::chrono::duration_cast<milliseconds>(duration).count());
}

// The DLL's read road as Outlook drives it, against the hostile service
// (with-hostile-service): the session names the service's behaviour.
class Win32WaitingRoad : public UnmanagedWindows {
 protected:
  static void SetUpTestSuite() {
    UnmanagedWindows::SetUpTestSuite();
    AddinModule module;
    ASSERT_EQ(module.RegisterServer(), S_OK);
    classes_ = std::make_unique<UserClassesSeenByCom>();
    // The DLL reads its service when the add-in object is made.
    const std::string host =
        "VEILMARK_API_HOST=localhost:" + std::to_string(HostileEndpoint().port);
    ASSERT_EQ(_putenv(host.c_str()), 0);
  }
  static void TearDownTestSuite() {
    _putenv("VEILMARK_API_HOST=");
    DeleteLocalFile(SessionStore().SessionFilePath(kBob));
    classes_.reset();
    UnmanagedWindows::TearDownTestSuite();
  }
  static inline std::unique_ptr<UserClassesSeenByCom> classes_;

  void SetUp() override { ASSERT_TRUE(VM_TRY_HR(apartment_.status())); }

  // A new add-in object started by `outlook` as at Outlook's start, shut
  // down as at its end when it goes: each timing try starts afresh.
  class ConnectedAddin {
   public:
    explicit ConnectedAddin(FakeOutlookWindow& outlook) {
      EXPECT_EQ(CoCreateInstance(CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER,
                                 IID__IDTExtensibility2, addin_.PutVoid()),
                S_OK);
      if (!addin_) return;
      ComPtr<ICustomTaskPaneConsumer> consumer;
      EXPECT_EQ(addin_.As(IID_ICustomTaskPaneConsumer, consumer), S_OK);
      EXPECT_EQ(addin_->OnConnection(Disp(outlook.application), ext_cm_Startup, nullptr, nullptr),
                S_OK);
      if (consumer) {
        EXPECT_EQ(consumer->CTPFactoryAvailable(Disp(outlook.factory)), S_OK);
      }
      EXPECT_EQ(addin_->OnStartupComplete(nullptr), S_OK);
    }
    ~ConnectedAddin() {
      if (!addin_) return;
      EXPECT_EQ(addin_->OnBeginShutdown(nullptr), S_OK);
      EXPECT_EQ(addin_->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
    }
    ConnectedAddin(const ConnectedAddin&) = delete;
    ConnectedAddin& operator=(const ConnectedAddin&) = delete;

   private:
    ComPtr<_IDTExtensibility2> addin_;
  };

  // The UI thread during one selection's event: how long it took, and the
  // gaps between handled messages before the wait's pump first turned,
  // while it turned, and after it last did.
  struct Stalls {
    Clock::duration took{};
    milliseconds before{};
    milliseconds during{};
    milliseconds after{};
  };
  Stalls SelectWithTicks(FakeOutlookWindow& outlook) {
    TickWindow ticks;
    DialogCloser closer(GetCurrentThreadId());
    Clock::time_point start;
    Clock::time_point end;
    {
      Ticker ticker(ticks.window(), [&closer] { closer(); });
      std::this_thread::sleep_for(50ms);
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      start = Clock::now();
      EXPECT_EQ(outlook.SelectionChange(), std::vector<HRESULT>{S_OK});
      end = Clock::now();
    }
    EXPECT_EQ(closer.shown(), "") << "the road showed a dialog, closed by the test";
    Clock::time_point first = end;
    Clock::time_point last = start;
    for (const auto at : ticks.handled()) {
      if (at < start || at > end) continue;
      first = std::min(first, at);
      last = std::max(last, at);
    }
    Stalls stalls;
    stalls.took = end - start;
    stalls.before = std::chrono::duration_cast<milliseconds>(first - start);
    stalls.after = std::chrono::duration_cast<milliseconds>(end - last);
    stalls.during = first < last ? LongestGap(ticks.handled(), first, last) : milliseconds{};
    if (first < last) {
      // Where the longest gap during the wait ended, for telling a slow
      // moment (the wait window showing at 1 s) from a loaded machine.
      Clock::time_point previous = first;
      Clock::time_point endedAt = first;
      for (const auto at : ticks.handled()) {
        if (at <= first || at > last) continue;
        if (at - previous >= stalls.during) endedAt = at;
        previous = at;
      }
      std::printf(
          "[ gap      ] before the wait %lld ms, during %lld ms (ending %lld ms in), after %lld "
          "ms\n",
          static_cast<long long>(stalls.before.count()),
          static_cast<long long>(stalls.during.count()), Ms(endedAt - start),
          static_cast<long long>(stalls.after.count()));
    } else {
      std::printf("[ gap      ] no wait: no message handled for the whole event, %lld ms\n",
                  Ms(stalls.took));
    }
    return stalls;
  }

  Apartment apartment_;
};

constexpr char16_t kPgpMimeHeaders[] =
    u"Content-Type: multipart/encrypted; protocol=\"application/pgp-encrypted\"; "
    u"boundary=\"b1\"";

// An armored payload of about `bytes`.
std::string ArmoredPayload(std::size_t bytes) {
  std::string payload = "-----BEGIN PGP MESSAGE-----\n\n";
  const std::string line(64, 'Q');
  while (payload.size() < bytes) payload += line + "\n";
  return payload + "-----END PGP MESSAGE-----\n";
}

TEST_F(Win32WaitingRoad, TheReadRoadKeepsHandlingMessagesThroughASlowService) {
  SessionStore().SetSession(kBob, "slow");
  const milliseconds gap = BestOfTries([this] {
    FakeOutlookWindow outlook(ProtectedItem({kPgpMimeHeaders, ArmoredPayload(4096)}, u"00EE-slow"));
    ConnectedAddin addin(outlook);
    const Stalls stalls = SelectWithTicks(outlook);
    const milliseconds gap = std::max({stalls.before, stalls.during, stalls.after});
    PrintGap("read road, 5 s slow service", gap);
    EXPECT_GE(stalls.took, 4500ms) << "the service did not stall";
    const std::vector<std::wstring> writes = outlook.control.Writes();
    EXPECT_EQ(writes.size(), 1u);
    EXPECT_TRUE(!writes.empty() && writes[0].find(L"<p>Answered slowly</p>") != std::wstring::npos);
    EXPECT_EQ(WaitWindowOf(GetCurrentThreadId()), nullptr);
    return gap;
  });
  EXPECT_LT(gap, kResponsiveBound) << "the UI thread stopped handling messages during the road";
}

// Outlook's own calls on the UI thread (the payload's SaveAsFile before the
// wait, the document's write after it) are the part no add-in can move: they
// are measured and printed, and the bound holds for the add-in's own share:
// before the wait, during it, after it, and showing the cached view again.
TEST_F(Win32WaitingRoad, TheReadRoadKeepsHandlingMessagesThroughA25MBMessage) {
  SessionStore().SetSession(kBob, "large");
  const std::string payload = ArmoredPayload(25u * 1024 * 1024);
  const milliseconds worst = BestOfTries([&] {
    Clock::duration saveTime{};
    FakeOutlookWindow outlook(ProtectedItem({kPgpMimeHeaders, payload}, u"00EE-large", &saveTime));
    ConnectedAddin addin(outlook);
    const Stalls stalls = SelectWithTicks(outlook);
    const auto writeTime = outlook.control.document->writeTime();
    PrintGap("read road, 25 MB message", std::max({stalls.before, stalls.during, stalls.after}));
    const auto own = [](milliseconds stall, Clock::duration outlooks) {
      return std::chrono::duration_cast<milliseconds>(stall - outlooks);
    };
    const milliseconds ownBefore = own(stalls.before, saveTime);
    const milliseconds ownAfter = own(stalls.after, writeTime);
    std::printf(
        "[ calls    ] road %lld ms; Outlook's SaveAsFile %lld ms, the add-in's own before the "
        "wait %lld ms; document write %lld ms, the add-in's own after the wait %lld ms\n",
        Ms(stalls.took), Ms(saveTime), static_cast<long long>(ownBefore.count()), Ms(writeTime),
        static_cast<long long>(ownAfter.count()));
    std::size_t written = 0;
    {
      const std::vector<std::wstring>& writes = outlook.control.document->writes();
      EXPECT_EQ(writes.size(), 1u);
      if (!writes.empty()) {
        written = writes[0].size();
        EXPECT_GT(written, 24u * 1024 * 1024);
        EXPECT_NE(writes[0].find(L"<p>Quarterly figures, <b>row</b> and <i>notes</i>.</p>"),
                  std::wstring::npos);
      }
    }

    // Selected again, it comes from the cache: no wait, only the pane's write.
    const Stalls again = SelectWithTicks(outlook);
    const auto rewrite = outlook.control.document->writeTime() - writeTime;
    const milliseconds ownAgain =
        own(std::chrono::duration_cast<milliseconds>(again.took), rewrite);
    std::printf(
        "[ calls    ] from the cache: road %lld ms; document write %lld ms, the add-in's own "
        "%lld ms\n",
        Ms(again.took), Ms(rewrite), static_cast<long long>(ownAgain.count()));
    const std::vector<std::wstring>& writes = outlook.control.document->writes();
    EXPECT_EQ(writes.size(), 2u);
    if (writes.size() == 2) {
      EXPECT_EQ(writes[1].size(), written);
    }
    return std::max({ownBefore, stalls.during, ownAfter, ownAgain});
  });
  EXPECT_LT(worst, kResponsiveBound)
      << "the add-in held the UI thread before, during or after the wait, or showing the cached "
         "view (see the [ calls ] and [ gap ] lines)";
}

}  // namespace
}  // namespace veilmark::wine_tests

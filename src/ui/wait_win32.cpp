// The Windows waiter: a message pump around the worker's event, the wait
// cursor and the wait window.
#include <windows.h>

#include <utility>

#include "base/wchar_win32.h"
#include "ui/wait.h"

namespace veilmark {
namespace {

constexpr wchar_t kWindowClass[] = L"VeilmarkWaitWindow";
constexpr int kCancelId = IDCANCEL;

// The Cancel button's action, kept in the window's user data.
LRESULT CALLBACK WaitWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == kCancelId) {
    auto* cancel =
        reinterpret_cast<std::function<void()>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (cancel && *cancel) (*cancel)();
    EnableWindow(GetDlgItem(window, kCancelId), FALSE);
    return 0;
  }
  // Closing it is the same as Cancel; the window goes when the wait ends.
  if (message == WM_CLOSE) {
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(kCancelId, BN_CLICKED), 0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&WaitWindowProc), &module);
  return module;
}

bool RegisterWaitClass(HINSTANCE module) {
  WNDCLASSEXW windowClass{};
  if (GetClassInfoExW(module, kWindowClass, &windowClass)) return true;
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WaitWindowProc;
  windowClass.hInstance = module;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_WAIT);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  return RegisterClassExW(&windowClass) != 0;
}

// The window and its Cancel action, destroyed together.
struct WaitWindow {
  HWND window = nullptr;
  std::function<void()> cancel;
  ~WaitWindow() {
    if (window) DestroyWindow(window);
  }
};

}  // namespace

Win32Waiter::Win32Waiter() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

Win32Waiter::~Win32Waiter() {
  if (event_) CloseHandle(static_cast<HANDLE>(event_));
}

void Win32Waiter::PumpFor(const std::atomic<bool>& done, std::chrono::milliseconds slice) {
  HANDLE event = static_cast<HANDLE>(event_);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Not ours to act on: kept for the outer loop until the wait is over.
      // Posted again at once, it would be peeked again at once: a busy loop.
      quitHeld_ = true;
      quitCode_ = static_cast<int>(message.wParam);
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
    if (done.load()) break;
  }
  ResetEvent(event);
  if (done.load()) return;
  MsgWaitForMultipleObjectsEx(1, &event, static_cast<DWORD>(slice.count()), QS_ALLINPUT,
                              MWMO_INPUTAVAILABLE);
}

void Win32Waiter::WakeUp() {
  SetEvent(static_cast<HANDLE>(event_));
}

std::shared_ptr<void> Win32Waiter::ShowBusy() {
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  // Held for the whole wait: its end hands a held quit back.
  return std::shared_ptr<void>(nullptr, [this, previous](void*) {
    SetCursor(previous);
    if (quitHeld_) {
      quitHeld_ = false;
      PostQuitMessage(quitCode_);
    }
  });
}

std::shared_ptr<void> Win32Waiter::ShowWindow(const WaitNotice& notice,
                                              std::function<void()> cancel) {
  HINSTANCE module = ThisModule();
  if (!RegisterWaitClass(module)) return nullptr;
  auto owned = std::make_shared<WaitWindow>();
  owned->cancel = std::move(cancel);
  HWND owner = GetActiveWindow();
  RECT area{0, 0, 360, 110};
  if (owner) GetWindowRect(owner, &area);
  const int width = 360;
  const int height = 110;
  const int x = area.left + ((area.right - area.left) - width) / 2;
  const int y = area.top + ((area.bottom - area.top) - height) / 2;
  HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW, kWindowClass,
                                L"Veilmark AddIn", WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, width,
                                height, owner, nullptr, module, nullptr);
  if (!window) return nullptr;
  owned->window = window;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&owned->cancel));
  const std::u16string text = WaitWindowText(notice);
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HWND label = CreateWindowExW(0, L"STATIC", AsWin(text), WS_CHILD | WS_VISIBLE, 12, 12, width - 30,
                               20, window, nullptr, module, nullptr);
  HWND button = CreateWindowExW(
      0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, width - 100, 40,
      80, 24, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCancelId)), module, nullptr);
  if (label) SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (button) SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  // Shown without taking the focus from the user's window.
  ::ShowWindow(window, SW_SHOWNOACTIVATE);
  return owned;
}

std::unique_ptr<Waiter> MakePlatformWaiter() {
  return std::make_unique<Win32Waiter>();
}

}  // namespace veilmark

// A user for tests that show real dialogs: a thread timer, run by the
// dialogs' modal loops, acts on the thread's open dialog one step per tick.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace veilmark::wine_tests {

inline std::wstring WindowText(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

inline BOOL CALLBACK FindOpenDialog(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// The visible dialog (message boxes included) of `thread`, or null.
inline HWND OpenDialogOf(DWORD thread) {
  HWND dialog = nullptr;
  EnumThreadWindows(thread, &FindOpenDialog, reinterpret_cast<LPARAM>(&dialog));
  return dialog;
}

// One act of the user on the open dialog; true when it was done.
using Step = std::function<bool(HWND dialog)>;

inline Step Type(int id, const wchar_t* text) {
  return [id, text](HWND dialog) { return SetDlgItemTextW(dialog, id, text) != FALSE; };
}
inline Step Click(int id) {
  return [id](HWND dialog) {
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    return true;
  };
}
inline Step CloseWindow() {
  return [](HWND dialog) {
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
  };
}

// Only in the dialog with this caption: the user waits for it first.
inline Step In(const wchar_t* caption, Step step) {
  return [caption, step](HWND dialog) { return WindowText(dialog) == caption && step(dialog); };
}

// The user: waits for the thread's dialog, then takes one step per tick; a
// step that is not done is tried again on the next tick.
class ScriptedUser {
 public:
  explicit ScriptedUser(std::vector<Step> steps) : steps_(std::move(steps)) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 30, &ScriptedUser::Tick);
  }
  ~ScriptedUser() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  ScriptedUser(const ScriptedUser&) = delete;
  ScriptedUser& operator=(const ScriptedUser&) = delete;

  // Called with the dialog before the first step.
  std::function<void(HWND)> look;
  std::size_t done() const { return next_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ScriptedUser* user = current_;
    if (!user) return;
    HWND dialog = OpenDialogOf(GetCurrentThreadId());
    if (!dialog) return;
    if (user->look) std::exchange(user->look, nullptr)(dialog);
    if (user->next_ < user->steps_.size()) {
      if (user->steps_[user->next_](dialog)) ++user->next_;
    } else if (++user->idle_ > 100) {
      // The script ran out and the dialog is still open: end the test.
      SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
  }

  static inline ScriptedUser* current_ = nullptr;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  int idle_ = 0;
  UINT_PTR timer_ = 0;
};

}  // namespace veilmark::wine_tests

// The platform seam for what the user sees: message boxes and modal dialogs.
#pragma once

#include <string>

#include "ui/dialog.h"

namespace veilmark {

inline constexpr char16_t kMessageCaption[] = u"Veilmark AddIn";

class Ui {
 public:
  virtual ~Ui() = default;
  // A modal notice with one OK button; returns once the user has closed it.
  virtual void ShowMessage(const std::u16string& caption, const std::u16string& text) = 0;
  // The window in the foreground now: the owner of the dialogs of one login.
  virtual WindowRef ForegroundWindow() = 0;
  // Shows `dialog` modally; the id it ended with, or kDialogCannotShow.
  virtual int ShowDialog(DialogController& dialog, WindowRef owner) = 0;
};

// The process-wide UI: the platform's own unless one has been installed.
Ui& CurrentUi();
// Installs `ui` (not owned) until the returned scope ends; for hosts and tests.
class UiOverride {
 public:
  explicit UiOverride(Ui& ui);
  ~UiOverride();
  UiOverride(const UiOverride&) = delete;
  UiOverride& operator=(const UiOverride&) = delete;

 private:
  Ui* previous_;
};

// The platform's implementation (terminal on Linux, Win32 on Windows).
Ui& PlatformUi();

}  // namespace veilmark

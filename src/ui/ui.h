// The platform seam for what the user sees: message boxes and modal dialogs.
#pragma once

#include <memory>
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

class Waiter;

// The platform's implementation: Win32 on Windows; on Linux the terminal,
// whose browser also trusts `extraCaFile` when it is not empty and loads its
// pages waiting on `waiter` (blocking when null).
std::unique_ptr<Ui> MakePlatformUi(const std::string& extraCaFile,
                                   std::shared_ptr<Waiter> waiter = nullptr);

}  // namespace veilmark

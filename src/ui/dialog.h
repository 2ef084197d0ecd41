// Portable modal dialogs: a controller holds the template, the validation and
// the results; the platform (Win32 dialogs, the terminal, a test script)
// shows it and reports clicks and completed browser documents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veilmark {

enum class ControlKind {
  kButton,
  kDefaultButton,
  kImageButton,  // imageId names the bitmap shown on it
  kStaticText,
  kBoldStaticText,  // a heading, centred
  kGroupBox,
  kEdit,
  kPasswordEdit,
  kPicture,  // imageId names the bitmap
  kBrowser,  // the embedded web browser
};

inline constexpr int kNoControlId = -1;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;  // also what closing the window sends
inline constexpr int kDialogCannotShow = -1;

struct DialogControl {
  int id;
  ControlKind kind;
  std::u16string text;
  int x, y, width, height;  // dialog units
  int imageId = 0;
};

struct DialogTemplate {
  int resourceId;
  std::u16string caption;
  int width, height;
  std::vector<DialogControl> controls;  // in tab order
};

// The open dialog, as its controller sees it.
class DialogSite {
 public:
  virtual ~DialogSite() = default;
  // The control's whole text; empty when there is no such control.
  virtual std::u16string ItemText(int id) = 0;
  virtual void SetItemText(int id, const std::u16string& text) = 0;
  // Opens `url` in browser control `id` (no history, no cache, "_self").
  virtual void Navigate(int id, const std::u16string& url) = 0;
  // Closes the dialog once the current handler returns; ShowDialog gives `result`.
  virtual void End(int result) = 0;
};

// Opaque reference to a window that owns dialogs (an HWND on Windows).
using WindowRef = std::uintptr_t;

class Ui;

class DialogController {
 public:
  virtual ~DialogController() = default;
  virtual const DialogTemplate& Template() const = 0;
  virtual void OnInitDialog(DialogSite& site) { (void)site; }
  // A click on button `id`; closing the window arrives as kIdCancel.
  virtual void OnCommand(DialogSite& site, int id) = 0;
  // A document (frames included) finished loading in browser control `id`;
  // `source` is the document saved as bytes.
  virtual void OnDocumentComplete(DialogSite& site, int id, std::string_view source) {
    (void)site, (void)id, (void)source;
  }

 protected:
  // Shows the dialog through `ui`, which also tells the user what the
  // dialog's own checks find.
  int ShowWith(Ui& ui, WindowRef owner);
  Ui& ui() const { return *ui_; }

 private:
  Ui* ui_ = nullptr;
};

}  // namespace veilmark

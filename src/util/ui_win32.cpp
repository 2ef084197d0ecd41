// Message boxes and modal dialogs on Windows. Dialogs come from the module's
// templates; the portable controller validates and decides when to close.
// Browser controls are hosted by atl.dll's AtlAxWin window class.
#include <exdisp.h>
#include <ocidl.h>
#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "util/hresult.h"
#include "util/ui.h"
#include "util/wchar_win32.h"

namespace veilmark {
namespace {

// The module holding this code: the add-in DLL, or a test program.
HINSTANCE ThisModule() {
  static const char marker = 0;
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&marker), &module);
  return module;
}

struct GdiDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using GdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiDeleter>;

template <class T>
struct Releaser {
  void operator()(T* object) const { object->Release(); }
};
template <class T>
using Owned = std::unique_ptr<T, Releaser<T>>;

struct BstrFreer {
  void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using OwnedBstr = std::unique_ptr<OLECHAR, BstrFreer>;

// atl.dll, loaded on the first dialog with a browser and kept: the window
// class it registers must outlive every dialog.
class AtlLibrary {
 public:
  static AtlLibrary& Get() {
    static AtlLibrary library;
    return library;
  }
  bool Ready() const { return ready_; }
  HRESULT Control(HWND host, IUnknown** out) const {
    return getControl_ ? getControl_(host, out) : E_NOTIMPL;
  }

 private:
  using InitFunction = BOOL(WINAPI*)();
  using GetControlFunction = HRESULT(WINAPI*)(HWND, IUnknown**);
  AtlLibrary() : module_(LoadLibraryW(L"atl.dll")) {
    if (!module_) return;
    const auto init = reinterpret_cast<InitFunction>(
        reinterpret_cast<void*>(GetProcAddress(module_.get(), "AtlAxWinInit")));
    getControl_ = reinterpret_cast<GetControlFunction>(
        reinterpret_cast<void*>(GetProcAddress(module_.get(), "AtlAxGetControl")));
    ready_ = init && init();
  }
  struct Freer {
    void operator()(HMODULE module) const { FreeLibrary(module); }
  };
  std::unique_ptr<std::remove_pointer_t<HMODULE>, Freer> module_;
  GetControlFunction getControl_ = nullptr;
  bool ready_ = false;
};

// The open dialog: what the controller sees, and the GDI objects it owns
// until it closes.
class Win32DialogSite final : public DialogSite {
 public:
  explicit Win32DialogSite(DialogController& controller) : controller_(controller) {}

  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      auto* site = reinterpret_cast<Win32DialogSite*>(lParam);
      site->window_ = window;
      site->Initialize();
      return TRUE;
    }
    auto* site = reinterpret_cast<Win32DialogSite*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!site) return FALSE;
    switch (message) {
      case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) site->controller_.OnCommand(*site, LOWORD(wParam));
        return TRUE;
      case WM_CLOSE:
        site->controller_.OnCommand(*site, kIdCancel);
        return TRUE;
      case WM_DESTROY:
        // The heading font and the button images go with the window.
        site->objects_.clear();
        return FALSE;
      default:
        return FALSE;
    }
  }

  std::u16string ItemText(int id) override {
    HWND item = GetDlgItem(window_, id);
    if (!item) return {};
    const int length = GetWindowTextLengthW(item);
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(item, text.data(), length + 1);
    return FromWin(text.data(), static_cast<std::size_t>(got > 0 ? got : 0));
  }

  void SetItemText(int id, const std::u16string& text) override {
    SetDlgItemTextW(window_, id, AsWin(text));
  }

  void Navigate(int id, const std::u16string& url) override {
    IUnknown* control = nullptr;
    if (FAILED(AtlLibrary::Get().Control(GetDlgItem(window_, id), &control)) || !control) return;
    Owned<IUnknown> owned(control);
    IWebBrowser2* browser = nullptr;
    if (FAILED(control->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)))) {
      return;
    }
    Owned<IWebBrowser2> ownedBrowser(browser);
    const OwnedBstr address(SysAllocString(AsWin(url)));
    const OwnedBstr frame(SysAllocString(L"_self"));
    if (!address || !frame) return;
    // Plain values only, none owned by these VARIANTs: nothing to clear.
    VARIANT flags, target, empty;
    VariantInit(&flags);
    VariantInit(&target);
    VariantInit(&empty);
    // No history, no reading from or writing to the cache.
    flags.vt = VT_I4;
    flags.lVal = navNoHistory | navNoReadFromCache | navNoWriteToCache;
    static_assert((navNoHistory | navNoReadFromCache | navNoWriteToCache) == 14);
    target.vt = VT_BSTR;
    target.bstrVal = frame.get();
    static_cast<void>(VM_HR_OK(browser->Navigate(address.get(), &flags, &target, &empty, &empty)));
  }

  void End(int result) override { EndDialog(window_, result); }

 private:
  void Initialize() {
    const DialogTemplate& layout = controller_.Template();
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
    for (const DialogControl& control : layout.controls) {
      HWND item = GetDlgItem(window_, control.id);
      if (!item) continue;
      if (control.kind == ControlKind::kBoldStaticText && font) {
        LOGFONTW description{};
        if (GetObjectW(font, sizeof description, &description) == sizeof description) {
          description.lfWeight = FW_BOLD;
          objects_.emplace_back(CreateFontIndirectW(&description));
          if (objects_.back()) {
            SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(objects_.back().get()), TRUE);
          }
        }
      } else if (control.kind == ControlKind::kImageButton && control.imageId != 0) {
        objects_.emplace_back(LoadImageW(ThisModule(), MAKEINTRESOURCEW(control.imageId),
                                         IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
        if (objects_.back()) {
          SendMessageW(item, BM_SETIMAGE, IMAGE_BITMAP,
                       reinterpret_cast<LPARAM>(objects_.back().get()));
        }
      }
    }
    controller_.OnInitDialog(*this);
  }

  DialogController& controller_;
  HWND window_ = nullptr;
  std::vector<GdiObject> objects_;
};

bool HasBrowser(const DialogTemplate& layout) {
  for (const DialogControl& control : layout.controls) {
    if (control.kind == ControlKind::kBrowser) return true;
  }
  return false;
}

class Win32Ui final : public Ui {
 public:
  void ShowMessage(const std::u16string& caption, const std::u16string& text) override {
    // Owned by the foreground window, so the box stays in front of Outlook.
    MessageBoxW(GetForegroundWindow(), AsWin(text), AsWin(caption), 0);
  }
  WindowRef ForegroundWindow() override {
    return reinterpret_cast<WindowRef>(GetForegroundWindow());
  }
  int ShowDialog(DialogController& dialog, WindowRef owner) override {
    const DialogTemplate& layout = dialog.Template();
    if (HasBrowser(layout) && !AtlLibrary::Get().Ready()) return kDialogCannotShow;
    Win32DialogSite site(dialog);
    const INT_PTR result = DialogBoxParamW(
        ThisModule(), MAKEINTRESOURCEW(layout.resourceId), reinterpret_cast<HWND>(owner),
        &Win32DialogSite::Procedure, reinterpret_cast<LPARAM>(&site));
    return result == -1 ? kDialogCannotShow : static_cast<int>(result);
  }
};

}  // namespace

Ui& PlatformUi() {
  static Win32Ui ui;
  return ui;
}

}  // namespace veilmark

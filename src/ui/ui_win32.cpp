// Message boxes and modal dialogs on Windows. Dialogs come from the module's
// templates; the portable controller validates and decides when to close.
// Browser controls are hosted by atl.dll's AtlAxWin window class.
#include <windows.h>
// After windows.h, which they need.
#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/automation_win32.h"
#include "base/com_ptr_win32.h"
#include "base/event_sink_win32.h"
#include "base/hresult.h"
#include "base/owner_win32.h"
#include "base/wchar_win32.h"
#include "ui/browser_document_win32.h"
#include "ui/ui.h"

namespace veilmark {
namespace {

using com::ComPtr;

// The module holding this code: the add-in DLL, or a test program.
HINSTANCE ThisModule() {
  static const char marker = 0;
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&marker), &module);
  return module;
}

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
        reinterpret_cast<void*>(GetProcAddress(module_.Get(), "AtlAxWinInit")));
    getControl_ = reinterpret_cast<GetControlFunction>(
        reinterpret_cast<void*>(GetProcAddress(module_.Get(), "AtlAxGetControl")));
    ready_ = init && init();
  }
  LibraryHandle module_;
  GetControlFunction getControl_ = nullptr;
  bool ready_ = false;
};

// Hears DocumentComplete from one browser control and hands the document's
// source to `handler`, until the subscription goes.
HRESULT AdviseDocumentComplete(IWebBrowser2* browser,
                               std::function<void(std::string_view source)> handler,
                               com::Subscription& out) {
  return com::EventSink::Advise(
      browser, DIID_DWebBrowserEvents2,
      [handler = std::move(handler)](DISPID id, DISPPARAMS& params) -> HRESULT {
        // DocumentComplete(pDisp, URL): the browser or frame that finished.
        if (id != DISPID_DOCUMENTCOMPLETE || params.cArgs != 2 ||
            params.rgvarg[1].vt != VT_DISPATCH || !params.rgvarg[1].pdispVal) {
          return S_OK;
        }
        ComPtr<IWebBrowser2> frame;
        // Some other object than a frame: nothing to read.
        if (!VM_TRY_HR(
                params.rgvarg[1].pdispVal->QueryInterface(IID_IWebBrowser2, frame.PutVoid()))) {
          return S_OK;
        }
        ComPtr<IDispatch> document;
        if (!VM_TRY_HR(frame->get_Document(document.Put())) || !document) return S_OK;
        const std::optional<std::string> source = SaveDocumentSource(document.Get());
        if (source) handler(*source);
        return S_OK;
      },
      out);
}

// The open dialog: what the controller sees, and the GDI objects and browser
// subscriptions it owns until it closes.
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
        // The heading font, the button images and the browser sinks go
        // with the window.
        site->browsers_.clear();
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
    ComPtr<IWebBrowser2> browser = Browser(id);
    if (!browser) return;
    const com::Bstr address(url);
    const com::Bstr frame(std::u16string(u"_self"));
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
    target.bstrVal = frame.Get();
    VM_LOG_HR(browser->Navigate(address.Get(), &flags, &target, &empty, &empty));
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
            SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(objects_.back().Get()), TRUE);
          }
        }
      } else if (control.kind == ControlKind::kBrowser) {
        if (ComPtr<IWebBrowser2> browser = Browser(control.id)) {
          const int id = control.id;
          com::Subscription subscription;
          // A browser that cannot be heard still shows its page.
          if (VM_LOG_HR(AdviseDocumentComplete(
                  browser.Get(),
                  [this, id](std::string_view source) {
                    controller_.OnDocumentComplete(*this, id, source);
                  },
                  subscription))) {
            browsers_.push_back(std::move(subscription));
          }
        }
      } else if (control.kind == ControlKind::kImageButton && control.imageId != 0) {
        objects_.emplace_back(LoadImageW(ThisModule(), MAKEINTRESOURCEW(control.imageId),
                                         IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
        if (objects_.back()) {
          SendMessageW(item, BM_SETIMAGE, IMAGE_BITMAP,
                       reinterpret_cast<LPARAM>(objects_.back().Get()));
        }
      }
    }
    controller_.OnInitDialog(*this);
  }

  // The control AtlAxWin hosts in item `id`, or null.
  ComPtr<IWebBrowser2> Browser(int id) const {
    ComPtr<IUnknown> control;
    if (!VM_TRY_HR(AtlLibrary::Get().Control(GetDlgItem(window_, id), control.Put())) || !control) {
      return {};
    }
    ComPtr<IWebBrowser2> browser;
    if (!VM_TRY_HR(control.As(IID_IWebBrowser2, browser))) return {};
    return browser;
  }

  DialogController& controller_;
  HWND window_ = nullptr;
  std::vector<GdiObject<HGDIOBJ>> objects_;
  std::vector<com::Subscription> browsers_;
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

std::optional<std::string> SaveDocumentSource(IUnknown* document) {
  if (!document) return std::nullopt;
  ComPtr<IPersistStreamInit> persist;
  // Not a document that can save itself.
  if (!VM_TRY_HR(document->QueryInterface(IID_IPersistStreamInit, persist.PutVoid()))) {
    return std::nullopt;
  }
  ComPtr<IStream> stream;
  if (!VM_LOG_HR(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()))) return std::nullopt;
  // A document may refuse: it is not loaded, or not its own to give.
  if (!VM_TRY_HR(persist->Save(stream.Get(), FALSE))) return std::nullopt;
  // The memory may be larger than what was written: the position says.
  ULARGE_INTEGER end{};
  if (!VM_LOG_HR(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &end))) return std::nullopt;
  HGLOBAL memory = nullptr;
  if (!VM_LOG_HR(GetHGlobalFromStream(stream.Get(), &memory))) return std::nullopt;
  const void* bytes = GlobalLock(memory);
  if (!bytes && end.QuadPart != 0) return std::nullopt;
  std::string source(static_cast<const char*>(bytes), static_cast<std::size_t>(end.QuadPart));
  GlobalUnlock(memory);
  return source;
}

// The WebBrowser control loads its pages without holding the UI thread: no
// waiter is needed.
std::unique_ptr<Ui> MakePlatformUi(const std::string&, std::shared_ptr<Waiter>) {
  return std::make_unique<Win32Ui>();
}

}  // namespace veilmark

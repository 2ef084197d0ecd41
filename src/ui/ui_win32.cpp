// Message boxes and modal dialogs on Windows. Dialogs come from the module's
// templates; the portable controller validates and decides when to close.
// Browser controls are hosted by atl.dll's AtlAxWin window class.
#include <windows.h>
// After windows.h, which they need.
#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "base/hresult.h"
#include "base/wchar_win32.h"
#include "ui/browser_document_win32.h"
#include "ui/ui.h"

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

// Hears DocumentComplete from one browser control and hands the document's
// source to a function.
class BrowserEvents final : public IDispatch {
 public:
  using Handler = std::function<void(std::string_view source)>;
  explicit BrowserEvents(Handler handler) : handler_(std::move(handler)) {}

  void Detach() { handler_ = nullptr; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
        !IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --count_;
    if (left == 0) delete this;  // reference-counted: the last holder frees it
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    if (id != DISPID_DOCUMENTCOMPLETE || !handler_) return S_OK;
    // DocumentComplete(pDisp, URL): the browser or frame that finished.
    if (!params || params->cArgs != 2 || params->rgvarg[1].vt != VT_DISPATCH ||
        !params->rgvarg[1].pdispVal) {
      return S_OK;
    }
    IWebBrowser2* frame = nullptr;
    if (FAILED(params->rgvarg[1].pdispVal->QueryInterface(IID_IWebBrowser2,
                                                          reinterpret_cast<void**>(&frame)))) {
      return S_OK;
    }
    Owned<IWebBrowser2> ownedFrame(frame);
    IDispatch* document = nullptr;
    if (FAILED(frame->get_Document(&document)) || !document) return S_OK;
    Owned<IDispatch> ownedDocument(document);
    const std::optional<std::string> source = SaveDocumentSource(document);
    // A copy: the handler may end the dialog, which detaches this sink.
    const Handler handler = handler_;
    if (source) handler(*source);
    return S_OK;
  }

 private:
  ~BrowserEvents() = default;
  ULONG count_ = 1;
  Handler handler_;
};

// One advised sink on one browser control, unadvised when dropped.
class BrowserConnection {
 public:
  BrowserConnection(IWebBrowser2* browser, BrowserEvents::Handler handler) {
    IConnectionPointContainer* container = nullptr;
    if (FAILED(browser->QueryInterface(IID_IConnectionPointContainer,
                                       reinterpret_cast<void**>(&container)))) {
      return;
    }
    Owned<IConnectionPointContainer> ownedContainer(container);
    IConnectionPoint* point = nullptr;
    if (!VM_LOG_HR(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point))) return;
    point_.reset(point);
    sink_.reset(new BrowserEvents(std::move(handler)));
    if (!VM_LOG_HR(point_->Advise(sink_.get(), &cookie_))) cookie_ = 0;
  }
  ~BrowserConnection() {
    if (sink_) sink_->Detach();
    if (point_ && cookie_) static_cast<void>(VM_LOG_HR(point_->Unadvise(cookie_)));
  }
  BrowserConnection(const BrowserConnection&) = delete;
  BrowserConnection& operator=(const BrowserConnection&) = delete;

 private:
  Owned<IConnectionPoint> point_;
  Owned<BrowserEvents> sink_;
  DWORD cookie_ = 0;
};

// The open dialog: what the controller sees, and the GDI objects and browser
// connections it owns until it closes.
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
    Owned<IWebBrowser2> browser = Browser(id);
    if (!browser) return;
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
    static_cast<void>(VM_LOG_HR(browser->Navigate(address.get(), &flags, &target, &empty, &empty)));
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
      } else if (control.kind == ControlKind::kBrowser) {
        if (Owned<IWebBrowser2> browser = Browser(control.id)) {
          const int id = control.id;
          browsers_.push_back(std::make_unique<BrowserConnection>(
              browser.get(), [this, id](std::string_view source) {
                controller_.OnDocumentComplete(*this, id, source);
              }));
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

  // The control AtlAxWin hosts in item `id`, or null.
  Owned<IWebBrowser2> Browser(int id) const {
    IUnknown* control = nullptr;
    if (FAILED(AtlLibrary::Get().Control(GetDlgItem(window_, id), &control)) || !control) {
      return nullptr;
    }
    Owned<IUnknown> owned(control);
    IWebBrowser2* browser = nullptr;
    if (FAILED(control->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)))) {
      return nullptr;
    }
    return Owned<IWebBrowser2>(browser);
  }

  DialogController& controller_;
  HWND window_ = nullptr;
  std::vector<GdiObject> objects_;
  std::vector<std::unique_ptr<BrowserConnection>> browsers_;
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
  IPersistStreamInit* persist = nullptr;
  if (FAILED(
          document->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) {
    return std::nullopt;
  }
  Owned<IPersistStreamInit> ownedPersist(persist);
  IStream* stream = nullptr;
  if (!VM_LOG_HR(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return std::nullopt;
  Owned<IStream> ownedStream(stream);
  if (FAILED(persist->Save(stream, FALSE))) return std::nullopt;
  // The memory may be larger than what was written: the position says.
  ULARGE_INTEGER end{};
  if (!VM_LOG_HR(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &end))) return std::nullopt;
  HGLOBAL memory = nullptr;
  if (!VM_LOG_HR(GetHGlobalFromStream(stream, &memory))) return std::nullopt;
  const void* bytes = GlobalLock(memory);
  if (!bytes && end.QuadPart != 0) return std::nullopt;
  std::string source(static_cast<const char*>(bytes), static_cast<std::size_t>(end.QuadPart));
  GlobalUnlock(memory);
  return source;
}

std::unique_ptr<Ui> MakePlatformUi(const std::string&) {
  return std::make_unique<Win32Ui>();
}

}  // namespace veilmark

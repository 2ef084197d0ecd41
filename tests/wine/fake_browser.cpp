#include "fake_browser.h"

#include <mshtmdid.h>

#include <new>
#include <stdexcept>
#include <utility>

namespace veilmark::wine_tests {

const com::InterfaceEntry<FakeHtmlDocument>* FakeHtmlDocument::Interfaces() {
  static const com::InterfaceEntry<FakeHtmlDocument> table[] = {
      com::Entry<FakeHtmlDocument, IHTMLDocument2>(IID_IDispatch),
      com::Entry<FakeHtmlDocument, IHTMLDocument2>(com::kHtmlDocumentIid),
      {nullptr, nullptr},
  };
  return table;
}

ComPtr<FakeHtmlDocument> FakeHtmlDocument::Make() {
  ComPtr<IDispatch> object;
  if (!VM_LOG_HR(ComObject<FakeHtmlDocument>::Create(nullptr, IID_IDispatch, object.PutVoid()))) {
    throw std::bad_alloc();
  }
  return ComPtr<FakeHtmlDocument>(static_cast<FakeHtmlDocument*>(object.Get()));
}

HRESULT FakeHtmlDocument::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT FakeHtmlDocument::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT FakeHtmlDocument::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (count != 1) return E_NOTIMPL;
  if (_wcsicmp(names[0], L"write") == 0) {
    ids[0] = DISPID_IHTMLDOCUMENT2_WRITE;
  } else if (_wcsicmp(names[0], L"close") == 0) {
    ids[0] = DISPID_IHTMLDOCUMENT2_CLOSE;
  } else {
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  return S_OK;
}

HRESULT FakeHtmlDocument::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO*, UINT*) {
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (result) VariantInit(result);
  const UINT count = params ? params->cArgs : 0;
  if (params && params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (id == DISPID_IHTMLDOCUMENT2_CLOSE) return count == 0 ? close() : DISP_E_BADPARAMCOUNT;
  if (id != DISPID_IHTMLDOCUMENT2_WRITE) return DISP_E_MEMBERNOTFOUND;
  // [vararg]: the dispatcher gathers the arguments, as written, into the
  // one array the method takes; an array given is just one of them.
  com::SafeArray strings(SafeArrayCreateVector(VT_VARIANT, 0, count));
  if (!strings.Get()) return E_OUTOFMEMORY;
  for (UINT i = 0; i < count; ++i) {
    LONG index = static_cast<LONG>(i);
    VM_CHECK_HR(SafeArrayPutElement(strings.Get(), &index, &params->rgvarg[count - 1 - i]));
  }
  return write(strings.Get());
}

HRESULT FakeHtmlDocument::write(SAFEARRAY* strings) {
  if (!VM_TRY_HR(writeFailure_)) return writeFailure_;
  const auto start = std::chrono::steady_clock::now();
  // What MSHTML refuses as no array of VARIANT.
  VARTYPE type = VT_EMPTY;
  if (!strings || SafeArrayGetDim(strings) != 1 ||
      !VM_TRY_HR(SafeArrayGetVartype(strings, &type)) || type != VT_VARIANT) {
    return E_INVALIDARG;
  }
  LONG low = 0, high = -1;
  if (!VM_TRY_HR(SafeArrayGetLBound(strings, 1, &low)) ||
      !VM_TRY_HR(SafeArrayGetUBound(strings, 1, &high))) {
    return E_INVALIDARG;
  }
  std::wstring written;
  for (LONG i = low; i <= high; ++i) {
    com::Variant element;
    if (!VM_TRY_HR(SafeArrayGetElement(strings, &i, element.Put()))) return E_INVALIDARG;
    // What does not convert to text writes nothing.
    if (!VM_TRY_HR(VariantChangeType(element.get(), element.get(), 0, VT_BSTR))) continue;
    written += L"[" + TextOf(element.value()) + L"]";
  }
  writes_.push_back(std::move(written));
  writeTime_ += std::chrono::steady_clock::now() - start;
  return S_OK;
}

HRESULT FakeHtmlDocument::close() {
  ++closes_;
  return S_OK;
}

namespace {

constexpr UINT kLoadDone = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"VeilmarkFakeBrowser";

void RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassW(&windowClass) != 0;
  }();
  if (!registered) throw std::runtime_error("RegisterClassW");
}

}  // namespace

FakeBrowser::FakeBrowser() {
  RegisterWindowClass();
  window_.Reset(CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr));
  if (!window_) throw std::runtime_error("CreateWindowExW");
  SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  // A new control has loaded nothing: no document (Nothing), uninitialized.
  browser->Is(com::kWebBrowserIid)
      .Property(L"Document", nullptr)
      .Value(L"ReadyState", com::Variant(std::int32_t{READYSTATE_UNINITIALIZED}))
      .Method(L"Navigate", [this](const std::vector<com::Variant>& args, com::Variant&) {
        if (args.empty() || args[0].value().vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
        browser->Value(L"ReadyState", com::Variant(std::int32_t{READYSTATE_LOADING}));
        if (completes_ && !PostMessageW(window_.Get(), kLoadDone, 0, 0)) return E_FAIL;
        return S_OK;
      });
}

FakeBrowser::~FakeBrowser() = default;

LRESULT CALLBACK FakeBrowser::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kLoadDone) {
    reinterpret_cast<FakeBrowser*>(GetWindowLongPtrW(window, GWLP_USERDATA))->CompleteLoad();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void FakeBrowser::CompleteLoad() {
  // The finished load replaces whatever was written before it.
  document->Load();
  browser->Property(L"Document", static_cast<IHTMLDocument2*>(document.Get()));
  browser->Value(L"ReadyState", com::Variant(std::int32_t{READYSTATE_COMPLETE}));
}

}  // namespace veilmark::wine_tests

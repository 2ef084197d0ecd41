// The task pane's web browser control and its HTML document, faked as the
// control behaves: a load completes only while the thread's messages are
// pumped, and the document's write is [vararg] through IDispatch.
#pragma once

#include <mshtml.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/owner_win32.h"
#include "fake_outlook.h"

namespace veilmark::wine_tests {

// IHTMLDocument2 with write and close; every other member is E_NOTIMPL.
class FakeHtmlDocument : public IHTMLDocument2 {
 public:
  static const com::InterfaceEntry<FakeHtmlDocument>* Interfaces();
  static ComPtr<FakeHtmlDocument> Make();

  // Each write call's strings, each as "[...]"; elements that are no text
  // write nothing. A finished load empties it: a new page.
  const std::vector<std::wstring>& writes() const { return writes_; }
  int closes() const { return closes_; }
  // The time spent in write so far: the control's own share of a stall.
  std::chrono::steady_clock::duration writeTime() const { return writeTime_; }
  // Every write from now on answers `hr`.
  void FailWrites(HRESULT hr) { writeFailure_ = hr; }
  void Load() {
    writes_.clear();
    closes_ = 0;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override;
  HRESULT STDMETHODCALLTYPE write(SAFEARRAY* strings) override;
  HRESULT STDMETHODCALLTYPE close() override;

#define VM_NOT_IMPLEMENTED(name, ...)                    \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { \
    return E_NOTIMPL;                                    \
  }
  VM_NOT_IMPLEMENTED(get_Script, IDispatch**)
  VM_NOT_IMPLEMENTED(get_all, IHTMLElementCollection**)
  VM_NOT_IMPLEMENTED(get_body, IHTMLElement**)
  VM_NOT_IMPLEMENTED(get_activeElement, IHTMLElement**)
  VM_NOT_IMPLEMENTED(get_images, IHTMLElementCollection**)
  VM_NOT_IMPLEMENTED(get_applets, IHTMLElementCollection**)
  VM_NOT_IMPLEMENTED(get_links, IHTMLElementCollection**)
  VM_NOT_IMPLEMENTED(get_forms, IHTMLElementCollection**)
  VM_NOT_IMPLEMENTED(get_anchors, IHTMLElementCollection**)
  VM_NOT_IMPLEMENTED(put_title, BSTR)
  VM_NOT_IMPLEMENTED(get_title, BSTR*)
  VM_NOT_IMPLEMENTED(get_scripts, IHTMLElementCollection**)
  VM_NOT_IMPLEMENTED(put_designMode, BSTR)
  VM_NOT_IMPLEMENTED(get_designMode, BSTR*)
  VM_NOT_IMPLEMENTED(get_selection, IHTMLSelectionObject**)
  VM_NOT_IMPLEMENTED(get_readyState, BSTR*)
  VM_NOT_IMPLEMENTED(get_frames, IHTMLFramesCollection2**)
  VM_NOT_IMPLEMENTED(get_embeds, IHTMLElementCollection**)
  VM_NOT_IMPLEMENTED(get_plugins, IHTMLElementCollection**)
  VM_NOT_IMPLEMENTED(put_alinkColor, VARIANT)
  VM_NOT_IMPLEMENTED(get_alinkColor, VARIANT*)
  VM_NOT_IMPLEMENTED(put_bgColor, VARIANT)
  VM_NOT_IMPLEMENTED(get_bgColor, VARIANT*)
  VM_NOT_IMPLEMENTED(put_fgColor, VARIANT)
  VM_NOT_IMPLEMENTED(get_fgColor, VARIANT*)
  VM_NOT_IMPLEMENTED(put_linkColor, VARIANT)
  VM_NOT_IMPLEMENTED(get_linkColor, VARIANT*)
  VM_NOT_IMPLEMENTED(put_vlinkColor, VARIANT)
  VM_NOT_IMPLEMENTED(get_vlinkColor, VARIANT*)
  VM_NOT_IMPLEMENTED(get_referrer, BSTR*)
  VM_NOT_IMPLEMENTED(get_location, IHTMLLocation**)
  VM_NOT_IMPLEMENTED(get_lastModified, BSTR*)
  VM_NOT_IMPLEMENTED(put_URL, BSTR)
  VM_NOT_IMPLEMENTED(get_URL, BSTR*)
  VM_NOT_IMPLEMENTED(put_domain, BSTR)
  VM_NOT_IMPLEMENTED(get_domain, BSTR*)
  VM_NOT_IMPLEMENTED(put_cookie, BSTR)
  VM_NOT_IMPLEMENTED(get_cookie, BSTR*)
  VM_NOT_IMPLEMENTED(put_expando, VARIANT_BOOL)
  VM_NOT_IMPLEMENTED(get_expando, VARIANT_BOOL*)
  VM_NOT_IMPLEMENTED(put_charset, BSTR)
  VM_NOT_IMPLEMENTED(get_charset, BSTR*)
  VM_NOT_IMPLEMENTED(put_defaultCharset, BSTR)
  VM_NOT_IMPLEMENTED(get_defaultCharset, BSTR*)
  VM_NOT_IMPLEMENTED(get_mimeType, BSTR*)
  VM_NOT_IMPLEMENTED(get_fileSize, BSTR*)
  VM_NOT_IMPLEMENTED(get_fileCreatedDate, BSTR*)
  VM_NOT_IMPLEMENTED(get_fileModifiedDate, BSTR*)
  VM_NOT_IMPLEMENTED(get_fileUpdatedDate, BSTR*)
  VM_NOT_IMPLEMENTED(get_security, BSTR*)
  VM_NOT_IMPLEMENTED(get_protocol, BSTR*)
  VM_NOT_IMPLEMENTED(get_nameProp, BSTR*)
  VM_NOT_IMPLEMENTED(writeln, SAFEARRAY*)
  VM_NOT_IMPLEMENTED(open, BSTR, VARIANT, VARIANT, VARIANT, IDispatch**)
  VM_NOT_IMPLEMENTED(clear)
  VM_NOT_IMPLEMENTED(queryCommandSupported, BSTR, VARIANT_BOOL*)
  VM_NOT_IMPLEMENTED(queryCommandEnabled, BSTR, VARIANT_BOOL*)
  VM_NOT_IMPLEMENTED(queryCommandState, BSTR, VARIANT_BOOL*)
  VM_NOT_IMPLEMENTED(queryCommandIndeterm, BSTR, VARIANT_BOOL*)
  VM_NOT_IMPLEMENTED(queryCommandText, BSTR, BSTR*)
  VM_NOT_IMPLEMENTED(queryCommandValue, BSTR, VARIANT*)
  VM_NOT_IMPLEMENTED(execCommand, BSTR, VARIANT_BOOL, VARIANT, VARIANT_BOOL*)
  VM_NOT_IMPLEMENTED(execCommandShowHelp, BSTR, VARIANT_BOOL*)
  VM_NOT_IMPLEMENTED(createElement, BSTR, IHTMLElement**)
  VM_NOT_IMPLEMENTED(put_onhelp, VARIANT)
  VM_NOT_IMPLEMENTED(get_onhelp, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onclick, VARIANT)
  VM_NOT_IMPLEMENTED(get_onclick, VARIANT*)
  VM_NOT_IMPLEMENTED(put_ondblclick, VARIANT)
  VM_NOT_IMPLEMENTED(get_ondblclick, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onkeyup, VARIANT)
  VM_NOT_IMPLEMENTED(get_onkeyup, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onkeydown, VARIANT)
  VM_NOT_IMPLEMENTED(get_onkeydown, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onkeypress, VARIANT)
  VM_NOT_IMPLEMENTED(get_onkeypress, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onmouseup, VARIANT)
  VM_NOT_IMPLEMENTED(get_onmouseup, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onmousedown, VARIANT)
  VM_NOT_IMPLEMENTED(get_onmousedown, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onmousemove, VARIANT)
  VM_NOT_IMPLEMENTED(get_onmousemove, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onmouseout, VARIANT)
  VM_NOT_IMPLEMENTED(get_onmouseout, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onmouseover, VARIANT)
  VM_NOT_IMPLEMENTED(get_onmouseover, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onreadystatechange, VARIANT)
  VM_NOT_IMPLEMENTED(get_onreadystatechange, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onafterupdate, VARIANT)
  VM_NOT_IMPLEMENTED(get_onafterupdate, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onrowexit, VARIANT)
  VM_NOT_IMPLEMENTED(get_onrowexit, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onrowenter, VARIANT)
  VM_NOT_IMPLEMENTED(get_onrowenter, VARIANT*)
  VM_NOT_IMPLEMENTED(put_ondragstart, VARIANT)
  VM_NOT_IMPLEMENTED(get_ondragstart, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onselectstart, VARIANT)
  VM_NOT_IMPLEMENTED(get_onselectstart, VARIANT*)
  VM_NOT_IMPLEMENTED(elementFromPoint, LONG, LONG, IHTMLElement**)
  VM_NOT_IMPLEMENTED(get_parentWindow, IHTMLWindow2**)
  VM_NOT_IMPLEMENTED(get_styleSheets, IHTMLStyleSheetsCollection**)
  VM_NOT_IMPLEMENTED(put_onbeforeupdate, VARIANT)
  VM_NOT_IMPLEMENTED(get_onbeforeupdate, VARIANT*)
  VM_NOT_IMPLEMENTED(put_onerrorupdate, VARIANT)
  VM_NOT_IMPLEMENTED(get_onerrorupdate, VARIANT*)
  VM_NOT_IMPLEMENTED(toString, BSTR*)
  VM_NOT_IMPLEMENTED(createStyleSheet, BSTR, LONG, IHTMLStyleSheet**)
#undef VM_NOT_IMPLEMENTED

 protected:
  FakeHtmlDocument() = default;
  virtual ~FakeHtmlDocument() = default;

 private:
  std::vector<std::wstring> writes_;
  int closes_ = 0;
  HRESULT writeFailure_ = S_OK;
  std::chrono::steady_clock::duration writeTime_{};
};

// A browser control (IWebBrowser2 late-bound: Document, ReadyState,
// Navigate). Navigate starts a load that ends, with a fresh document and
// READYSTATE_COMPLETE, when its posted message is dispatched.
class FakeBrowser {
 public:
  FakeBrowser();
  ~FakeBrowser();
  FakeBrowser(const FakeBrowser&) = delete;
  FakeBrowser& operator=(const FakeBrowser&) = delete;

  std::vector<std::wstring> Writes() const { return document->writes(); }
  // From now on a load never ends, as with a control that hangs.
  void NeverComplete() { completes_ = false; }

  ComPtr<FakeHtmlDocument> document = FakeHtmlDocument::Make();
  FakePtr browser = FakeDispatch::Make();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM, LPARAM);
  void CompleteLoad();

  WindowHandle window_;
  bool completes_ = true;
};

}  // namespace veilmark::wine_tests

#include "read/task_pane.h"

#include "read/decrypted_view.h"

namespace veilmark {

HRESULT ShowInTaskPane(const std::u16string& view, const std::shared_ptr<outlook::Object>& window,
                       outlook::TaskPaneFactory& factory,
                       std::shared_ptr<outlook::TaskPane>& paneSlot) {
  paneSlot.reset();
  VM_CHECK_HR(factory.CreateCTP(outlook::kWebBrowserClsid, kPaneTitle, window, paneSlot));
  std::shared_ptr<outlook::Object> control;
  VM_CHECK_HR(paneSlot->GetContentControl(control));
  std::shared_ptr<outlook::WebBrowser> browser;
  VM_CHECK_HR(control->AsWebBrowser(browser));

  // A new browser has no document until it has loaded something.
  std::shared_ptr<outlook::Object> document;
  if (!VM_TRY_HR(browser->GetDocument(document)) || !document) {
    document.reset();
    if (VM_TRY_HR(browser->Navigate(u"about:blank")) &&
        !VM_TRY_HR(browser->GetDocument(document))) {
      document.reset();
    }
  }
  std::shared_ptr<outlook::HtmlDocument> html;
  if (document && VM_TRY_HR(document->AsHtmlDocument(html))) {
    if (VM_TRY_HR(html->Write(view))) html->Close();
  }
  VM_CHECK_HR(paneSlot->SetDockPosition(outlook::kDockBottom));
  return paneSlot->SetVisible(true);
}

}  // namespace veilmark

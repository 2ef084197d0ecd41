#include "addin/window_wrappers.h"

#include <utility>

#include "read/secure_read.h"

namespace veilmark {

template <class Window, class Events>
WindowWrapper<Window, Events>::~WindowWrapper() {
  RemovePane(false);
  if (window_) window_->Unadvise(*this);
}

template <class Window, class Events>
HRESULT WindowWrapper<Window, Events>::Attach(
    const std::shared_ptr<Window>& window, Services* services, CacheManager* cache,
    std::shared_ptr<outlook::TaskPaneFactory> paneFactory) {
  pane_.reset();
  detached_ = false;
  window_ = window;
  services_ = services;
  cache_ = cache;
  paneFactory_ = std::move(paneFactory);
  VM_CHECK_HR(window_->Advise(*this));
  return S_OK;
}

template <class Window, class Events>
void WindowWrapper<Window, Events>::RemovePane(bool hideFirst) {
  if (!pane_) return;
  // The pane goes whatever Outlook answers; a failure is only asserted.
  if (hideFirst) VM_LOG_HR(pane_->SetVisible(false));
  VM_LOG_HR(pane_->Delete());
  pane_.reset();
}

template <class Window, class Events>
void WindowWrapper<Window, Events>::ShowIfProtected(const std::shared_ptr<outlook::Object>& item) {
  if (!IsProtectedMessage(item)) return;
  std::shared_ptr<outlook::MailItem> mail;
  if (!VM_LOG_HR(item->AsMailItem(mail))) return;
  const auto factory = paneFactory_;  // the road's own hold on it
  const auto window = window_;        // OnClose may let go of window_ meanwhile
  busy_ = true;
  // The road reports to the user itself; its result is not the event's.
  DecryptAndShow(*mail, window, *services_, *cache_, factory.get(), pane_,
                 [this] { return !detached_ && !stale_; });
  busy_ = false;
  // Closed or shut down while the road ran (a login dialog's message loop
  // delivers such events): nothing may stay on a window let go of.
  if (detached_) RemovePane(false);
}

template <class Window, class Events>
HRESULT WindowWrapper<Window, Events>::OnClose() {
  const auto hold = Hold();
  detached_ = true;
  RemovePane(false);
  if (window_) {
    VM_CHECK_HR(window_->Unadvise(*this));
    window_.reset();
  }
  return S_OK;
}

template <class Window, class Events>
void WindowWrapper<Window, Events>::Detach() {
  detached_ = true;
  RemovePane(false);
  if (window_) {
    // Best effort: Outlook is going, and the window with it.
    VM_LOG_HR(window_->Unadvise(*this));
    window_.reset();
  }
}

template class WindowWrapper<outlook::Explorer, outlook::ExplorerEvents>;
template class WindowWrapper<outlook::Inspector, outlook::InspectorEvents>;

HRESULT ExplorerWrapper::Initialize(const std::shared_ptr<outlook::Explorer>& explorer,
                                    Services* services, CacheManager* cache,
                                    std::shared_ptr<outlook::TaskPaneFactory> paneFactory) {
  return Attach(explorer, services, cache, std::move(paneFactory));
}

HRESULT ExplorerWrapper::OnSelectionChange() {
  const auto hold = Hold();
  if (busy()) {
    RemovePane(true);
    MarkStale();
    return S_OK;
  }
  HRESULT hr = S_OK;
  do {
    hr = ShowSelection();
  } while (TakeStale());
  return hr;
}

HRESULT ExplorerWrapper::ShowSelection() {
  RemovePane(true);
  if (!window_) return S_OK;
  std::shared_ptr<outlook::Selection> selection;
  VM_CHECK_HR(window_->GetSelection(selection));
  std::int32_t count = 0;
  // Several messages, or none: no pane.
  if (!VM_TRY_HR(selection->GetCount(count)) || count != 1) return S_OK;
  std::shared_ptr<outlook::Object> item;
  VM_CHECK_HR(selection->GetItem(1, item));
  ShowIfProtected(item);
  return S_OK;
}

HRESULT InspectorWrapper::Initialize(const std::shared_ptr<outlook::Inspector>& inspector,
                                     Services* services, CacheManager* cache,
                                     std::shared_ptr<outlook::TaskPaneFactory> paneFactory) {
  const auto hold = Hold();
  VM_CHECK_HR(Attach(inspector, services, cache, std::move(paneFactory)));
  std::shared_ptr<outlook::Object> item;
  VM_CHECK_HR(window_->GetCurrentItem(item));
  ShowIfProtected(item);
  return S_OK;
}

}  // namespace veilmark

#include "addin/window_wrappers.h"

#include <utility>

#include "read/secure_read.h"

namespace veilmark {
namespace {

// Removes a pane; `hideFirst` when the window stays and only its content
// changes.
void RemovePane(std::shared_ptr<host::TaskPane>& pane, bool hideFirst) {
  if (!pane) return;
  // The pane goes whatever the host answers; a failure is only asserted.
  if (hideFirst) static_cast<void>(VM_HR_OK(pane->SetVisible(false)));
  static_cast<void>(VM_HR_OK(pane->Delete()));
  pane.reset();
}

template <class Window>
void ShowIfProtected(const std::shared_ptr<host::Object>& item,
                     const std::shared_ptr<Window>& window, SessionStore& store,
                     CacheManager& cache, const std::shared_ptr<host::TaskPaneFactory>& paneFactory,
                     std::shared_ptr<host::TaskPane>& pane) {
  if (!IsProtectedMessage(item)) return;
  std::shared_ptr<host::MailItem> mail;
  if (!VM_HR_OK(item->AsMailItem(mail))) return;
  // The road reports to the user itself; its result is not the event's.
  DecryptAndShow(*mail, window, store, cache, paneFactory.get(), pane);
}

}  // namespace

ExplorerWrapper::~ExplorerWrapper() {
  RemovePane(pane_, false);
  if (window_) window_->Unadvise(*this);
}

HRESULT ExplorerWrapper::Initialize(const std::shared_ptr<host::Explorer>& explorer,
                                    SessionStore* store, CacheManager* cache,
                                    std::shared_ptr<host::TaskPaneFactory> paneFactory) {
  pane_.reset();
  window_ = explorer;
  store_ = store;
  cache_ = cache;
  paneFactory_ = std::move(paneFactory);
  VM_CHECK_HR(window_->Advise(*this));
  return S_OK;
}

HRESULT ExplorerWrapper::OnSelectionChange() {
  RemovePane(pane_, true);
  if (!window_) return S_OK;
  std::shared_ptr<host::Selection> selection;
  VM_CHECK_HR(window_->GetSelection(selection));
  std::int32_t count = 0;
  // Several messages, or none: no pane.
  if (FAILED(selection->GetCount(count)) || count != 1) return S_OK;
  std::shared_ptr<host::Object> item;
  VM_CHECK_HR(selection->GetItem(1, item));
  ShowIfProtected(item, window_, *store_, *cache_, paneFactory_, pane_);
  return S_OK;
}

HRESULT ExplorerWrapper::OnClose() {
  RemovePane(pane_, false);
  if (window_) {
    VM_CHECK_HR(window_->Unadvise(*this));
    window_.reset();
  }
  return S_OK;
}

InspectorWrapper::~InspectorWrapper() {
  RemovePane(pane_, false);
  if (window_) window_->Unadvise(*this);
}

HRESULT InspectorWrapper::Initialize(const std::shared_ptr<host::Inspector>& inspector,
                                     SessionStore* store, CacheManager* cache,
                                     std::shared_ptr<host::TaskPaneFactory> paneFactory) {
  pane_.reset();
  window_ = inspector;
  store_ = store;
  cache_ = cache;
  paneFactory_ = std::move(paneFactory);
  VM_CHECK_HR(window_->Advise(*this));
  std::shared_ptr<host::Object> item;
  VM_CHECK_HR(window_->GetCurrentItem(item));
  ShowIfProtected(item, window_, *store_, *cache_, paneFactory_, pane_);
  return S_OK;
}

HRESULT InspectorWrapper::OnClose() {
  RemovePane(pane_, false);
  if (window_) {
    VM_CHECK_HR(window_->Unadvise(*this));
    window_.reset();
  }
  return S_OK;
}

}  // namespace veilmark

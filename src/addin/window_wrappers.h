// One wrapper per mail-list window (explorer) and per message window
// (inspector): they start the read road for the message shown and own the
// task pane it opens, until the next selection or the window's closing.
#pragma once

#include <memory>

#include "login/services.h"
#include "outlook/object_model.h"
#include "read/cache_manager.h"

namespace veilmark {

// What both wrappers share: the window they follow, the connection's services
// and cache, the pane factory, and the pane they own.
//
// A wrapper owned through a shared_ptr holds itself for the length of each
// call into it: a call may run a login dialog, whose message loop can
// deliver Outlook's shutdown, and the wrapper must outlive the call that
// is still on the stack.
template <class Window, class Events>
class WindowWrapper : public Events,
                      public std::enable_shared_from_this<WindowWrapper<Window, Events>> {
 public:
  WindowWrapper() = default;
  ~WindowWrapper() override;
  WindowWrapper(const WindowWrapper&) = delete;
  WindowWrapper& operator=(const WindowWrapper&) = delete;

  // Deletes the pane and lets go of the window (the wrapper itself stays).
  HRESULT OnClose() override;
  // As OnClose, best effort, for the connection's shutdown. Either way a
  // call still in progress finishes and removes what it showed.
  void Detach();
  // Kept alive as long as the wrapper: what the services and cache belong to.
  void ShareOwner(std::shared_ptr<const void> owner) { owner_ = std::move(owner); }

  const std::shared_ptr<outlook::TaskPane>& pane() const { return pane_; }

 protected:
  // Held by each call into the wrapper; empty for a wrapper not owned by a
  // shared_ptr.
  std::shared_ptr<WindowWrapper> Hold() { return this->weak_from_this().lock(); }

  HRESULT Attach(const std::shared_ptr<Window>& window, Services* services, CacheManager* cache,
                 std::shared_ptr<outlook::TaskPaneFactory> paneFactory);
  // Shows `item` in a pane of this window when it is a protected message.
  void ShowIfProtected(const std::shared_ptr<outlook::Object>& item);
  // A road of this window is waiting on the service (or a login dialog).
  bool busy() const { return busy_; }
  // What the window shows changed while its road waited: the road's result
  // is no longer shown, and the newest content is handled once it returns.
  void MarkStale() { stale_ = true; }
  bool TakeStale() {
    const bool stale = stale_;
    stale_ = false;
    return stale && !detached_;
  }
  // Removes the pane; `hideFirst` when the window stays and only its content
  // changes.
  void RemovePane(bool hideFirst);

  std::shared_ptr<Window> window_;

 private:
  Services* services_ = nullptr;
  CacheManager* cache_ = nullptr;
  std::shared_ptr<outlook::TaskPaneFactory> paneFactory_;
  std::shared_ptr<outlook::TaskPane> pane_;
  std::shared_ptr<const void> owner_;
  bool detached_ = false;
  bool busy_ = false;
  bool stale_ = false;
};

class ExplorerWrapper final : public WindowWrapper<outlook::Explorer, outlook::ExplorerEvents> {
 public:
  HRESULT Initialize(const std::shared_ptr<outlook::Explorer>& explorer, Services* services,
                     CacheManager* cache, std::shared_ptr<outlook::TaskPaneFactory> paneFactory);
  // While a decryption waits, only noted: the selection of that moment is
  // handled once it returns, so one decryption runs at a time.
  HRESULT OnSelectionChange() override;

 private:
  HRESULT ShowSelection();
};

class InspectorWrapper final : public WindowWrapper<outlook::Inspector, outlook::InspectorEvents> {
 public:
  // Also shows the opened message at once when it is protected.
  HRESULT Initialize(const std::shared_ptr<outlook::Inspector>& inspector, Services* services,
                     CacheManager* cache, std::shared_ptr<outlook::TaskPaneFactory> paneFactory);
};

}  // namespace veilmark

// One wrapper per mail-list window (explorer) and per message window
// (inspector): they start the read road for the message shown and own the
// task pane it opens, until the next selection or the window's closing.
#pragma once

#include <memory>

#include "addin/host.h"
#include "login/session_store.h"
#include "read/cache_manager.h"

namespace veilmark {

class ExplorerWrapper final : public host::ExplorerEvents {
 public:
  ExplorerWrapper() = default;
  ~ExplorerWrapper() override;
  ExplorerWrapper(const ExplorerWrapper&) = delete;
  ExplorerWrapper& operator=(const ExplorerWrapper&) = delete;

  HRESULT Initialize(const std::shared_ptr<host::Explorer>& explorer, SessionStore* store,
                     CacheManager* cache, std::shared_ptr<host::TaskPaneFactory> paneFactory);

  HRESULT OnSelectionChange() override;
  HRESULT OnClose() override;

  const std::shared_ptr<host::TaskPane>& pane() const { return pane_; }

 private:
  std::shared_ptr<host::Explorer> window_;
  SessionStore* store_ = nullptr;
  CacheManager* cache_ = nullptr;
  std::shared_ptr<host::TaskPaneFactory> paneFactory_;
  std::shared_ptr<host::TaskPane> pane_;
};

class InspectorWrapper final : public host::InspectorEvents {
 public:
  InspectorWrapper() = default;
  ~InspectorWrapper() override;
  InspectorWrapper(const InspectorWrapper&) = delete;
  InspectorWrapper& operator=(const InspectorWrapper&) = delete;

  // Also shows the opened message at once when it is protected.
  HRESULT Initialize(const std::shared_ptr<host::Inspector>& inspector, SessionStore* store,
                     CacheManager* cache, std::shared_ptr<host::TaskPaneFactory> paneFactory);

  HRESULT OnClose() override;

  const std::shared_ptr<host::TaskPane>& pane() const { return pane_; }

 private:
  std::shared_ptr<host::Inspector> window_;
  SessionStore* store_ = nullptr;
  CacheManager* cache_ = nullptr;
  std::shared_ptr<host::TaskPaneFactory> paneFactory_;
  std::shared_ptr<host::TaskPane> pane_;
};

}  // namespace veilmark

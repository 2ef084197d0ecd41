// The add-in's root, apart from COM: lifecycle calls from the host, the
// ribbon, the window events, and the objects every window shares.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "addin/host.h"
#include "addin/window_wrappers.h"
#include "login/session_store.h"
#include "read/cache_manager.h"

namespace veilmark {

inline constexpr char16_t kComposeRibbonId[] = u"Microsoft.Outlook.Mail.Compose";
inline constexpr std::uint32_t kCacheLimit = 100;
inline constexpr std::uint32_t kCacheLifetimeSeconds = 3600000;

class ConnectCore final : public host::ExplorersEvents,
                          public host::InspectorsEvents,
                          public host::ApplicationEvents {
 public:
  // Throws ProtocolException when there is no data folder for the sessions.
  ConnectCore();
  ~ConnectCore() override;
  ConnectCore(const ConnectCore&) = delete;
  ConnectCore& operator=(const ConnectCore&) = delete;

  HRESULT OnConnection(std::shared_ptr<host::Application> application);
  // Hooks the windows and events once the host has started.
  HRESULT OnStartupComplete();
  HRESULT OnBeginShutdown();
  // Unloaded while running: releases what OnBeginShutdown would have.
  HRESULT OnDisconnection();

  HRESULT CTPFactoryAvailable(std::shared_ptr<host::TaskPaneFactory> factory);
  // The ribbon XML for the compose window; nothing for any other ribbon.
  HRESULT GetCustomUI(const std::u16string& ribbonId, std::u16string* xml) const;
  HRESULT OnSecureSendClick(const std::shared_ptr<host::Object>& ribbonControl);

  HRESULT OnNewExplorer(const std::shared_ptr<host::Explorer>& explorer) override;
  HRESULT OnNewInspector(const std::shared_ptr<host::Inspector>& inspector) override;
  HRESULT OnNewMail() override { return S_OK; }

  SessionStore& sessions() { return shared_->sessions; }
  CacheManager& cache() { return shared_->cache; }
  const std::vector<std::shared_ptr<ExplorerWrapper>>& explorerWrappers() const {
    return explorerWrappers_;
  }
  const std::vector<std::shared_ptr<InspectorWrapper>>& inspectorWrappers() const {
    return inspectorWrappers_;
  }

 private:
  HRESULT AddExplorerWrapper(const std::shared_ptr<host::Explorer>& explorer);
  // Best effort, once: every sink unadvised, every wrapper deleted.
  void ReleaseHooks();
  // A wrapper whose call is still running (it showed a dialog) is detached
  // now and freed when that call returns.
  void DeleteWrappers();

  // What every window shares. Held by each wrapper and each running
  // command too: the host may let go of the connection while a dialog of
  // theirs is open.
  struct Shared {
    SessionStore sessions;
    CacheManager cache{kCacheLimit, kCacheLifetimeSeconds};
  };

  std::shared_ptr<host::Application> application_;
  std::shared_ptr<host::TaskPaneFactory> paneFactory_;
  std::shared_ptr<Shared> shared_;
  std::vector<std::shared_ptr<ExplorerWrapper>> explorerWrappers_;
  std::vector<std::shared_ptr<InspectorWrapper>> inspectorWrappers_;
  bool inspectorsAdvised_ = false;
  bool explorersAdvised_ = false;
  bool applicationAdvised_ = false;
};

// The ribbon XML as the module holds it (UTF-8 text).
std::string RibbonXml();

}  // namespace veilmark

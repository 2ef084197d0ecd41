// The add-in's root, apart from COM: lifecycle calls from the host, the
// ribbon, the window events, and the objects every window shares.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "addin/window_wrappers.h"
#include "api/api_client.h"
#include "api/api_endpoint.h"
#include "api/http_exchange.h"
#include "login/services.h"
#include "login/session_store.h"
#include "outlook/object_model.h"
#include "read/cache_manager.h"
#include "ui/ui.h"
#include "ui/wait.h"

namespace veilmark {

inline constexpr char16_t kComposeRibbonId[] = u"Microsoft.Outlook.Mail.Compose";
inline constexpr std::uint32_t kCacheLimit = 100;
inline constexpr std::uint32_t kCacheLifetimeSeconds = 3600000;

// What the add-in works with, chosen by the program that loads it. Shared:
// a window's road may outlive the connection while a dialog of it is open.
struct Platform {
  std::shared_ptr<Ui> ui;
  std::shared_ptr<HttpExchange> exchange;
  ApiEndpoint endpoint;
  // Where service calls wait without blocking the UI thread.
  std::shared_ptr<Waiter> waiter;
};

// The platform's own UI and exchange, and the service the environment names
// (read once, at start-up). Also starts the diagnostic log if the user asked
// for it.
Platform PlatformFromEnvironment();

class ConnectCore final : public outlook::ExplorersEvents,
                          public outlook::InspectorsEvents,
                          public outlook::ApplicationEvents {
 public:
  // Throws ProtocolException when there is no data folder for the sessions.
  explicit ConnectCore(Platform platform);
  ~ConnectCore() override;
  ConnectCore(const ConnectCore&) = delete;
  ConnectCore& operator=(const ConnectCore&) = delete;

  HRESULT OnConnection(std::shared_ptr<outlook::Application> application);
  // Hooks the windows and events once Outlook has started.
  HRESULT OnStartupComplete();
  // Both end a service call in flight: its waiting frame returns later, and
  // what it uses stays alive until then.
  HRESULT OnBeginShutdown();
  // Unloaded while running: releases what OnBeginShutdown would have.
  HRESULT OnDisconnection();

  HRESULT CTPFactoryAvailable(std::shared_ptr<outlook::TaskPaneFactory> factory);
  // The ribbon XML for the compose window; nothing for any other ribbon.
  HRESULT GetCustomUI(const std::u16string& ribbonId, std::u16string* xml) const;
  // Ignored while another Send Secure is waiting on the service.
  HRESULT OnSecureSendClick(const std::shared_ptr<outlook::Object>& ribbonControl);

  HRESULT OnNewExplorer(const std::shared_ptr<outlook::Explorer>& explorer) override;
  HRESULT OnNewInspector(const std::shared_ptr<outlook::Inspector>& inspector) override;
  HRESULT OnNewMail() override { return S_OK; }

  SessionStore& sessions() { return shared_->sessions; }
  Services& services() { return shared_->services; }
  CacheManager& cache() { return shared_->cache; }
  const std::vector<std::shared_ptr<ExplorerWrapper>>& explorerWrappers() const {
    return explorerWrappers_;
  }
  const std::vector<std::shared_ptr<InspectorWrapper>>& inspectorWrappers() const {
    return inspectorWrappers_;
  }

 private:
  HRESULT AddExplorerWrapper(const std::shared_ptr<outlook::Explorer>& explorer);
  // Best effort, once: every sink unadvised, every wrapper deleted.
  void ReleaseHooks();
  // A wrapper whose call is still running (it showed a dialog) is detached
  // now and freed when that call returns.
  void DeleteWrappers();

  // What every window shares. Held by each wrapper and each running
  // command too: Outlook may let go of the connection while a dialog of
  // theirs is open.
  struct Shared {
    explicit Shared(Platform given)
        : platform(std::move(given)), api(*platform.exchange, platform.endpoint) {}
    Platform platform;
    ApiClient api;
    SessionStore sessions;
    CacheManager cache{kCacheLimit, kCacheLifetimeSeconds};
    Services services{*platform.ui, api, sessions, *platform.waiter};
    // A Send Secure is waiting: another click is ignored until it ends.
    bool sending = false;
  };

  std::shared_ptr<outlook::Application> application_;
  std::shared_ptr<outlook::TaskPaneFactory> paneFactory_;
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

#include "addin/connect_core.h"

#include <cassert>
#include <utility>

#include "base/diagnostic_log.h"
#include "base/text.h"
#include "send/secure_send.h"

namespace veilmark {

Platform PlatformFromEnvironment() {
  diagnostics::Start(diagnostics::RequestedLogPath());
  Platform platform;
  platform.endpoint = EndpointFromEnvironment();
  platform.waiter = MakePlatformWaiter();
  platform.ui = MakePlatformUi(platform.endpoint.caBundle, platform.waiter);
  platform.exchange = MakePlatformHttpExchange();
  return platform;
}

ConnectCore::ConnectCore(Platform platform)
    : shared_(std::make_shared<Shared>(std::move(platform))) {}

ConnectCore::~ConnectCore() {
  ReleaseHooks();
}

HRESULT ConnectCore::OnConnection(std::shared_ptr<outlook::Application> application) {
  application_ = std::move(application);
  assert(application_);
  return application_ ? S_OK : E_POINTER;
}

HRESULT ConnectCore::AddExplorerWrapper(const std::shared_ptr<outlook::Explorer>& explorer) {
  // Listed before it is initialised, and kept even when that fails, so that
  // shutdown releases it like every other.
  const auto wrapper = std::make_shared<ExplorerWrapper>();
  explorerWrappers_.push_back(wrapper);
  wrapper->ShareOwner(shared_);
  VM_CHECK_HR(wrapper->Initialize(explorer, &shared_->services, &shared_->cache, paneFactory_));
  return S_OK;
}

HRESULT ConnectCore::OnStartupComplete() {
  if (!application_) return E_UNEXPECTED;
  std::shared_ptr<outlook::Explorer> explorer;
  VM_CHECK_HR(application_->GetActiveExplorer(explorer));
  // No main window is normal when another program opened a single message.
  if (explorer) VM_CHECK_HR(AddExplorerWrapper(explorer));
  std::shared_ptr<outlook::Inspectors> inspectors;
  VM_CHECK_HR(application_->GetInspectors(inspectors));
  VM_CHECK_HR(inspectors->Advise(*this));
  inspectorsAdvised_ = true;
  std::shared_ptr<outlook::Explorers> explorers;
  VM_CHECK_HR(application_->GetExplorers(explorers));
  VM_CHECK_HR(explorers->Advise(*this));
  explorersAdvised_ = true;
  VM_CHECK_HR(application_->Advise(*this));
  applicationAdvised_ = true;
  return S_OK;
}

HRESULT ConnectCore::OnBeginShutdown() {
  shared_->platform.waiter->AbandonAll();
  if (inspectorsAdvised_) {
    std::shared_ptr<outlook::Inspectors> inspectors;
    VM_CHECK_HR(application_->GetInspectors(inspectors));
    if (inspectors) VM_CHECK_HR(inspectors->Unadvise(*this));
    inspectorsAdvised_ = false;
  }
  if (explorersAdvised_) {
    std::shared_ptr<outlook::Explorers> explorers;
    VM_CHECK_HR(application_->GetExplorers(explorers));
    if (explorers) VM_CHECK_HR(explorers->Unadvise(*this));
    explorersAdvised_ = false;
  }
  if (applicationAdvised_) {
    VM_CHECK_HR(application_->Unadvise(*this));
    applicationAdvised_ = false;
  }
  DeleteWrappers();
  return S_OK;
}

HRESULT ConnectCore::OnDisconnection() {
  shared_->platform.waiter->AbandonAll();
  ReleaseHooks();
  return S_OK;
}

void ConnectCore::ReleaseHooks() {
  // Nothing may be left advised on an object that is about to go.
  if (inspectorsAdvised_) {
    std::shared_ptr<outlook::Inspectors> inspectors;
    if (VM_TRY_HR(application_->GetInspectors(inspectors)) && inspectors) {
      inspectors->Unadvise(*this);
    }
    inspectorsAdvised_ = false;
  }
  if (explorersAdvised_) {
    std::shared_ptr<outlook::Explorers> explorers;
    if (VM_TRY_HR(application_->GetExplorers(explorers)) && explorers) {
      explorers->Unadvise(*this);
    }
    explorersAdvised_ = false;
  }
  if (applicationAdvised_) {
    application_->Unadvise(*this);
    applicationAdvised_ = false;
  }
  DeleteWrappers();
}

void ConnectCore::DeleteWrappers() {
  // Deleted in place; the lists themselves live as long as the connection.
  // Detached first, so that one still in a call lets go of its window now.
  for (auto& wrapper : explorerWrappers_) {
    if (wrapper) wrapper->Detach();
    wrapper.reset();
  }
  for (auto& wrapper : inspectorWrappers_) {
    if (wrapper) wrapper->Detach();
    wrapper.reset();
  }
}

HRESULT ConnectCore::CTPFactoryAvailable(std::shared_ptr<outlook::TaskPaneFactory> factory) {
  paneFactory_ = std::move(factory);
  return S_OK;
}

HRESULT ConnectCore::GetCustomUI(const std::u16string& ribbonId, std::u16string* xml) const {
  if (!xml) return E_POINTER;
  if (ribbonId == kComposeRibbonId) *xml = Utf8ToWide(RibbonXml());
  return S_OK;
}

HRESULT ConnectCore::OnSecureSendClick(const std::shared_ptr<outlook::Object>& ribbonControl) {
  const std::shared_ptr<Shared> shared = shared_;  // may outlive this object
  // The click comes again while the first one's call waits (the wait
  // handles the window's messages): one send of a message at a time.
  if (shared->sending) return S_OK;
  shared->sending = true;
  const HRESULT hr = veilmark::OnSecureSendClick(ribbonControl, shared->services);
  shared->sending = false;
  return hr;
}

HRESULT ConnectCore::OnNewExplorer(const std::shared_ptr<outlook::Explorer>& explorer) {
  return AddExplorerWrapper(explorer);
}

HRESULT ConnectCore::OnNewInspector(const std::shared_ptr<outlook::Inspector>& inspector) {
  const auto wrapper = std::make_shared<InspectorWrapper>();
  inspectorWrappers_.push_back(wrapper);
  wrapper->ShareOwner(shared_);
  VM_CHECK_HR(wrapper->Initialize(inspector, &shared_->services, &shared_->cache, paneFactory_));
  return S_OK;
}

}  // namespace veilmark

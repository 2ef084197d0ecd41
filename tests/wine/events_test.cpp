// The connection object's lifecycle and event sinks against fake Outlook
// objects: which sources get advised and unadvised, and where the shared
// NewExplorer/NewInspector DISPID leads.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "addin/com/guids.h"
#include "fake_outlook.h"
#include "wine_support.h"

namespace veilmark::wine_tests {
namespace {

using com::kApplicationEventsIid;
using com::kExplorerEventsIid;
using com::kExplorersEventsIid;
using com::kInspectorEventsIid;
using com::kInspectorsEventsIid;

FakePtr MakeInspector() {
  FakePtr item = FakeDispatch::Make();
  FakePtr inspector = FakeDispatch::Make();
  inspector->Is(com::kInspectorIid).Property(L"CurrentItem", item.Get());
  inspector->Source(kInspectorEventsIid);
  return inspector;
}

FakePtr MakeExplorer() {
  FakePtr explorer = FakeDispatch::Make();
  explorer->Is(com::kExplorerIid).Source(kExplorerEventsIid);
  return explorer;
}

FakeConnectionPoint& PointOf(FakeDispatch& object, const IID& events) {
  ComPtr<IConnectionPoint> point;
  if (FAILED(object.FindConnectionPoint(events, point.Put()))) throw std::runtime_error("none");
  return *static_cast<FakeConnectionPoint*>(point.Get());
}

struct FakeOutlook {
  FakeOutlook() {
    explorers->Source(kExplorersEventsIid);
    inspectors->Source(kInspectorsEventsIid);
    application->Is(com::kApplicationIid)
        .Property(L"Explorers", explorers.Get())
        .Property(L"Inspectors", inspectors.Get());
    application->Source(kApplicationEventsIid);
  }
  FakeConnectionPoint& explorersEvents() { return PointOf(*explorers, kExplorersEventsIid); }
  FakeConnectionPoint& inspectorsEvents() { return PointOf(*inspectors, kInspectorsEventsIid); }
  FakeConnectionPoint& applicationEvents() { return PointOf(*application, kApplicationEventsIid); }

  FakePtr application = FakeDispatch::Make();
  FakePtr explorers = FakeDispatch::Make();
  FakePtr inspectors = FakeDispatch::Make();
};

class ConnectEvents : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    AddinModule module;
    ASSERT_EQ(module.RegisterServer(), S_OK);
    classes_ = std::make_unique<UserClassesSeenByCom>();
  }
  static void TearDownTestSuite() { classes_.reset(); }
  static inline std::unique_ptr<UserClassesSeenByCom> classes_;

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.status()));
    ASSERT_EQ(CoCreateInstance(CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               dispatch_.PutVoid()),
              S_OK);
    ASSERT_EQ(dispatch_.As(IID__IDTExtensibility2, addin_), S_OK);
  }

  HRESULT InvokeNewWindow(std::vector<com::Variant> args) {
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->get());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return dispatch_->Invoke(com::kNewWindowDispId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                             &params, nullptr, nullptr, nullptr);
  }

  void Connect(FakeOutlook& outlook) {
    ASSERT_EQ(addin_->OnConnection(outlook.application.Get(), ext_cm_Startup, nullptr, nullptr),
              S_OK);
  }

  Apartment apartment_;
  ComPtr<IDispatch> dispatch_;
  ComPtr<_IDTExtensibility2> addin_;
};

TEST_F(ConnectEvents, NewWindowWithAnInspectorMakesAnInspectorWrapper) {
  FakePtr inspector = MakeInspector();
  EXPECT_EQ(InvokeNewWindow({com::Variant(static_cast<IDispatch*>(inspector.Get()))}), S_OK);
  // The wrapper listens to its window and looked at the item it shows.
  EXPECT_EQ(PointOf(*inspector, kInspectorEventsIid).live(), 1);
  EXPECT_EQ(inspector->Reads(L"CurrentItem"), 1);
}

TEST_F(ConnectEvents, NewWindowWithAnExplorerMakesAnExplorerWrapper) {
  FakePtr explorer = MakeExplorer();
  EXPECT_EQ(InvokeNewWindow({com::Variant(static_cast<IDispatch*>(explorer.Get()))}), S_OK);
  EXPECT_EQ(PointOf(*explorer, kExplorerEventsIid).live(), 1);
}

TEST_F(ConnectEvents, NewWindowWithTwoArgumentsReachesNeither) {
  FakePtr inspector = MakeInspector();
  FakePtr explorer = MakeExplorer();
  EXPECT_EQ(InvokeNewWindow({com::Variant(static_cast<IDispatch*>(inspector.Get())),
                             com::Variant(static_cast<IDispatch*>(explorer.Get()))}),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(PointOf(*inspector, kInspectorEventsIid).advises(), 0);
  EXPECT_EQ(PointOf(*explorer, kExplorerEventsIid).advises(), 0);
  EXPECT_EQ(InvokeNewWindow({}), DISP_E_MEMBERNOTFOUND);
}

TEST_F(ConnectEvents, WithoutAnExplorerAllThreeSinksAreAdvised) {
  FakeOutlook outlook;
  outlook.application->EmptyProperty(L"ActiveExplorer");
  Connect(outlook);
  // Connecting hooks nothing yet.
  EXPECT_EQ(outlook.inspectorsEvents().advises(), 0);

  ASSERT_EQ(addin_->OnStartupComplete(nullptr), S_OK);
  EXPECT_EQ(outlook.application->Reads(L"ActiveExplorer"), 1);
  EXPECT_EQ(outlook.inspectorsEvents().live(), 1);
  EXPECT_EQ(outlook.explorersEvents().live(), 1);
  EXPECT_EQ(outlook.applicationEvents().live(), 1);

  ASSERT_EQ(addin_->OnBeginShutdown(nullptr), S_OK);
  EXPECT_EQ(outlook.inspectorsEvents().live(), 0);
  EXPECT_EQ(outlook.explorersEvents().live(), 0);
  EXPECT_EQ(outlook.applicationEvents().live(), 0);
  EXPECT_EQ(addin_->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
}

TEST_F(ConnectEvents, ActiveExplorerGetsAWrapperUntilShutdown) {
  FakeOutlook outlook;
  FakePtr explorer = MakeExplorer();
  outlook.application->Property(L"ActiveExplorer", explorer.Get());
  Connect(outlook);
  ASSERT_EQ(addin_->OnStartupComplete(nullptr), S_OK);
  EXPECT_EQ(PointOf(*explorer, kExplorerEventsIid).live(), 1);
  ASSERT_EQ(addin_->OnBeginShutdown(nullptr), S_OK);
  EXPECT_EQ(PointOf(*explorer, kExplorerEventsIid).live(), 0);
}

TEST_F(ConnectEvents, HostEventsArriveThroughTheAdvisedSinks) {
  FakeOutlook outlook;
  outlook.application->EmptyProperty(L"ActiveExplorer");
  Connect(outlook);
  ASSERT_EQ(addin_->OnStartupComplete(nullptr), S_OK);

  // Each opening of an inspector makes a wrapper, which hooks its window.
  FakePtr first = MakeInspector();
  FakePtr second = MakeInspector();
  for (FakeDispatch* inspector : {first.Get(), second.Get()}) {
    const auto results = outlook.inspectorsEvents().Fire(
        outlook_events::kNewInspector, {com::Variant(static_cast<IDispatch*>(inspector))});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], S_OK);
    EXPECT_EQ(PointOf(*inspector, kInspectorEventsIid).live(), 1);
  }
  FakePtr explorer = MakeExplorer();
  outlook.explorersEvents().Fire(outlook_events::kNewExplorer,
                                 {com::Variant(static_cast<IDispatch*>(explorer.Get()))});
  EXPECT_EQ(PointOf(*explorer, kExplorerEventsIid).live(), 1);

  // Closing a window releases the wrapper's hold on it, and nothing else.
  PointOf(*first, kInspectorEventsIid).Fire(outlook_events::kClose);
  EXPECT_EQ(PointOf(*first, kInspectorEventsIid).live(), 0);
  EXPECT_EQ(PointOf(*second, kInspectorEventsIid).live(), 1);

  // NewMail is advised but does nothing.
  const auto mail = outlook.applicationEvents().Fire(outlook_events::kNewMail);
  ASSERT_EQ(mail.size(), 1u);
  EXPECT_EQ(mail[0], DISP_E_MEMBERNOTFOUND);

  ASSERT_EQ(addin_->OnBeginShutdown(nullptr), S_OK);
  EXPECT_EQ(PointOf(*second, kInspectorEventsIid).live(), 0);
  EXPECT_EQ(PointOf(*explorer, kExplorerEventsIid).live(), 0);
  EXPECT_EQ(outlook.inspectorsEvents().live(), 0);
}

TEST_F(ConnectEvents, ReleasedWithoutShutdownLeavesNothingAdvised) {
  FakeOutlook outlook;
  FakePtr explorer = MakeExplorer();
  outlook.application->Property(L"ActiveExplorer", explorer.Get());
  Connect(outlook);
  ASSERT_EQ(addin_->OnStartupComplete(nullptr), S_OK);
  addin_.Reset();
  dispatch_.Reset();
  EXPECT_EQ(outlook.inspectorsEvents().live(), 0);
  EXPECT_EQ(outlook.explorersEvents().live(), 0);
  EXPECT_EQ(outlook.applicationEvents().live(), 0);
  EXPECT_EQ(PointOf(*explorer, kExplorerEventsIid).live(), 0);
}

TEST_F(ConnectEvents, LifecycleCallsAlsoArriveLateBound) {
  FakeOutlook outlook;
  outlook.application->EmptyProperty(L"ActiveExplorer");
  Connect(outlook);
  // What is neither a ribbon callback nor a new window goes to the add-in
  // contract's type information: DISPIDs 4 and 5 are startup and shutdown.
  SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 0);
  ASSERT_NE(custom, nullptr);
  VARIANT argument;
  VariantInit(&argument);
  argument.vt = VT_ARRAY | VT_VARIANT | VT_BYREF;
  argument.pparray = &custom;
  DISPPARAMS params{&argument, nullptr, 1, 0};
  EXPECT_EQ(dispatch_->Invoke(4, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                              nullptr, nullptr),
            S_OK);
  EXPECT_EQ(outlook.inspectorsEvents().live(), 1);
  EXPECT_EQ(outlook.applicationEvents().live(), 1);
  EXPECT_EQ(dispatch_->Invoke(5, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                              nullptr, nullptr),
            S_OK);
  EXPECT_EQ(outlook.inspectorsEvents().live(), 0);
  EXPECT_EQ(outlook.applicationEvents().live(), 0);
  EXPECT_EQ(dispatch_->Invoke(99, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                              nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  SafeArrayDestroy(custom);
}

TEST_F(ConnectEvents, StartupWithoutInspectorsFailsBeforeAdvisingAnything) {
  FakeOutlook outlook;
  FakePtr bare = FakeDispatch::Make();
  bare->Is(com::kApplicationIid).EmptyProperty(L"ActiveExplorer");
  bare->Property(L"Explorers", outlook.explorers.Get());
  ASSERT_EQ(addin_->OnConnection(bare.Get(), ext_cm_Startup, nullptr, nullptr), S_OK);
  EXPECT_EQ(addin_->OnStartupComplete(nullptr), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(outlook.explorersEvents().advises(), 0);
}

}  // namespace
}  // namespace veilmark::wine_tests

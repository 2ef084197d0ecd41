// The COM toolkit against fake sources: what a subscription advises and
// unadvises, what its sink answers and when it stops calling, and the owners
// of Automation's values and Win32 handles.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/automation_win32.h"
#include "base/event_sink_win32.h"
#include "base/owner_win32.h"
#include "fake_outlook.h"
#include "wine_support.h"

namespace veilmark::wine_tests {
namespace {

using com::EventSink;
using com::Subscription;
using com::Variant;

const IID kEvents = com::kExplorerEventsIid;

class ComToolkit : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(VM_TRY_HR(apartment_.status())); }

  Apartment apartment_;
  // A source of kEvents and its connection point.
  FakePtr source_ = FakeDispatch::Make();
  FakeConnectionPoint& point_ = source_->Source(kEvents);
};

TEST_F(ComToolkit, SubscriptionAdvisesOneSinkAndUnadvisesItWhenItGoes) {
  std::vector<DISPID> seen;
  std::wstring argument;
  {
    Subscription subscription;
    ASSERT_EQ(EventSink::Advise(
                  Disp(source_), kEvents,
                  [&](DISPID id, DISPPARAMS& params) -> HRESULT {
                    seen.push_back(id);
                    if (params.cArgs == 1) argument = TextOf(params.rgvarg[0]);
                    return id == 1 ? S_OK : DISP_E_MEMBERNOTFOUND;
                  },
                  subscription),
              S_OK);
    EXPECT_TRUE(subscription);
    EXPECT_EQ(point_.live(), 1);
    // The handler's answer is the sink's.
    EXPECT_EQ(point_.Fire(1, {Variant(std::u16string(u"text"))}), std::vector<HRESULT>{S_OK});
    EXPECT_EQ(point_.Fire(2), std::vector<HRESULT>{DISP_E_MEMBERNOTFOUND});
  }
  EXPECT_EQ(point_.live(), 0);
  EXPECT_EQ(point_.advises(), 1);
  EXPECT_EQ(seen, (std::vector<DISPID>{1, 2}));
  EXPECT_EQ(argument, L"text");
}

TEST_F(ComToolkit, AnUnadvisedSinkCallsNothingEvenIfStillHeld) {
  int calls = 0;
  Subscription subscription;
  ASSERT_EQ(EventSink::Advise(
                Disp(source_), kEvents,
                [&](DISPID, DISPPARAMS&) {
                  ++calls;
                  return E_FAIL;
                },
                subscription),
            S_OK);
  // A source that lets go late, as one still firing would.
  const ComPtr<IUnknown> late(point_.sink(0));
  ASSERT_EQ(subscription.Unadvise(), S_OK);
  EXPECT_FALSE(subscription);
  EXPECT_EQ(subscription.Unadvise(), S_OK);  // nothing left to unadvise
  ComPtr<IDispatch> sink;
  ASSERT_EQ(late.As(kEvents, sink), S_OK);
  DISPPARAMS none{};
  EXPECT_EQ(sink->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr,
                         nullptr),
            S_OK);
  EXPECT_EQ(calls, 0);
}

TEST_F(ComToolkit, MovingKeepsTheAdviseAndAssigningReplacesIt) {
  FakePtr other = FakeDispatch::Make();
  FakeConnectionPoint& otherPoint = other->Source(kEvents);
  const auto nothing = [](DISPID, DISPPARAMS&) { return S_OK; };
  Subscription first;
  Subscription second;
  ASSERT_EQ(EventSink::Advise(Disp(source_), kEvents, nothing, first), S_OK);
  ASSERT_EQ(EventSink::Advise(Disp(other), kEvents, nothing, second), S_OK);

  Subscription moved(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(point_.live(), 1);
  moved = std::move(second);
  EXPECT_EQ(point_.live(), 0);
  EXPECT_EQ(otherPoint.live(), 1);
  // Advising into a subscription that holds one unadvises that first.
  ASSERT_EQ(EventSink::Advise(Disp(source_), kEvents, nothing, moved), S_OK);
  EXPECT_EQ(otherPoint.live(), 0);
  EXPECT_EQ(point_.live(), 1);
}

TEST_F(ComToolkit, AdviseOnWhatIsNoSourceOfTheSetFails) {
  Subscription subscription;
  const auto nothing = [](DISPID, DISPPARAMS&) { return S_OK; };
  ASSERT_EQ(EventSink::Advise(Disp(source_), kEvents, nothing, subscription), S_OK);
  FakePtr silent = FakeDispatch::Make();
  EXPECT_EQ(EventSink::Advise(Disp(silent), kEvents, nothing, subscription),
            CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(subscription);
  EXPECT_EQ(point_.live(), 0);
  EXPECT_EQ(EventSink::Advise(nullptr, kEvents, nothing, subscription), E_POINTER);
  EXPECT_EQ(point_.advises(), 1);
}

TEST_F(ComToolkit, HandlerExceptionsStayInTheSink) {
  Subscription subscription;
  ASSERT_EQ(EventSink::Advise(
                Disp(source_), kEvents,
                [](DISPID id, DISPPARAMS&) -> HRESULT {
                  if (id == 1) throw std::bad_alloc();
                  throw std::runtime_error("handler");
                },
                subscription),
            S_OK);
  EXPECT_EQ(point_.Fire(1), std::vector<HRESULT>{E_OUTOFMEMORY});
  EXPECT_EQ(point_.Fire(2), std::vector<HRESULT>{E_UNEXPECTED});
}

TEST_F(ComToolkit, AHandlerMayUnadviseItsOwnSink) {
  Subscription subscription;
  std::string kept = "still here";
  std::string seen;
  ASSERT_EQ(EventSink::Advise(
                Disp(source_), kEvents,
                [&subscription, &seen, kept](DISPID, DISPPARAMS&) -> HRESULT {
                  const HRESULT hr = subscription.Unadvise();
                  seen = kept;  // the handler outlives its own unadvise
                  return hr;
                },
                subscription),
            S_OK);
  EXPECT_EQ(point_.Fire(1), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(seen, "still here");
  EXPECT_EQ(point_.live(), 0);
  EXPECT_TRUE(point_.Fire(1).empty());
}

TEST_F(ComToolkit, BstrAndVariantOwnTheirText) {
  const std::u16string text(u"a\0\u00e9", 3);
  const com::Bstr owned(text);
  ASSERT_TRUE(owned);
  EXPECT_EQ(SysStringLen(owned.Get()), 3u);
  EXPECT_EQ(com::FromBstr(owned.Get()), text);
  EXPECT_EQ(com::FromBstr(nullptr), u"");

  const Variant original(text);
  const Variant copy(original);
  ASSERT_EQ(copy.value().vt, VT_BSTR);
  EXPECT_NE(copy.value().bstrVal, original.value().bstrVal);
  EXPECT_EQ(com::FromBstr(copy.value().bstrVal), text);
}

HRESULT STDAPICALLTYPE FillIn(EXCEPINFO* info) {
  info->scode = STG_E_ACCESSDENIED;
  return S_OK;
}

TEST_F(ComToolkit, ExceptionInfoTellsTheFailureItCarries) {
  com::ExceptionInfo exception;
  EXPECT_EQ(exception.Code(), DISP_E_EXCEPTION);  // nothing said
  exception.Put()->scode = E_ACCESSDENIED;
  EXPECT_EQ(exception.Code(), E_ACCESSDENIED);
  EXCEPINFO* info = exception.Put();
  EXPECT_EQ(info->scode, S_OK);  // cleared for the next call
  info->wCode = 5;
  info->bstrDescription = SysAllocString(L"freed with it");
  EXPECT_EQ(exception.Code(), MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, 5));
  exception.Put()->pfnDeferredFillIn = &FillIn;
  EXPECT_EQ(exception.Code(), STG_E_ACCESSDENIED);
}

TEST_F(ComToolkit, FailedOpensAndSearchesHoldNothing) {
  const KernelHandle file(CreateFileW(L"C:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_EQ(file.Get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(file);
  WIN32_FIND_DATAW found{};
  const FindHandle search(FindFirstFileW(L"C:\\no\\such\\folder\\*", &found));
  EXPECT_FALSE(search);
  const KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_TRUE(event);
}

}  // namespace
}  // namespace veilmark::wine_tests

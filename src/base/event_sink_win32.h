// Connection-point sinks: one COM object per advise, which hands each event
// of its set to a function, and the subscription that unadvises it when it
// goes.
#pragma once

#include <ocidl.h>

#include <functional>

#include "base/com_object_win32.h"

namespace veilmark::com {

// Serves one event. What it answers is the sink's answer to the source.
using EventHandler = std::function<HRESULT(DISPID id, DISPPARAMS& params)>;

class EventSink;

// One sink advised on one source. Unadvised when the subscription goes, is
// reset, or is assigned another: from then on the sink calls nothing, even
// if the source still holds it and fires.
class Subscription {
 public:
  Subscription() = default;
  Subscription(Subscription&& other) noexcept;
  Subscription& operator=(Subscription&& other) noexcept;
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription();

  // The source's answer; S_OK when nothing is advised. Either way the
  // subscription is empty afterwards.
  HRESULT Unadvise();
  explicit operator bool() const { return static_cast<bool>(point_); }

 private:
  friend class EventSink;

  ComPtr<IConnectionPoint> point_;
  ComPtr<EventSink> sink_;
  DWORD cookie_ = 0;
};

class EventSink : public IDispatch {
 public:
  static const InterfaceEntry<EventSink>* Interfaces();

  // Advises a new sink of `events` on `source`, each event served by
  // `handler`; `out` unadvises what it held first.
  static HRESULT Advise(IUnknown* source, REFIID events, EventHandler handler, Subscription& out);

  IUnknown* ExtraInterface(REFIID iid) {
    return IsEqualIID(iid, events_) ? static_cast<IDispatch*>(this) : nullptr;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override;

 protected:
  EventSink(const IID& events, EventHandler handler)
      : events_(events), handler_(std::move(handler)) {}
  virtual ~EventSink() = default;

 private:
  friend class Subscription;

  IID events_;
  EventHandler handler_;  // empty once unadvised
};

// The IDispatch argument of an event call with exactly one argument; null
// otherwise.
IDispatch* SingleDispatchArgument(const DISPPARAMS& params);

}  // namespace veilmark::com

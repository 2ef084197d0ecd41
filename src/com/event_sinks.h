// Connection-point sinks. A host-side sink (a host.h events interface) is
// advised on a COM source for one event set; the advise is remembered by
// source, event set and host sink, so that an unadvise through any adapter
// of the same source finds its cookie. Each advise uses the COM sink bound
// to that host sink if there is one (the connection object's own), or else
// a new EventSink that hands events to a function.
#pragma once

#include <functional>

#include "com/com_object.h"

namespace veilmark::com {

using EventHandler = std::function<HRESULT(DISPID id, DISPPARAMS& params)>;

class Advises {
 public:
  // Advising `hostSink` for `events` uses `comSink` (not owned; the binder
  // keeps it alive until Unbind).
  static void Bind(const void* hostSink, REFIID events, IDispatch* comSink);
  static void Unbind(const void* hostSink, REFIID events);

  // `handler` serves the events when no sink is bound.
  static HRESULT Advise(IUnknown* source, REFIID events, const void* hostSink,
                        EventHandler handler);
  // CONNECT_E_NOCONNECTION when that host sink is not advised there.
  static HRESULT Unadvise(IUnknown* source, REFIID events, const void* hostSink);
  static bool IsAdvised(IUnknown* source, REFIID events, const void* hostSink);
};

// A COM sink for one event set that calls a function for each event.
class EventSink : public IDispatch {
 public:
  static const InterfaceEntry<EventSink>* Interfaces();
  static HRESULT Create(REFIID events, EventHandler handler, ComPtr<IDispatch>& out);

  IUnknown* ExtraInterface(REFIID iid) {
    return IsEqualIID(iid, events_) ? static_cast<IDispatch*>(this) : nullptr;
  }

  // After its unadvise a sink calls nothing, even if the source still fires.
  void Detach() { handler_ = nullptr; }

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
  IID events_;
  EventHandler handler_;
};

// The IDispatch argument of an event call with exactly one argument; null
// otherwise.
IDispatch* SingleDispatchArgument(const DISPPARAMS& params);

}  // namespace veilmark::com

#include "base/event_sink_win32.h"

#include <new>
#include <utility>

namespace veilmark::com {

Subscription::Subscription(Subscription&& other) noexcept
    : point_(std::move(other.point_)),
      sink_(std::move(other.sink_)),
      cookie_(std::exchange(other.cookie_, 0)) {}

Subscription& Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    VM_LOG_HR(Unadvise());
    point_ = std::move(other.point_);
    sink_ = std::move(other.sink_);
    cookie_ = std::exchange(other.cookie_, 0);
  }
  return *this;
}

Subscription::~Subscription() {
  // Best effort: the source may already be gone with its window.
  VM_LOG_HR(Unadvise());
}

HRESULT Subscription::Unadvise() {
  if (!point_) return S_OK;
  sink_->handler_ = nullptr;
  const ComPtr<IConnectionPoint> point = std::move(point_);
  sink_.Reset();
  return point->Unadvise(std::exchange(cookie_, 0));
}

const InterfaceEntry<EventSink>* EventSink::Interfaces() {
  static const InterfaceEntry<EventSink> table[] = {
      Entry<EventSink, IDispatch>(IID_IDispatch),
      {nullptr, nullptr},
  };
  return table;
}

HRESULT EventSink::Advise(IUnknown* source, REFIID events, EventHandler handler,
                          Subscription& out) {
  VM_CHECK_HR(out.Unadvise());
  if (!source) return E_POINTER;
  ComPtr<IConnectionPointContainer> container;
  VM_CHECK_HR(source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()));
  ComPtr<IConnectionPoint> point;
  VM_CHECK_HR(container->FindConnectionPoint(events, point.Put()));
  ComPtr<IDispatch> sink;
  try {
    VM_CHECK_HR(ComObject<EventSink>::Create(nullptr, IID_IDispatch, sink.PutVoid(), events,
                                             std::move(handler)));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  DWORD cookie = 0;
  VM_CHECK_HR(point->Advise(sink.Get(), &cookie));
  out.point_ = std::move(point);
  out.sink_ = ComPtr<EventSink>(static_cast<EventSink*>(sink.Get()));
  out.cookie_ = cookie;
  return S_OK;
}

HRESULT EventSink::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                          UINT*) {
  // A handler may run a dialog, during which the source's owner can unadvise
  // this sink: the sink and the handler it called outlive the call.
  const ComPtr<IDispatch> hold(this);
  const EventHandler handler = handler_;
  if (!handler) return S_OK;
  DISPPARAMS none{};
  // No exception may cross into the source.
  try {
    return handler(id, params ? *params : none);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

IDispatch* SingleDispatchArgument(const DISPPARAMS& params) {
  if (params.cArgs != 1 || !params.rgvarg) return nullptr;
  const VARIANT& argument = params.rgvarg[0];
  if (argument.vt == VT_DISPATCH) return argument.pdispVal;
  if (argument.vt == (VT_DISPATCH | VT_BYREF) && argument.ppdispVal) return *argument.ppdispVal;
  return nullptr;
}

}  // namespace veilmark::com

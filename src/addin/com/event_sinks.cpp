#include "addin/com/event_sinks.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "addin/com/guard.h"

namespace veilmark::com {
namespace {

struct Binding {
  const void* hostSink;
  IID events;
  IDispatch* comSink;
};

struct Connection {
  std::uintptr_t source;  // identity of the source object
  IID events;
  const void* hostSink;
  DWORD cookie;
  ComPtr<IDispatch> comSink;
  EventSink* ownSink;  // when the sink is one of ours made for this advise
};

// One apartment thread uses these: plain lists are enough.
std::vector<Binding>& Bindings() {
  static std::vector<Binding> bindings;
  return bindings;
}

std::vector<Connection>& Connections() {
  static std::vector<Connection> connections;
  return connections;
}

HRESULT Identity(IUnknown* object, std::uintptr_t& key) {
  if (!object) return E_POINTER;
  ComPtr<IUnknown> identity;
  VM_CHECK_HR(object->QueryInterface(IID_IUnknown, identity.PutVoid()));
  key = reinterpret_cast<std::uintptr_t>(identity.Get());
  return S_OK;
}

HRESULT FindPoint(IUnknown* source, REFIID events, ComPtr<IConnectionPoint>& point) {
  ComPtr<IConnectionPointContainer> container;
  VM_CHECK_HR(source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()));
  VM_CHECK_HR(container->FindConnectionPoint(events, point.Put()));
  return S_OK;
}

std::vector<Connection>::iterator FindConnection(std::uintptr_t source, REFIID events,
                                                 const void* hostSink) {
  auto& connections = Connections();
  return std::find_if(connections.begin(), connections.end(), [&](const Connection& c) {
    return c.source == source && IsEqualIID(c.events, events) && c.hostSink == hostSink;
  });
}

}  // namespace

void Advises::Bind(const void* hostSink, REFIID events, IDispatch* comSink) {
  Unbind(hostSink, events);
  Bindings().push_back({hostSink, events, comSink});
}

void Advises::Unbind(const void* hostSink, REFIID events) {
  auto& bindings = Bindings();
  bindings.erase(std::remove_if(bindings.begin(), bindings.end(),
                                [&](const Binding& b) {
                                  return b.hostSink == hostSink && IsEqualIID(b.events, events);
                                }),
                 bindings.end());
}

HRESULT Advises::Advise(IUnknown* source, REFIID events, const void* hostSink,
                        EventHandler handler) {
  std::uintptr_t key = 0;
  VM_CHECK_HR(Identity(source, key));
  if (FindConnection(key, events, hostSink) != Connections().end()) return S_OK;
  ComPtr<IConnectionPoint> point;
  VM_CHECK_HR(FindPoint(source, events, point));

  ComPtr<IDispatch> sink;
  EventSink* ownSink = nullptr;
  const auto& bindings = Bindings();
  auto bound = std::find_if(bindings.begin(), bindings.end(), [&](const Binding& b) {
    return b.hostSink == hostSink && IsEqualIID(b.events, events);
  });
  if (bound != bindings.end()) {
    sink = ComPtr<IDispatch>(bound->comSink);
  } else {
    VM_CHECK_HR(EventSink::Create(events, std::move(handler), sink));
    ownSink = static_cast<EventSink*>(sink.Get());
  }
  DWORD cookie = 0;
  VM_CHECK_HR(point->Advise(sink.Get(), &cookie));
  Connections().push_back({key, events, hostSink, cookie, sink, ownSink});
  return S_OK;
}

HRESULT Advises::Unadvise(IUnknown* source, REFIID events, const void* hostSink) {
  std::uintptr_t key = 0;
  VM_CHECK_HR(Identity(source, key));
  auto connection = FindConnection(key, events, hostSink);
  if (connection == Connections().end()) return CONNECT_E_NOCONNECTION;
  ComPtr<IConnectionPoint> point;
  VM_CHECK_HR(FindPoint(source, events, point));
  VM_CHECK_HR(point->Unadvise(connection->cookie));
  if (connection->ownSink) connection->ownSink->Detach();
  Connections().erase(connection);
  return S_OK;
}

bool Advises::IsAdvised(IUnknown* source, REFIID events, const void* hostSink) {
  std::uintptr_t key = 0;
  return SUCCEEDED(Identity(source, key)) &&
         FindConnection(key, events, hostSink) != Connections().end();
}

const InterfaceEntry<EventSink>* EventSink::Interfaces() {
  static const InterfaceEntry<EventSink> table[] = {
      Entry<EventSink, IDispatch>(IID_IDispatch),
      {nullptr, nullptr},
  };
  return table;
}

HRESULT EventSink::Create(REFIID events, EventHandler handler, ComPtr<IDispatch>& out) {
  return Guarded([&] {
    return ComObject<EventSink>::Create(nullptr, IID_IDispatch, out.PutVoid(), events,
                                        std::move(handler));
  });
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
  // A handler may run a dialog, during which the host can shut the add-in
  // down and unadvise this sink: the sink and the handler it called must
  // outlive the call.
  const ComPtr<IDispatch> hold(this);
  const EventHandler handler = handler_;
  return Guarded([&]() -> HRESULT {
    if (!handler) return S_OK;
    DISPPARAMS none{};
    // The handler's result is the event's, which sources ignore.
    static_cast<void>(handler(id, params ? *params : none));
    return S_OK;
  });
}

IDispatch* SingleDispatchArgument(const DISPPARAMS& params) {
  if (params.cArgs != 1 || !params.rgvarg) return nullptr;
  const VARIANT& argument = params.rgvarg[0];
  if (argument.vt == VT_DISPATCH) return argument.pdispVal;
  if (argument.vt == (VT_DISPATCH | VT_BYREF) && argument.ppdispVal) return *argument.ppdispVal;
  return nullptr;
}

}  // namespace veilmark::com

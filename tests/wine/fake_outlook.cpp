#include "fake_outlook.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace veilmark::wine_tests {

com::Variant CopyOf(const VARIANT& value) {
  com::Variant copy;
  if (FAILED(VariantCopyInd(copy.Put(), const_cast<VARIANT*>(&value)))) throw std::bad_alloc();
  return copy;
}

const com::InterfaceEntry<FakeConnectionPoint>* FakeConnectionPoint::Interfaces() {
  static const com::InterfaceEntry<FakeConnectionPoint> table[] = {
      com::Entry<FakeConnectionPoint, IConnectionPoint>(IID_IConnectionPoint),
      {nullptr, nullptr},
  };
  return table;
}

std::vector<HRESULT> FakeConnectionPoint::Fire(DISPID id, std::vector<com::Variant> args) {
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->get());
  DISPPARAMS params{};
  params.cArgs = static_cast<UINT>(reversed.size());
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  std::vector<HRESULT> results;
  const auto sinks = sinks_;  // a handler may unadvise
  for (const auto& entry : sinks) {
    ComPtr<IDispatch> sink;
    HRESULT hr = entry.second->QueryInterface(events_, sink.PutVoid());
    if (SUCCEEDED(hr)) {
      hr = sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                        nullptr, nullptr);
    }
    results.push_back(hr);
  }
  return results;
}

HRESULT FakeConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = events_;
  return S_OK;
}

HRESULT FakeConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer**) {
  return E_NOTIMPL;
}

HRESULT FakeConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  // As a real source does: the sink must speak the event set.
  ComPtr<IUnknown> events;
  if (FAILED(sink->QueryInterface(events_, events.PutVoid()))) return CONNECT_E_CANNOTCONNECT;
  ++advises_;
  *cookie = nextCookie_++;
  sinks_.emplace_back(*cookie, ComPtr<IUnknown>(sink));
  return S_OK;
}

HRESULT FakeConnectionPoint::Unadvise(DWORD cookie) {
  auto found = std::find_if(sinks_.begin(), sinks_.end(),
                            [cookie](const auto& entry) { return entry.first == cookie; });
  if (found == sinks_.end()) return CONNECT_E_NOCONNECTION;
  sinks_.erase(found);
  return S_OK;
}

HRESULT FakeConnectionPoint::EnumConnections(IEnumConnections**) {
  return E_NOTIMPL;
}

const com::InterfaceEntry<FakeDispatch>* FakeDispatch::Interfaces() {
  static const com::InterfaceEntry<FakeDispatch> table[] = {
      com::Entry<FakeDispatch, IDispatch>(IID_IDispatch),
      com::Entry<FakeDispatch, IConnectionPointContainer>(IID_IConnectionPointContainer),
      {nullptr, nullptr},
  };
  return table;
}

FakePtr FakeDispatch::Make() {
  ComPtr<IDispatch> object;
  if (FAILED(ComObject<FakeDispatch>::Create(nullptr, IID_IDispatch, object.PutVoid()))) {
    throw std::bad_alloc();
  }
  return FakePtr(static_cast<FakeDispatch*>(object.Get()));
}

FakeDispatch& FakeDispatch::Is(const IID& iid) {
  identities_.push_back(iid);
  return *this;
}

FakeDispatch::Member& FakeDispatch::Add(const std::wstring& name) {
  // Setting a member again replaces it, keeping its DISPID.
  for (Member& member : members_) {
    if (member.name == name) return member;
  }
  members_.emplace_back();
  members_.back().name = name;
  return members_.back();
}

const FakeDispatch::Member& FakeDispatch::Find(const std::wstring& name) const {
  for (const Member& member : members_) {
    if (member.name == name) return member;
  }
  throw std::invalid_argument("no such fake member");
}

FakeDispatch& FakeDispatch::Property(const std::wstring& name, IDispatch* object) {
  return Value(name, com::Variant(object));
}

FakeDispatch& FakeDispatch::EmptyProperty(const std::wstring& name) {
  // Outlook's Nothing: an object-typed property holding no object.
  return Value(name, com::Variant(static_cast<IDispatch*>(nullptr)));
}

FakeDispatch& FakeDispatch::Value(const std::wstring& name, const com::Variant& value) {
  Member& member = Add(name);
  member.method = nullptr;
  if (FAILED(VariantCopy(member.value.get(), const_cast<VARIANT*>(&value.value())))) {
    throw std::bad_alloc();
  }
  return *this;
}

FakeDispatch& FakeDispatch::Method(const std::wstring& name, FakeMethod body) {
  Add(name).method = std::move(body);
  return *this;
}

FakeDispatch& FakeDispatch::Fail(const std::wstring& name, HRESULT hr) {
  for (Member& member : members_) {
    if (member.name == name) member.failure = hr;
  }
  return *this;
}

FakeDispatch& FakeDispatch::TypeId(const PublishedType& type) {
  type_ = type;
  return *this;
}

const std::vector<std::vector<com::Variant>>& FakeDispatch::Calls(const std::wstring& name) const {
  return Find(name).calls;
}

const VARIANT& FakeDispatch::ValueOf(const std::wstring& name) const {
  return Find(name).value.value();
}

FakeConnectionPoint& FakeDispatch::Source(const IID& events) {
  ComPtr<IConnectionPoint> point;
  ComObject<FakeConnectionPoint>::Create(nullptr, IID_IConnectionPoint, point.PutVoid(), events);
  sources_.emplace_back(
      events, ComPtr<FakeConnectionPoint>(static_cast<FakeConnectionPoint*>(point.Get())));
  return *sources_.back().second.Get();
}

int FakeDispatch::Reads(const std::wstring& name) const {
  for (const Member& member : members_) {
    if (member.name == name) return member.reads;
  }
  return 0;
}

IUnknown* FakeDispatch::ExtraInterface(REFIID iid) {
  for (const IID& identity : identities_) {
    // Outlook's window and application interfaces are dual: IDispatch-shaped.
    if (IsEqualIID(identity, iid)) return static_cast<IDispatch*>(this);
  }
  return nullptr;
}

HRESULT FakeDispatch::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = type_ ? 1 : 0;
  return S_OK;
}

HRESULT FakeDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (!type_) return E_NOTIMPL;
  // Made in memory with the published identity and name; its members are
  // not described.
  ComPtr<ICreateTypeLib2> library;
  HRESULT hr = CreateTypeLib2(SYS_WIN64, L"fake.tlb", library.Put());
  if (FAILED(hr)) return hr;
  ComPtr<ICreateTypeInfo> type;
  hr = library->CreateTypeInfo(const_cast<LPOLESTR>(type_->name), TKIND_DISPATCH, type.Put());
  if (FAILED(hr)) return hr;
  hr = type->SetGuid(type_->iid);
  if (FAILED(hr)) return hr;
  return type->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(info));
}

HRESULT FakeDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (count != 1) return E_NOTIMPL;
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (_wcsicmp(members_[i].name.c_str(), names[0]) == 0) {
      ids[0] = static_cast<DISPID>(i + 1);
      return S_OK;
    }
  }
  ids[0] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

namespace {

// As Outlook reports a member's own failure: an exception carrying the code.
HRESULT Raise(HRESULT hr, EXCEPINFO* exception) {
  // The dispatcher's own refusals are no exception.
  if (HRESULT_FACILITY(hr) == FACILITY_DISPATCH) return hr;
  if (exception) {
    *exception = EXCEPINFO{};
    exception->bstrSource = SysAllocString(L"Fake Outlook");
    exception->bstrDescription = SysAllocString(L"The operation failed.");
    exception->scode = hr;
  }
  return DISP_E_EXCEPTION;
}

bool PutNamed(const DISPPARAMS* params) {
  return params && params->cNamedArgs == 1 && params->rgdispidNamedArgs &&
         params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
}

}  // namespace

HRESULT FakeDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* exception, UINT*) {
  if (id < 1 || static_cast<std::size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
  Member& member = members_[static_cast<std::size_t>(id - 1)];
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  // Named arguments: only the one a property put takes.
  if (put ? !PutNamed(params) : params && params->cNamedArgs != 0) {
    return put ? DISP_E_PARAMNOTFOUND : DISP_E_NONAMEDARGS;
  }
  if (member.method ? !(flags & DISPATCH_METHOD) : !(put || (flags & DISPATCH_PROPERTYGET))) {
    return DISP_E_MEMBERNOTFOUND;
  }
  if (FAILED(member.failure)) return Raise(member.failure, exception);
  std::vector<com::Variant> args;
  for (UINT i = params ? params->cArgs : 0; i > 0; --i)
    args.push_back(CopyOf(params->rgvarg[i - 1]));
  if (member.method) {
    member.calls.push_back(args);
    com::Variant value;
    const HRESULT hr = member.method(args, value);
    if (FAILED(hr)) return Raise(hr, exception);
    return result ? VariantCopy(result, value.get()) : S_OK;
  }
  if (put) {
    if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
    member.calls.push_back(args);
    return VariantCopy(member.value.get(), args[0].get());
  }
  ++member.reads;
  if (result) return VariantCopy(result, member.value.get());
  return S_OK;
}

HRESULT FakeDispatch::EnumConnectionPoints(IEnumConnectionPoints**) {
  return E_NOTIMPL;
}

HRESULT FakeDispatch::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  for (auto& source : sources_) {
    if (IsEqualIID(source.first, iid)) {
      source.second->AddRef();
      *point = source.second.Get();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

std::wstring TextOf(const VARIANT& value) {
  return value.vt == VT_BSTR ? std::wstring(value.bstrVal, SysStringLen(value.bstrVal))
                             : L"<not text>";
}

FakeMethod Answer(const com::Variant& value) {
  return [value](const std::vector<com::Variant>&, com::Variant& result) {
    return VariantCopy(result.get(), const_cast<VARIANT*>(&value.value()));
  };
}

FakeMethod Nothing() {
  return [](const std::vector<com::Variant>&, com::Variant&) { return S_OK; };
}

FakePtr Collection(std::vector<FakePtr> items) {
  FakePtr collection = FakeDispatch::Make();
  collection->Value(L"Count", com::Variant(static_cast<std::int32_t>(items.size())))
      .Method(
          L"Item", [items](const std::vector<com::Variant>& args, com::Variant& result) -> HRESULT {
            // Any VARIANT that converts to a number indexes, as in Outlook.
            if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
            com::Variant number(args[0]);
            if (FAILED(VariantChangeType(number.get(), number.get(), 0, VT_I4))) {
              return DISP_E_TYPEMISMATCH;
            }
            const LONG index = number.value().lVal;
            if (index < 1 || static_cast<std::size_t>(index) > items.size()) return E_INVALIDARG;
            return VariantCopy(
                result.get(), com::Variant(Disp(items[static_cast<std::size_t>(index - 1)])).get());
          });
  return collection;
}

}  // namespace veilmark::wine_tests

// Outlook's objects as the add-in reaches them, faked as real COM objects:
// IDispatch with named properties, the identities they answer to, and
// connection points that record advises and fire events into the sinks.
#pragma once

#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "addin/com/com_object.h"
#include "addin/com/dispatch.h"
#include "addin/com/guids.h"

namespace veilmark::wine_tests {

using com::ComObject;
using com::ComPtr;

// Outlook's published DISPIDs of the events the add-in sinks, kept apart
// from the add-in's own constants so that a wrong one there shows. Each
// new-window event carries the window as a VT_DISPATCH argument.
namespace outlook_events {
inline constexpr DISPID kNewExplorer = 0xF001;      // ExplorersEvents
inline constexpr DISPID kNewInspector = 0xF001;     // InspectorsEvents
inline constexpr DISPID kNewMail = 0xF003;          // ApplicationEvents
inline constexpr DISPID kSelectionChange = 0xF007;  // ExplorerEvents
inline constexpr DISPID kClose = 0xF008;            // ExplorerEvents, InspectorEvents
}  // namespace outlook_events

// An interface as Outlook's type library publishes it.
struct PublishedType {
  IID iid;
  const wchar_t* name;
};
inline constexpr PublishedType kMailItemType = {
    0x00063034, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}, L"_MailItem"};

class FakeConnectionPoint : public IConnectionPoint {
 public:
  static const com::InterfaceEntry<FakeConnectionPoint>* Interfaces();

  // Calls Invoke on every advised sink; the results, in advise order.
  std::vector<HRESULT> Fire(DISPID id, std::vector<com::Variant> args = {});

  int advises() const { return advises_; }
  int live() const { return static_cast<int>(sinks_.size()); }
  IUnknown* sink(std::size_t index) const { return sinks_.at(index).second.Get(); }

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

 protected:
  explicit FakeConnectionPoint(const IID& events) : events_(events) {}
  virtual ~FakeConnectionPoint() = default;

 private:
  IID events_;
  int advises_ = 0;
  DWORD nextCookie_ = 1;
  std::vector<std::pair<DWORD, ComPtr<IUnknown>>> sinks_;
};

class FakePtr;

// A method's behaviour: the arguments in the order written, the result to give.
using FakeMethod =
    std::function<HRESULT(const std::vector<com::Variant>& args, com::Variant& result)>;

// A copy of any VARIANT, references followed.
com::Variant CopyOf(const VARIANT& value);

class FakeDispatch : public IDispatch, public IConnectionPointContainer {
 public:
  static const com::InterfaceEntry<FakeDispatch>* Interfaces();
  static FakePtr Make();

  // Answers QueryInterface for `iid` too (as Outlook's _Inspector, ...).
  FakeDispatch& Is(const IID& iid);
  FakeDispatch& Property(const std::wstring& name, IDispatch* object);
  // The property reads as Nothing: a VT_DISPATCH holding no object.
  FakeDispatch& EmptyProperty(const std::wstring& name);
  // A property of any value; a put replaces it.
  FakeDispatch& Value(const std::wstring& name, const com::Variant& value);
  FakeDispatch& Method(const std::wstring& name, FakeMethod body);
  // Every call of the member from now on fails with `hr`, raised as
  // Outlook raises it (DISP_E_EXCEPTION, the code in the EXCEPINFO).
  FakeDispatch& Fail(const std::wstring& name, HRESULT hr);
  // What GetTypeInfo reports as the type's identity.
  FakeDispatch& TypeId(const PublishedType& type);
  // A source of `events`.
  FakeConnectionPoint& Source(const IID& events);

  int Reads(const std::wstring& name) const;
  // Method calls and puts of the member, each with its arguments.
  const std::vector<std::vector<com::Variant>>& Calls(const std::wstring& name) const;
  // The member's current value.
  const VARIANT& ValueOf(const std::wstring& name) const;

  IUnknown* ExtraInterface(REFIID iid);

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override;
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

 protected:
  FakeDispatch() = default;
  virtual ~FakeDispatch() = default;

 private:
  struct Member {
    std::wstring name;
    com::Variant value;
    int reads = 0;
    FakeMethod method;
    HRESULT failure = S_OK;
    std::vector<std::vector<com::Variant>> calls;
  };
  Member& Add(const std::wstring& name);
  const Member& Find(const std::wstring& name) const;
  std::vector<IID> identities_;
  std::optional<PublishedType> type_;
  std::vector<Member> members_;  // DISPID = index + 1
  std::vector<std::pair<IID, ComPtr<FakeConnectionPoint>>> sources_;
};

// Holds one reference to a fake and reaches its test helpers (a plain
// ComPtr cannot: the fake has two IUnknown bases).
class FakePtr {
 public:
  FakePtr() = default;
  explicit FakePtr(FakeDispatch* fake) : object_(static_cast<IDispatch*>(fake)), fake_(fake) {}
  FakeDispatch* operator->() const { return fake_; }
  FakeDispatch& operator*() const { return *fake_; }
  FakeDispatch* Get() const { return fake_; }

 private:
  ComPtr<IDispatch> object_;
  FakeDispatch* fake_ = nullptr;
};

inline IDispatch* Disp(const FakePtr& fake) {
  return static_cast<IDispatch*>(fake.Get());
}

// The text a VARIANT holds, or "<not text>".
std::wstring TextOf(const VARIANT& value);

// A method that answers `value`.
FakeMethod Answer(const com::Variant& value);
// A method that answers nothing and succeeds.
FakeMethod Nothing();
// A collection with Count, whose Item(i) hands out items[i - 1].
FakePtr Collection(std::vector<FakePtr> items);

}  // namespace veilmark::wine_tests

// The one base of reference-counted COM objects: an interface table,
// aggregation, and the module's lock count. A class lists its interfaces with
// InterfaceEntry and is instantiated as ComObject<Class>, which supplies
// IUnknown for all of its bases.
#pragma once

#include <type_traits>
#include <utility>

#include "base/com_ptr_win32.h"

namespace veilmark::com {

// The module's lock count: live objects and class-factory locks, which
// decide whether the DLL may unload.
void LockModule();
void UnlockModule();
long ModuleLockCount();

template <class Impl>
struct InterfaceEntry {
  const IID* iid;  // null ends the table
  IUnknown* (*cast)(Impl* self);
};

// The entry answering `iid` with the object's `Interface` base.
template <class Impl, class Interface>
InterfaceEntry<Impl> Entry(const IID& iid) {
  return {&iid, [](Impl* self) -> IUnknown* { return static_cast<Interface*>(self); }};
}

// A class whose interfaces are not all known in advance (an event sink
// answers its event set) also defines IUnknown* ExtraInterface(REFIID).
template <class T, class = void>
struct HasExtraInterface : std::false_type {};
template <class T>
struct HasExtraInterface<T, std::void_t<decltype(std::declval<T&>().ExtraInterface(IID_IUnknown))>>
    : std::true_type {};

// Each live object holds a module lock, except those of a class that
// declares static constexpr bool kLocksModule = false (a class factory:
// holding one alone does not keep the DLL loaded).
template <class T, class = void>
struct LocksModule : std::true_type {};
template <class T>
struct LocksModule<T, std::void_t<decltype(T::kLocksModule)>>
    : std::bool_constant<T::kLocksModule> {};

template <class Impl>
class ComObject final : public Impl {
 public:
  // `outer` is the controlling object when aggregated, otherwise null.
  template <class... Args>
  explicit ComObject(IUnknown* outer, Args&&... args)
      : Impl(std::forward<Args>(args)...), outer_(outer), inner_(this) {
    if constexpr (LocksModule<Impl>::value) LockModule();
  }
  ~ComObject() {
    if constexpr (LocksModule<Impl>::value) UnlockModule();
  }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  // Creates one and hands out `iid`; aggregation needs IID_IUnknown.
  template <class... Args>
  static HRESULT Create(IUnknown* outer, REFIID iid, void** out, Args&&... args) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    // The temporary reference deletes the object if the query fails.
    ComPtr<IUnknown> inner((new ComObject(outer, std::forward<Args>(args)...))->inner_unknown());
    return inner->QueryInterface(iid, out);
  }

  // IUnknown of every interface: the outer object's when aggregated.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return outer_ ? outer_->QueryInterface(iid, out) : InnerQuery(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return outer_ ? outer_->AddRef() : InnerAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return outer_ ? outer_->Release() : InnerRelease(); }

 private:
  // The non-delegating unknown: the object's own count and table.
  class Inner final : public IUnknown {
   public:
    explicit Inner(ComObject* owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      return owner_->InnerQuery(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_->InnerAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_->InnerRelease(); }

   private:
    ComObject* owner_;
  };

  IUnknown* inner_unknown() { return &inner_; }

  HRESULT InnerQuery(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const InterfaceEntry<Impl>* table = Impl::Interfaces();
    IUnknown* found = nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) {
      // Identity: the inner unknown when aggregated, else the first entry.
      found = outer_ ? static_cast<IUnknown*>(&inner_) : table[0].cast(this);
    } else {
      for (const InterfaceEntry<Impl>* entry = table; entry->iid; ++entry) {
        if (IsEqualIID(*entry->iid, iid)) {
          found = entry->cast(this);
          break;
        }
      }
    }
    if constexpr (HasExtraInterface<Impl>::value) {
      if (!found) found = this->ExtraInterface(iid);
    }
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    *out = found;
    return S_OK;
  }

  ULONG InnerAddRef() { return static_cast<ULONG>(++count_); }

  ULONG InnerRelease() {
    const long left = --count_;
    if (left == 0) delete this;  // the one place objects are freed
    return static_cast<ULONG>(left);
  }

  IUnknown* outer_;
  Inner inner_;
  long count_ = 0;  // single-threaded apartment: no interlocking needed
};

}  // namespace veilmark::com

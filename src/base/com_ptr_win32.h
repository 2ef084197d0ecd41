// The one owning COM pointer: AddRef on copy, Release on drop. The COM
// toolkit (this, com_object_win32.h, automation_win32.h, event_sink_win32.h)
// is in namespace veilmark::com, below both the Win32 UI and the COM server.
#pragma once

#include <utility>

#include "base/hresult.h"

namespace veilmark::com {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes a new reference to `p`.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Adopts a reference the caller already owns.
  static ComPtr Attach(T* p) {
    ComPtr result;
    result.p_ = p;
    return result;
  }
  // Gives up the reference without releasing it.
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // For out-parameters: drops the current reference first.
  T** Put() {
    Reset();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  // Another interface of the same object.
  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>& out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out.PutVoid());
  }

 private:
  T* p_ = nullptr;
};

}  // namespace veilmark::com

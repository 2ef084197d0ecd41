// One owner for every kind of handle the platforms hand out (files, keys,
// sessions, GDI objects, curl handles, descriptors): it lets go of what it
// holds when it goes, and moves but never copies.
#pragma once

#include <utility>

namespace veilmark {

// What Owner needs of a kind of handle:
//   using Handle = ...;
//   static Handle Empty();          // the value that holds nothing
//   static bool Holds(Handle h);    // whether `h` needs letting go of
//   static void Close(Handle h);
template <class Traits>
class Owner {
 public:
  using Handle = typename Traits::Handle;

  Owner() noexcept : handle_(Traits::Empty()) {}
  explicit Owner(Handle handle) noexcept : handle_(handle) {}
  Owner(Owner&& other) noexcept : handle_(other.Detach()) {}
  Owner& operator=(Owner&& other) noexcept {
    Reset(other.Detach());
    return *this;
  }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  ~Owner() { Reset(); }

  Handle Get() const { return handle_; }
  explicit operator bool() const { return Traits::Holds(handle_); }

  // Gives the handle up without closing it.
  Handle Detach() { return std::exchange(handle_, Traits::Empty()); }
  // Closes the handle held, if any, and holds `handle` instead.
  void Reset(Handle handle = Traits::Empty()) {
    const Handle old = std::exchange(handle_, handle);
    if (Traits::Holds(old)) Traits::Close(old);
  }
  // For out-parameters: closes the handle held first.
  Handle* Put() {
    Reset();
    return &handle_;
  }

 private:
  Handle handle_;
};

// Traits of a handle closed by one function, holding nothing when it equals
// `kEmpty`: null for pointers, -1 for descriptors.
template <class T, auto kClose, T kEmpty = T{}>
struct ClosedBy {
  using Handle = T;
  static constexpr T Empty() { return kEmpty; }
  static constexpr bool Holds(T handle) { return handle != kEmpty; }
  static void Close(T handle) { kClose(handle); }
};

// The owner of a handle closed by `kClose`.
template <class T, auto kClose, T kEmpty = T{}>
using OwnerOf = Owner<ClosedBy<T, kClose, kEmpty>>;

}  // namespace veilmark

// Size arithmetic that cannot wrap. On the i686 DLL size_t is 32 bits, and a
// sum of large inputs (or an escape length three times an input) would wrap
// to a small number and size a buffer too short; these report the overflow
// instead, and the caller refuses the work.
#pragma once

#include <cstddef>
#include <limits>

namespace veilmark {

inline constexpr std::size_t kSizeMax = std::numeric_limits<std::size_t>::max();

// a + b into `out`; false (and `out` untouched) when it would wrap.
constexpr bool CheckedAdd(std::size_t a, std::size_t b, std::size_t& out) {
  if (a > kSizeMax - b) return false;
  out = a + b;
  return true;
}

// a * b into `out`; false (and `out` untouched) when it would wrap.
constexpr bool CheckedMultiply(std::size_t a, std::size_t b, std::size_t& out) {
  if (a != 0 && b > kSizeMax / a) return false;
  out = a * b;
  return true;
}

// A running total that remembers whether any step wrapped.
class CheckedSize {
 public:
  constexpr CheckedSize() = default;
  constexpr explicit CheckedSize(std::size_t start) : value_(start) {}

  constexpr CheckedSize& operator+=(std::size_t term) {
    if (ok_ && !CheckedAdd(value_, term, value_)) ok_ = false;
    return *this;
  }
  constexpr CheckedSize& operator+=(const CheckedSize& other) {
    if (!other.ok_) ok_ = false;
    return *this += other.value_;
  }
  constexpr CheckedSize& operator*=(std::size_t factor) {
    if (ok_ && !CheckedMultiply(value_, factor, value_)) ok_ = false;
    return *this;
  }

  constexpr bool ok() const { return ok_; }
  // Meaningful only when ok().
  constexpr std::size_t value() const { return value_; }
  // True when the total is known and at most `limit`.
  constexpr bool AtMost(std::size_t limit) const { return ok_ && value_ <= limit; }

 private:
  std::size_t value_ = 0;
  bool ok_ = true;
};

}  // namespace veilmark

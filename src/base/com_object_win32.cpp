#include "base/com_object_win32.h"

#include <atomic>

namespace veilmark::com {
namespace {

std::atomic<long>& LockCount() {
  static std::atomic<long> count{0};
  return count;
}

}  // namespace

void LockModule() {
  ++LockCount();
}

void UnlockModule() {
  --LockCount();
}

long ModuleLockCount() {
  return LockCount().load();
}

}  // namespace veilmark::com

#include "read/cache_manager.h"

#include <cstddef>
#include <ctime>
#include <utility>

namespace veilmark {

CacheManager::CacheManager(std::uint32_t limit, std::uint32_t lifetime, Clock clock,
                           std::size_t maxHeldBytes)
    : limit_(limit), lifetime_(lifetime), clock_(std::move(clock)), maxHeldBytes_(maxHeldBytes) {}

std::size_t CacheManager::Bytes(const Entry& entry) {
  // Neither size can pass max_size(), which is below SIZE_MAX / 2 for char16_t.
  return (entry.entryId.size() + entry.view->size()) * sizeof(char16_t);
}

std::int64_t CacheManager::SystemClock() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

std::u16string CacheManager::Lookup(const std::u16string& entryId) {
  const auto view = Find(entryId);
  return view ? *view : std::u16string();
}

std::shared_ptr<const std::u16string> CacheManager::Find(const std::u16string& entryId) {
  for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
    if (entry->entryId != entryId) continue;
    if (clock_() - entry->storedAt < static_cast<std::int64_t>(lifetime_)) {
      entries_.splice(entries_.begin(), entries_, entry);
      return entries_.front().view;
    }
  }
  return nullptr;
}

void CacheManager::Store(const std::u16string& entryId, std::u16string view) {
  Store(entryId, std::make_shared<const std::u16string>(std::move(view)));
}

void CacheManager::Store(const std::u16string& entryId,
                         std::shared_ptr<const std::u16string> view) {
  if (!view) return;
  const std::size_t viewSize = view->size();
  const std::size_t idSize = entryId.size();
  const std::size_t units = maxHeldBytes_ / sizeof(char16_t);
  if (viewSize > units || idSize > units - viewSize) return;  // shown, never held
  if (limit_ == 0) return;
  entries_.push_front(Entry{entryId, clock_(), std::move(view)});
  heldBytes_ += Bytes(entries_.front());
  while (entries_.size() > limit_ || heldBytes_ > maxHeldBytes_) {
    heldBytes_ -= Bytes(entries_.back());
    entries_.pop_back();
  }
}

}  // namespace veilmark

#include "read/cache_manager.h"

#include <ctime>
#include <utility>

namespace veilmark {

CacheManager::CacheManager(std::uint32_t limit, std::uint32_t lifetime, Clock clock)
    : limit_(limit), lifetime_(lifetime), clock_(std::move(clock)) {}

std::int64_t CacheManager::SystemClock() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

std::u16string CacheManager::Lookup(const std::u16string& entryId) {
  for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
    if (entry->entryId != entryId) continue;
    if (clock_() - entry->storedAt < static_cast<std::int64_t>(lifetime_)) {
      entries_.splice(entries_.begin(), entries_, entry);
      return entries_.front().view;
    }
  }
  return {};
}

void CacheManager::Store(const std::u16string& entryId, const std::u16string& view) {
  entries_.push_front(Entry{entryId, clock_(), view});
  if (entries_.size() > limit_) entries_.pop_back();
}

}  // namespace veilmark

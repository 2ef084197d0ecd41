// Decrypted views of recently read messages, by entry id, so that coming
// back to a message shows it at once without a service call or a login.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <string>

namespace veilmark {

class CacheManager {
 public:
  using Clock = std::function<std::int64_t()>;  // seconds since 1970

  CacheManager(std::uint32_t limit, std::uint32_t lifetime, Clock clock = SystemClock);
  virtual ~CacheManager() = default;

  // The view of the first valid entry from the front (moved to the front, its
  // age kept), or empty. Expired entries are skipped and stay.
  std::u16string Lookup(const std::u16string& entryId);

  // A new entry in front; older entries of the same id stay behind it.
  void Store(const std::u16string& entryId, const std::u16string& view);

  std::size_t size() const { return entries_.size(); }

  static std::int64_t SystemClock();

 private:
  struct Entry {
    std::u16string entryId;
    std::int64_t storedAt;
    std::u16string view;
  };

  std::uint32_t limit_;
  std::uint32_t lifetime_;
  Clock clock_;
  std::list<Entry> entries_;
};

}  // namespace veilmark

// Decrypted views of recently read messages, by entry id, so that coming
// back to a message shows it at once without a service call or a login.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>

namespace veilmark {

class CacheManager {
 public:
  using Clock = std::function<std::int64_t()>;  // seconds since 1970

  // The text held in all entries together (views and ids, as UTF-16 bytes).
  static constexpr std::size_t kMaxHeldBytes = std::size_t{64} * 1024 * 1024;

  // At most `limit` entries and `maxHeldBytes` of text, the oldest going
  // first; an entry is valid for `lifetime` seconds.
  CacheManager(std::uint32_t limit, std::uint32_t lifetime, Clock clock = SystemClock,
               std::size_t maxHeldBytes = kMaxHeldBytes);
  virtual ~CacheManager() = default;

  // The view of the first valid entry from the front (moved to the front, its
  // age kept), or empty. Expired entries are skipped and stay.
  std::u16string Lookup(const std::u16string& entryId);
  // The same, without copying the view: a large one copied would hold the UI
  // thread. The view handed out stays valid when its entry goes meanwhile
  // (a nested road may store while the pane is written). Null for none.
  std::shared_ptr<const std::u16string> Find(const std::u16string& entryId);

  // A new entry in front; older entries of the same id stay behind it. The
  // oldest entries (from the back) go until both bounds hold; a single entry
  // larger than the text bound is not kept at all (and pushes nothing out).
  void Store(const std::u16string& entryId, std::u16string view);
  // The same, holding the view shown without a copy of it.
  void Store(const std::u16string& entryId, std::shared_ptr<const std::u16string> view);

  std::size_t size() const { return entries_.size(); }
  std::size_t heldBytes() const { return heldBytes_; }

  static std::int64_t SystemClock();

 private:
  struct Entry {
    std::u16string entryId;
    std::int64_t storedAt;
    std::shared_ptr<const std::u16string> view;
  };
  static std::size_t Bytes(const Entry& entry);

  std::uint32_t limit_;
  std::uint32_t lifetime_;
  Clock clock_;
  std::size_t maxHeldBytes_;
  std::size_t heldBytes_ = 0;
  std::list<Entry> entries_;
};

}  // namespace veilmark

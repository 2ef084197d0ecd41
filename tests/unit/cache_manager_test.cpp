#include "read/cache_manager.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace veilmark {
namespace {

class CacheManagerTest : public ::testing::Test {
 protected:
  std::int64_t now = 1'700'000'000;
  CacheManager cache{100, 3600000, [this] { return now; }};
};

TEST_F(CacheManagerTest, UnknownIdIsEmpty) {
  EXPECT_EQ(cache.Lookup(u"never"), u"");
}

TEST_F(CacheManagerTest, StoredViewComesBack) {
  cache.Store(u"id", u"<p>view</p>");
  EXPECT_EQ(cache.Lookup(u"id"), u"<p>view</p>");
  EXPECT_EQ(cache.Lookup(u"ID"), u"");  // ids compare exactly
}

TEST_F(CacheManagerTest, LaterStoreOfTheSameIdWins) {
  cache.Store(u"id", u"old");
  cache.Store(u"id", u"new");
  EXPECT_EQ(cache.Lookup(u"id"), u"new");
  EXPECT_EQ(cache.size(), 2u);
}

TEST_F(CacheManagerTest, OldestIsPushedOutAtTheLimit) {
  cache.Store(u"first", u"v");
  for (int i = 0; i < 99; ++i) cache.Store(u"other", u"x");
  EXPECT_EQ(cache.size(), 100u);
  EXPECT_EQ(cache.Lookup(u"first"), u"v");  // still there, and now in front
  cache.Store(u"one-more", u"x");
  EXPECT_EQ(cache.Lookup(u"first"), u"v");  // the lookup saved it
  for (int i = 0; i < 100; ++i) cache.Store(u"flood", u"x");
  EXPECT_EQ(cache.size(), 100u);
  EXPECT_EQ(cache.Lookup(u"first"), u"");
}

TEST_F(CacheManagerTest, ExpiredEntryIsSkippedAndAFreshOneGoesInFront) {
  cache.Store(u"id", u"old");
  now += 3600000;
  EXPECT_EQ(cache.Lookup(u"id"), u"");  // exactly the lifetime is too old
  cache.Store(u"id", u"fresh");
  EXPECT_EQ(cache.Lookup(u"id"), u"fresh");
  EXPECT_EQ(cache.size(), 2u);  // the expired one stays behind
}

TEST_F(CacheManagerTest, LookupDoesNotRenewTheAge) {
  cache.Store(u"id", u"v");
  now += 3600000 - 1;
  EXPECT_EQ(cache.Lookup(u"id"), u"v");
  now += 1;
  EXPECT_EQ(cache.Lookup(u"id"), u"");
}

// Besides the count, the text held is bounded to 64 MiB (as UTF-16).
constexpr std::size_t kMiB = 1024 * 1024;

TEST_F(CacheManagerTest, TextHeldIsBoundedToSixtyFourMebibytes) {
  EXPECT_EQ(CacheManager::kMaxHeldBytes, 64 * kMiB);
  // Each view is 20 MiB of UTF-16: three fit, the fourth pushes out the oldest.
  const std::u16string big(10 * kMiB, u'v');
  cache.Store(u"a", big);
  cache.Store(u"b", big);
  cache.Store(u"c", big);
  EXPECT_EQ(cache.size(), 3u);
  EXPECT_EQ(cache.heldBytes(), 3 * (20 * kMiB + 2));
  EXPECT_EQ(cache.Lookup(u"a"), big);  // now the newest; "b" is the oldest
  cache.Store(u"d", big);
  EXPECT_EQ(cache.size(), 3u);
  EXPECT_LE(cache.heldBytes(), CacheManager::kMaxHeldBytes);
  EXPECT_EQ(cache.Lookup(u"b"), u"");
  EXPECT_EQ(cache.Lookup(u"a"), big);
  EXPECT_EQ(cache.Lookup(u"c"), big);
  EXPECT_EQ(cache.Lookup(u"d"), big);
}

TEST_F(CacheManagerTest, AViewLargerThanTheBoundIsNotCachedAndPushesNothingOut) {
  cache.Store(u"small", u"s");
  const std::u16string huge(32 * kMiB, u'h');  // 64 MiB of text, plus the id
  cache.Store(u"huge", huge);
  EXPECT_EQ(cache.Lookup(u"huge"), u"");
  EXPECT_EQ(cache.Lookup(u"small"), u"s");
  EXPECT_EQ(cache.size(), 1u);
  // Exactly at the bound is kept.
  const std::u16string fits(32 * kMiB - 2, u'f');
  cache.Store(u"id", fits);  // 2 units of id: 64 MiB in all
  EXPECT_EQ(cache.Lookup(u"id"), fits);
  EXPECT_EQ(cache.Lookup(u"small"), u"");  // pushed out to make room
  EXPECT_EQ(cache.heldBytes(), 64 * kMiB);
}

TEST(CacheManagerBound, ManySmallViewsUnderACustomBound) {
  std::int64_t now = 0;
  CacheManager cache(
      100, 3600, [&now] { return now; }, 100);
  for (int i = 0; i < 10; ++i) cache.Store(u"id" + std::u16string(1, u'0' + i), u"0123");
  // 14 bytes an entry (3 + 4 UTF-16 units): the newest 7 fit in 100.
  EXPECT_EQ(cache.size(), 7u);
  EXPECT_EQ(cache.heldBytes(), 98u);
  EXPECT_EQ(cache.Lookup(u"id2"), u"");
  EXPECT_EQ(cache.Lookup(u"id3"), u"0123");
}

// The road shows a hit while the pane's load pumps messages, and a nested
// road may store meanwhile: the view it holds outlives its entry.
TEST(CacheManagerFind, AViewHandedOutOutlivesItsEntry) {
  CacheManager cache(1, 3600, [] { return std::int64_t{0}; });
  EXPECT_EQ(cache.Find(u"a"), nullptr);
  cache.Store(u"a", u"<p>first</p>");
  const auto held = cache.Find(u"a");
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(cache.Find(u"a"), held);    // the same text, not a copy
  cache.Store(u"b", u"<p>second</p>");  // pushes "a" out
  EXPECT_EQ(cache.Find(u"a"), nullptr);
  EXPECT_EQ(*held, u"<p>first</p>");

  // A view shown is held as it is, within the same bounds.
  const auto shown = std::make_shared<const std::u16string>(u"<p>shown</p>");
  cache.Store(u"c", shown);
  EXPECT_EQ(cache.Find(u"c"), shown);
  CacheManager small(
      1, 3600, [] { return std::int64_t{0}; }, 8);
  small.Store(u"c", shown);
  EXPECT_EQ(small.Find(u"c"), nullptr);
  small.Store(u"d", std::shared_ptr<const std::u16string>());
  EXPECT_EQ(small.size(), 0u);
}

}  // namespace
}  // namespace veilmark

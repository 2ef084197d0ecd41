#include "read/cache_manager.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace veilmark

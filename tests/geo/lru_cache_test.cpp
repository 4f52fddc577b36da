#include "geo/lru_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wy {
namespace {

using TCache = TLruCache<std::string, int>;

std::vector<std::string> Keys(const TCache& cache) {
  std::vector<std::string> keys;
  for (const auto& entry : cache.Entries()) keys.push_back(entry.Key);
  return keys;
}

TEST(LruCache, GetMovesToTheFrontPeekDoesNot) {
  TCache cache;
  cache.Put("a", 1);
  cache.Put("b", 2);
  cache.Put("c", 3);
  ASSERT_NE(cache.Peek("a"), nullptr);
  EXPECT_EQ(Keys(cache), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(*cache.Get("a"), 1);
  EXPECT_EQ(Keys(cache), (std::vector<std::string>{"a", "c", "b"}));
  cache.Trim(2);
  EXPECT_EQ(Keys(cache), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(cache.Get("b"), nullptr);
}

TEST(LruCache, PutReplacesTheKeysEntryAndCostsAddUp) {
  TCache cache;
  cache.Put("a", 1, 10);
  cache.Put("b", 2, 20);
  cache.Put("a", 3, 5);  // the older "a" goes, its cost with it
  EXPECT_EQ(cache.Count(), 2u);
  EXPECT_EQ(cache.Cost(), 25u);
  EXPECT_EQ(*cache.Peek("a"), 3);
  EXPECT_EQ(Keys(cache), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(cache.Erase("b"));
  EXPECT_FALSE(cache.Erase("b"));
  EXPECT_EQ(cache.Cost(), 5u);
}

TEST(LruCache, TrimByCostEvictsTheLeastRecentlyUsedAndReportsEach) {
  TCache cache;
  cache.Put("a", 1, 40);
  cache.Put("b", 2, 40);
  cache.Put("c", 3, 40);
  cache.Get("a");
  std::vector<std::string> evicted;
  cache.Trim(TCache::kNoLimit, 80, [&](const TCache::TEntry& e) { evicted.push_back(e.Key); });
  EXPECT_EQ(evicted, (std::vector<std::string>{"b"}));
  EXPECT_EQ(Keys(cache), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(cache.Cost(), 80u);
  cache.Trim(TCache::kNoLimit, 0);
  EXPECT_TRUE(cache.Empty());
  EXPECT_EQ(cache.Cost(), 0u);
}

}  // namespace
}  // namespace wy

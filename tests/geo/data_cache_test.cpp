#include "geo/data_cache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wy {
namespace {

constexpr uint32_t kMinute = 60000;

// A cache whose clock the test sets.
class DataCacheTest : public ::testing::Test {
 protected:
  uint32_t FNow = 1000;
  TStringDataCacheList FCache{60, [this] { return FNow; }};
};

TEST_F(DataCacheTest, ExpiresAfterTheLifetime) {
  struct Case {
    uint32_t storedAt, readAt;
    bool valid;
  };
  const std::vector<Case> cases = {
      {1000, 1000, true},
      {1000, 1000 + 59 * kMinute, true},
      {1000, 1000 + 60 * kMinute - 1, true},
      {1000, 1000 + 60 * kMinute, false},  // strictly younger than 60 minutes
      {1000, 1000 + 61 * kMinute, false},
      // The 32-bit tick wraps between storing and reading.
      {0xFFFFFF00u, 0x100u, true},
      {0xFFFFFF00u, 0xFFFFFF00u + 60 * kMinute, false},
  };
  for (const Case& c : cases) {
    FNow = c.storedAt;
    FCache.Put("key", "answer");
    FNow = c.readAt;
    EXPECT_EQ(FCache.Get("key"), c.valid ? "answer" : "")
        << "stored " << c.storedAt << " read " << c.readAt;
  }
}

TEST_F(DataCacheTest, ExpiredEntryIsRemoved) {
  FCache.Put("old", "a");
  FNow += 30 * kMinute;
  FCache.Put("new", "b");
  FNow += 30 * kMinute;
  EXPECT_EQ(FCache.Count(), 2u);
  EXPECT_EQ(FCache.Get("old"), "");
  EXPECT_EQ(FCache.Count(), 1u);
  EXPECT_EQ(FCache.Get("new"), "b");
  EXPECT_EQ(FCache.Get("missing"), "");
  EXPECT_EQ(FCache.Count(), 1u);
}

TEST_F(DataCacheTest, KeysIgnoreCaseAndPutRefreshes) {
  FCache.Put("Http://Example/Q?a=1", "first");
  FNow += 50 * kMinute;
  FCache.Put("http://example/q?A=1", "second");
  EXPECT_EQ(FCache.Count(), 1u);
  FNow += 50 * kMinute;  // 100 minutes after the first Put, 50 after the second
  EXPECT_EQ(FCache.Get("HTTP://EXAMPLE/Q?A=1"), "second");
  // Only A to Z fold.
  FCache.Put("caf\xC3\xA9", "lower");
  EXPECT_EQ(FCache.Get("CAF\xC3\x89"), "");
  EXPECT_EQ(FCache.Get("CAF\xC3\xA9"), "lower");
}

TEST_F(DataCacheTest, TextComesBackWithItsLineBreaks) {
  struct Case {
    std::string stored, read;
  };
  const std::vector<Case> cases = {
      {"line1\r\nline2\n\n\rend", "line1\r\nline2\n\n\rend"},
      {"", ""},
      {"#10", "#10"},
      // Stored escapes are not told apart from escaped line breaks.
      {"a#13#b#10#c", "a\rb\nc"},
  };
  for (const Case& c : cases) {
    FCache.Put("k", c.stored);
    EXPECT_EQ(FCache.Get("k"), c.read);
  }
}

TEST(DataCache, DefaultsToTheProcessTick) {
  uint32_t now = 5000;
  TScopedTickSource tick([&] { return now; });
  TStringDataCacheList cache(1);
  cache.Put("k", "v");
  now += kMinute - 1;
  EXPECT_EQ(cache.Get("k"), "v");
  now += 1;
  EXPECT_EQ(cache.Get("k"), "");
}

}  // namespace
}  // namespace wy

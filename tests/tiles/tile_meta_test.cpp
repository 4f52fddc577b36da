#include "tiles/tile_meta.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "geo/http_date.h"
#include "support/test_helpers.h"
#include "tiles/tile_file.h"

namespace wy {
namespace {

constexpr int64_t kNow = 1700000000;
constexpr int64_t kWeek = 7 * 24 * 3600;

THttpCacheHeaders HeadersOf(const std::vector<std::string>& lines) {
  THttpCacheHeaders headers;
  for (const auto& line : lines) headers.Take(line);
  return headers;
}

TEST(TileMeta, FreshnessOfAnAnswer) {
  const std::string date = "Date: " + FormatHttpDate(kNow - 5000);  // the server's clock is behind
  const struct {
    const char* What;
    std::vector<std::string> Lines;
    int64_t Expires;
    bool NoStore;
  } cases[] = {
      {"nothing said: 7 days", {}, kNow + kWeek, false},
      {"max-age", {"Cache-Control: max-age=3600"}, kNow + 3600, false},
      {"quoted, among others", {"cache-control: public, max-age=\"120\""}, kNow + 120, false},
      {"Age is taken off", {"Cache-Control: max-age=3600", "Age: 600"}, kNow + 3000, false},
      {"a minute at least", {"Cache-Control: max-age=30"}, kNow + 60, false},
      {"unreadable max-age: stale", {"Cache-Control: max-age=soon"}, kNow + 60, false},
      {"max-age before Expires",
       {"Cache-Control: max-age=100", "Expires: " + FormatHttpDate(kNow + 9999), date},
       kNow + 100,
       false},
      {"Expires counted from the server's Date",
       {"Expires: " + FormatHttpDate(kNow - 5000 + 7200), date},
       kNow + 7200,
       false},
      {"Expires without Date", {"Expires: " + FormatHttpDate(kNow + 500)}, kNow + 500, false},
      {"Expires that is no date", {"Expires: 0"}, kNow + 60, false},
      {"no-cache", {"Cache-Control: no-cache, max-age=3600"}, kNow + 60, false},
      {"Pragma without Cache-Control", {"Pragma: no-cache"}, kNow + 60, false},
      {"Pragma after Cache-Control counts not",
       {"Cache-Control: max-age=900", "Pragma: no-cache"},
       kNow + 900,
       false},
      {"no-store", {"Cache-Control: no-store"}, kNow + kWeek, true},
      {"huge max-age stays in range", {"Cache-Control: max-age=99999999999999999999"}, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    const TTileMeta meta = TileMetaFromAnswer(HeadersOf(c.Lines), kNow);
    if (c.Expires != 0) {
      EXPECT_EQ(meta.Expires, c.Expires);
    } else {
      EXPECT_GT(meta.Expires, kNow + 365 * 24 * 3600);
    }
    EXPECT_EQ(meta.NoStore, c.NoStore);
    EXPECT_FALSE(meta.HasValidators());
  }
}

TEST(TileMeta, ValidatorsAndTheirRefresh) {
  const TTileMeta meta = TileMetaFromAnswer(
      HeadersOf({"ETag: W/\"abc\"", "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT",
                 "Cache-Control: max-age=3600", "X-Other: 1"}),
      kNow);
  EXPECT_EQ(meta.ETag, "W/\"abc\"");
  EXPECT_EQ(meta.LastModified, "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_FALSE(meta.Fresh(kNow + 3600));
  EXPECT_TRUE(meta.Fresh(kNow + 3599));

  // A 304 without freshness headers starts the stored lifetime again and
  // keeps the validators; one with headers updates what they name.
  const int64_t later = kNow + 5000;
  const TTileMeta same = RefreshedTileMeta(meta, HeadersOf({}), later);
  EXPECT_EQ(same.Expires, later + 3600);
  EXPECT_EQ(same.ETag, meta.ETag);
  EXPECT_EQ(same.LastModified, meta.LastModified);
  const TTileMeta updated =
      RefreshedTileMeta(meta, HeadersOf({"ETag: \"v2\"", "Cache-Control: max-age=100"}), later);
  EXPECT_EQ(updated.Expires, later + 100);
  EXPECT_EQ(updated.ETag, "\"v2\"");
  EXPECT_EQ(updated.LastModified, meta.LastModified);

  // Validators that are not plain text are never kept (nor sent back).
  THttpCacheHeaders odd;
  odd.ETag = "\"a\rb\"";
  odd.LastModified = std::string(2000, 'x');
  EXPECT_FALSE(TileMetaFromAnswer(odd, kNow).HasValidators());
}

TEST(TileMeta, RetryAfter) {
  const struct {
    std::string Value;
    bool Ok;
    uint64_t Ms;
  } cases[] = {
      {"30", true, 30000},
      {" 0 ", true, 0},
      {FormatHttpDate(kNow + 90), true, 90000},
      {FormatHttpDate(kNow - 90), true, 0},
      {"", false, 0},
      {"-5", false, 0},
      {"soon", false, 0},
      {"1.5", false, 0},
  };
  for (const auto& c : cases) {
    uint64_t ms = 777;
    EXPECT_EQ(RetryAfterMs(c.Value, kNow, ms), c.Ok) << c.Value;
    EXPECT_EQ(ms, c.Ok ? c.Ms : 777u) << c.Value;
  }
}

// The record names the bytes it describes: it is not used for other bytes,
// whatever way they came there (a process that ended between replacing the
// tile and its record, two processes replacing it at once), nor when it is
// cut short.
TEST(TileMeta, RecordBelongsToItsBytes) {
  TTileMeta meta;
  meta.Expires = kNow + 60;
  meta.Lifetime = 3600;
  meta.ETag = "\"v1\"";
  meta.LastModified = "Sun, 06 Nov 1994 08:49:37 GMT";
  const std::string bytes = "tile bytes v1";
  const std::string text = FormatTileMeta(meta, bytes);

  TTileMeta read;
  ASSERT_TRUE(ParseTileMeta(text, bytes, read));
  EXPECT_EQ(read.Expires, meta.Expires);
  EXPECT_EQ(read.Lifetime, meta.Lifetime);
  EXPECT_EQ(read.ETag, meta.ETag);
  EXPECT_EQ(read.LastModified, meta.LastModified);

  const struct {
    const char* What;
    std::string Text;
    std::string Bytes;
  } refused[] = {
      {"other bytes of the same size", text, "tile bytes v2"},
      {"other size", text, bytes + "!"},
      {"cut short", text.substr(0, text.size() - 1), bytes},
      {"cut in the middle", text.substr(0, text.size() / 2), bytes},
      {"another heading", "wymap tile 2" + text.substr(text.find('\n')), bytes},
      {"empty", "", bytes},
  };
  for (const auto& c : refused) {
    TTileMeta untouched;
    untouched.ETag = "kept";
    EXPECT_FALSE(ParseTileMeta(c.Text, c.Bytes, untouched)) << c.What;
    EXPECT_EQ(untouched.ETag, "kept") << c.What;
  }

  // Through the files: a replaced tile whose record was not written yet.
  test_support::TScratchDir dir;
  const std::string path = dir.Sub("OSM/4/8/5");
  ASSERT_TRUE(WriteTileFile(path, bytes));
  ASSERT_TRUE(WriteTileMeta(path, meta, bytes));
  EXPECT_TRUE(ReadTileMeta(path, bytes, read));
  ASSERT_TRUE(ReplaceTileFile(path, "tile bytes v2"));
  EXPECT_FALSE(ReadTileMeta(path, "tile bytes v2", read));
  EXPECT_TRUE(RemoveTileFile(path));
  EXPECT_FALSE(TileFileExists(TileMetaPath(path)));  // the record went with the tile
}

}  // namespace
}  // namespace wy

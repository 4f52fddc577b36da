// The tile server against a loopback server that answers the way caching
// tile servers do: freshness, revalidation, replacement, the disk budget and
// pauses asked for with 429.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "geo/http_date.h"
#include "geo/settings.h"
#include "platform/tick.h"
#include "platform/wall_clock.h"
#include "support/fixture_server.h"
#include "support/image_helpers.h"
#include "tiles/tile_disk_cache.h"
#include "tiles/tile_download.h"
#include "tiles/tile_file.h"
#include "tiles/tile_meta.h"
#include "tiles/tile_server.h"
#include "tiles/tile_server_fixture.h"

namespace wy {
namespace {

using namespace tile_test;

const char* const kLastModified = "Sun, 06 Nov 1994 08:49:37 GMT";
const QRgb kNewColor = qRgb(30, 160, 60);

struct TFileIdentity {
  ino_t Inode = 0;
  int64_t ModifiedNs = 0;
  bool operator==(const TFileIdentity& o) const {
    return Inode == o.Inode && ModifiedNs == o.ModifiedNs;
  }
};

TFileIdentity IdentityOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return TFileIdentity();
  return TFileIdentity{info.st_ino,
                       int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

// Tiles answered as `Serve` last said, with a calendar clock the test moves.
class TileCacheTest : public TileServerTest {
 protected:
  void SetUp() override {
    TileServerTest::SetUp();
    FNow = SystemWallClock();
    auto cached = FCached;
    FFixture.HandleRegex(kTilePattern,
                         [cached](const TFixtureRequest& request, httplib::Response& response) {
                           std::lock_guard<std::mutex> lock(cached->Mutex);
                           cached->Answer.Answer(request, response);
                         });
  }

  void Serve(const std::string& body, const std::string& etag, const std::string& lastModified,
             const std::string& cacheControl) {
    std::lock_guard<std::mutex> lock(FCached->Mutex);
    FCached->Answer = TFixtureCached();
    FCached->Answer.Body = body;
    FCached->Answer.ETag = etag;
    FCached->Answer.LastModified = lastModified;
    if (!cacheControl.empty()) FCached->Answer.Headers.emplace_back("Cache-Control", cacheControl);
  }

  // The requests for one tile.
  std::vector<TFixtureRequest> RequestsFor(int x, int y, int z) const {
    return FFixture.RequestsTo("/osm/" + std::to_string(z) + "/" + std::to_string(x) + "/" +
                               std::to_string(y) + ".png");
  }
  // Waits until the server has no download in flight.
  void Settle() {
    ASSERT_TRUE(WaitUntil([&] { return FServer->ActiveDownloads() == 0; }));
  }

  TTileMeta RecordOf(int x, int y, int z) const {
    TTileMeta meta;
    std::string bytes;
    EXPECT_TRUE(ReadTileFile(TileFile(x, y, z), bytes));
    EXPECT_TRUE(ReadTileMeta(TileFile(x, y, z), bytes, meta)) << "no record for the tile's bytes";
    return meta;
  }

  struct TCached {
    std::mutex Mutex;
    TFixtureCached Answer;
  };
  std::shared_ptr<TCached> FCached = std::make_shared<TCached>();
  std::atomic<int64_t> FNow{0};
  TScopedWallClock FClock{[this] { return FNow.load(); }};
};

// A fresh tile is not asked for again: not from memory, not from disk in a
// new server, not at the last second of its lifetime.
TEST_F(TileCacheTest, FreshTileIsNotAskedForAgain) {
  Serve(FTileBytes, "\"v1\"", kLastModified, "max-age=3600");
  TVuroduDavServer& server = MakeServer();
  Fetch(8, 5, 4);
  const TTileMeta meta = RecordOf(8, 5, 4);
  EXPECT_EQ(meta.ETag, "\"v1\"");
  EXPECT_EQ(meta.LastModified, kLastModified);
  EXPECT_EQ(meta.Expires, FNow + 3600);

  FNow += 3599;
  EXPECT_EQ(server.GetTile(8, 5, 4).pixel(9, 9), kTileColor);
  MakeServer();
  EXPECT_EQ(FServer->GetTile(8, 5, 4).pixel(9, 9), kTileColor);
  EXPECT_TRUE(FServer->TileOK());
  Pump(150);
  EXPECT_EQ(FFixture.RequestCount(), 1u);
}

// A stale tile is shown at once and asked for with its validators; the 304
// keeps the file as it is and refreshes the record, in memory and on disk.
TEST_F(TileCacheTest, StaleTileIsRevalidatedAndA304KeepsTheFile) {
  const struct {
    const char* What;
    const char* ETag;
    const char* LastModified;
  } cases[] = {
      {"ETag and Last-Modified", "\"v1\"", kLastModified},
      {"ETag only", "W/\"v1\"", ""},
      {"Last-Modified only", "", kLastModified},
  };
  int x = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    ++x;
    Serve(FTileBytes, c.ETag, c.LastModified, "max-age=60");
    TVuroduDavServer& server = MakeServer();
    Fetch(x, 5, 4);
    const TFileIdentity stored = IdentityOf(TileFile(x, 5, 4));

    FNow += 61;
    Serve(FTileBytes, c.ETag, c.LastModified, "max-age=600");  // the 304 says 10 minutes now
    const QImage& stale = server.GetTile(x, 5, 4);
    EXPECT_EQ(stale.pixel(5, 5), kTileColor);  // shown while it is asked for
    EXPECT_TRUE(server.TileOK());
    ASSERT_TRUE(WaitUntil([&] { return RequestsFor(x, 5, 4).size() == 2; }));
    Settle();
    const TFixtureRequest revalidation = RequestsFor(x, 5, 4).at(1);
    EXPECT_EQ(revalidation.Header("If-None-Match"), c.ETag);
    EXPECT_EQ(revalidation.Header("If-Modified-Since"), c.LastModified);
    EXPECT_EQ(ReadFile(TileFile(x, 5, 4)), FTileBytes);
    EXPECT_TRUE(IdentityOf(TileFile(x, 5, 4)) == stored) << "the tile's file was rewritten";
    EXPECT_EQ(RecordOf(x, 5, 4).Expires, FNow + 600);

    // Fresh again for ten minutes, in this server and in a new one.
    FNow += 599;
    server.GetTile(x, 5, 4);
    MakeServer();
    EXPECT_EQ(FServer->GetTile(x, 5, 4).pixel(5, 5), kTileColor);
    Pump(150);
    EXPECT_EQ(RequestsFor(x, 5, 4).size(), 2u);
    FNow += 2;
    FServer->GetTile(x, 5, 4);
    ASSERT_TRUE(WaitUntil([&] { return RequestsFor(x, 5, 4).size() == 3; }));
    Settle();
  }
  // No request ever asks caches on the way to skip their copy.
  for (const TFixtureRequest& request : FFixture.Requests()) {
    EXPECT_FALSE(request.HasHeader("Cache-Control")) << request.Header("Cache-Control");
    EXPECT_FALSE(request.HasHeader("Pragma")) << request.Header("Pragma");
  }
}

// A stale tile that changed on the server is replaced: in the memory cache
// (one copy), on screen after the repaint it asks for, and on disk, its file
// and record in one step each.
TEST_F(TileCacheTest, ChangedTileReplacesTheFile) {
  Serve(FTileBytes, "\"v1\"", kLastModified, "max-age=60");
  TVuroduDavServer& server = MakeServer();
  Fetch(8, 5, 4);
  FNow += 61;
  const std::string newBytes = SolidPng(kNewColor);
  Serve(newBytes, "\"v2\"", "", "max-age=60");
  FRepaints = 0;
  EXPECT_EQ(server.GetTile(8, 5, 4).pixel(5, 5), kTileColor);
  ASSERT_TRUE(WaitUntil([&] { return FRepaints >= 1; }));
  EXPECT_EQ(server.GetTile(8, 5, 4).pixel(5, 5), kNewColor);
  EXPECT_TRUE(server.TileOK());
  EXPECT_EQ(server.CacheCount(), 1);
  EXPECT_EQ(ReadFile(TileFile(8, 5, 4)), newBytes);
  const TTileMeta meta = RecordOf(8, 5, 4);
  EXPECT_EQ(meta.ETag, "\"v2\"");
  EXPECT_TRUE(meta.LastModified.empty());
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(TileFile(8, 5, 4)).parent_path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"5", "5.meta"}));
  // A new server reads the new version from disk.
  MakeServer();
  EXPECT_EQ(FServer->GetTile(8, 5, 4).pixel(5, 5), kNewColor);
  Pump(100);
  EXPECT_EQ(FFixture.RequestCount(), 2u);
}

// A tile whose file has no usable record (stored by an older program, or the
// record was made for other bytes) is as old as its file, with the default
// lifetime of 7 days, and has no validators to send.
TEST_F(TileCacheTest, TileWithoutUsableRecordCountsFromItsFile) {
  const int64_t day = 24 * 3600;
  TTileMeta other;
  other.Expires = FNow + 100000;
  other.ETag = "\"old\"";
  const struct {
    const char* What;
    int64_t AgeDays;
    bool WrongRecord;
    bool Asked;
  } cases[] = {
      {"no record, 6 days old", 6, false, false},
      {"no record, 8 days old", 8, false, true},
      {"record of other bytes, 8 days old", 8, true, true},
  };
  int x = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    ++x;
    const std::string path = TileFile(x, 5, 4);
    ASSERT_TRUE(WriteTileFile(path, FTileBytes));
    if (c.WrongRecord) {
      ASSERT_TRUE(WriteTileMeta(path, other, "other bytes"));
    }
    const struct timespec times[2] = {{static_cast<time_t>(FNow - c.AgeDays * day), 0},
                                      {static_cast<time_t>(FNow - c.AgeDays * day), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    Serve(FTileBytes, "\"v1\"", "", "max-age=3600");
    TVuroduDavServer& server = MakeServer();
    EXPECT_EQ(server.GetTile(x, 5, 4).pixel(1, 1), kTileColor);
    Pump(150);
    Settle();
    const auto requests = RequestsFor(x, 5, 4);
    ASSERT_EQ(requests.size(), c.Asked ? 1u : 0u);
    if (c.Asked) {
      EXPECT_FALSE(requests[0].HasHeader("If-None-Match"));
      EXPECT_EQ(RecordOf(x, 5, 4).ETag, "\"v1\"");  // the answer's record now
    }
  }
}

// "no-store": the tile is shown but never written to disk.
TEST_F(TileCacheTest, NoStoreIsNotWrittenToDisk) {
  Serve(FTileBytes, "\"v1\"", "", "no-store");
  TVuroduDavServer& server = MakeServer();
  Fetch(8, 5, 4);
  EXPECT_EQ(server.GetTile(8, 5, 4).pixel(1, 1), kTileColor);
  EXPECT_FALSE(fs::exists(TileFile(8, 5, 4)));
  EXPECT_FALSE(fs::exists(TileMetaPath(TileFile(8, 5, 4))));
}

// Tiles downloaded beyond the budget push the least recently used ones out
// of the disk cache, records included.
TEST_F(TileCacheTest, DiskCacheKeepsItsBudget) {
  Serve(FTileBytes, "\"v1\"", kLastModified, "max-age=3600");
  TVuroduDavServer& server = MakeServer();
  Fetch(0, 0, 4);
  server.DiskCache()->Flush();
  const uint64_t perTile = server.DiskCache()->Bytes();
  ASSERT_GT(perTile, FTileBytes.size());  // the record counts too
  SetSetting("tiles.disk-cache-bytes", std::to_string(2 * perTile + perTile / 2));
  for (int x = 1; x <= 4; ++x) {
    Fetch(x, 0, 4);
    server.DiskCache()->Flush();
    EXPECT_LE(server.DiskCache()->Bytes(), 2 * perTile + perTile / 2);
  }
  for (int x = 0; x <= 4; ++x) {
    EXPECT_EQ(fs::exists(TileFile(x, 0, 4)), x >= 3) << x;
    EXPECT_EQ(fs::exists(TileMetaPath(TileFile(x, 0, 4))), x >= 3) << x;
  }
  EXPECT_EQ(server.DiskCache()->TileCount(), 2u);
}

// A 429 pauses every request to its host for the Retry-After (or the
// setting), counted on the process tick; a tile asked for meanwhile comes
// once the pause is over, announced by a repaint request.
TEST_F(TileCacheTest, TooManyRequestsPausesTheHost) {
  std::atomic<uint32_t> tick{10000};
  TScopedTickSource tickSource([&] { return tick.load(); });
  const struct {
    const char* What;
    std::function<std::string()> RetryAfter;
    const char* Setting;
    const char* Value;
  } cases[] = {
      {"delta seconds", [] { return std::string("30"); }, "", ""},
      {"HTTP date", [this] { return FormatHttpDate(FNow + 30); }, "", ""},
      {"none: the setting", [] { return std::string(); }, "tiles.host-pause", "30000"},
      {"capped by the setting", [] { return std::string("600"); }, "tiles.host-pause-max", "30000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    ResetTileHostPauses();
    FFixture.ClearRequests();
    if (c.Setting[0] != '\0') SetSetting(c.Setting, c.Value);
    FFixture.ServeTooManyRequests("/osm/4/1/1.png", c.RetryAfter());
    Serve(FTileBytes, "", "", "");
    TVuroduDavServer& server = MakeServer(false);
    server.GetTile(1, 1, 4);
    ASSERT_TRUE(FFixture.WaitForRequests(1));
    Settle();
    EXPECT_EQ(TileHostPauseMs("127.0.0.1:" + std::to_string(FFixture.Port())), 30000u);

    EXPECT_TRUE(IsPlaceholder(server.GetTile(2, 1, 4)));  // another tile of the host
    tick += 29999;
    server.GetTile(2, 1, 4);
    Pump(250);
    EXPECT_EQ(FFixture.RequestCount(), 1u);
    EXPECT_EQ(FRepaints, 0);

    tick += 1;
    ASSERT_TRUE(WaitUntil([&] { return FRepaints >= 1; }));  // the pause is over
    Fetch(2, 1, 4);
    EXPECT_EQ(FFixture.RequestCount(), 2u);
    FServer.reset();
    ResetSettings();
    SetEndpoint("osm", FFixture.Url("/osm/{z}/{x}/{y}.png"));
    FFixture.RemoveRoute("/osm/4/1/1.png");
  }
}

// A worker that waited for a connection while another one was told to slow
// down sends nothing once its turn comes.
TEST_F(TileCacheTest, WaitingWorkersDoNotSendAfterA429) {
  std::atomic<uint32_t> tick{10000};
  TScopedTickSource tickSource([&] { return tick.load(); });
  SetSetting("max-connections.127.0.0.1:" + std::to_string(FFixture.Port()), "1");
  FFixture.Hold("gate");
  FFixture.Handle("/osm/4/1/1.png", [this](const TFixtureRequest&, httplib::Response& response) {
    FFixture.WaitRelease("gate");
    response.status = 429;
    response.set_header("Retry-After", "60");
    response.set_content("slow down", "text/plain");
  });
  Serve(FTileBytes, "", "", "");
  TVuroduDavServer& server = MakeServer(false);
  server.GetTile(1, 1, 4);
  ASSERT_TRUE(FFixture.WaitForInFlight(1));
  for (int x = 2; x <= 4; ++x) server.GetTile(x, 1, 4);  // waiting for the one connection
  Pump(50);
  FFixture.ReleaseAll();
  Settle();
  Pump(100);
  EXPECT_EQ(FFixture.RequestCount(), 1u);
  for (int x = 2; x <= 4; ++x) server.GetTile(x, 1, 4);
  Pump(100);
  EXPECT_EQ(FFixture.RequestCount(), 1u);
  tick += 60000;
  for (int x = 2; x <= 4; ++x) Fetch(x, 1, 4);
  EXPECT_EQ(FFixture.RequestCount(), 4u);
}

}  // namespace
}  // namespace wy

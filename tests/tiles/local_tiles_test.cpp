// Tiles without a tile server: the service drawing the built-in world map,
// stand-in tiles for failed ones, and local sources (an MBTiles file, a
// folder of tile files).

#include <atomic>
#include <filesystem>
#include <fstream>

#include "platform/tick.h"
#include "support/mbtiles_builder.h"
#include "tile_server_fixture.h"
#include "tiles/basemap_tiles.h"
#include "tiles/local_tile_source.h"
#include "tiles/mbtiles.h"

namespace wy {
namespace tile_test {
namespace {

// A distinct colour per tile.
QRgb Colour(int x, int y, int z) {
  return qRgb(40 + 50 * x, 30 + 60 * y, 20 * z);
}

bool FolderIsEmpty(const std::string& folder) {
  std::error_code error;
  return !fs::exists(folder, error) || fs::is_empty(folder, error);
}

using LocalTilesTest = TileServerTest;

// The offline service draws its tiles: real at once, no request, nothing on
// disk, nothing in the memory cache.
TEST_F(LocalTilesTest, OfflineServiceDrawsWithoutNetworkOrDisk) {
  TVuroduDavServer& server = MakeServer();
  server.SetTileServer(tsOffline);
  EXPECT_EQ(server.TileServerInfo().Name, "OFFLINE");
  EXPECT_EQ(server.TileServerInfo().MaxZoom, 10);
  FEvents.clear();
  const QImage image = server.GetTile(8, 5, 4);
  EXPECT_TRUE(server.TileOK());
  EXPECT_FALSE(server.TileStoodIn());
  EXPECT_EQ(image, BasemapTile(8, 5, 4, 1, true));
  EXPECT_EQ(FEvents, (std::vector<std::array<int, 4>>{{8, 5, 4, 1}}));
  Pump(50);
  EXPECT_EQ(FFixture.RequestCount(), 0u);
  EXPECT_EQ(server.CacheCount(), 0);
  EXPECT_TRUE(FolderIsEmpty(FCacheDir));
  EXPECT_EQ(StrToTileServer("offline"), tsOffline);
}

// A failed tile shows the world map (stand-in on) until the real one
// arrives; the stand-in is kept neither in memory nor under the service's
// folder on disk. A tile still loading keeps the placeholder.
TEST_F(LocalTilesTest, StandInForFailedTilesUntilTheRealOneArrives) {
  std::atomic<uint32_t> tick{5000};
  TScopedTickSource tickSource([&] { return tick.load(); });
  std::atomic<bool> healthy{false};
  ServeOnceHealthy(healthy);
  TVuroduDavServer& server = MakeServer();
  server.SetStandIn(true);
  EXPECT_TRUE(IsPlaceholder(server.GetTile(8, 5, 4)));  // loading
  EXPECT_FALSE(server.TileStoodIn());
  ASSERT_TRUE(FFixture.WaitForRequests(1));
  ASSERT_TRUE(WaitUntil([&] { return server.ActiveDownloads() == 0; }));

  const QImage standIn = server.GetTile(8, 5, 4);
  EXPECT_EQ(standIn, BasemapTile(8, 5, 4));
  EXPECT_FALSE(server.TileOK());
  EXPECT_TRUE(server.TileStoodIn());
  EXPECT_EQ(FEvents.back(), (std::array<int, 4>{8, 5, 4, 0}));
  EXPECT_EQ(server.CacheCount(), 0);
  EXPECT_TRUE(FolderIsEmpty(FCacheDir + "/OSM"));

  // The server recovers: after the back-off the real tile replaces it.
  healthy = true;
  tick += TVuroduDavServer::kRetryFirstMs;
  ASSERT_TRUE(WaitUntil([&] { return FRepaints >= 1; }));
  EXPECT_EQ(server.GetTile(8, 5, 4), standIn);  // asked for again, still standing in
  ASSERT_TRUE(WaitUntil([&] { return EventsWith(1) == 1; }));
  EXPECT_EQ(server.GetTile(8, 5, 4).pixel(3, 3), kTileColor);
  EXPECT_TRUE(server.TileOK());
  EXPECT_FALSE(server.TileStoodIn());
  EXPECT_EQ(ReadFile(TileFile(8, 5, 4)), FTileBytes);

  // Off: a failed tile keeps the placeholder.
  FFixture.HandleRegex(kTilePattern, [&](const TFixtureRequest&, httplib::Response& response) {
    response.status = 503;
  });
  server.SetStandIn(false);
  server.GetTile(9, 5, 4);
  ASSERT_TRUE(FFixture.WaitForRequests(3));
  ASSERT_TRUE(WaitUntil([&] { return server.ActiveDownloads() == 0; }));
  EXPECT_TRUE(IsPlaceholder(server.GetTile(9, 5, 4)));
  EXPECT_FALSE(server.TileStoodIn());
}

TEST_F(LocalTilesTest, MbTilesRowsCountFromTheSouth) {
  const std::string path = FCacheDir + "/world.mbtiles";
  std::vector<TMbTile> tiles;
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 2; ++y) tiles.push_back({x, y, 1, SolidPng(Colour(x, y, 1))});
  tiles.push_back({3, 1, 2, SolidJpeg(Colour(3, 1, 2))});
  ASSERT_TRUE(WriteMbTiles(path,
                           {{"name", "World"},
                            {"format", "png"},
                            {"minzoom", "1"},
                            {"maxzoom", "2"},
                            {"attribution",
                             "<a href=\"https://x.test/\">&copy; Someone</a>\n"
                             "&amp; others"}},
                           tiles));

  TVuroduDavServer& server = MakeServer();
  server.SetStandIn(true);
  std::string error;
  ASSERT_TRUE(UseLocalTileSource(path, server.TileServerInfo(), error)) << error;
  const TTileServerInfo& info = server.TileServerInfo();
  EXPECT_TRUE(info.LocalPath);
  EXPECT_EQ(info.MinZoom, 1);
  EXPECT_EQ(info.MaxZoom, 2);
  EXPECT_EQ(info.Name, "MBTILES-world");
  EXPECT_EQ(info.CopyRight, "&copy; Someone & others");
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 2; ++y) {
      EXPECT_EQ(server.GetTile(x, y, 1).pixel(100, 100), Colour(x, y, 1)) << x << "," << y;
      EXPECT_TRUE(server.TileOK());
    }
  // A JPEG tile in a PNG file is still read (the bytes tell their type).
  EXPECT_NEAR(qRed(server.GetTile(3, 1, 2).pixel(9, 9)), qRed(Colour(3, 1, 2)), 3);
  // A tile the file lacks stands in from the world map.
  EXPECT_EQ(server.GetTile(0, 0, 2), BasemapTile(0, 0, 2));
  EXPECT_FALSE(server.TileOK());
  EXPECT_TRUE(server.TileStoodIn());
  Pump(50);
  EXPECT_EQ(FFixture.RequestCount(), 0u);
  EXPECT_FALSE(fs::exists(FCacheDir + "/MBTILES-world"));

  // Choosing a service drops the local source.
  server.SetTileServer(tsOpenCycleMap);
  EXPECT_FALSE(server.TileServerInfo().LocalPath);
  EXPECT_FALSE(server.TileServerInfo().GetTileData);
}

TEST_F(LocalTilesTest, MbTilesMetadataAndFilesThatAreNone) {
  const std::string bare = FCacheDir + "/bare.mbtiles";
  // Stored at rows 0 and 31: the southernmost row of each zoom.
  ASSERT_TRUE(WriteMbTiles(bare, {}, {{0, 7, 3, "a"}, {0, 31, 5, "b"}}, false));
  std::string error;
  auto file = TMbTiles::Open(bare, error);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->MinZoom(), 3);  // from the tiles
  EXPECT_EQ(file->MaxZoom(), 5);
  EXPECT_EQ(file->Format(), stPng);
  std::string bytes;
  EXPECT_TRUE(file->ReadTile(0, 7, 3, bytes));
  EXPECT_EQ(bytes, "a");
  EXPECT_TRUE(file->ReadTile(0, 31, 5, bytes));
  EXPECT_EQ(bytes, "b");
  for (const auto& t :
       std::vector<std::array<int, 3>>{{0, 0, 3}, {8, 7, 3}, {0, -1, 3}, {0, 0, 31}})
    EXPECT_FALSE(file->ReadTile(t[0], t[1], t[2], bytes));

  const std::string jpeg = FCacheDir + "/jpeg.mbtiles";
  ASSERT_TRUE(WriteMbTiles(jpeg, {{"format", "JPG"}, {"minzoom", "x"}}, {{0, 0, 4, "c"}}));
  file = TMbTiles::Open(jpeg, error);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->Format(), stJpeg);
  EXPECT_EQ(file->MinZoom(), 4);

  const std::string text = FCacheDir + "/text.mbtiles";
  std::ofstream(text) << "not a database at all, but long enough to look like one's header";
  const std::string vector = FCacheDir + "/vector.mbtiles";
  ASSERT_TRUE(WriteMbTiles(vector, {{"format", "pbf"}}, {}));
  const std::string noTiles = FCacheDir + "/empty.sqlite";
  { std::ofstream touch(noTiles); }
  ASSERT_TRUE(WriteMbTiles(FCacheDir + "/x.mbtiles", {}, {}));
  for (const std::string& path : {text, vector, FCacheDir + "/missing.mbtiles", noTiles}) {
    TTileServerInfo info;
    info.Name = "unchanged";
    error.clear();
    EXPECT_FALSE(UseLocalTileSource(path, info, error)) << path;
    EXPECT_FALSE(error.empty()) << path;
    EXPECT_EQ(info.Name, "unchanged");
    EXPECT_FALSE(info.LocalPath);
  }
}

TEST_F(LocalTilesTest, TileFolderServesItsFiles) {
  const std::string root = FCacheDir + "/tiles";
  for (int z : {2, 4}) {
    fs::create_directories(root + "/" + std::to_string(z) + "/1");
    std::ofstream(root + "/" + std::to_string(z) + "/1/2.png", std::ios::binary)
        << SolidPng(Colour(1, 2, z));
  }
  fs::create_directories(root + "/notes");
  TVuroduDavServer& server = MakeServer();
  std::string error;
  ASSERT_TRUE(UseLocalTileSource(root + "/", server.TileServerInfo(), error)) << error;
  EXPECT_EQ(server.TileServerInfo().MinZoom, 2);
  EXPECT_EQ(server.TileServerInfo().MaxZoom, 4);
  EXPECT_EQ(server.TileServerInfo().Name, "DIR-tiles");
  EXPECT_EQ(server.GetTile(1, 2, 4).pixel(50, 50), Colour(1, 2, 4));
  EXPECT_TRUE(server.TileOK());
  EXPECT_TRUE(IsPlaceholder(server.GetTile(2, 2, 4)));
  EXPECT_FALSE(server.TileOK());
  Pump(50);
  EXPECT_EQ(FFixture.RequestCount(), 0u);

  TTileServerInfo info;
  fs::create_directories(FCacheDir + "/plain/a");
  EXPECT_FALSE(UseLocalTileSource(FCacheDir + "/plain", info, error));
  EXPECT_FALSE(info.LocalPath);
}

TEST(PlainAttributionTest, OneLineOfText) {
  EXPECT_EQ(PlainAttribution("<b>Map</b> &amp; data\r\n\t(c) <i>x</i>"), "Map & data   (c) x");
  EXPECT_EQ(PlainAttribution("  "), "");
  // Cut at a character boundary: 199 ASCII bytes then a 2-byte character.
  const std::string cut = PlainAttribution(std::string(199, 'a') + "\xC3\xA9" + "tail");
  EXPECT_EQ(cut, std::string(199, 'a'));
}

}  // namespace
}  // namespace tile_test
}  // namespace wy

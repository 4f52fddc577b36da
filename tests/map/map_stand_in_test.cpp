// The map's base layer with a failing tile server: the built-in world map
// stands in tile by tile, and each real tile takes its place when it comes.

#include <gtest/gtest.h>

#include <QImage>
#include <atomic>
#include <chrono>
#include <thread>

#include "map/map_control.h"
#include "map_test_support.h"
#include "platform/tick.h"
#include "platform/window_thread.h"
#include "tiles/basemap_tiles.h"
#include "tiles/tile_server.h"

namespace wy {
namespace maptest {
namespace {

using MapStandInTest = TMapWindowTest;

// Renders and lets queued calls run until pred holds (the steady clock
// counts: the test freezes the process tick).
template <typename Pred>
bool RenderUntil(TWyVuroduDav& map, Pred pred, uint32_t timeoutMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    ProcessPendingMessages();
    map.RedrawMap(false);
    if (pred()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST_F(MapStandInTest, FailedTilesShowTheWorldMapUntilTheyArrive) {
  std::atomic<uint32_t> tick{10000};
  TScopedTickSource tickSource([&] { return tick.load(); });
  std::atomic<bool> healthy{false};
  FTiles.Server().HandleRegex(R"(/flaky/(\d+)/(\d+)/(\d+)\.png)",
                              [&](const TFixtureRequest& request, httplib::Response& response) {
                                if (!healthy) {
                                  response.status = 503;
                                  return;
                                }
                                const int x = std::stoi(request.Captures.at(1));
                                const int y = std::stoi(request.Captures.at(2));
                                response.set_content(SolidPng(TileColor(x, y)), "image/png");
                              });
  SetEndpoint("osm", FTiles.Server().Url("/flaky/{z}/{x}/{y}.png"));
  // Zoom 2 in a 1024 x 1024 map: the whole world, tile (x, y) at 256 x, 256 y.
  TWyVuroduDav& map = MakeMap(1024, 1024);
  map.SetLocalCache("");
  map.SetZoom(2);
  map.setCenter(0, 0);
  TVuroduDavServer& server = map.MapServer();
  auto pixelOf = [&](int x, int y) { return map.ScreenShot().pixel(256 * x + 40, 256 * y + 40); };

  ASSERT_TRUE(RenderUntil(map, [&] {
    return FTiles.Server().RequestCount() >= 16 && server.ActiveDownloads() == 0 &&
           pixelOf(1, 1) == BasemapTile(1, 1, 2).pixel(40, 40);
  }));
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 4; ++y)
      EXPECT_EQ(pixelOf(x, y), BasemapTile(x, y, 2).pixel(40, 40)) << x << "," << y;
  EXPECT_EQ(server.CacheCount(), 0);

  healthy = true;
  tick += TVuroduDavServer::kRetryFirstMs;
  ASSERT_TRUE(RenderUntil(map, [&] { return pixelOf(3, 3) == TileColor(3, 3); }));
  ASSERT_TRUE(RenderUntil(map, [&] {
    for (int x = 0; x < 4; ++x)
      for (int y = 0; y < 4; ++y)
        if (pixelOf(x, y) != TileColor(x, y)) return false;
    return true;
  }));
}

}  // namespace
}  // namespace maptest
}  // namespace wy

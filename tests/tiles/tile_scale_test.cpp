// Tiles for a high-density screen (tile scale 2): a service's
// high-resolution tiles where it has them, else the ordinary tile enlarged
// and the enlargement kept apart from it; never the next zoom level.

#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <set>
#include <string>

#include "geo/enums.h"
#include "geo/settings.h"
#include "support/image_helpers.h"
#include "tiles/basemap.h"
#include "tiles/basemap_tiles.h"
#include "tiles/tile_server.h"
#include "tiles/tile_server_fixture.h"

namespace wy {
namespace {

using namespace tile_test;

const QRgb kHighColor = qRgb(30, 160, 60);

// Columns alternately black and white: an enlargement that only repeats
// pixels keeps two colours, a smooth one makes greys between them.
QImage Stripes() {
  QImage image(256, 256, QImage::Format_RGB32);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) image.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
  return image;
}

class TileScaleTest : public TileServerTest {
 protected:
  // Tile (8, 5, 4) once it came, as drawn at scale 2: 512 pixels at a
  // device pixel ratio of 2.
  QImage DenseTile() {
    Fetch(8, 5, 4);
    const QImage tile = FServer->GetTile(8, 5, 4);
    EXPECT_TRUE(FServer->TileOK());
    EXPECT_EQ(tile.size(), QSize(512, 512));
    EXPECT_EQ(tile.devicePixelRatio(), 2.0);
    return tile;
  }
};

TEST_F(TileScaleTest, OrdinaryTilesAreEnlargedSmoothlyAndKeptApart) {
  FTileBytes = EncodePngImage(Stripes());
  TVuroduDavServer& server = MakeServer();
  server.SetTileScale(2);
  EXPECT_FALSE(server.HighResolutionSource()) << "the service has no high-resolution tiles";
  const QImage tile = DenseTile();
  std::set<QRgb> colours;
  for (int x = 0; x < 64; ++x) colours.insert(tile.pixel(x, 100));
  EXPECT_GT(colours.size(), 2u) << "enlarged smoothly";
  EXPECT_EQ(server.ScaledCount(), 1);
  EXPECT_NE(server.ScaledTileKey(8, 5, 4), server.TileKey(8, 5, 4));

  // Kept: the next frame draws the same enlargement.
  EXPECT_EQ(server.GetTile(8, 5, 4).cacheKey(), tile.cacheKey());
  EXPECT_EQ(server.ScaledCount(), 1);

  // The tile itself is stored as it came, under its usual name, and drawn
  // as it is at scale 1.
  EXPECT_EQ(ReadFile(TileFile(8, 5, 4)), FTileBytes);
  EXPECT_EQ(server.CacheCount(), 1);
  server.SetTileScale(1);
  const QImage& plain = server.GetTile(8, 5, 4);
  EXPECT_EQ(plain.size(), QSize(256, 256));
  EXPECT_EQ(plain.devicePixelRatio(), 1.0);
  EXPECT_EQ(plain.convertToFormat(QImage::Format_RGB32), Stripes());

  // One request, for the tile's own zoom level.
  ASSERT_EQ(FFixture.RequestCount(), 1u);
  EXPECT_EQ(FFixture.Requests().at(0).Path, "/osm/4/8/5.png");
}

TEST_F(TileScaleTest, HighResolutionTilesComeFromTheirOwnAddressAndFolder) {
  FFixture.HandleRegex(R"(/osm/(\d+)/(\d+)/(\d+)@2x\.png)",
                       [](const TFixtureRequest&, httplib::Response& response) {
                         response.set_content(SolidPng(kHighColor, 512, 512), "image/png");
                       });
  SetEndpoint("osm-2x", FFixture.Url("/osm/{z}/{x}/{y}@2x.png"));
  TVuroduDavServer& server = MakeServer();
  EXPECT_FALSE(server.HighResolutionSource()) << "only at scale 2";
  server.SetTileScale(2);
  EXPECT_TRUE(server.HighResolutionSource());
  const QImage tile = DenseTile();
  EXPECT_EQ(tile.pixel(300, 300), kHighColor);
  EXPECT_EQ(server.ScaledCount(), 0);
  ASSERT_EQ(FFixture.RequestCount(), 1u);
  EXPECT_EQ(FFixture.Requests().at(0).Path, "/osm/4/8/5@2x.png");
  // In a folder of its own: the ordinary tile's name stays free.
  EXPECT_TRUE(fs::exists(FCacheDir + "/OSM@2x/4/8/5"));
  EXPECT_FALSE(fs::exists(TileFile(8, 5, 4)));

  // Back at scale 1 the ordinary tile is asked for and kept beside it.
  server.SetTileScale(1);
  const int loaded = EventsWith(1);
  EXPECT_TRUE(IsPlaceholder(server.GetTile(8, 5, 4)));
  EXPECT_FALSE(server.TileOK());
  ASSERT_TRUE(WaitUntil([&] { return EventsWith(1) > loaded; }));
  const QImage& plain = server.GetTile(8, 5, 4);
  EXPECT_EQ(plain.size(), QSize(256, 256));
  EXPECT_EQ(plain.pixel(10, 10), kTileColor);
  EXPECT_EQ(ReadFile(TileFile(8, 5, 4)), FTileBytes);
  EXPECT_EQ(server.CacheCount(), 2);
}

TEST_F(TileScaleTest, DrawnTilesAreDrawnAtTheScreensDensity) {
  TVuroduDavServer& server = MakeServer();
  server.SetTileServer(tsOffline);
  server.SetTileScale(2);
  const QImage tile = server.GetTile(1, 1, 2);
  EXPECT_TRUE(server.TileOK());
  EXPECT_EQ(tile.size(), QSize(512, 512));
  EXPECT_EQ(tile.devicePixelRatio(), 2.0);
  EXPECT_EQ(tile, BasemapTile(1, 1, 2, 2, true));
  EXPECT_EQ(server.ScaledCount(), 0) << "drawn, not enlarged";
  EXPECT_EQ(FFixture.RequestCount(), 0u);

  // The same map as at scale 1: about as much land (the coasts and borders
  // over it take a different share of the pixels at each density).
  const QImage plain = BasemapTile(1, 1, 2);
  auto landShare = [](const QImage& image) {
    int64_t land = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) land += image.pixel(x, y) == kBasemapLand ? 1 : 0;
    return double(land) / (image.width() * image.height());
  };
  EXPECT_GT(landShare(plain), 0.05);
  EXPECT_NEAR(landShare(tile), landShare(plain), 0.05);
}

}  // namespace
}  // namespace wy

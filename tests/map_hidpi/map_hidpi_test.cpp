// The map on a screen of two device pixels per widget pixel: the frame has
// the screen's pixels, lines are as thick in widget units as on an ordinary
// screen, tiles come at twice the density, and everything the map reports
// stays in widget units.

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <set>
#include <string>
#include <vector>

#include "map/map_control.h"
#include "map/map_test_support.h"
#include "map/map_viewport.h"
#include "shapes/shape_line.h"
#include "shapes/shapes_group.h"
#include "tiles/tile_server.h"

namespace wy {
namespace maptest {
namespace {

class MapHiDpiTest : public TMapWindowTest {
 protected:
  void SetUp() override {
    // Placed before it is shown, so that no tile of another view is asked for.
    MakeMap(400, 300, false);
    FMap->SetLocalCache("");
    FMap->SetZoom(3);
    FMap->setCenter(20, 10);
    FWindow->show();
    ASSERT_EQ(FMap->devicePixelRatioF(), 2.0) << "the screen was not set up";
  }
  // Renders until every visible tile is the loopback server's.
  bool RenderTiles() {
    return PumpUntil([&] {
      FMap->RedrawMap(false);
      return FMap->MapServer().ActiveDownloads() == 0 && FMap->MapServer().TileOK() &&
             FMap->PendingRepaints() == 0 && AllTilesShown();
    });
  }
  // Whether the frame shows the loopback tiles everywhere (sampled in the
  // middle of every tile cell in view).
  bool AllTilesShown() {
    const QImage& frame = FMap->ScreenShot();
    const qreal dpr = frame.devicePixelRatio();
    for (int64_t x = FMap->FX() % 256 - 256; x < 400; x += 256)
      for (int64_t y = FMap->FY() % 256 - 256; y < 300; y += 256) {
        const int px = static_cast<int>(x + 128), py = static_cast<int>(y + 128);
        if (px < 0 || py < 0 || px >= 400 || py >= 280) continue;
        const int tx = static_cast<int>((px - FMap->FX()) / 256);
        const int ty = static_cast<int>((py - FMap->FY()) / 256);
        if (frame.pixel(static_cast<int>(px * dpr), static_cast<int>(py * dpr)) !=
            TileColor(tx, ty))
          return false;
      }
    return true;
  }
};

TEST_F(MapHiDpiTest, FrameHasTheScreensPixelsAndTilesComeEnlargedFromTheirOwnZoom) {
  ASSERT_TRUE(RenderTiles());
  const QImage& frame = FMap->ScreenShot();
  EXPECT_EQ(frame.size(), QSize(800, 600));
  EXPECT_EQ(frame.devicePixelRatio(), 2.0);
  EXPECT_EQ(FMap->width(), 400);
  EXPECT_EQ(FMap->height(), 300);
  EXPECT_EQ(FMap->MapServer().TileScale(), 2);
  EXPECT_FALSE(FMap->MapServer().HighResolutionSource());
  EXPECT_GT(FMap->MapServer().ScaledCount(), 0);
  // Only tiles of the zoom shown were asked for, each once.
  std::set<std::string> paths;
  for (const TFixtureRequest& request : FTiles.Server().Requests()) {
    EXPECT_EQ(request.Path.rfind("/osm/3/", 0), 0u) << request.Path;
    EXPECT_TRUE(paths.insert(request.Path).second) << request.Path;
  }
}

TEST_F(MapHiDpiTest, HighResolutionTilesAreAskedForWhereTheServiceHasThem) {
  FTiles.Server().HandleRegex(R"(/osm2x/(\d+)/(\d+)/(\d+)@2x\.png)",
                              [](const TFixtureRequest& request, httplib::Response& response) {
                                const int x = std::stoi(request.Captures.at(1));
                                const int y = std::stoi(request.Captures.at(2));
                                response.set_content(SolidPng(TileColor(x, y), 512, 512),
                                                     "image/png");
                              });
  // Ordinary tiles already on their way reach the server first, so that
  // none of them can arrive after the switch below on a busy machine.
  ASSERT_TRUE(PumpUntil([&] { return FMap->MapServer().ActiveDownloads() == 0; }));
  SetEndpoint("osm-2x", FTiles.Server().Url("/osm2x/{z}/{x}/{y}@2x.png"));
  FMap->MapServer().ClearCache();
  FMap->RedrawMap(false);
  ASSERT_TRUE(RenderTiles());
  EXPECT_TRUE(FMap->MapServer().HighResolutionSource());
  EXPECT_EQ(FMap->MapServer().ScaledCount(), 0) << "nothing to enlarge";
  int high = 0;
  for (const TFixtureRequest& request : FTiles.Server().Requests()) {
    if (request.Path.rfind("/osm2x/3/", 0) == 0) ++high;
  }
  EXPECT_GT(high, 0);
  // The ordinary tiles asked for before the template was set are all there
  // are of those: none after.
  const auto requests = FTiles.Server().Requests();
  EXPECT_EQ(requests.back().Path.rfind("/osm2x/", 0), 0u) << requests.back().Path;
}

TEST_F(MapHiDpiTest, LinesAreDrawnInWidgetUnitsAtTheScreensDensity) {
  ASSERT_TRUE(RenderTiles());
  // A horizontal line of weight 1 across the middle, in a colour no tile has.
  const TLatLng a = FMap->FromXYToLatLng(50, 150);
  const TLatLng b = FMap->FromXYToLatLng(350, 150);
  auto* line = static_cast<TWyShapeLine*>(FMap->Add(nsLine, a.Lat, a.Lng));
  line->Add(b.Lat, b.Lng, 0);
  line->SetColor(0x0000FF);  // red (0x00BBGGRR)
  line->SetWeight(1);
  FMap->RedrawMap(false);
  const QImage& frame = FMap->ScreenShot();
  ASSERT_EQ(frame.size(), QSize(800, 600));
  // Down one device column in the middle of the line: two red pixels.
  std::vector<int> red;
  for (int y = 280; y < 320; ++y)
    if (frame.pixel(400, y) == qRgb(255, 0, 0)) red.push_back(y);
  ASSERT_EQ(red.size(), 2u);
  EXPECT_EQ(red[1], red[0] + 1);
  // Where it is in widget units.
  EXPECT_NEAR(red[0] / 2.0, 150, 1.0);

  // Drawn again from what is remembered of the stroke: the same pixels.
  const QImage before = frame.copy();
  FMap->RedrawMap(false);
  FMap->RedrawMap(false);
  EXPECT_EQ(FMap->ScreenShot(), before);
}

TEST_F(MapHiDpiTest, PointerPositionsStayInWidgetUnits) {
  ASSERT_TRUE(RenderTiles());
  std::vector<TLatLng> clicks;
  FMap->OnMapClick = [&](TVuroduDavControl*, double lat, double lng) {
    clicks.push_back({lng, lat});
  };
  // The same view computed without any screen.
  TMapViewport view;
  view.SetSize(400, 300);
  view.SetZoom(3);
  view.CenterOn(20, 10);
  for (const QPoint at : {QPoint(10, 20), QPoint(200, 150), QPoint(390, 290)}) {
    clicks.clear();
    QTest::mouseClick(FMap, Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_EQ(clicks.size(), 1u) << at.x() << "," << at.y();
    const TLatLng expected = view.FromXYToLatLng(at.x(), at.y());
    EXPECT_NEAR(clicks[0].Lat, expected.Lat, 1e-9) << at.x() << "," << at.y();
    EXPECT_NEAR(clicks[0].Lng, expected.Lng, 1e-9) << at.x() << "," << at.y();
  }
}

}  // namespace
}  // namespace maptest
}  // namespace wy

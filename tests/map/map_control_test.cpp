#include "map/map_control.h"

#include <gtest/gtest.h>

#include <QWidget>
#include <atomic>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "geo/geodesy.h"
#include "geo/text_convert.h"
#include "graphics/system_colors.h"
#include "map/map_observer.h"
#include "map_test_support.h"
#include "platform/log.h"
#include "platform/map_messages.h"
#include "platform/tick.h"
#include "tiles/tile_server.h"

namespace wy {
namespace {

using maptest::PumpUntil;
using maptest::TileColor;
using maptest::TTileFixture;

class MapTest : public maptest::TMapWindowTest {
 protected:
  // Records the observer messages the map sends.
  struct TLog {
    TVuroduDavObserver Observer;
    std::vector<uint32_t> Messages;
    TLog() {
      auto log = [this](uint32_t m) { return [this, m](void*) { Messages.push_back(m); }; };
      Observer.OnMapMove = log(omMapMove);
      Observer.OnMapBounds = log(omMapBounds);
      Observer.OnMapResize = log(omMapResize);
      Observer.OnMapEndMove = log(omMapEndMove);
      Observer.OnMapTileServer = log(omMapTileServer);
      Observer.OnMapFree = log(omMapFree);
      Observer.OnMapAnimation = log(omMapAnimation);
    }
    int Count(uint32_t m) const {
      int n = 0;
      for (uint32_t v : Messages) n += v == m ? 1 : 0;
      return n;
    }
  };
};

TEST_F(MapTest, DefaultsAndCentringAtTheControlSize) {
  // Made in code and not shown yet: 256 x 256, centred on the default place.
  TWyVuroduDav& map = MakeMap(800, 600, false);
  EXPECT_EQ(map.Zoom(), 14);
  EXPECT_EQ(map.MinZoom(), 2);
  EXPECT_EQ(map.MaxZoom(), 18);
  EXPECT_EQ(map.TileServer(), tsOSM);
  EXPECT_EQ(map.CacheSize(), 256);
  EXPECT_TRUE(map.Draggable() && map.DblClickZoom() && map.MouseWheelZoom() &&
              map.AntiFreezeOnLoad() && map.ShowCopyrightTile());
  EXPECT_EQ(map.LocalCache(), "");
  // The tile server's pixel of the default centre is (2098062, 1537476).
  map.resize(256, 256);
  map.setCenter(TVuroduDavControl::kDefaultLatitude, TVuroduDavControl::kDefaultLongitude);
  EXPECT_EQ(map.FX(), -2097934);
  EXPECT_EQ(map.FY(), -1537348);

  // A setting made before the first show is kept, and the first show centres
  // at the real size.
  map.SetMaxThreadTile(1);
  EXPECT_EQ(map.MaxThreadTile(), 2);
  map.resize(800, 600);
  FWindow->show();
  EXPECT_EQ(map.FX(), -2097662);
  EXPECT_EQ(map.FY(), -1537176);
  EXPECT_NEAR(map.NorthEastLatitude(), 43.2517046, 1e-6);
  EXPECT_NEAR(map.NorthEastLongitude(), 0.1124382, 1e-6);
  EXPECT_NEAR(map.SouthWestLatitude(), 43.2141842, 1e-6);
  EXPECT_NEAR(map.SouthWestLongitude(), 0.0437737, 1e-6);
  EXPECT_EQ(map.Latitude(), TVuroduDavControl::kDefaultLatitude);
  const TLatLng c = map.Center();
  EXPECT_NEAR(c.Lat, 43.2329473, 1e-6);
  EXPECT_NEAR(c.Lng, 0.0781059, 1e-6);
  EXPECT_EQ(map.WorldInfo().Left(), 2097662);
  EXPECT_EQ(map.WorldInfo().Width(), 800);
  EXPECT_EQ(map.MaxThreadTile(), 2);

  // (0, 0) is the world's top-left corner when the view shows it.
  map.SetZoom(2);
  map.resize(1200, 1200);
  map.setCenter(0, 0);
  const TLatLng corner = map.FromXYToLatLng(0, 0);
  EXPECT_NEAR(corner.Lat, 85.0511287798066, 1e-9);
  EXPECT_DOUBLE_EQ(corner.Lng, -180);
  EXPECT_FALSE(map.LimitBoxHit());
}

TEST_F(MapTest, NonFiniteAndPolarCentresAreHandled) {
  TWyVuroduDav& map = MakeMap(800, 600);
  const int64_t fx = map.FX(), fy = map.FY();
  map.setCenter(std::nan(""), 1);
  map.setCenter(1, INFINITY);
  EXPECT_EQ(map.FX(), fx);
  EXPECT_EQ(map.FY(), fy);
  EXPECT_EQ(map.Latitude(), TVuroduDavControl::kDefaultLatitude);
  // The pole is projected at the projection's limit: the top of the world
  // sits in the middle of the view.
  map.setCenter(90, 0);
  EXPECT_EQ(map.Latitude(), 90);
  EXPECT_EQ(map.FY(), 300);
  EXPECT_NEAR(map.NorthEastLatitude(), 85.0511287798066, 1e-9);
}

TEST_F(MapTest, ZoomIsClampedAndNotifies) {
  TWyVuroduDav& map = MakeMap(800, 600);
  int zoomEvents = 0;
  map.OnChangeMapZoom = [&](TVuroduDavControl*) { ++zoomEvents; };
  TLog log;
  map.Attach(&log.Observer);
  const TLatLng c = map.Center();

  map.SetZoom(25);
  EXPECT_EQ(map.Zoom(), 18);
  EXPECT_EQ(zoomEvents, 1);
  map.SetZoom(18);  // unchanged: silent
  EXPECT_EQ(zoomEvents, 1);
  const int endMoves = log.Count(omMapEndMove);
  map.SetZoom(30);  // clamps to the current zoom, still announced
  EXPECT_EQ(map.Zoom(), 18);
  EXPECT_EQ(zoomEvents, 2);
  EXPECT_GT(log.Count(omMapEndMove), endMoves);

  map.SetMaxZoom(24);  // ignored
  EXPECT_EQ(map.MaxZoom(), 18);
  map.SetMaxZoom(10);
  EXPECT_EQ(map.Zoom(), 10);
  const TLatLng c10 = map.Center();
  // The pivot is the middle pixel: the centre moves by less than a pixel.
  EXPECT_NEAR(c10.Lat, c.Lat, 360.0 / WorldSize(10));
  EXPECT_NEAR(c10.Lng, c.Lng, 360.0 / WorldSize(10));

  map.SetMinZoom(2);
  map.SetZoom(0);
  EXPECT_EQ(map.Zoom(), 2);
  map.SetMinZoom(5);
  EXPECT_EQ(map.Zoom(), 5);
  map.Detach(&log.Observer);
}

TEST_F(MapTest, FitBoundsZoomsOutOnlyAndBoundsOvershootsByOneLevel) {
  TWyVuroduDav& map = MakeMap(800, 600);
  int zoomEvents = 0, moves = 0;
  map.OnChangeMapZoom = [&](TVuroduDavControl*) { ++zoomEvents; };
  map.OnMapMove = [&](TVuroduDavControl*, double, double) { ++moves; };
  TLog log;
  map.Attach(&log.Observer);
  // Visible at zoom 14 and 15, not at 16.
  const double ne[2] = {43.24, 0.09}, sw[2] = {43.225, 0.065};

  int renders = map.RenderCount();
  map.fitBounds(ne[0], ne[1], sw[0], sw[1]);
  EXPECT_EQ(map.Zoom(), 14);
  EXPECT_EQ(map.RenderCount(), renders + 1);
  EXPECT_EQ(log.Count(omMapEndMove), 1);
  EXPECT_EQ(log.Count(omMapMove), 0);
  EXPECT_EQ(zoomEvents + moves, 0);

  renders = map.RenderCount();
  map.Bounds(ne[0], ne[1], sw[0], sw[1]);
  EXPECT_EQ(map.Zoom(), 16);
  EXPECT_EQ(zoomEvents + moves, 0);
  EXPECT_EQ(map.RenderCount(), renders);
  EXPECT_FALSE(map.WorldInfo().ContainsLatLng(ne[0], ne[1]) &&
               map.WorldInfo().ContainsLatLng(sw[0], sw[1]));

  // From 16, fitBounds zooms out to the first level that holds the box.
  map.fitBounds(ne[0], ne[1], sw[0], sw[1]);
  EXPECT_EQ(map.Zoom(), 15);
  EXPECT_TRUE(map.WorldInfo().ContainsLatLng(ne[0], ne[1]) &&
              map.WorldInfo().ContainsLatLng(sw[0], sw[1]));
  EXPECT_EQ(zoomEvents + moves, 0);

  // fitBoundsRadius from zoom 18 ends where the whole 1 km box is visible.
  map.SetZoom(18);
  map.fitBoundsRadius(43.232951, 0.078082, 1);
  double latSW, lngSW, latNE, lngNE;
  boundingCoordinates(43.232951, 0.078082, 1, latSW, lngSW, latNE, lngNE);
  EXPECT_TRUE(map.WorldInfo().ContainsLatLng(latNE, lngNE) &&
              map.WorldInfo().ContainsLatLng(latSW, lngSW));
  EXPECT_EQ(map.Zoom(), 15);  // 600 px are about 2.1 km here
  map.Detach(&log.Observer);
}

TEST_F(MapTest, FittingBeforeTheFirstShowKeepsDrawingOff) {
  TWyVuroduDav& map = MakeMap(800, 600, false);
  map.fitBounds(43.24, 0.09, 43.225, 0.065);
  map.Bounds(43.24, 0.09, 43.225, 0.065);
  EXPECT_EQ(map.RenderCount(), 0);
  FWindow->show();
  EXPECT_GE(map.RenderCount(), 1);
}

TEST_F(MapTest, PanToStepsShortDistancesAndAlwaysEnds) {
  TWyVuroduDav& map = MakeMap(1200, 1000);
  std::vector<TLatLng> moves;
  map.OnMapMove = [&](TVuroduDavControl*, double lat, double lng) { moves.push_back({lng, lat}); };

  // 2 km away: one jump.
  map.PanTo(43.25, 0.078082);
  EXPECT_EQ(moves.size(), 1u);
  EXPECT_EQ(map.Latitude(), 43.25);

  // Zoom 18, 400 m east, off screen but within the visible span: steps of
  // one tenth of the remaining distance, then the exact target.
  map.SetZoom(18);
  moves.clear();
  double tLat = 0, tLng = 0;
  LatLonFromDistanceBearing(map.Latitude(), map.Longitude(), 90, 400, tLat, tLng);
  tLat = map.Latitude();
  const double startLng = map.Longitude();
  ASSERT_FALSE(map.WorldInfo().ContainsLatLng(tLat, tLng));
  map.PanTo(tLat, tLng);
  ASSERT_GE(moves.size(), 3u);
  EXPECT_NEAR(moves[0].Lng - startLng, (tLng - startLng) / 10, 1e-12);
  EXPECT_NEAR(moves[1].Lng - moves[0].Lng, (tLng - moves[0].Lng) / 10, 1e-12);
  EXPECT_EQ(map.Longitude(), tLng);

  // A target the view can never contain (outside the limit box) still ends,
  // and the limit box then pulls the view back.
  const double boxNE = map.Latitude() + 0.001;
  map.BoundingBox(boxNE, map.Longitude() + 0.001, map.Latitude() - 0.001, map.Longitude() - 0.001);
  const double lat = map.Latitude() + 0.003;  // about 330 m north, outside the box
  moves.clear();
  const auto start = std::chrono::steady_clock::now();
  map.PanTo(lat, map.Longitude());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_LE(moves.size(), 102u);
  EXPECT_LT(map.Latitude(), lat);
  EXPECT_LE(map.Center().Lat, boxNE);
}

TEST_F(MapTest, ResizeKeepsTheTopLeftCorner) {
  // No tile ever arrives, so no cell becomes final behind the test's back.
  SetEndpoint("osm", FTiles.Server().RefusedUrl("/osm/{z}/{x}/{y}.png"));
  TWyVuroduDav& map = MakeMap(800, 600);
  for (int i = 0; i < map.DisplayMapTiles().Width(); ++i)
    for (int j = 0; j < map.DisplayMapTiles().Height(); ++j)
      map.DisplayMapTiles().SetCell(i, j, 255);
  TLog log;
  map.Attach(&log.Observer);
  const int64_t fx = map.FX(), fy = map.FY();
  const TLatLng before = map.Center();
  map.resize(1000, 700);
  EXPECT_EQ(map.FX(), fx);
  EXPECT_EQ(map.FY(), fy);
  EXPECT_EQ(map.DisplayMapTiles().Width(), 1000 / 256 + 2);
  EXPECT_EQ(map.DisplayMapTiles().Height(), 700 / 256 + 2);
  for (int i = 0; i < map.DisplayMapTiles().Width(); ++i)
    for (int j = 0; j < map.DisplayMapTiles().Height(); ++j)
      EXPECT_EQ(map.DisplayMapTiles().Cell(i, j), 0);
  ASSERT_GE(log.Messages.size(), 2u);
  EXPECT_EQ(log.Messages[log.Messages.size() - 2], omMapResize);
  EXPECT_EQ(log.Messages.back(), omMapEndMove);
  EXPECT_NE(map.Center().Lat, before.Lat);
  EXPECT_EQ(map.Latitude(), TVuroduDavControl::kDefaultLatitude);
  EXPECT_EQ(map.WorldInfo().Width(), 1000);
  EXPECT_EQ(map.ScreenShot().size(), QSize(1000, 700));
  map.Detach(&log.Observer);
}

TEST_F(MapTest, LimitBoxPullsTheViewBackAndBoundsAreAnnounced) {
  TWyVuroduDav& map = MakeMap(800, 600);
  int outOfBounds = 0, boundsChanged = 0;
  map.OnOutOfBounds = [&](TVuroduDavControl*) { ++outOfBounds; };
  map.OnChangeMapBounds = [&](TVuroduDavControl*) { ++boundsChanged; };
  const double lat = map.Latitude(), lng = map.Longitude();
  map.BoundingBox(lat + 0.05, lng + 0.05, lat - 0.05, lng - 0.05);
  ProcessPendingMessages();
  EXPECT_GE(boundsChanged, 1);  // posted, handled later

  outOfBounds = 0;
  map.setCenter(lat + 0.2, lng);  // far beyond the north edge
  EXPECT_EQ(outOfBounds, 1);
  const TLatLng c = map.Center();
  EXPECT_LE(c.Lat, lat + 0.05);
  EXPECT_LE(map.NorthEastLatitude(), lat + 0.05);
  outOfBounds = 0;
  map.setCenter(lat, lng);  // inside: nothing to pull back
  EXPECT_EQ(outOfBounds, 0);
}

TEST_F(MapTest, TileServerSwitchMovesZoomIntoTheServiceLimits) {
  TWyVuroduDav& map = MakeMap(800, 600);
  TLog log;
  map.Attach(&log.Observer);
  map.SetTileServer(tsOpenMapQuestSat);
  EXPECT_EQ(map.Zoom(), 11);
  EXPECT_EQ(log.Count(omMapTileServer), 1);
  map.SetTileServer(tsArcGisWorldStreetMap);
  EXPECT_EQ(map.MaxZoom(), 19);
  map.Detach(&log.Observer);
}

TEST_F(MapTest, TileLoadedStateTable) {
  TWyVuroduDav& map = MakeMap(800, 600, false);  // hidden: no downloads
  TDisplayMapTiles& grid = map.DisplayMapTiles();
  grid.setX(10);
  grid.setY(20);
  struct Case {
    uint8_t before;
    int t;
    uint8_t after;
    bool repaint;
  };
  const Case cases[] = {
      {255, 0, 0, true}, {1, 0, 0, true}, {0, 1, 1, true}, {1, 1, 1, false}, {255, 1, 255, false},
  };
  for (const Case& c : cases) {
    grid.setTile(11, 21, c.before);
    ProcessPendingMessages();
    const int pending = map.PendingRepaints();
    map.TileLoaded(11, 21, 7 /* any zoom */, c.t);
    ProcessPendingMessages();
    EXPECT_EQ(grid.getTile(11, 21), c.after) << int(c.before) << " t=" << c.t;
    EXPECT_EQ(map.PendingRepaints() - pending, c.repaint ? 1 : 0) << int(c.before) << " t=" << c.t;
  }
  // Outside the grid: ignored.
  const int pending = map.PendingRepaints();
  map.TileLoaded(9, 21, 14, 1);
  map.TileLoaded(11, 99, 14, 0);
  ProcessPendingMessages();
  EXPECT_EQ(map.PendingRepaints(), pending);
}

TEST_F(MapTest, OnlyARealTileBecomesFinal) {
  // Nothing is served: every tile is the placeholder.
  SetEndpoint("osm", FTiles.Server().RefusedUrl("/osm/{z}/{x}/{y}.png"));
  TWyVuroduDav& map = MakeMap(800, 600);
  TDisplayMapTiles& grid = map.DisplayMapTiles();
  grid.SetCell(1, 1, 1);
  map.RedrawMap(false);
  EXPECT_NE(grid.Cell(1, 1), 255);  // drawn again on the next full render
}

TEST_F(MapTest, RepaintRequestsCoalesceIntoOneRenderPer200ms) {
  std::atomic<uint32_t> tick{1000};
  TScopedTickSource source([&] { return tick.load(); });
  TWyVuroduDav& map = MakeMap(800, 600);
  map.TimerTick();  // an animation step at 1000
  TLog log;
  map.Attach(&log.Observer);
  const int renders = map.RenderCount();

  for (int i = 0; i < 50; ++i) PostMapMessage(map.MessageTarget(), WM_MAPREPAINT);
  ProcessPendingMessages();
  EXPECT_GE(map.PendingRepaints(), 50);
  for (uint32_t now : {1050u, 1100u, 1200u}) {
    tick = now;
    map.TimerTick();
    EXPECT_EQ(map.RenderCount(), renders) << now;
  }
  tick = 1201;
  map.TimerTick();
  EXPECT_EQ(map.RenderCount(), renders + 1);
  EXPECT_EQ(map.PendingRepaints(), 0);
  EXPECT_EQ(log.Count(omMapAnimation), 1);
  tick = 1500;  // an animation step, but nothing to render
  map.TimerTick();
  EXPECT_EQ(map.RenderCount(), renders + 1);
  EXPECT_EQ(log.Count(omMapAnimation), 2);

  // The tick counter wraps: 0xFFFFFF00 to 0x100 is 512 ms.
  tick = 0xFFFFFF00u;
  map.TimerTick();
  PostMapMessage(map.MessageTarget(), WM_MAPREPAINT);
  ProcessPendingMessages();
  tick = 0x100;
  const int before = map.RenderCount();
  map.TimerTick();
  EXPECT_EQ(map.RenderCount(), before + 1);
  EXPECT_EQ(map.WorldInfo().Tick(), 0x100u);
  map.Detach(&log.Observer);
}

TEST_F(MapTest, AFailingRenderIsLoggedAndTheNextOneDraws) {
  TWyVuroduDav& map = MakeMap(600, 400);
  ASSERT_TRUE(PumpUntil([&] { return map.DisplayMapTiles().Cell(1, 1) == tcsDrawn; }));
  // A tile event handler that throws while the frame is drawn.
  auto saved = map.MapServer().OnLoadTile;
  map.MapServer().OnLoadTile = [](int, int, int, int) {
    throw std::runtime_error("tile event failed");
  };
  map.DisplayMapTiles().Clear();
  {
    TScopedLogCapture log(llWarning);
    EXPECT_NO_THROW(map.RedrawMap(false));
    EXPECT_TRUE(log.Contains("map", "tile event failed"));
  }
  map.MapServer().OnLoadTile = saved;
  const int renders = map.RenderCount();
  map.RedrawMap(false);
  EXPECT_EQ(map.RenderCount(), renders + 1) << "rendering stopped after a failed frame";
  EXPECT_EQ(map.DisplayMapTiles().Cell(1, 1), tcsDrawn);
}

TEST_F(MapTest, NoRenderWhileHidden) {
  TWyVuroduDav& map = MakeMap(800, 600);
  const int renders = map.RenderCount();
  FWindow->hide();
  map.setCenter(10, 10);
  map.RedrawMap(false);
  EXPECT_EQ(map.RenderCount(), renders);
  FWindow->show();
  map.RedrawMap(false);
  EXPECT_EQ(map.RenderCount(), renders + 1);
}

// Pixels of the shown frame: the tile of every point, the placeholder colour
// outside the world, the attribution bottom right.
TEST_F(MapTest, RendersTilesAtTheirPlaceAndFillsOutsideTheWorld) {
  TWyVuroduDav& map = MakeMap(1200, 600, false);
  map.SetZoom(2);
  map.setCenter(0, 0);
  FWindow->show();
  // World 1024 px wide centred in 1200: 88 px on each side are outside.
  ASSERT_EQ(map.FX(), 88);
  ASSERT_EQ(map.FY(), -212);

  const QRgb placeholder = ToQColor(cl3DLight).rgb();
  struct Probe {
    int x, y;
    QRgb expected;
  };
  std::vector<Probe> probes;
  for (int x : {0, 87, 1112, 1199}) probes.push_back({x, 100, placeholder});
  for (int x : {88, 343, 344, 600, 1111})
    for (int y : {0, 43, 44, 300, 570}) {  // above the attribution
      const int tx = (x - 88) / 256, ty = (y + 212) / 256;
      probes.push_back({x, y, TileColor(tx, ty) | 0xFF000000u});
    }
  auto matches = [&] {
    const QImage frame = map.ScreenShot();
    for (const Probe& p : probes)
      if ((frame.pixel(p.x, p.y) | 0xFF000000u) != (p.expected | 0xFF000000u)) return false;
    return true;
  };
  ASSERT_TRUE(PumpUntil(matches)) << "frame never showed every tile";
  const QImage frame = map.ScreenShot();
  for (const Probe& p : probes)
    EXPECT_EQ(QColor(frame.pixel(p.x, p.y)).name(), QColor(p.expected).name()) << p.x << "," << p.y;

  // Every cell showing a real tile ends at 255; the cells outside the
  // world stay 0.
  EXPECT_EQ(map.DisplayMapTiles().getTile(0, 0), 255);
  EXPECT_EQ(map.DisplayMapTiles().getTile(3, 2), 255);

  // Centring again draws every tile from the memory cache in that render,
  // and asks for no second render of the same frame. (Repaints asked for by
  // the last arrivals are let through first.)
  WaitProcessing(3 * TVuroduDavControl::kRepaintIntervalMs);
  ASSERT_EQ(map.PendingRepaints(), 0);
  map.setCenter(0, 0);
  const int renders = map.RenderCount();
  WaitProcessing(3 * TVuroduDavControl::kRepaintIntervalMs);
  EXPECT_EQ(map.RenderCount(), renders);
  EXPECT_EQ(map.DisplayMapTiles().getTile(3, 2), 255);

  const QRect copyright = map.CopyrightRect();
  ASSERT_FALSE(copyright.isEmpty());
  EXPECT_EQ(copyright.x() + copyright.width(), 1200 - 4);
  EXPECT_EQ(copyright.y() + copyright.height(), 600);
  bool text = false;
  for (int x = copyright.left(); x <= copyright.right(); ++x)
    for (int y = copyright.top(); y <= copyright.bottom(); ++y)
      text = text || frame.pixel(x, y) != map.ScreenShot().pixel(1199, 599 - copyright.height());
  EXPECT_TRUE(text) << "no attribution drawn";

  map.SetShowCopyrightTile(false);
  EXPECT_TRUE(map.CopyrightRect().isEmpty());
  const QImage plain = map.ScreenShot();
  for (int x = copyright.left(); x <= copyright.right(); ++x) {
    const int y = copyright.center().y();
    const QRgb expected = x >= 1112 ? placeholder : TileColor((x - 88) / 256, (y + 212) / 256);
    EXPECT_EQ(plain.pixel(x, y) | 0xFF000000u, expected | 0xFF000000u) << x;
  }
}

TEST_F(MapTest, OverlayTilesShowOnlyWhereTheyExist) {
  const QRgb overlayColor = qRgb(250, 0, 250);
  FTiles.Server().HandleRegex(R"(/ov/(\d+)/(\d+)/(\d+)\.png)", [&](const TFixtureRequest& request,
                                                                   httplib::Response& response) {
    if (request.Captures.at(1) == "1" && request.Captures.at(2) == "1") {
      response.set_content(SolidPng(overlayColor), "image/png");
    } else {
      response.status = 404;  // outside the overlay's coverage
    }
  });
  TWyVuroduDav& map = MakeMap(1200, 600, false);
  map.SetZoom(2);
  map.setCenter(0, 0);
  FWindow->show();
  const std::string base = FTiles.Server().Url("/ov/");
  map.AddOverlayTiles(
      [base](std::string& file, int x, int y, int z) {
        file =
            base + std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y) + ".png";
      },
      "ov", 18, 2);
  ASSERT_NE(map.OverlayServer(), nullptr);
  EXPECT_EQ(map.OverlayServer()->TileServerInfo().Name, "ov");
  // Tile (1, 1) sits at (344, 44); tile (2, 1) at (600, 44).
  auto at = [&](int x, int y) { return map.ScreenShot().pixel(x, y) | 0xFF000000u; };
  ASSERT_TRUE(PumpUntil([&] {
    return at(400, 100) == (overlayColor | 0xFF000000u) &&
           at(700, 100) == (TileColor(2, 1) | 0xFF000000u);
  }));
  map.RemoveOverlayTiles();
  EXPECT_EQ(map.OverlayServer(), nullptr);
  EXPECT_TRUE(PumpUntil([&] { return at(400, 100) == (TileColor(1, 1) | 0xFF000000u); }));
}

TEST_F(MapTest, ObserversRunLastAttachedFirstWithTheirZoomRange) {
  TWyVuroduDav& map = MakeMap(800, 600);
  map.SetZoom(9);
  std::vector<int> order;
  TVuroduDavObserver a, b, c, late;
  a.OnMapAnimation = [&](void* s) {
    EXPECT_EQ(s, &a);
    order.push_back(1);
  };
  b.OnMapAnimation = [&](void*) {
    order.push_back(2);
    map.Detach(&a);     // not called any more in this broadcast
    map.Attach(&late);  // called from the next broadcast on
  };
  c.OnMapAnimation = [&](void*) { order.push_back(3); };
  late.OnMapAnimation = [&](void*) { order.push_back(4); };
  c.SetMinZoom(10);
  map.Attach(&a);
  map.Attach(&b);
  map.Attach(&a);  // already attached
  map.Attach(&c);
  map.NotifyObservers(omMapAnimation);
  EXPECT_EQ(order, (std::vector<int>{2}));  // c filtered out at zoom 9, a detached by b

  order.clear();
  map.Detach(&a);  // absent: nothing happens
  map.SetZoom(10);
  map.NotifyObservers(omMapAnimation);
  EXPECT_EQ(order, (std::vector<int>{4, 3, 2}));
  map.Detach(&b);
  map.Detach(&c);
  map.Detach(&late);
}

TEST_F(MapTest, DestructionAnnouncesItselfFirst) {
  TWyVuroduDav& map = MakeMap(800, 600);
  TVuroduDavObserver o;
  bool freed = false;
  o.OnMapFree = [&](void* s) {
    EXPECT_EQ(s, &o);
    EXPECT_TRUE(o.MapFree());
    freed = true;
  };
  map.Attach(&o);
  FWindow.reset();
  EXPECT_TRUE(freed);
}

TEST(MapClosingTest, ClosingWhileDownloadsHangReturnsPromptly) {
  TTileFixture tiles(/*hang=*/true);
  auto top = std::make_unique<QWidget>();
  top->resize(800, 600);
  auto* map = new TWyVuroduDav(top.get());
  map->resize(800, 600);
  top->show();
  ASSERT_TRUE(tiles.Server().WaitForInFlight(1));
  EXPECT_GT(map->MapServer().ActiveDownloads(), 0);
  const auto start = std::chrono::steady_clock::now();
  top.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // Nothing queued for the destroyed map runs now.
  WaitProcessing(50);
}

}  // namespace
}  // namespace wy

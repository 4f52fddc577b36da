// Pointer interaction of the map driven through real Qt events on a shown
// window: ordered event logs for clicks, drags, double clicks, wheel and
// hover.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <cmath>
#include <string>
#include <vector>

#include "map/map_control.h"
#include "map/map_observer.h"
#include "map_test_support.h"

namespace wy {
namespace {

using maptest::PumpUntil;
using maptest::TileColor;
using maptest::TTileFixture;
namespace Pointer = maptest::Pointer;

constexpr int kLeft = 50;
constexpr int kTop = 40;

// An 800 x 600 map at (50, 40) in a larger shown window, with every event
// of the map written to one ordered log.
class MapPointerTest : public maptest::TMapWindowTest {
 protected:
  void SetUp() override {
    MakeMap(QSize(900, 700), QRect(kLeft, kTop, 800, 600));
    auto latLng = [this](const char* name) {
      return [this, name](TVuroduDavControl*, double lat, double lng) {
        Log.push_back(name);
        Coords.push_back({lng, lat});
      };
    };
    auto notify = [this](const char* name) {
      return [this, name](TVuroduDavControl*) { Log.push_back(name); };
    };
    FMap->OnMapMouseDown = latLng("Down");
    FMap->OnMapMouseUp = latLng("Up");
    FMap->OnMapClick = latLng("Click");
    FMap->OnMapRightClick = latLng("RightClick");
    FMap->OnMapDblClick = latLng("DblClick");
    FMap->OnMapMove = [this](TVuroduDavControl*, double, double) { Log.push_back("Move"); };
    FMap->OnMapDragStart = notify("DragStart");
    FMap->OnMapDrag = notify("Drag");
    FMap->OnMapDragEnd = notify("DragEnd");
    FMap->OnChangeMapZoom = notify("Zoom");
  }
  // The log with runs of the same entry written once, as "Drag*".
  std::string Squeezed() const {
    std::string out;
    for (size_t i = 0; i < Log.size(); ++i) {
      const bool run = i + 1 < Log.size() && Log[i + 1] == Log[i];
      if (i > 0 && Log[i - 1] == Log[i]) continue;
      out += (out.empty() ? "" : ",") + Log[i] + (run ? "*" : "");
    }
    return out;
  }
  void Reset() {
    Log.clear();
    Coords.clear();
  }
  // A wheel step sent to `target` at its local point `at`.
  bool Wheel(QWidget* target, QPoint at, QPoint angle) {
    QWheelEvent event(QPointF(at), QPointF(target->mapToGlobal(at)), QPoint(), angle, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
  }

  std::vector<std::string> Log;
  std::vector<TLatLng> Coords;
};

TEST_F(MapPointerTest, ClickNeedsPressAndReleaseWithinFivePixels) {
  TWyVuroduDav& map = *FMap;
  struct Case {
    int dx, dy;
    bool click;
  } cases[] = {{0, 0, true},  {4, 0, true},  {0, 4, true},  {4, 4, true},  {-4, 0, true},
               {0, -4, true}, {5, 0, false}, {0, 5, false}, {-5, 4, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy);
    Reset();
    const QPoint down(400, 300), up(400 + c.dx, 300 + c.dy);
    const TLatLng at = map.FromXYToLatLng(up.x(), up.y());
    Pointer::mousePress(&map, Qt::LeftButton, Qt::NoModifier, down);
    Pointer::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, up);
    EXPECT_EQ(Squeezed(), c.click ? "Down,Up,Click" : "Down,Up");
    if (c.click) {
      ASSERT_EQ(Coords.size(), 3u);
      EXPECT_DOUBLE_EQ(Coords[2].Lat, at.Lat);
      EXPECT_DOUBLE_EQ(Coords[2].Lng, at.Lng);
    }
  }
  // The right button reports a right click by the same rule.
  Reset();
  Pointer::mousePress(&map, Qt::RightButton, Qt::NoModifier, QPoint(200, 200));
  Pointer::mouseRelease(&map, Qt::RightButton, Qt::NoModifier, QPoint(203, 198));
  EXPECT_EQ(Squeezed(), "Down,Up,RightClick");
}

TEST_F(MapPointerTest, EveryMoveWithTheButtonDragsWithoutThreshold) {
  TWyVuroduDav& map = *FMap;
  // One move of 4 pixels already drags; the release still clicks.
  Pointer::mousePress(&map, Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));
  Pointer::mouseMove(&map, QPoint(404, 300));
  Pointer::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, QPoint(404, 300));
  EXPECT_EQ(Squeezed(), "Down,Move,DragStart,DragEnd,Up,Click");

  // 100 pixels and back to the start: a drag and, since press and release
  // coincide, a click.
  Reset();
  TVuroduDavObserver observer;
  std::vector<uint32_t> messages;
  observer.OnMapEndMove = [&](void*) { messages.push_back(omMapEndMove); };
  observer.OnMapMouseClick = [&](void*) { messages.push_back(omMapMouseClick); };
  const int64_t fx = map.FX(), fy = map.FY();
  Pointer::mousePress(&map, Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));
  for (int x = 410; x <= 500; x += 10) Pointer::mouseMove(&map, QPoint(x, 300));
  EXPECT_EQ(map.FX(), fx + 100);
  for (int x = 490; x >= 400; x -= 10) Pointer::mouseMove(&map, QPoint(x, 300));
  map.Attach(&observer);
  Pointer::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));
  map.Detach(&observer);
  EXPECT_EQ(map.FX(), fx);
  EXPECT_EQ(map.FY(), fy);
  std::vector<std::string> expected = {"Down", "Move", "DragStart"};
  for (int i = 0; i < 19; ++i) expected.insert(expected.end(), {"Move", "Drag"});
  expected.insert(expected.end(), {"DragEnd", "Up", "Click"});
  EXPECT_EQ(Log, expected);
  // The release announces the end of the move, then the click.
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), omMapMouseClick);
  EXPECT_NE(std::find(messages.begin(), messages.end(), omMapEndMove), messages.end());
}

TEST_F(MapPointerTest, DragMovesTheCentreByTheDraggedPixels) {
  TWyVuroduDav& map = *FMap;
  const int64_t fx = map.FX(), fy = map.FY();
  // The coordinate 30 px left of and 20 px below the middle comes to the middle.
  const TLatLng target = map.FromXYToLatLng(400 - 30, 300 + 20);
  Pointer::mousePress(&map, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
  Pointer::mouseMove(&map, QPoint(130, 80));
  EXPECT_EQ(map.FX(), fx + 30);
  EXPECT_EQ(map.FY(), fy - 20);
  const TLatLng c = map.Center();
  EXPECT_NEAR(c.Lat, target.Lat, 1e-9);
  EXPECT_NEAR(c.Lng, target.Lng, 1e-9);
  EXPECT_DOUBLE_EQ(map.Latitude(), c.Lat);
  // A release away from the last move takes the map along the last stretch.
  Pointer::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, QPoint(140, 80));
  EXPECT_EQ(map.FX(), fx + 40);
  EXPECT_EQ(map.FY(), fy - 20);
  EXPECT_DOUBLE_EQ(map.Latitude(), map.Center().Lat);
  EXPECT_DOUBLE_EQ(map.Longitude(), map.Center().Lng);
  EXPECT_EQ(Squeezed(), "Down,Move,DragStart,DragEnd,Up");

  // Not draggable: nothing moves, and it stays so after the gesture.
  Reset();
  map.SetDraggable(false);
  const int64_t fx2 = map.FX();
  Pointer::mousePress(&map, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
  Pointer::mouseMove(&map, QPoint(200, 150));
  Pointer::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
  EXPECT_EQ(map.FX(), fx2);
  EXPECT_EQ(Squeezed(), "Down,Up");
  EXPECT_FALSE(map.Draggable());
}

TEST_F(MapPointerTest, DragStopsAtTheLimitBox) {
  TWyVuroduDav& map = *FMap;
  const double lat = TVuroduDavControl::kDefaultLatitude;
  const double lng = TVuroduDavControl::kDefaultLongitude;
  map.BoundingBox(lat + 0.05, lng + 0.05, lat - 0.05, lng - 0.05);
  int outOfBounds = 0;
  map.OnOutOfBounds = [&](TVuroduDavControl*) { ++outOfBounds; };
  // Dragging the map far to the right brings its west side into view; the
  // centre never leaves the box.
  Pointer::mousePress(&map, Qt::LeftButton, Qt::NoModifier, QPoint(10, 300));
  for (int x = 50; x <= 790; x += 40) {
    Pointer::mouseMove(&map, QPoint(x, 300));
    const TLatLng c = map.Center();
    EXPECT_GE(c.Lng, lng - 0.05 - 1e-9) << x;
  }
  Pointer::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, QPoint(790, 300));
  EXPECT_GT(outOfBounds, 0);
  EXPECT_GE(map.Longitude(), lng - 0.05 - 1e-9);
}

TEST_F(MapPointerTest, DraggedFrameShowsTheTilesAtTheirNewPlace) {
  TWyVuroduDav& map = *FMap;
  // Pixel (x, y) of the frame shows the tile under it for the current offset.
  auto expected = [&](int x, int y) {
    const int64_t wx = x - map.FX(), wy = y - map.FY();
    return TileColor(static_cast<int>(wx / 256), static_cast<int>(wy / 256)) | 0xFF000000u;
  };
  auto framesMatch = [&] {
    const QImage frame = map.ScreenShot();
    for (int x = 0; x < 800; x += 61)
      for (int y = 0; y < 580; y += 47)
        if ((frame.pixel(x, y) | 0xFF000000u) != expected(x, y)) return false;
    return true;
  };
  ASSERT_TRUE(PumpUntil(framesMatch));
  Pointer::mousePress(&map, Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));
  Pointer::mouseMove(&map, QPoint(437, 259));
  // No event ran in between: the drag step itself composed the frame.
  EXPECT_TRUE(framesMatch());
  Pointer::mouseMove(&map, QPoint(150, 500));
  EXPECT_TRUE(PumpUntil(framesMatch));
  Pointer::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, QPoint(150, 500));
  EXPECT_TRUE(PumpUntil(framesMatch));
}

TEST_F(MapPointerTest, DoubleClickZoomsInOnTheFirstPress) {
  TWyVuroduDav& map = *FMap;
  const QPoint at(300, 200);
  const TLatLng target = map.FromXYToLatLng(at.x(), at.y());
  // Qt's order: press, release, double click, release.
  Pointer::mousePress(&map, Qt::LeftButton, Qt::NoModifier, at);
  Pointer::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, at);
  QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(at), QPointF(map.mapToGlobal(at)),
                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&map, &dbl);
  Pointer::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, at);
  EXPECT_EQ(map.Zoom(), 15);
  EXPECT_EQ(Squeezed(), "Down,Up,Click,Move,Zoom,Move,DblClick,Down");
  const TLatLng c = map.Center();
  EXPECT_NEAR(c.Lat, target.Lat, 1e-4);
  EXPECT_NEAR(c.Lng, target.Lng, 1e-4);
  ASSERT_GE(Coords.size(), 4u);
  EXPECT_DOUBLE_EQ(Coords[3].Lat, target.Lat);  // the double click's coordinate

  // Without DblClickZoom the event comes alone; the next gesture is normal.
  Reset();
  map.SetDblClickZoom(false);
  QApplication::sendEvent(&map, &dbl);
  Pointer::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, at);
  Pointer::mousePress(&map, Qt::LeftButton, Qt::NoModifier, at);
  Pointer::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, at);
  EXPECT_EQ(map.Zoom(), 15);
  EXPECT_EQ(Squeezed(), "DblClick,Down*,Up,Click");
}

TEST_F(MapPointerTest, WheelZoomsOnlyStrictlyInsideTheControl) {
  TWyVuroduDav& map = *FMap;
  QWidget* window = FWindow.get();
  const QPoint up(0, 120), down(0, -120);
  struct Case {
    const char* name;
    QWidget* target;
    QPoint at;
    QPoint angle;
    int zoom;  // after the step, from 14
  } cases[] = {
      {"inside, away from the user", &map, {400, 300}, up, 15},
      {"inside, toward the user", &map, {400, 300}, down, 13},
      {"last pixel inside", &map, {799, 599}, up, 15},
      {"left border column", &map, {0, 300}, up, 14},
      {"top border row", &map, {300, 0}, up, 14},
      {"horizontal only", &map, {400, 300}, QPoint(120, 0), 14},
      {"window, over the map", window, {kLeft + 400, kTop + 300}, up, 15},
      {"window, beside the map", window, {10, 10}, up, 14},
      {"window, on the map's border", window, {kLeft, kTop + 300}, up, 14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    map.SetZoom(14);
    Reset();
    const bool accepted = Wheel(c.target, c.at, c.angle);
    EXPECT_EQ(map.Zoom(), c.zoom);
    EXPECT_EQ(accepted, c.zoom != 14);
    EXPECT_EQ(Squeezed(), c.zoom != 14 ? "Move,Zoom" : "");
  }
  // Switched off: the wheel goes on to the window.
  map.SetMouseWheelZoom(false);
  EXPECT_FALSE(Wheel(&map, QPoint(400, 300), up));
  EXPECT_EQ(map.Zoom(), 14);
  map.SetMouseWheelZoom(true);

  // At the highest zoom the zoom stays but is still announced; at the lowest
  // it does not wrap.
  map.SetZoom(18);
  Reset();
  EXPECT_TRUE(Wheel(&map, QPoint(400, 300), up));
  EXPECT_EQ(map.Zoom(), 18);
  EXPECT_EQ(Squeezed(), "Move,Zoom");
  map.SetMinZoom(0);
  map.SetZoom(0);
  EXPECT_TRUE(Wheel(&map, QPoint(400, 300), down));
  EXPECT_EQ(map.Zoom(), 0);
}

TEST_F(MapPointerTest, HoverReportsThePointerPosition) {
  TWyVuroduDav& map = *FMap;
  std::vector<TLatLng> moves;
  map.OnMapMouseMove = [&](TVuroduDavControl*, double lat, double lng) {
    moves.push_back({lng, lat});
  };
  TVuroduDavObserver observer;
  int observed = 0;
  observer.OnMapMouseMove = [&](void*) { ++observed; };
  map.Attach(&observer);
  Pointer::mouseMove(&map, QPoint(123, 456));
  map.Detach(&observer);
  const TLatLng at = map.FromXYToLatLng(123, 456);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_DOUBLE_EQ(moves[0].Lat, at.Lat);
  EXPECT_DOUBLE_EQ(moves[0].Lng, at.Lng);
  EXPECT_DOUBLE_EQ(map.MouseLatLng().Lat, at.Lat);
  EXPECT_EQ(observed, 1);
  EXPECT_DOUBLE_EQ(map.WorldX(), 123.0 - map.FX());
  EXPECT_DOUBLE_EQ(map.WorldY(), 456.0 - map.FY());
  EXPECT_EQ(Squeezed(), "");  // hovering neither moves nor clicks
}

// While OnAttributionClick is assigned, the attribution of a service that
// names the page of its terms is a link: a click on it raises the event
// instead of a map click, and the pointer is a hand over it.
TEST_F(MapPointerTest, AttributionClickOpensItsPageInsteadOfClickingTheMap) {
  TWyVuroduDav& map = *FMap;
  std::vector<std::string> links;
  map.RedrawMap(false);
  const QRect box = map.CopyrightRect();
  ASSERT_FALSE(box.isEmpty());
  const QPoint on = box.center();
  const QPoint off = box.topLeft() - QPoint(20, 20);
  const struct {
    const char* What;
    bool Handler;
    TTileServer Server;
    QPoint Down, Up;
    const char* Log;
    size_t Links;
  } cases[] = {
      {"a linked attribution", true, tsOSM, on, on, "Down,Up", 1},
      {"no handler: plain text", false, tsOSM, on, on, "Down,Up,Click", 0},
      {"a service without a page", true, tsArcGisWorldImagery, on, on, "Down,Up,Click", 0},
      {"pressed elsewhere", true, tsOSM, off, on, "Down,Move,DragStart,DragEnd,Up", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    map.SetTileServer(c.Server);
    map.RedrawMap(false);
    const QRect attribution = map.CopyrightRect();
    ASSERT_TRUE(attribution.contains(on));
    map.OnAttributionClick = nullptr;
    if (c.Handler)
      map.OnAttributionClick = [&](TVuroduDavControl* sender, const std::string& url) {
        EXPECT_EQ(sender, &map);
        links.push_back(url);
      };
    Pointer::mouseMove(&map, on);
    const bool linked = c.Handler && c.Server == tsOSM;
    EXPECT_EQ(map.cursor().shape(), linked ? Qt::PointingHandCursor : Qt::ArrowCursor);
    Reset();
    links.clear();
    Pointer::mousePress(&map, Qt::LeftButton, Qt::NoModifier, c.Down);
    if (c.Down != c.Up) Pointer::mouseMove(&map, c.Up);
    Pointer::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, c.Up);
    EXPECT_EQ(Squeezed(), c.Log);
    EXPECT_EQ(links, std::vector<std::string>(c.Links, "https://www.openstreetmap.org/copyright"));
    // Off the attribution the pointer is an arrow again.
    Pointer::mouseMove(&map, off);
    EXPECT_EQ(map.cursor().shape(), Qt::ArrowCursor);
  }
}

}  // namespace
}  // namespace wy

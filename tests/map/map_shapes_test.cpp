// Shapes on the real map widget, driven by Qt mouse events: hover, clicks
// routed to the shape's own handler or the map's, shape drags, handlers that
// free their shape, the double click closing a drag, navigation links and
// layers.

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "map/map_control.h"
#include "map/native_layer.h"
#include "map_test_support.h"
#include "platform/open_url.h"
#include "shapes/shape.h"
#include "shapes/shape_marker.h"
#include "shapes/shapes_group.h"

namespace wy {
namespace {

using maptest::PumpUntil;
using maptest::TTileFixture;
namespace Pointer = maptest::Pointer;

// An application object that is not a shape.
class TAppObject : public TObject {};

// An 800 x 600 map in a shown window with one pin at its centre: the pin's
// box is 12 x 12 standing on (400, 300), so (400, 294) is on its ball.
class MapShapesTest : public maptest::TMapWindowTest {
 protected:
  void SetUp() override {
    MakeMap(QSize(820, 620), QRect(10, 10, 800, 600));
    const TLatLng c = FMap->Center();
    FMarker = static_cast<TWyShapeMarker*>(FMap->Add(nsMarker, c.Lat, c.Lng));
    Render();
    TObject* map = FMap;
    FMap->OnMapClick = [this](TVuroduDavControl*, double, double) { Log.push_back("MapClick"); };
    FMap->OnMapDragStart = [this](TVuroduDavControl*) { Log.push_back("DragStart"); };
    FMap->OnMapDragEnd = [this](TVuroduDavControl*) { Log.push_back("DragEnd"); };
    FMap->OnMapDblClick = [this](TVuroduDavControl*, double, double) { Log.push_back("DblClick"); };
    FMap->OnShapeMouseOver = [this, map](TObject* s, TWyShape*) {
      EXPECT_EQ(s, map);
      Log.push_back("Over");
    };
    FMap->OnShapeMouseOut = [this](TObject*, TWyShape*) { Log.push_back("Out"); };
    FMap->OnShapeClick = [this](TObject*, TWyShape* item) {
      Log.push_back("MapShapeClick");
      Clicked = item;
    };
    FMap->OnShapeMouseDown = [this](TObject*, TWyShape*) { Log.push_back("ShapeDown"); };
    FMap->OnShapeDragEnd = [this](TObject* sender) {
      Log.push_back("ShapeDragEnd");
      EXPECT_EQ(sender, FMarker);
    };
  }
  void TearDown() override {
    TMapWindowTest::TearDown();
    SetUrlOpener(nullptr);
  }
  // One full render, so every shape knows its box on screen.
  void Render() {
    FMap->RedrawMap(false);
    ASSERT_GT(FMap->RenderCount(), 0);
  }
  std::string Joined() const {
    std::string out;
    for (const std::string& e : Log) out += (out.empty() ? "" : ",") + e;
    return out;
  }
  void Click(QPoint at) {
    Pointer::mousePress(FMap, Qt::LeftButton, Qt::NoModifier, at);
    Pointer::mouseRelease(FMap, Qt::LeftButton, Qt::NoModifier, at);
  }

  const QPoint kOnPin{400, 294};
  const QPoint kOffPin{200, 150};
  TWyShapeMarker* FMarker = nullptr;
  TWyShape* Clicked = nullptr;
  std::vector<std::string> Log;
};

TEST_F(MapShapesTest, ThePinIsDrawnOverTheTilesAtItsPoint) {
  const QImage frame = FMap->ScreenShot();
  // The ball's interior near the shared top-left corner of the three
  // ellipses is the shape's colour (0x004848FF: red 255, green 72, blue 72).
  const QColor ball = frame.pixelColor(394 + 3, 288 + 4);
  EXPECT_NEAR(ball.red(), 255, 2);
  EXPECT_NEAR(ball.green(), 72, 2);
  EXPECT_NEAR(ball.blue(), 72, 2);
  // Outside its box the tiles (or their placeholder) show.
  EXPECT_NE(frame.pixelColor(380, 280), ball);
}

TEST_F(MapShapesTest, HoverRaisesOverOnEveryMoveThenOutOnLeaving) {
  Pointer::mouseMove(FMap, kOnPin);
  Pointer::mouseMove(FMap, kOnPin + QPoint(1, 0));
  EXPECT_EQ(FMap->ShapesGroup().ShapeHover(), FMarker);
  EXPECT_EQ(FMap->cursor().shape(), Qt::PointingHandCursor);
  Pointer::mouseMove(FMap, kOffPin);
  EXPECT_EQ(Joined(), "Over,Over,Out");
  EXPECT_EQ(FMap->ShapesGroup().ShapeHover(), nullptr);
  EXPECT_EQ(FMap->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(MapShapesTest, ClickGoesToTheShapesOwnHandlerInsteadOfTheMaps) {
  Pointer::mouseMove(FMap, kOnPin);
  Click(kOnPin);
  EXPECT_EQ(Joined(), "Over,ShapeDown,MapShapeClick");
  EXPECT_EQ(Clicked, FMarker);

  Log.clear();
  FMarker->OnShapeClick = [this](TObject*, TWyShape*) { Log.push_back("OwnClick"); };
  FMarker->OnShapeMouseDown = [this](TObject*, TWyShape*) { Log.push_back("OwnDown"); };
  Click(kOnPin);
  EXPECT_EQ(Joined(), "OwnDown,OwnClick");

  // Empty map still reports the coordinate of the click.
  Log.clear();
  Pointer::mouseMove(FMap, kOffPin);
  Click(kOffPin);
  EXPECT_EQ(Joined(), "Out,MapClick");

  // A shape that is not clickable lets the click through to the map.
  Log.clear();
  FMarker->SetClickable(false);
  Pointer::mouseMove(FMap, kOnPin);
  Click(kOnPin);
  EXPECT_EQ(Joined(), "Over,MapClick");
}

TEST_F(MapShapesTest, HelperShapesClickOnlyForTheShapeTheyStandFor) {
  // A shape that is not written out and stands for an application object
  // which is not a shape: the map raises nothing (the object is never passed
  // off as a shape); standing for a shape, the map gets that shape.
  TWyShape* owner = FMap->Add(nsMarker, 0, 0);
  TAppObject app;
  FMarker->SetSerialize(false);
  struct Case {
    TObject* item;
    TWyShape* expected;
    const char* log;
  } cases[] = {{&app, nullptr, ""}, {owner, owner, "MapShapeClick"}, {nullptr, nullptr, ""}};
  FMap->OnShapeMouseDown = nullptr;
  for (const Case& c : cases) {
    Log.clear();
    Clicked = nullptr;
    FMarker->SetItem(c.item);
    Pointer::mouseMove(FMap, kOnPin);
    Log.clear();
    Click(kOnPin);
    EXPECT_EQ(Joined(), c.log);
    EXPECT_EQ(Clicked, c.expected);
  }
  FMarker->SetItem(nullptr);
}

TEST_F(MapShapesTest, DraggingAMarkerMovesItAndEndsWithItsDragEnd) {
  FMarker->SetDraggable(true);
  Pointer::mouseMove(FMap, kOnPin);
  const TLatLng target = FMap->FromXYToLatLng(500, 306);
  const double fx = FMap->FX();
  Pointer::mousePress(FMap, Qt::LeftButton, Qt::NoModifier, kOnPin);
  for (int x = 420; x <= 500; x += 20) Pointer::mouseMove(FMap, QPoint(x, 306));
  Pointer::mouseRelease(FMap, Qt::LeftButton, Qt::NoModifier, QPoint(500, 306));
  EXPECT_NEAR(FMarker->Latitude(), target.Lat, 1e-9);
  EXPECT_NEAR(FMarker->Longitude(), target.Lng, 1e-9);
  EXPECT_EQ(FMap->FX(), fx) << "the map itself did not move";
  EXPECT_EQ(Joined(), "Over,ShapeDown,ShapeDragEnd");
  EXPECT_EQ(FMap->ShapesGroup().ShapeDrag(), nullptr);

  // A handler that cancels keeps the marker where it is.
  FMarker->OnShapeDrag = [](TObject*, TWyShape*, bool& cancel) { cancel = true; };
  Render();
  Pointer::mouseMove(FMap, QPoint(500, 300));
  Pointer::mousePress(FMap, Qt::LeftButton, Qt::NoModifier, QPoint(500, 300));
  Pointer::mouseMove(FMap, QPoint(300, 300));
  Pointer::mouseRelease(FMap, Qt::LeftButton, Qt::NoModifier, QPoint(300, 300));
  EXPECT_NEAR(FMarker->Longitude(), target.Lng, 1e-9);
}

TEST_F(MapShapesTest, HandlersMayFreeTheShapeTheyWereCalledFor) {
  // Each row frees the marker from a different handler; the gesture then
  // goes on without touching it (ASan reports any use after free).
  enum Where { kDown, kClick, kDrag, kDragEnd, kOut };
  for (Where where : {kDown, kClick, kDrag, kDragEnd, kOut}) {
    SCOPED_TRACE(where);
    const TLatLng c = FMap->Center();
    auto* m = static_cast<TWyShapeMarker*>(FMap->Add(nsMarker, c.Lat, c.Lng));
    m->SetDraggable(where == kDrag || where == kDragEnd);
    TVuroduDavControl* map = FMap;
    auto freeIt = [map, m](auto&&...) { map->Remove(m); };
    switch (where) {
      case kDown:
        m->OnShapeMouseDown = freeIt;
        break;
      case kClick:
        m->OnShapeClick = freeIt;
        break;
      case kDrag:
        m->OnShapeDrag = [map, m](TObject*, TWyShape*, bool&) { map->Remove(m); };
        break;
      case kDragEnd:
        m->OnShapeDragEnd = [map, m](TObject*) { map->Remove(m); };
        break;
      case kOut:
        FMap->OnShapeMouseOut = [map, m](TObject*, TWyShape* s) {
          if (s == m) map->Remove(m);
        };
        break;
    }
    Render();
    Pointer::mouseMove(FMap, kOnPin);
    ASSERT_EQ(FMap->ShapesGroup().ShapeHover(), m);
    if (where == kOut) {
      Pointer::mouseMove(FMap, kOffPin);
    } else {
      Pointer::mousePress(FMap, Qt::LeftButton, Qt::NoModifier, kOnPin);
      if (where == kDrag || where == kDragEnd) Pointer::mouseMove(FMap, kOnPin + QPoint(30, 0));
      Pointer::mouseRelease(FMap, Qt::LeftButton, Qt::NoModifier,
                            where == kDrag || where == kDragEnd ? kOnPin + QPoint(30, 0) : kOnPin);
    }
    EXPECT_EQ(FMap->Shapes()->Markers()->IndexOf(m), -1);
    EXPECT_EQ(FMap->ShapesGroup().ShapeHover(), nullptr);
    EXPECT_EQ(FMap->ShapesGroup().ShapeDrag(), nullptr);
    FMap->OnShapeMouseOut = nullptr;
    Pointer::mouseMove(FMap, kOffPin);
    Render();
  }
}

TEST_F(MapShapesTest, ADragAfterADoubleClickStillEnds) {
  Pointer::mouseMove(FMap, kOffPin);
  Log.clear();
  // The second press of a double click starts a drag; its release ends it.
  Pointer::mousePress(FMap, Qt::LeftButton, Qt::NoModifier, kOffPin);
  Pointer::mouseRelease(FMap, Qt::LeftButton, Qt::NoModifier, kOffPin);
  Pointer::gHeld |= Qt::LeftButton;
  QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(kOffPin),
                  QPointF(FMap->mapToGlobal(kOffPin)), Qt::LeftButton, Pointer::gHeld,
                  Qt::NoModifier);
  QApplication::sendEvent(FMap, &dbl);
  Pointer::mouseMove(FMap, kOffPin + QPoint(40, 0));
  Pointer::mouseRelease(FMap, Qt::LeftButton, Qt::NoModifier, kOffPin + QPoint(40, 0));
  // A plain click afterwards is only a click.
  Pointer::mouseMove(FMap, kOffPin);
  Click(kOffPin);
  EXPECT_EQ(Joined(), "MapClick,DblClick,DragStart,DragEnd,MapClick");
}

TEST_F(MapShapesTest, NavigationLinksMoveTheMapAndOnlySafeLinksOpen) {
  std::vector<std::string> opened;
  SetUrlOpener([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  struct Case {
    const char* url;
    int zoom;  // -1: the view does not change
    double lat, lng;
  } cases[] = {
      {"#12/48.85/2.35", 12, 48.85, 2.35},
      {"  #3/1,5/2  ", 3, 1.5, 2},
      {"#12/-1/2.35", 12, -1, 2.35},  // -1 is a coordinate like any other
      {"#x/48.85/2.35", -1, 0, 0},
      {"#12/north/2.35", -1, 0, 0},
      {"#12/48.85", -1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    FMap->SetUrl("#10/10/10");
    FMap->SetUrl(c.url);
    if (c.zoom < 0) {
      EXPECT_EQ(FMap->Url(), "#10/10.000000/10.000000");
    } else {
      EXPECT_EQ(FMap->Zoom(), c.zoom);
      EXPECT_NEAR(FMap->Latitude(), c.lat, 1e-9);
      EXPECT_NEAR(FMap->Longitude(), c.lng, 1e-9);
    }
  }
  for (const char* url : {"http://example.org/A_Path", "javascript:alert(1)", "file:///etc/passwd",
                          "mailto:someone@example.org"})
    FMap->SetUrl(url);
  // The opener is only reached through the scheme check.
  EXPECT_EQ(opened,
            (std::vector<std::string>{"http://example.org/A_Path", "mailto:someone@example.org"}));
  EXPECT_EQ(FMap->Url().substr(0, 4), "#10/");
}

// --- Layers ---------------------------------------------------------------------

TEST_F(MapShapesTest, ALayerIsHiddenAndDeafUntilShown) {
  auto layer = std::make_unique<TWyNativeLayer>(FMap, "Photos");
  std::vector<TWyShape*> clicks;
  layer->OnShapeClick = [&](TObject* sender, TWyShape* s) {
    EXPECT_EQ(sender, layer.get());
    clicks.push_back(s);
  };
  ASSERT_NE(layer->Shapes(), nullptr);
  EXPECT_EQ(layer->Shapes(), FMap->ShapesGroup().getShapes("photos"));
  EXPECT_FALSE(layer->Visible());
  const TLatLng c = FMap->FromXYToLatLng(600, 300);
  TWyShape* photo =
      layer->Shapes()->Markers()->Items(layer->Shapes()->Markers()->Add(c.Lat, c.Lng));
  Render();
  // Hidden: the shape is not drawn or hit.
  Pointer::mouseMove(FMap, QPoint(600, 294));
  EXPECT_EQ(FMap->ShapesGroup().ShapeHover(), nullptr);

  layer->SetVisible(true);
  Render();
  Pointer::mouseMove(FMap, QPoint(600, 294));
  ASSERT_EQ(FMap->ShapesGroup().ShapeHover(), photo);
  Log.clear();
  Click(QPoint(600, 294));
  // The layer hears the click and the map handles it too.
  EXPECT_EQ(clicks, std::vector<TWyShape*>{photo});
  EXPECT_EQ(Joined(), "ShapeDown,MapShapeClick");
}

TEST_F(MapShapesTest, LayersOutliveTheirMapSafely) {
  auto hidden = std::make_unique<TWyNativeLayer>(FMap, "hidden");
  auto shown = std::make_unique<TWyNativeLayer>(FMap, "shown");
  shown->SetVisible(true);
  FWindow.reset();  // the map goes first
  EXPECT_EQ(hidden->Map(), nullptr);
  EXPECT_EQ(shown->Map(), nullptr);
  EXPECT_FALSE(shown->Visible());
  shown->SetVisible(false);  // nothing to reach any more
  hidden.reset();
  shown.reset();
}

}  // namespace
}  // namespace wy

// Keyboard and wheel navigation of the map through real Qt events: focus by
// tab and click, keys to the focus widget, and wheel steps that add up.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QWheelEvent>
#include <cmath>

#include "map/map_control.h"
#include "map_test_support.h"

namespace wy {
namespace {

namespace Pointer = maptest::Pointer;

// An 800 x 600 map below a text box in an active window, so that focus can
// go back and forth between them.
class MapKeysWheelTest : public maptest::TMapWindowTest {
 protected:
  void SetUp() override {
    MakeMap(QSize(800, 640), QRect(0, 40, 800, 600));
    FEdit = new QLineEdit(FWindow.get());
    FEdit->setGeometry(0, 0, 800, 30);
    FEdit->show();
    QWidget::setTabOrder(FEdit, FMap);
    FWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FWindow.get()));
    FEdit->setFocus(Qt::OtherFocusReason);
    FMap->setCenter(45, 5);
    FMap->SetZoom(10);
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    maptest::KeyToFocus(FWindow.get(), key, modifiers);
  }
  // A wheel step at the map's point `at`, delivered to the map as the
  // window system does.
  void Wheel(QPoint at, int angle) {
    QWheelEvent event(QPointF(at), QPointF(FMap->mapToGlobal(at)), QPoint(), QPoint(0, angle),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(FMap, &event);
  }
  // The world pixel (at the current zoom) under a point of the map.
  QPointF WorldAt(QPoint at) {
    const TLatLng c = FMap->FromXYToLatLng(at.x(), at.y());
    double x = 0, y = 0;
    LatLngToWorldPixel(FMap->Zoom(), c.Lat, c.Lng, x, y);
    return QPointF(x, y);
  }

  QLineEdit* FEdit = nullptr;  // owned by FWindow
};

TEST_F(MapKeysWheelTest, TabAndClickGiveTheMapTheFocus) {
  ASSERT_EQ(QApplication::focusWidget(), FEdit);
  Key(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), FMap);

  FEdit->setFocus(Qt::OtherFocusReason);
  QTest::mouseClick(FWindow->windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 340));
  EXPECT_EQ(QApplication::focusWidget(), FMap);
  // Keys typed in the text box stay there.
  FEdit->setFocus(Qt::OtherFocusReason);
  Key(Qt::Key_Plus);
  EXPECT_EQ(FMap->Zoom(), 10);
  EXPECT_EQ(FEdit->text().toStdString(), "+");
}

TEST_F(MapKeysWheelTest, ArrowsPanAQuarterOfTheViewAndPlusMinusZoom) {
  FMap->setFocus(Qt::TabFocusReason);
  struct Case {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int dx, dy;  // move of the world on screen
    int zoom;    // after the key, from 10
  } cases[] = {
      {"left shows the west", Qt::Key_Left, Qt::NoModifier, 200, 0, 10},
      {"right shows the east", Qt::Key_Right, Qt::NoModifier, -200, 0, 10},
      {"up shows the north", Qt::Key_Up, Qt::NoModifier, 0, 150, 10},
      {"down shows the south", Qt::Key_Down, Qt::NoModifier, 0, -150, 10},
      {"plus", Qt::Key_Plus, Qt::NoModifier, 0, 0, 11},
      {"shifted plus", Qt::Key_Plus, Qt::ShiftModifier, 0, 0, 11},
      {"equals, plus unshifted", Qt::Key_Equal, Qt::NoModifier, 0, 0, 11},
      {"keypad plus", Qt::Key_Plus, Qt::KeypadModifier, 0, 0, 11},
      {"minus", Qt::Key_Minus, Qt::NoModifier, 0, 0, 9},
      {"keypad minus", Qt::Key_Minus, Qt::KeypadModifier, 0, 0, 9},
      {"ctrl plus is a shortcut", Qt::Key_Plus, Qt::ControlModifier, 0, 0, 10},
      {"alt left is a shortcut", Qt::Key_Left, Qt::AltModifier, 0, 0, 10},
      {"other keys", Qt::Key_A, Qt::NoModifier, 0, 0, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FMap->SetZoom(10);
    FMap->setCenter(45, 5);
    const int64_t x0 = FMap->FX(), y0 = FMap->FY();
    int moves = 0;
    FMap->OnMapMove = [&](TVuroduDavControl*, double, double) { ++moves; };
    Key(c.key, c.modifiers);
    FMap->OnMapMove = nullptr;
    EXPECT_EQ(QApplication::focusWidget(), FMap);
    EXPECT_EQ(FMap->Zoom(), c.zoom);
    if (c.zoom == 10) {
      EXPECT_EQ(FMap->FX() - x0, c.dx);
      EXPECT_EQ(FMap->FY() - y0, c.dy);
    } else {
      // Zooming pivots on the middle.
      EXPECT_NEAR(FMap->Center().Lat, 45, 5e-3);
      EXPECT_NEAR(FMap->Center().Lng, 5, 5e-3);
    }
    EXPECT_EQ(moves, c.dx || c.dy || c.zoom != 10 ? 1 : 0);
  }

  // A map locked against dragging is not panned by keys either, but zooms.
  FMap->SetDraggable(false);
  const int64_t x0 = FMap->FX();
  Key(Qt::Key_Left);
  EXPECT_EQ(FMap->FX(), x0);
  Key(Qt::Key_Plus);
  EXPECT_EQ(FMap->Zoom(), 11);

  // Zoom keys stop at the limits.
  FMap->SetZoom(FMap->MaxZoom());
  Key(Qt::Key_Plus);
  EXPECT_EQ(FMap->Zoom(), FMap->MaxZoom());
  FMap->SetMinZoom(0);
  FMap->SetZoom(0);
  Key(Qt::Key_Minus);
  EXPECT_EQ(FMap->Zoom(), 0);
}

TEST_F(MapKeysWheelTest, SmallWheelStepsAddUpToOneLevelPer120) {
  const QPoint at(400, 300);
  // A touchpad swipe: 24 steps of 15 (three notches' worth) make three
  // levels, each once 120 has gathered.
  std::vector<int> zooms;
  for (int i = 0; i < 24; ++i) {
    Wheel(at, 15);
    zooms.push_back(FMap->Zoom());
  }
  for (int i = 0; i < 24; ++i) EXPECT_EQ(zooms[i], 10 + (i + 1) / 8) << "step " << i;

  // What is left over counts towards the next level the same way...
  Wheel(at, 100);
  EXPECT_EQ(FMap->Zoom(), 13);
  Wheel(at, 20);
  EXPECT_EQ(FMap->Zoom(), 14);
  // ...but not towards a turn the other way.
  Wheel(at, 100);
  Wheel(at, -100);
  EXPECT_EQ(FMap->Zoom(), 14);
  Wheel(at, -20);
  EXPECT_EQ(FMap->Zoom(), 13);

  // A mouse notch is one level, a fast turn reported as one event of two
  // notches is two.
  Wheel(at, -120);
  EXPECT_EQ(FMap->Zoom(), 12);
  Wheel(at, 240);
  EXPECT_EQ(FMap->Zoom(), 14);
}

TEST_F(MapKeysWheelTest, WheelZoomsAboutThePointerWhenAsked) {
  const QPoint at(120, 90);
  // Off (the default): the middle stays.
  ASSERT_FALSE(FMap->ZoomAtPointer());
  Wheel(at, 120);
  EXPECT_EQ(FMap->Zoom(), 11);
  EXPECT_NEAR(FMap->Center().Lat, 45, 5e-3);
  EXPECT_NEAR(FMap->Center().Lng, 5, 5e-3);

  FMap->SetZoomAtPointer(true);
  for (int angle : {120, 120, -120, -120, -120}) {
    SCOPED_TRACE(angle);
    const TLatLng before = FMap->FromXYToLatLng(at.x(), at.y());
    const uint8_t zoom = FMap->Zoom();
    Wheel(at, angle);
    ASSERT_EQ(FMap->Zoom(), angle > 0 ? zoom + 1 : zoom - 1);
    // The point under the pointer is still under it, within a pixel.
    double x = 0, y = 0;
    LatLngToWorldPixel(FMap->Zoom(), before.Lat, before.Lng, x, y);
    const QPointF now = WorldAt(at);
    EXPECT_NEAR(x, now.x(), 1.0);
    EXPECT_NEAR(y, now.y(), 1.0);
  }
  // At a limit nothing moves.
  FMap->SetZoom(FMap->MaxZoom());
  const int64_t x0 = FMap->FX(), y0 = FMap->FY();
  Wheel(at, 120);
  EXPECT_EQ(FMap->FX(), x0);
  EXPECT_EQ(FMap->FY(), y0);
}

}  // namespace
}  // namespace wy

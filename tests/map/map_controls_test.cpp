// The on-map zoom buttons and scale bar, driven by clicks on the window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QToolButton>

#include "map/map_control.h"
#include "map/map_controls.h"
#include "map_test_support.h"

namespace wy {
namespace {

class MapControlsTest : public maptest::TMapWindowTest {
 protected:
  void SetUp() override {
    MakeMap(QSize(800, 600), QRect(0, 0, 800, 600));
    FWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FWindow.get()));
    FMap->setCenter(0, 10);
    FMap->SetZoom(10);
  }
  void ClickAt(QWidget* widget, QPoint local) {
    QTest::mouseClick(FWindow->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      widget->mapTo(FWindow.get(), local));
  }
  void Click(QWidget* widget) { ClickAt(widget, widget->rect().center()); }
};

TEST_F(MapControlsTest, ZoomButtonsZoomAndLeaveTheKeysWithTheMap) {
  FMap->SetShowZoomButtons(true);
  QToolButton* in = FMap->Controls().ZoomInButton();
  QToolButton* out = FMap->Controls().ZoomOutButton();
  ASSERT_TRUE(in && out);
  FMap->setFocus(Qt::OtherFocusReason);
  Click(in);
  EXPECT_EQ(FMap->Zoom(), 11);
  Click(out);
  Click(out);
  EXPECT_EQ(FMap->Zoom(), 9);
  EXPECT_EQ(QApplication::focusWidget(), FMap);
  // Zooming about the middle: the centre stays.
  EXPECT_NEAR(FMap->Center().Lng, 10, 0.01);

  // At a limit its button is off.
  FMap->SetZoom(FMap->MaxZoom());
  EXPECT_FALSE(in->isEnabled());
  EXPECT_TRUE(out->isEnabled());
  Click(in);
  EXPECT_EQ(FMap->Zoom(), FMap->MaxZoom());
  FMap->SetZoom(FMap->MinZoom());
  EXPECT_TRUE(in->isEnabled());
  EXPECT_FALSE(out->isEnabled());

  // Hidden again, a click there is a click on the map.
  FMap->SetShowZoomButtons(false);
  int clicks = 0;
  FMap->OnMapClick = [&](TVuroduDavControl*, double, double) { ++clicks; };
  ClickAt(FMap, QPoint(20, 20));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(FMap->Zoom(), FMap->MinZoom());
}

TEST_F(MapControlsTest, ScaleBarFollowsZoomAndLatitude) {
  FMap->SetShowScaleBar(true);
  TScaleBarWidget* bar = FMap->Controls().ScaleBarWidget();
  ASSERT_NE(bar, nullptr);
  struct Step {
    double lat;
    uint8_t zoom;
    const char* label;
    int pixels;
  } steps[] = {
      {0, 10, "10 km", 65},  // 152.9 m a pixel
      {0, 11, "5 km", 65},   //
      {60, 11, "2 km", 52},  // 38.2 m a pixel
      {60, 18, "20 m", 67},  //
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.label);
    FMap->setCenter(s.lat, 10);
    FMap->SetZoom(s.zoom);
    EXPECT_EQ(bar->Bar().Label, s.label);
    EXPECT_EQ(bar->Bar().Pixels, s.pixels);
    // Bottom left, inside the map.
    EXPECT_EQ(bar->geometry().left(), 8);
    EXPECT_EQ(bar->geometry().bottom(), FMap->height() - 9);
  }
  // A view framed on a box (hundreds of kilometres at the equator, from
  // 20 m at 60 degrees) shows its own scale, as does one zoomed in on a box
  // without a render.
  FMap->fitBounds(1, 11, -1, 9);
  EXPECT_EQ(bar->Bar().Label.find(" km"), bar->Bar().Label.size() - 3) << bar->Bar().Label;
  // Zoomed in on a box of some hundred metres.
  FMap->Bounds(0.001, 10.001, -0.001, 9.999);
  EXPECT_GT(FMap->Zoom(), 14);
  EXPECT_EQ(bar->Bar().Label.find(" m"), bar->Bar().Label.size() - 2) << bar->Bar().Label;

  // It follows the map's size.
  FMap->resize(600, 400);
  EXPECT_EQ(bar->geometry().bottom(), 400 - 9);

  // Clicks go through it to the map.
  int clicks = 0;
  FMap->OnMapClick = [&](TVuroduDavControl*, double, double) { ++clicks; };
  Click(bar);
  EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace wy

// Hover across shape groups on the real map widget: when the pointer moves
// from a shape of a lower group onto an overlapping shape of a higher
// group, only the higher one shows its hover colour.

#include <gtest/gtest.h>

#include <QWidget>
#include <cstdlib>

#include "map/map_control.h"
#include "map_test_support.h"
#include "shapes/shape_marker.h"
#include "shapes/shapes_group.h"

namespace wy {
namespace {

namespace Pointer = maptest::Pointer;

// The pins' colours (red 255, green 72, blue 72) and hover colour (red 85,
// green 202, blue 68).
bool IsPinColour(const QColor& c) {
  return std::abs(c.red() - 255) <= 2 && std::abs(c.green() - 72) <= 2 &&
         std::abs(c.blue() - 72) <= 2;
}
bool IsHoverColour(const QColor& c) {
  return std::abs(c.red() - 85) <= 2 && std::abs(c.green() - 202) <= 2 &&
         std::abs(c.blue() - 68) <= 2;
}

// An 800 x 600 map with two pins standing 8 pixels apart, the left one in
// group "low" (z-index 1), the right one in group "high" (z-index 2): their
// 12 x 12 boxes overlap on 4 columns, and the left pin's ball shows left of
// the right pin.
class MapHoverGroupsTest : public maptest::TMapWindowTest {
 protected:
  void SetUp() override {
    MakeMap(QSize(820, 620), QRect(10, 10, 800, 600));
    const TLatLng low = FMap->FromXYToLatLng(400, 300);
    const TLatLng high = FMap->FromXYToLatLng(408, 300);
    FLow = static_cast<TWyShapeMarker*>(FMap->Add(nsMarker, low.Lat, low.Lng, "low"));
    FHigh = static_cast<TWyShapeMarker*>(FMap->Add(nsMarker, high.Lat, high.Lng, "high"));
    FMap->ShapesGroup().getShapes("low")->SetZindex(1);
    FMap->ShapesGroup().getShapes("high")->SetZindex(2);
    Render();
  }
  void Render() {
    FMap->RedrawMap(false);
    ASSERT_GT(FMap->RenderCount(), 0);
  }
  // A pixel of the low pin's ball that the high pin does not cover.
  QColor LowBall() {
    Render();
    return FMap->ScreenShot().pixelColor(FLow->Left() + 3, FLow->Top() + 4);
  }

  TWyShapeMarker* FLow = nullptr;
  TWyShapeMarker* FHigh = nullptr;
};

TEST_F(MapHoverGroupsTest, TheLowerShapeLosesItsHoverWhenAHigherGroupWins) {
  ASSERT_EQ(FLow->Left(), 394);
  ASSERT_EQ(FHigh->Left(), 402);
  ASSERT_TRUE(IsPinColour(LowBall()));

  // On the low pin only.
  Pointer::mouseMove(FMap, QPoint(397, 294));
  EXPECT_EQ(FMap->ShapesGroup().ShapeHover(), FLow);
  EXPECT_TRUE(IsHoverColour(LowBall()));

  // Onto the overlap: the high pin wins, the low one lets go.
  Pointer::mouseMove(FMap, QPoint(404, 294));
  EXPECT_EQ(FMap->ShapesGroup().ShapeHover(), FHigh);
  EXPECT_TRUE(FHigh->Hover());
  EXPECT_FALSE(FLow->Hover());
  EXPECT_EQ(FMap->ShapesGroup().getShapes("low")->ShapeHover(), nullptr);
  const QColor ball = LowBall();
  EXPECT_TRUE(IsPinColour(ball)) << ball.name().toStdString();

  // Back onto the low pin only, then off both.
  Pointer::mouseMove(FMap, QPoint(397, 294));
  EXPECT_EQ(FMap->ShapesGroup().ShapeHover(), FLow);
  EXPECT_FALSE(FHigh->Hover());
  EXPECT_TRUE(IsHoverColour(LowBall()));
  Pointer::mouseMove(FMap, QPoint(200, 150));
  EXPECT_EQ(FMap->ShapesGroup().ShapeHover(), nullptr);
  EXPECT_FALSE(FLow->Hover());
  EXPECT_TRUE(IsPinColour(LowBall()));
}

}  // namespace
}  // namespace wy

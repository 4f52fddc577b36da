// Polygons: identifiers, area, even-odd hover, translucent and hatched
// fills, and the raised block of walls and roof.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "geo/geodesy.h"
#include "line_fixture.h"
#include "shapes/shape_line.h"
#include "shapes/shape_marker.h"

namespace wy {
namespace shapes_test {
namespace {

class PolygonTest : public TLineFixture {
 protected:
  TWyShapePolygone* Square(const std::string& group = "") {
    return PolygonOnScreen({{60, 60}, {200, 60}, {200, 200}, {60, 200}}, group);
  }
  static bool Near(QRgb a, QRgb b, int tolerance = 1) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
  }
};

TEST_F(PolygonTest, APolygonTakesTwoIdentifiersAndNamesItsGroupsAfterThem) {
  TWyShapePolygone* first = Square();
  TWyShapePolygone* second = Square();
  TWyShapePolygone* named = Square("Roads");
  EXPECT_EQ(first->Id(), 1);
  EXPECT_EQ(first->NameShapes(), "_line_0");
  EXPECT_EQ(second->Id(), 3);
  EXPECT_EQ(second->NameShapes(), "_line_2");
  EXPECT_EQ(named->NameShapes(), "roads_line_0");
  first->SetLevel(0);
  named->SetLevel(0);
  EXPECT_EQ(first->LevelShapes(), Registry->getShapes("level_1"));
  EXPECT_EQ(named->LevelShapes(), Registry->getShapes("roads_level_1"));
  // An unraised polygon's level group is still written with the registry.
  EXPECT_TRUE(first->LevelShapes()->Serialize());
}

TEST_F(PolygonTest, AreaOfAKilometreSquareUsesBothEarthRadii) {
  double lat1 = 0, lng1 = 0, lat2 = 0, lng2 = 0, lat3 = 0, lng3 = 0;
  LatLonFromDistanceBearing(0, 0, 90, 1000, lat1, lng1);
  LatLonFromDistanceBearing(lat1, lng1, 0, 1000, lat2, lng2);
  LatLonFromDistanceBearing(0, 0, 0, 1000, lat3, lng3);
  auto* polygon = static_cast<TWyShapePolygone*>(Registry->Add(nsPolygon, 0, 0));
  polygon->SetPath({0, 0, lat1, lng1, lat2, lng2, lat3, lng3});
  EXPECT_NEAR(polygon->Area(), 0.9983256, 1e-5);
  // The cache goes with a change of the path.
  polygon->Delete(3);
  EXPECT_NEAR(polygon->Area(), 0.9983256 / 2, 1e-5);
  polygon->Delete(2);
  EXPECT_EQ(polygon->Area(), 0);
}

TEST_F(PolygonTest, HoverIsEvenOddAndTheClosingEdgeIsNeverTheHoverPoint) {
  // A pentagram drawn in one stroke: its centre is covered twice.
  std::vector<QPoint> star;
  for (int k = 0; k < 5; ++k) {
    const double a = -M_PI / 2 + k * 4 * M_PI / 5;
    star.emplace_back(128 + static_cast<int>(std::lround(100 * std::cos(a))),
                      128 + static_cast<int>(std::lround(100 * std::sin(a))));
  }
  TWyShapePolygone* polygon = PolygonOnScreen(star);
  EXPECT_FALSE(polygon->IsHover(128, 128));
  EXPECT_TRUE(polygon->IsHover(128, 45));  // in the upper tip
  EXPECT_EQ(polygon->HoverPoint(), -1);

  TWyShapePolygone* square = Square();
  struct Row {
    int x, y;
    bool inside;
    int32_t point;
  };
  const Row rows[] = {
      {130, 62, true, 1},    // near the first edge
      {198, 130, true, 2},   // near the second
      {62, 130, true, -1},   // near the closing edge only
      {130, 130, true, -1},  // in the middle
      {130, 58, false, -1},  // outside, near the first edge
  };
  for (const Row& row : rows) {
    EXPECT_EQ(square->IsHover(row.x, row.y), row.inside) << row.x << "," << row.y;
    EXPECT_EQ(square->HoverPoint(), row.point) << row.x << "," << row.y;
  }
}

TEST_F(PolygonTest, FillIsOpaqueOrBlendedAndTheOutlineAlwaysOpaque) {
  struct Row {
    uint8_t opacity;
    bool hover;
    QRgb inside;
  };
  const Row rows[] = {
      {100, false, qRgb(255, 0, 0)},
      {50, false, qRgb(255, 127, 127)},
      {90, false, qRgb(255, 25, 25)},
      {100, true, qRgb(0, 128, 0)},
  };
  for (const Row& row : rows) {
    TWyShapePolygone* polygon = Square();
    polygon->SetColor(0x00FF0000);  // blue outline, red fill
    polygon->SetOpacity(row.opacity);
    if (row.hover) Registry->SetShapeHover(polygon);
    Paint();
    EXPECT_TRUE(Near(At(130, 130), row.inside))
        << int(row.opacity) << " " << std::hex << At(130, 130);
    EXPECT_EQ(At(130, 60), qRgb(0, 0, 255)) << int(row.opacity);
    EXPECT_EQ(At(30, 30), qRgb(255, 255, 255));
    polygon->Remove();
  }
}

TEST_F(PolygonTest, HatchedFillLeavesTheGroundBetweenItsLines) {
  for (uint8_t opacity : {uint8_t(100), uint8_t(50)}) {
    TWyShapePolygone* polygon = Square();
    polygon->SetStyle(bsCross);
    polygon->SetOpacity(opacity);
    Paint();
    int red = 0, other = 0;
    for (int y = 100; y < 140; ++y)
      for (int x = 100; x < 140; ++x) (At(x, y) == qRgb(255, 0, 0) ? red : other)++;
    EXPECT_GT(red, 0) << int(opacity);
    EXPECT_GT(other, red) << int(opacity);
    polygon->Remove();
  }
}

TEST_F(PolygonTest, ARaisedPolygonIsReplacedByWallsAndARoof) {
  TWyShapePolygone* polygon = Square();
  polygon->SetZIndex(2);
  polygon->SetOpacity(60);
  polygon->SetLevel(20);
  TWyShapes* level = polygon->LevelShapes();
  ASSERT_NE(level, nullptr);
  EXPECT_FALSE(level->Serialize());
  TWyShapePolygoneList* parts = level->Polygones();
  ASSERT_EQ(parts->Count(), 5);
  double lastSouth = 90;
  for (int32_t k = 0; k < 4; ++k) {
    TWyShapePolygone* wall = parts->Items(k);
    EXPECT_EQ(wall->ZIndex(), 200 + k + 1);
    EXPECT_EQ(wall->Opacity(), 30);
    EXPECT_EQ(wall->Item(), polygon);
    EXPECT_EQ(wall->Count(), 4);
    // Painter's order: the wall whose southern end lies further north first.
    const double south = std::min(wall->getPoints(0)->Lat(), wall->getPoints(3)->Lat());
    EXPECT_LE(south, lastSouth);
    lastSouth = south;
    // Its top edge stands 20 m north of its foot.
    EXPECT_NEAR(DistanceFrom(wall->getPoints(0)->Lat(), wall->getPoints(0)->Lng(),
                             wall->getPoints(1)->Lat(), wall->getPoints(1)->Lng()),
                0.020, 0.0001);
  }
  TWyShapePolygone* roof = parts->Items(4);
  EXPECT_EQ(roof->ZIndex(), 205);
  EXPECT_EQ(roof->Opacity(), 60);
  EXPECT_EQ(roof->Count(), 4);
  EXPECT_FALSE(polygon->ShowOnMap());

  // Hovering the block reports the polygon.
  const QPoint over = Pixel(roof->getPoints(0)->Lat(), roof->getPoints(0)->Lng());
  Registry->ShapesToDraw();
  EXPECT_EQ(Registry->ShapeByHover(over.x() + 10, over.y() + 10), polygon);

  polygon->SetEditable(true);
  EXPECT_TRUE(polygon->ShowOnMap());
  EXPECT_FALSE(level->Visible());
  EXPECT_EQ(polygon->Shapes()->Markers()->Count(), 4);
  polygon->SetEditable(false);
  EXPECT_FALSE(polygon->ShowOnMap());
  EXPECT_TRUE(level->Visible());
  EXPECT_EQ(level->Polygones()->Count(), 5);
  EXPECT_EQ(polygon->Shapes()->Markers()->Count(), 0);

  // Setting a level while editing leaves edit mode.
  polygon->SetEditable(true);
  polygon->SetLevel(30);
  EXPECT_FALSE(polygon->Editable());
  EXPECT_EQ(polygon->Shapes()->Markers()->Count(), 0);
  polygon->SetLevel(0);
  EXPECT_EQ(level->Polygones()->Count(), 0);
  EXPECT_TRUE(polygon->ShowOnMap());
}

TEST_F(PolygonTest, TheBlockGoesWithThePolygonWhicheverWayItIsFreed) {
  struct Row {
    const char* name;
    std::function<void(TWyShapePolygone*)> free;
  };
  const std::vector<Row> rows = {
      {"Remove", [](TWyShapePolygone* p) { p->Remove(); }},
      {"list Delete", [](TWyShapePolygone* p) { p->ParentList()->Delete(p->IndexOf()); }},
      {"list Clear", [](TWyShapePolygone* p) { p->ParentList()->Clear(); }},
      {"group Clear", [](TWyShapePolygone* p) { p->Group()->Clear(); }},
      {"registry Remove", [this](TWyShapePolygone* p) { Registry->Remove(p); }},
  };
  for (const Row& row : rows) {
    TWyShapePolygone* polygon = Square("city");
    polygon->SetLevel(20);
    TWyShapes* level = polygon->LevelShapes();
    const QPoint over = Pixel(level->Polygones()->Items(4)->getPoints(0)->Lat(),
                              level->Polygones()->Items(4)->getPoints(0)->Lng());
    Registry->ShapesToDraw();
    ASSERT_EQ(Registry->ShapeByHover(over.x() + 10, over.y() + 10), polygon) << row.name;
    row.free(polygon);
    EXPECT_EQ(level->Polygones()->Count(), 0) << row.name;
    EXPECT_TRUE(level->DrawList().empty()) << row.name;
    Registry->ShapesToDraw();
    EXPECT_EQ(Registry->ShapeByHover(over.x() + 10, over.y() + 10), nullptr) << row.name;
    Paint();
  }
}

TEST_F(PolygonTest, RaisedPolygonsWithTheSameIdInTwoGroupsKeepTheirOwnBlocks) {
  TWyShapePolygone* a = Square();
  TWyShapePolygone* b = PolygonOnScreen({{20, 20}, {50, 20}, {50, 50}}, "roads");
  ASSERT_EQ(a->Id(), b->Id());
  a->SetLevel(20);
  b->SetLevel(10);
  EXPECT_NE(a->LevelShapes(), b->LevelShapes());
  EXPECT_EQ(a->LevelShapes()->Polygones()->Count(), 5);
  EXPECT_EQ(b->LevelShapes()->Polygones()->Count(), 4);
  EXPECT_FALSE(a->ShowOnMap());
  b->Remove();
  EXPECT_EQ(a->LevelShapes()->Polygones()->Count(), 5);
}

TEST_F(PolygonTest, HidingARaisedPolygonHidesItsBlock) {
  TWyShapePolygone* polygon = Square();
  polygon->SetLevel(20);
  polygon->SetColor(0x00000000);
  polygon->SetFillColor(0x00000000);
  polygon->SetLevel(20);
  Paint();
  ASSERT_NE(At(130, 130), qRgb(255, 255, 255));
  polygon->SetVisible(false);
  Paint();
  EXPECT_EQ(At(130, 130), qRgb(255, 255, 255));
  polygon->SetVisible(true);
  EXPECT_TRUE(polygon->LevelShapes()->Visible());
  EXPECT_FALSE(polygon->ShowOnMap());
}

}  // namespace
}  // namespace shapes_test
}  // namespace wy

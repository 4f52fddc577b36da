// Points of interest: pixel and metre sizes, the box and its edges, the
// figures and their colours, the drawing hooks and the surface's font.

#include "shapes/shape_poi.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "shapes/shape_list.h"
#include "shapes_fixture.h"

namespace wy {
namespace shapes_test {
namespace {

const QRgb kWhite = qRgb(255, 255, 255);
constexpr TColor kFill = 0x000000FF;   // red
constexpr TColor kHover = 0x00FF0000;  // blue

class PoiTest : public TShapesTest {
 protected:
  TWyShapePOI* AddPoi(double lat = kLat, double lng = kLng) {
    return static_cast<TWyShapePOI*>(Registry->Add(nsPoi, lat, lng));
  }
  // A POI whose centre is exactly on the control pixel (x, y).
  TWyShapePOI* AddPoiAt(int x, int y) {
    double lat = 0, lng = 0;
    World.XYToLatLng(x, y, lat, lng);
    TWyShapePOI* poi = AddPoi(lat, lng);
    EXPECT_EQ(Pixel(lat, lng), QPoint(x, y));
    return poi;
  }
};

TEST_F(PoiTest, MetreSizesFollowZoomAndLatitudeWhilePixelSizesStay) {
  struct Row {
    uint8_t zoom;
    double lat;
    int pixels;
  };
  // 100 m is 10.5 pixels at zoom 14 on the equator; the scale doubles with
  // each zoom step and at latitude 60 (1 / cos 60).
  for (const Row& row :
       {Row{14, 0, 10}, Row{14, 60, 21}, Row{15, 0, 21}, Row{15, 60, 42}, Row{13, 0, 5}}) {
    SetViewport(World, row.lat, 10, row.zoom, kWidth, kHeight);
    TWyShapePOI* metres = AddPoi(row.lat, 10);
    metres->SetPOIUnit(puMeter);
    metres->SetWidth(100);
    metres->SetHeight(100);
    TWyShapePOI* pixels = AddPoi(row.lat, 10);
    Paint();
    EXPECT_EQ(metres->PixelWidth(), row.pixels) << int(row.zoom) << " " << row.lat;
    EXPECT_EQ(metres->PixelHeight(), row.pixels) << int(row.zoom) << " " << row.lat;
    EXPECT_EQ(metres->Left(), metres->X() - row.pixels / 2);
    EXPECT_EQ(pixels->PixelWidth(), 32);
    EXPECT_EQ(pixels->PixelHeight(), 32);
    Default()->Clear();
  }
}

TEST_F(PoiTest, OddBoxIsCentredByTruncationAndHoverIncludesEveryEdge) {
  TWyShapePOI* poi = AddPoiAt(100, 120);
  poi->SetWidth(9);
  poi->SetHeight(9);
  Paint();
  EXPECT_EQ(poi->Left(), 96);
  EXPECT_EQ(poi->Top(), 116);
  struct Row {
    int x, y;
    bool hover;
  };
  for (const Row& row :
       {Row{96, 120, true}, Row{105, 120, true}, Row{106, 120, false}, Row{95, 120, false},
        Row{100, 116, true}, Row{100, 125, true}, Row{100, 126, false}, Row{100, 115, false}}) {
    EXPECT_EQ(poi->IsHover(row.x, row.y), row.hover) << row.x << "," << row.y;
    EXPECT_EQ(poi->XHover(), row.x - 96);
  }
}

TEST_F(PoiTest, FiguresFillTheirOwnPartOfTheBoxInHoverColourWhileHovered) {
  // Box 112..144 around (128, 128). Probes: centre, the box's top-left
  // corner area, a point below the centre and one above it.
  struct Row {
    TPOIShape shape;
    bool centre, corner, below, above;
  };
  const Row rows[] = {
      {poiEllipse, true, false, true, true},
      {poiRect, true, true, true, true},
      {poiStar, true, false, false, true},  // a notch between the lower legs
      // Apex on the point, base on the bottom edge: only the lower half.
      {poiTriangle, true, false, true, false},
  };
  for (const Row& row : rows) {
    TWyShapePOI* poi = AddPoiAt(128, 128);
    poi->SetPOIShape(row.shape);
    poi->SetColor(kFill);
    poi->SetHoverColor(kHover);
    for (bool hovered : {false, true}) {
      if (hovered) Registry->ShapeByHover(128, 130);
      ASSERT_EQ(poi->Hover(), hovered);
      Paint();
      const QRgb fill = Rgb(hovered ? kHover : kFill);
      const auto probe = [&](int x, int y, bool filled) {
        EXPECT_EQ(At(x, y), filled ? fill : kWhite)
            << "shape " << int(row.shape) << " hovered " << hovered << " at " << x << "," << y;
      };
      probe(128, 129, row.centre);
      probe(114, 114, row.corner);
      probe(128, 140, row.below);
      probe(128, 117, row.above);
      probe(150, 128, false);
    }
    Registry->ShapeByHover(0, 0);
    poi->Remove();
  }
}

TEST_F(PoiTest, OwnerDrawUsesThePoiHandlerElseTheListsAndSkipsTheAfterDrawHook) {
  struct Row {
    TPOIShape shape;
    bool poiOwner, poiAfter;
    const char* expected;  // calls in order
  };
  const Row rows[] = {
      {poiOwnerDraw, true, true, "poi-owner"},   {poiOwnerDraw, false, true, "list-owner"},
      {poiEllipse, true, true, "poi-after"},     {poiEllipse, true, false, "list-after"},
      {poiTriangle, false, false, "list-after"},
  };
  for (const Row& row : rows) {
    std::string calls;
    TRect seen;
    TWyShapePOIList* list = Default()->Pois();
    list->OnOwnerDraw = [&](TWyCanvas&, TRect& r, TWyShape*) {
      calls += "list-owner";
      seen = r;
    };
    list->OnAfterDraw = [&](TWyCanvas&, TRect& r, TWyShape*) {
      calls += "list-after";
      seen = r;
    };
    TWyShapePOI* poi = AddPoiAt(60, 70);
    poi->SetWidth(20);
    poi->SetHeight(10);
    poi->SetPOIShape(row.shape);
    if (row.poiOwner)
      poi->OnOwnerDraw = [&](TWyCanvas&, TRect& r, TWyShape* item) {
        calls += "poi-owner";
        seen = r;
        EXPECT_EQ(item, poi);
      };
    if (row.poiAfter)
      poi->OnAfterDraw = [&](TWyCanvas&, TRect& r, TWyShape*) {
        calls += "poi-after";
        seen = r;
      };
    Paint();
    EXPECT_EQ(calls, row.expected) << int(row.shape);
    EXPECT_EQ(seen.Left, 50);
    EXPECT_EQ(seen.Top, 65);
    EXPECT_EQ(seen.Right, 70);
    EXPECT_EQ(seen.Bottom, 75);
    if (row.shape == poiOwnerDraw) {
      EXPECT_EQ(At(60, 70), kWhite);  // nothing of our own
    }
    Default()->Clear();
    list->OnOwnerDraw = nullptr;
    list->OnAfterDraw = nullptr;
  }
}

TEST_F(PoiTest, SurfaceFontIsBackAfterAHandlerChangedItAndThrew) {
  QFont font("DejaVu Sans");
  font.setPixelSize(13);
  font.setItalic(true);
  for (TPOIShape shape : {poiEllipse, poiOwnerDraw}) {
    TWyShapePOI* poi = AddPoi();
    poi->SetPOIShape(shape);
    const TOnDrawShape hostile = [](TWyCanvas& c, TRect&, TWyShape*) {
      c.Font().setPixelSize(70);
      c.Font().setBold(true);
      c.Font().setItalic(false);
      throw std::runtime_error("handler failed");
    };
    poi->OnOwnerDraw = hostile;
    poi->OnAfterDraw = hostile;
    Canvas.SetFont(font);
    Paint();  // the group swallows the failure
    EXPECT_EQ(Canvas.Font(), font) << int(shape);
    poi->Remove();
  }
}

}  // namespace
}  // namespace shapes_test
}  // namespace wy

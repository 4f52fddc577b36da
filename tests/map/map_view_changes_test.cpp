// Changes of the view that do not go through a centring by the user (boxes,
// the limit box) must still list the shapes the new view shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "map/map_control.h"
#include "map_test_support.h"
#include "shapes/shape.h"
#include "shapes/shapes_group.h"

namespace wy {
namespace {

constexpr TLatLng kParis{2.35, 48.85};
constexpr TLatLng kLyon{4.83, 45.76};

class MapViewChangesTest : public maptest::TMapWindowTest {};

TEST_F(MapViewChangesTest, ShapesABoxOrTheLimitBoxBringsIntoViewAreDrawn) {
  struct Case {
    const char* name;
    std::function<void(TWyVuroduDav&)> change;
  } cases[] = {
      {"Bounds",
       [](TWyVuroduDav& m) {
         m.Bounds(kLyon.Lat + 0.02, kLyon.Lng + 0.02, kLyon.Lat - 0.02, kLyon.Lng - 0.02);
       }},
      {"fitBounds",
       [](TWyVuroduDav& m) {
         m.fitBounds(kLyon.Lat + 0.02, kLyon.Lng + 0.02, kLyon.Lat - 0.02, kLyon.Lng - 0.02);
       }},
      {"fitBoundsRadius", [](TWyVuroduDav& m) { m.fitBoundsRadius(kLyon.Lat, kLyon.Lng, 1); }},
      // A centre outside the limit box: the view is pulled back inside it.
      {"limit box",
       [](TWyVuroduDav& m) {
         m.BoundingBox(kLyon.Lat + 0.05, kLyon.Lng + 0.05, kLyon.Lat - 0.05, kLyon.Lng - 0.05);
         m.setCenter(kLyon.Lat + 0.3, kLyon.Lng + 0.3);
       }},
  };
  for (const Case& c : cases) {
    TWyVuroduDav& map = MakeMap(800, 600);
    map.SetZoom(12);
    map.setCenter(kParis.Lat, kParis.Lng);
    // Markers every 0.01 degree over a square of 0.2 degree around Lyon.
    std::vector<TWyShape*> markers;
    map.BeginUpdate();
    for (int i = -10; i <= 10; ++i)
      for (int j = -10; j <= 10; ++j)
        markers.push_back(map.Add(nsMarker, kLyon.Lat + i * 0.01, kLyon.Lng + j * 0.01));
    map.EndUpdate();
    map.RedrawMap(false);
    ASSERT_TRUE(map.Shapes()->DrawList().empty()) << c.name;

    c.change(map);
    map.RedrawMap(false);
    const std::vector<TWyShape*>& drawn = map.Shapes()->DrawList();
    int inView = 0;
    for (TWyShape* m : markers) {
      if (!map.ContainsLatLng(m->Latitude(), m->Longitude())) continue;
      ++inView;
      EXPECT_NE(std::find(drawn.begin(), drawn.end(), m), drawn.end())
          << c.name << ": a marker in view is not drawn";
    }
    EXPECT_GT(inView, 0) << c.name;
    FWindow.reset();
  }
}

}  // namespace
}  // namespace wy

#include "map/map_viewport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace wy {
namespace {

TEST(MapViewportTest, CentringPlacesTheWorldAndReadsBack) {
  struct Case {
    int w, h;
    uint8_t zoom;
    double lat, lng;
    int64_t x0, y0;  // view pixel of world pixel (0, 0)
  } cases[] = {
      {512, 512, 1, 0, 0, 0, 0},  // the whole world at zoom 1
      {800, 600, 2, 0, 0, 400 - 512, 300 - 512},
      {256, 256, 0, 0, -180, 128, 0},  // the west edge in the middle
      {801, 601, 3, 0, 180, 400 - 2048, 300 - 1024},
  };
  for (const Case& c : cases) {
    TMapViewport v;
    v.SetSize(c.w, c.h);
    v.SetMinZoom(0);
    v.SetZoom(c.zoom);
    ASSERT_TRUE(v.CenterOn(c.lat, c.lng));
    EXPECT_EQ(v.X0(), c.x0) << c.w << "x" << c.h << " z" << int(c.zoom);
    EXPECT_EQ(v.Y0(), c.y0) << c.w << "x" << c.h << " z" << int(c.zoom);
    const TLatLng back = v.Center();
    EXPECT_NEAR(back.Lat, c.lat, 1e-9);
    EXPECT_NEAR(back.Lng, c.lng, 1e-9);
    // The shapes see the same view.
    EXPECT_EQ(v.WorldInfo().Left(), -c.x0);
    EXPECT_EQ(v.WorldInfo().Top(), -c.y0);
    EXPECT_EQ(v.WorldInfo().Zoom(), c.zoom);
  }
}

TEST(MapViewportTest, RefusesNonFiniteCentresAndPlacesPolesAtTheLimit) {
  TMapViewport v;
  v.SetSize(400, 300);
  ASSERT_TRUE(v.CenterOn(10, 20));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (auto [lat, lng] : {std::pair{nan, 0.0}, {0.0, nan}, {inf, 0.0}, {0.0, -inf}}) {
    EXPECT_FALSE(v.CenterOn(lat, lng));
    EXPECT_EQ(v.Latitude(), 10);
    EXPECT_EQ(v.Longitude(), 20);
  }
  ASSERT_TRUE(v.CenterOn(90, 0));
  EXPECT_EQ(v.Latitude(), 90);  // kept as asked
  EXPECT_NEAR(v.Center().Lat, cLatitudeLimit, 1e-3);
}

TEST(MapViewportTest, ZoomStaysWithinItsLimitsAndPivotsOnTheMiddle) {
  struct Case {
    uint8_t min, max, asked, expected;
    bool changed;
  } cases[] = {
      {2, 18, 10, 10, true}, {2, 18, 1, 2, true},
      {2, 18, 30, 18, true}, {2, 18, 14, 14, false},  // the current zoom: nothing happens
      {5, 3, 10, 3, true},                            // crossed limits: the upper one wins
  };
  for (const Case& c : cases) {
    TMapViewport v;
    v.SetSize(640, 480);
    v.SetMinZoom(0);
    v.SetMaxZoom(23);
    v.CenterOn(48.85, 2.35);
    v.SetMinZoom(c.min);
    v.SetMaxZoom(c.max);
    v.SetZoom(14);
    const TLatLng before = v.Center();
    const uint8_t from = v.Zoom();
    ASSERT_EQ(v.SetZoom(c.asked), c.changed) << int(c.asked);
    EXPECT_EQ(v.Zoom(), c.expected) << int(c.asked);
    // Within a pixel of the coarser of the two zooms.
    const double pixel = 360.0 / WorldSize(std::min(from, v.Zoom()));
    EXPECT_NEAR(v.Center().Lat, before.Lat, pixel);
    EXPECT_NEAR(v.Center().Lng, before.Lng, pixel);
  }
  TMapViewport v;
  EXPECT_FALSE(v.SetMaxZoom(24));
  EXPECT_EQ(v.MaxZoom(), 18);
  ASSERT_TRUE(v.SetMaxZoom(12));  // the zoom follows a limit that passes it
  EXPECT_EQ(v.Zoom(), 12);
}

TEST(MapViewportTest, BoxesAreFittedAndOvershotAsDocumented) {
  const TLatLngBox boxes[] = {
      {48.90, 2.42, 48.81, 2.25},   // a city
      {51.10, 9.60, 41.30, -5.20},  // a country
      {0.001, 0.001, 0.0, 0.0},     // a street corner
  };
  for (const TLatLngBox& box : boxes) {
    // Fitting from the highest zoom finds the closest view that shows it.
    TMapViewport v;
    v.SetSize(800, 600);
    v.SetZoom(v.MaxZoom());
    v.FitBox(box);
    EXPECT_TRUE(v.BoxVisible(box)) << box.NELat;
    if (v.Zoom() < v.MaxZoom()) {
      TMapViewport closer = v;
      closer.SetZoom(v.Zoom() + 1);
      EXPECT_FALSE(closer.BoxVisible(box)) << "fit is not the closest view " << box.NELat;
    }
    // Fitting never zooms in.
    TMapViewport far;
    far.SetSize(800, 600);
    far.SetZoom(3);
    far.FitBox(box);
    EXPECT_EQ(far.Zoom(), std::min<int>(3, v.Zoom())) << box.NELat;
    // Zooming in on the box ends one level past the last view that showed
    // it all (or at the limit).
    TMapViewport in;
    in.SetSize(800, 600);
    in.SetZoom(2);
    in.ZoomInOnBox(box);
    if (in.Zoom() < in.MaxZoom()) {
      EXPECT_FALSE(in.BoxVisible(box)) << box.NELat;
    }
    TMapViewport before = in;
    before.SetZoom(in.Zoom() - 1);
    EXPECT_TRUE(before.BoxVisible(box)) << box.NELat;
  }
}

TEST(MapViewportTest, TheLimitBoxClampsWhatTheViewReads) {
  TMapViewport v;
  v.SetSize(800, 600);
  v.SetZoom(7);
  v.SetLimitBox({45, 5, 44, 4});
  v.CenterOn(44.5, 4.5);
  EXPECT_TRUE(v.LimitBoxHit());  // a zoom-7 view is larger than the box
  EXPECT_LE(v.WorldInfo().NorthEastLatitude(), 45);
  EXPECT_GE(v.WorldInfo().SouthWestLongitude(), 4);
  const TLatLng corner = v.FromXYToLatLng(0, 0);
  EXPECT_EQ(corner.Lat, 45);
  EXPECT_EQ(corner.Lng, 4);
  v.SetZoom(16);
  EXPECT_FALSE(v.LimitBoxHit());  // inside it now
}

TEST(MapViewportTest, AShiftMovesTheWorldWithThePointer) {
  TMapViewport v;
  v.SetSize(500, 400);
  v.CenterOn(0, 0);
  const int64_t x0 = v.X0(), y0 = v.Y0();
  const TLatLng east = v.FromXYToLatLng(250 + 100, 200);
  v.Shift(-100, 0);  // the world moves left: the point 100 px east is now in the middle
  EXPECT_EQ(v.X0(), x0 - 100);
  EXPECT_EQ(v.Y0(), y0);
  EXPECT_NEAR(v.Center().Lng, east.Lng, 1e-9);
  EXPECT_NEAR(v.Longitude(), east.Lng, 1e-9);
  // A resize keeps the top-left corner on its world pixel.
  v.SetSize(900, 700);
  EXPECT_EQ(v.X0(), x0 - 100);
}

}  // namespace
}  // namespace wy

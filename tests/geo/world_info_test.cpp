#include "geo/world_info.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <vector>

namespace wy {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
// Latitude of the world's top and bottom edges as the inverse projection
// computes them (just inside the clamp limit).
constexpr double kEdgeLat = 85.0511287798066;
constexpr double kPi = 3.14159265358979323846;

TEST(Projection, KnownPixelsAndInverse) {
  struct Case {
    uint8_t zoom;
    double lat, lng, x, y, tol;
  };
  const std::vector<Case> cases = {
      {0, 0, 0, 128, 128, 1e-9},
      {14, 43.232951, 0.078082, 2098061.7212359, 1537475.9404230, 1e-6},
      {1, kEdgeLat, -180, 0, 0, 1e-6},
      {5, -kEdgeLat, 180, 8192, 8192, 1e-6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "zoom " << int(c.zoom) << " " << c.lat << "," << c.lng);
    double x, y, lat, lng;
    LatLngToWorldPixel(c.zoom, c.lat, c.lng, x, y);
    EXPECT_NEAR(x, c.x, c.tol);
    EXPECT_NEAR(y, c.y, c.tol);
    WorldPixelToLatLng(c.zoom, c.x, c.y, lat, lng);
    EXPECT_NEAR(lat, c.lat, 1e-9);
    EXPECT_NEAR(lng, c.lng, 1e-9);
  }
}

TEST(Projection, RoundTripWithinAPicoDegree) {
  const std::vector<uint8_t> zooms = {0, 3, 14, 22, 23};
  const std::vector<TLatLng> points = {{0.078082, 43.232951},
                                       {-122.4194, 37.7749},
                                       {151.2093, -33.8688},
                                       {179.999, 85},
                                       {-180, -85}};
  for (uint8_t zoom : zooms) {
    for (const TLatLng& p : points) {
      double x, y, lat, lng;
      LatLngToWorldPixel(zoom, p.Lat, p.Lng, x, y);
      WorldPixelToLatLng(zoom, x, y, lat, lng);
      EXPECT_NEAR(lat, p.Lat, 1e-12) << "zoom " << int(zoom);
      EXPECT_NEAR(lng, p.Lng, 1e-12) << "zoom " << int(zoom);
    }
  }
}

TEST(Projection, InverseStopsAtTheWorldEdges) {
  for (uint8_t zoom : {0, 7, 23}) {
    const double size = WorldSize(zoom);
    double lat, lng;
    WorldPixelToLatLng(zoom, 0, 0, lat, lng);
    EXPECT_NEAR(lat, kEdgeLat, 1e-12);  // not clamped: just under the limit
    EXPECT_EQ(lng, -180);
    WorldPixelToLatLng(zoom, size, size, lat, lng);
    EXPECT_NEAR(lat, -kEdgeLat, 1e-12);
    EXPECT_EQ(lng, 180);
    // Beyond the world the limits hold.
    WorldPixelToLatLng(zoom, -size, -size, lat, lng);
    EXPECT_EQ(lat, cLatitudeLimit);
    EXPECT_EQ(lng, -180);
    WorldPixelToLatLng(zoom, 3 * size, 3 * size, lat, lng);
    EXPECT_EQ(lat, -cLatitudeLimit);
    EXPECT_EQ(lng, 180);
  }
}

TEST(Projection, ForwardDoesNotClamp) {
  double x, y;
  LatLngToWorldPixel(0, 86, 190, x, y);
  EXPECT_LT(y, 0);
  EXPECT_GT(x, 256);
  LatLngToWorldPixel(0, -86, -190, x, y);
  EXPECT_GT(y, 256);
  EXPECT_LT(x, 0);
}

TEST(Projection, AngleHelpers) {
  const long double pi = cPi;
  struct Case {
    double y, x, angle;
  };
  const std::vector<Case> cases = {
      {0, 0, kPi / 2},   {-1, -1, 5 * kPi / 4}, {1, -1, 3 * kPi / 4},
      {-1, 1, -kPi / 4}, {-1, 0, -kPi / 2},     {0, -1, kPi},
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(ArcTanYX(c.y, c.x), c.angle) << "y " << c.y << " x " << c.x;
  EXPECT_EQ(SignOf(0), 1);
  EXPECT_EQ(SignOf(-0.0), 1);
  EXPECT_EQ(SignOf(-1e-300), -1);
  EXPECT_EQ(Radians(180), pi);
  EXPECT_EQ(Degrees(pi), 180);
}

TEST(Conversion, SaturatesInsteadOfOverflowing) {
  struct Case {
    double in;
    int32_t truncated, rounded;
  };
  const std::vector<Case> cases = {
      {kNan, 0, 0},
      {kInf, kMax, kMax},
      {-kInf, kMin, kMin},
      {2147483648.0, kMax, kMax},
      {2147483647.4, kMax, kMax},
      {2147483646.6, 2147483646, kMax},
      {-2147483648.0, kMin, kMin},
      {-2147483649.5, kMin, kMin},
      {1e300, kMax, kMax},
      {-2.9, -2, -3},
      // Halves go to the even neighbour.
      {10.5, 10, 10},
      {11.5, 11, 12},
      {-1.5, -1, -2},
      {-2.5, -2, -2},
      {0.5, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SaturateToInt32(c.in), c.truncated) << c.in;
    EXPECT_EQ(RoundToInt32(c.in), c.rounded) << c.in;
  }
}

TEST(WorldInfo, NewObjectIsAllZero) {
  const TWyWorldInfo w;
  EXPECT_EQ(w.NorthEastLatitude(), 0);
  EXPECT_EQ(w.NorthEastLongitude(), 0);
  EXPECT_EQ(w.SouthWestLatitude(), 0);
  EXPECT_EQ(w.SouthWestLongitude(), 0);
  EXPECT_EQ(w.Top(), 0);
  EXPECT_EQ(w.Left(), 0);
  EXPECT_EQ(w.Width(), 0);
  EXPECT_EQ(w.Height(), 0);
  EXPECT_EQ(w.RotationAngle(), 0);
  EXPECT_EQ(w.Zoom(), 0);
  EXPECT_EQ(w.Tick(), 0u);
}

TEST(WorldInfo, LatLngToXYSubtractsTheOriginAndRoundsToNearest) {
  TWyWorldInfo w;
  w.SetZoom(0);
  // World x of these longitudes lies a hair above 10.5 and 11.5.
  const double lng10 = 360.0 * 10.5 / 256 - 180;
  const double lng11 = 360.0 * 11.5 / 256 - 180;
  struct Case {
    double lng;
    int32_t left, x;
  };
  const std::vector<Case> cases = {
      {lng10, 0, 11}, {lng11, 0, 12}, {lng10, 12, -1}, {0, 0, 128}, {0, 200, -72}, {180, -10, 266},
  };
  for (const Case& c : cases) {
    w.SetLeft(c.left);
    w.SetTop(-c.left);
    int32_t x, y, wx, wy;
    w.LatLngToXY(0, c.lng, x, y);
    w.LatLngToWorldXY(0, c.lng, wx, wy);
    EXPECT_EQ(x, c.x) << c.lng << " left " << c.left;
    EXPECT_EQ(y, 128 + c.left);
    EXPECT_EQ(wx, c.x + c.left);
    EXPECT_EQ(wy, 128);
  }
}

TEST(WorldInfo, PolesAndNaNGiveSaturatedPixels) {
  TWyWorldInfo w;
  struct Case {
    uint8_t zoom;
    double lat, lng;
    int32_t x, y;
  };
  const std::vector<Case> cases = {
      {3, 90, 0, 1024, kMin},    // the tangent is 0: y is -infinity
      {3, -90, 0, 1024, 13192},  // finite but far below the world
      {23, -90, 0, 1073741824, kMax}, {3, kNan, 0, 1024, 0},
      {3, 0, kNan, 0, 1024},          {3, 0, kInf, kMax, 1024},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "zoom " << int(c.zoom) << " " << c.lat << "," << c.lng);
    w.SetZoom(c.zoom);
    int32_t x, y;
    w.LatLngToWorldXY(c.lat, c.lng, x, y);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
    w.SetLeft(kMin);  // the subtraction must not overflow either
    w.SetTop(kMax);
    w.LatLngToXY(c.lat, c.lng, x, y);
    EXPECT_EQ(x, std::isnan(c.lng) ? 0 : kMax);
  }
}

TEST(WorldInfo, Zoom23WorldReachesPastInt32) {
  TWyWorldInfo w;
  w.SetZoom(23);
  EXPECT_EQ(WorldSize(23), 2147483648.0);
  int32_t x, y;
  w.LatLngToWorldXY(kEdgeLat, -180, x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  // The south-east corner is world pixel 2^31: one past the int32 range.
  w.LatLngToWorldXY(-kEdgeLat, 180, x, y);
  EXPECT_EQ(x, kMax);
  EXPECT_EQ(y, kMax);
  // A viewport at the east edge: world pixels near 2^31 become small screen
  // pixels, and screen pixels map back without overflowing.
  w.SetLeft(kMax - 100);
  w.SetTop(kMax - 100);
  w.LatLngToXY(-kEdgeLat, 180, x, y);
  EXPECT_EQ(x, 101);
  EXPECT_EQ(y, 101);
  double lat, lng;
  w.XYToLatLng(101, 101, lat, lng);
  EXPECT_EQ(lng, 180);
  EXPECT_NEAR(lat, -kEdgeLat, 1e-12);
  w.XYToLatLng(kMax, kMax, lat, lng);  // far beyond the edge: clamped
  EXPECT_EQ(lng, 180);
  EXPECT_NEAR(lat, -kEdgeLat, 1e-12);
  w.XYToLatLng(0, 50, lat, lng);
  EXPECT_NEAR(lng, 180 - 101 * 360.0 / WorldSize(23), 1e-12);
}

TEST(WorldInfo, XYToLatLngClampsToTheWorld) {
  TWyWorldInfo w;
  w.SetZoom(3);
  w.SetLeft(100);
  w.SetTop(50);
  struct Case {
    int32_t x, y;
    double lat, lng;
  };
  const std::vector<Case> cases = {
      {-1000, -1000, kEdgeLat, -180},
      {-100, -50, kEdgeLat, -180},
      {5000, 5000, -kEdgeLat, 180},
      {kMin, kMax, -kEdgeLat, -180},
      {924, 974, 0, 0},
  };
  for (const Case& c : cases) {
    double lat, lng;
    w.XYToLatLng(c.x, c.y, lat, lng);
    EXPECT_NEAR(lat, c.lat, 1e-12) << c.x << "," << c.y;
    EXPECT_NEAR(lng, c.lng, 1e-12) << c.x << "," << c.y;
  }
}

TEST(WorldInfo, ContainsLatLngCountsTheEdgesAsInside) {
  TWyWorldInfo w;
  w.SetSouthWestLatitude(40);
  w.SetSouthWestLongitude(-5);
  w.SetNorthEastLatitude(45);
  w.SetNorthEastLongitude(8);
  struct Case {
    double lat, lng;
    bool inside;
  };
  const std::vector<Case> cases = {
      {45, 8, true},        {40, -5, true},      {42, 0, true},        {45.000001, 8, false},
      {42, -5.0001, false}, {39.9999, 0, false}, {42, 8.00001, false}, {kNan, 0, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(w.ContainsLatLng(c.lat, c.lng), c.inside) << c.lat << "," << c.lng;
}

}  // namespace
}  // namespace wy

namespace wy {
namespace {

// A view set without a map: its middle pixel shows the centre and its
// bounds are the coordinates of its corners.
TEST(WorldInfoViewTest, CenterOnPutsThePointInTheMiddleAndTheCornersInTheBounds) {
  TWyWorldInfo world;
  world.CenterOn(48.85, 2.35, 12, 800, 600);
  double lat = 0, lng = 0;
  world.XYToLatLng(400, 300, lat, lng);
  const double pixelDeg = 360.0 / (256 << 12);
  EXPECT_NEAR(lat, 48.85, pixelDeg);
  EXPECT_NEAR(lng, 2.35, pixelDeg);
  world.XYToLatLng(800, 0, lat, lng);
  EXPECT_DOUBLE_EQ(world.NorthEastLatitude(), lat);
  EXPECT_DOUBLE_EQ(world.NorthEastLongitude(), lng);
  world.XYToLatLng(0, 600, lat, lng);
  EXPECT_DOUBLE_EQ(world.SouthWestLatitude(), lat);
  EXPECT_DOUBLE_EQ(world.SouthWestLongitude(), lng);
  EXPECT_TRUE(world.ContainsLatLng(48.85, 2.35));
}

}  // namespace
}  // namespace wy

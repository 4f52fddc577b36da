#include "geo/ellipsoid_distance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace wy {
namespace {

// Lengths on WGS 84 known by construction: one degree of the equator
// (a * pi / 180), one degree of a meridian from the equator and from 45 N
// (the integral of the meridional radius). A sphere of any radius misses at
// least one of them by tens of metres.
TEST(EllipsoidDistance, KnownArcsWalkedInSmallStepsAndInOne) {
  struct Case {
    double lat1, lng1, lat2, lng2, metres;
  };
  const std::vector<Case> cases = {
      {0, 0, 0, 1, 111319.4908},
      {0, 0, 1, 0, 110574.3886},
      {45, 10, 46, 10, 111141.5485},
      {0, 179.5, 0, -179.5, 111319.4908},  // across the 180th meridian
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(VincentyDistanceM(c.lat1, c.lng1, c.lat2, c.lng2), c.metres, 0.01)
        << c.lat1 << "," << c.lng1;
    EXPECT_NEAR(EllipsoidDistanceM(c.lat1, c.lng1, c.lat2, c.lng2), c.metres, 0.01)
        << c.lat1 << "," << c.lng1;
    // 1000 steps of 110 m each on the local plane.
    double sum = 0;
    double dLng = c.lng2 - c.lng1;
    if (dLng > 180) dLng -= 360;
    if (dLng < -180) dLng += 360;
    for (int i = 0; i < 1000; ++i) {
      const double t0 = i / 1000.0, t1 = (i + 1) / 1000.0;
      sum += EllipsoidDistanceM(c.lat1 + (c.lat2 - c.lat1) * t0, c.lng1 + dLng * t0,
                                c.lat1 + (c.lat2 - c.lat1) * t1, c.lng1 + dLng * t1);
    }
    EXPECT_NEAR(sum, c.metres, 0.05) << c.lat1 << "," << c.lng1 << " in steps";
  }
}

TEST(EllipsoidDistance, ShortStepsAgreeWithTheGeodesic) {
  // Both sides of the switch to the geodesic, at several latitudes and
  // directions: the local plane must not jump away from Vincenty.
  for (double lat : {-70.0, -30.0, 0.0, 45.0, 80.0})
    for (double dir : {0.0, 0.3, 1.0}) {
      for (double step : {1.0, 100.0, 9000.0}) {
        const double dLat = step / 111000 * (1 - dir);
        const double dLng = step / 111000 * dir;
        const double exact = VincentyDistanceM(lat, 5, lat + dLat, 5 + dLng);
        EXPECT_NEAR(EllipsoidDistanceM(lat, 5, lat + dLat, 5 + dLng), exact, 1e-6 * exact + 1e-5)
            << lat << " " << dir << " " << step;
      }
    }
  EXPECT_EQ(EllipsoidDistanceM(12, 34, 12, 34), 0);
  // Nearly antipodal: no NaN, about half the meridian.
  const double d = EllipsoidDistanceM(0, 0, 0.5, 179.7);
  EXPECT_GT(d, 19.9e6);
  EXPECT_LT(d, 20.1e6);
}

TEST(EllipsoidDistance, PathStepsAgreeWithSingleSteps) {
  // A path from 70 S to 67 N, east and west, in steps of 1 to 190 m
  // in changing directions: the expansions are refreshed many times.
  TPathDistance path;
  double lat = -70, lng = 20, worst = 0;
  for (int i = 0; i < 200000; ++i) {
    const double step = 1 + (i % 190);
    const double dir = i * 0.001;
    const double lat2 = lat + step / 111000 * (0.8 + 0.2 * std::sin(dir));
    const double lng2 = lng + step / 111000 * std::cos(dir) / std::cos(lat * 0.01745);
    const double exact = EllipsoidDistanceM(lat, lng, lat2, lng2);
    worst = std::max(worst, std::fabs(path(lat, lng, lat2, lng2) - exact) / exact);
    lat = lat2;
    lng = lng2;
  }
  EXPECT_GT(lat, 60);
  EXPECT_LT(worst, 3e-7);
  // Across the 180th meridian and long steps as EllipsoidDistanceM.
  EXPECT_NEAR(path(0, 179.9995, 0, -179.9995), EllipsoidDistanceM(0, 179.9995, 0, -179.9995), 1e-6);
  EXPECT_NEAR(path(0, 0, 1, 0), 110574.3886, 0.01);
}

}  // namespace
}  // namespace wy

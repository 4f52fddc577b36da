#include "geo/geodesy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace wy {
namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(Geodesy, DistanceFrom) {
  struct Case {
    double lat1, lng1, lat2, lng2, km, tol;
  };
  const std::vector<Case> cases = {
      {0, 0, 0, 0, 0, 0},
      {43.232951, 0.078082, 43.232951, 0.078082, 0, 0},
      {-89.5, 179.9, -89.5, 179.9, 0, 0},
      // One degree on a 6372.795 km sphere; 6378.137 km would give 111.3195.
      {0, 0, 0, 1, 111.2262553, 1e-7},
      {0, 0, 1, 0, 111.2262553, 1e-7},
      {0, 1, 0, 0, 111.2262553, 1e-7},
      {0, 0, 0, 180, 20020.726, 1e-3},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(DistanceFrom(c.lat1, c.lng1, c.lat2, c.lng2), c.km, c.tol)
        << c.lat1 << "," << c.lng1 << " -> " << c.lat2 << "," << c.lng2;
}

TEST(Geodesy, DistanceOfAntipodesIsHalfTheCircumference) {
  // Rounding may push the arcsine's argument just past 1 for some of these;
  // the result must stay a number, never NaN. Near 1 the arcsine magnifies
  // rounding, hence the loose tolerance.
  const double half = kPi * 6372.795;
  for (double lat = -90; lat <= 90; lat += 7.5) {
    for (double lng = -180; lng <= 180; lng += 22.5) {
      const double d = DistanceFrom(lat, lng, -lat, lng + 180);
      ASSERT_FALSE(std::isnan(d)) << lat << "," << lng;
      EXPECT_NEAR(d, half, 1e-3) << lat << "," << lng;
    }
  }
}

TEST(Geodesy, Bearing) {
  struct Case {
    double lat1, lng1, lat2, lng2;
    int expected;
  };
  const std::vector<Case> cases = {
      {0, 0, 0, 0, 90},  // x and y are both 0
      {12, 34, 12, 34, 90}, {0, 0, 1, 0, 0},        {0, 0, 1, 1, 45},     {0, 0, 0, 1, 90},
      {0, 0, -1, 1, 135},   {0, 0, -1, 0, 180},     {0, 0, -1, -1, 225},  {0, 0, 0, -1, -90},
      {0, 0, 1, -1, -45},   {-10, 0, -10, -1, 270}, {10, 0, 10, -1, -90},
  };
  for (const Case& c : cases)
    EXPECT_EQ(bearing(c.lat1, c.lng1, c.lat2, c.lng2), c.expected)
        << c.lat1 << "," << c.lng1 << " -> " << c.lat2 << "," << c.lng2;
}

TEST(Geodesy, DestinationPoint) {
  struct Case {
    double lat1, lon1, brng, meters, lat2, lon2, tol;
  };
  const std::vector<Case> cases = {
      // No distance: the start point.
      {43.232951, 0.078082, 37, 0, 43.232951, 0.078082, 1e-12},
      {-33.8688, 151.2093, 250, 0, -33.8688, 151.2093, 1e-12},
      // Bearing 0 changes only the latitude, by meters / 6378137 radians.
      {10, 20, 0, 50000, 10 + 50000 / 6378137.0 * 180 / kPi, 20, 1e-12},
      // About one degree east on the equator.
      {0, 0, 90, 111320, 0, 1.0000046, 1e-6},
      // The longitude is not folded back into -180 .. 180.
      {0, 179.5, 90, 111320, 0, 180.5000046, 1e-6},
  };
  for (const Case& c : cases) {
    double lat2 = -1, lon2 = -1;
    LatLonFromDistanceBearing(c.lat1, c.lon1, c.brng, c.meters, lat2, lon2);
    EXPECT_NEAR(lat2, c.lat2, c.tol) << c.lat1 << "," << c.lon1 << " " << c.meters << " m";
    EXPECT_NEAR(lon2, c.lon2, c.tol) << c.lat1 << "," << c.lon1 << " " << c.meters << " m";
  }
}

TEST(Geodesy, BoundingCoordinates) {
  struct Case {
    double lat, lng, radiusKm, latSW, lngSW, latNE, lngNE, tol;
  };
  const std::vector<Case> cases = {
      {0, 0, 6378.137 * kPi / 180, -1, -1, 1, 1, 1e-12},
      // Reaches the pole: all longitudes, clipped at 90.
      {89.9, 10, 20, 89.72033694, -180, 90, 180, 1e-8},
      // Crosses the 180th meridian: lngSW > lngNE.
      {0, 179.99, 10, -0.08983153, 179.90017, 0.08983153, -179.92017, 1e-5},
  };
  for (const Case& c : cases) {
    double latSW, lngSW, latNE, lngNE;
    boundingCoordinates(c.lat, c.lng, c.radiusKm, latSW, lngSW, latNE, lngNE);
    SCOPED_TRACE(::testing::Message() << c.lat << "," << c.lng << " r " << c.radiusKm);
    EXPECT_NEAR(latSW, c.latSW, c.tol);
    EXPECT_NEAR(lngSW, c.lngSW, c.tol);
    EXPECT_NEAR(latNE, c.latNE, c.tol);
    EXPECT_NEAR(lngNE, c.lngNE, c.tol);
  }
}

}  // namespace
}  // namespace wy

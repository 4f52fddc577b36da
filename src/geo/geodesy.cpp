#include "geo/geodesy.h"

#include <cmath>

#include "geo/world_info.h"

namespace wy {

namespace {

constexpr long double cDistanceRadiusKm = 6372.795L;
constexpr long double cBoxRadiusKm = 6378.137L;

// asin of a value that rounding may have pushed just outside -1 .. 1.
long double ClampedArcSin(long double v) {
  if (v > 1) v = 1;
  if (v < -1) v = -1;
  return std::asin(v);
}

long double Square(long double v) {
  return v * v;
}

}  // namespace

double DistanceFrom(double dLatitudeStart, double dLongitudeStart, double dLatitudeEnd,
                    double dLongitudeEnd) {
  const long double phi1 = Radians(dLatitudeStart);
  const long double phi2 = Radians(dLatitudeEnd);
  const long double lambda1 = Radians(dLongitudeStart);
  const long double lambda2 = Radians(dLongitudeEnd);
  const long double a = Square(std::sin((phi2 - phi1) / 2));
  const long double b = std::cos(phi1) * std::cos(phi2);
  const long double c = Square(std::sin((lambda2 - lambda1) / 2));
  return static_cast<double>(ClampedArcSin(std::sqrt(a + b * c)) * (cDistanceRadiusKm * 2));
}

int32_t bearing(double lat1, double lng1, double lat2, double lng2) {
  const long double phi1 = Radians(lat1);
  const long double phi2 = Radians(lat2);
  const long double dLambda = Radians(static_cast<long double>(lng2) - lng1);
  const long double y = std::sin(dLambda) * std::cos(phi2);
  const long double x =
      std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda);
  return RoundToInt32(static_cast<double>(Degrees(ArcTanYXExt(y, x))));
}

void LatLonFromDistanceBearing(double lat1, double lon1, double brng, double meters, double& lat2,
                               double& lon2) {
  const long double phi1 = Radians(lat1);
  const long double lambda1 = Radians(lon1);
  const long double theta = Radians(brng);
  const long double delta = static_cast<long double>(meters) / 1000 / cBoxRadiusKm;
  const long double phi2 = ClampedArcSin(std::sin(phi1) * std::cos(delta) +
                                         std::cos(phi1) * std::sin(delta) * std::cos(theta));
  lat2 = static_cast<double>(Degrees(phi2));
  lon2 =
      static_cast<double>(Degrees(ArcTanYXExt(std::sin(theta) * std::sin(delta) * std::cos(phi1),
                                              std::cos(delta) - std::sin(phi1) * std::sin(phi2)) +
                                  lambda1));
}

void boundingCoordinates(double lat, double lng, double radius, double& latSW, double& lngSW,
                         double& latNE, double& lngNE) {
  const long double minLatLimit = Radians(-90);
  const long double maxLatLimit = Radians(90);
  const long double minLonLimit = Radians(-180);
  const long double maxLonLimit = Radians(180);
  const long double delta = static_cast<long double>(radius) / cBoxRadiusKm;
  const long double phi = Radians(lat);
  const long double lambda = Radians(lng);
  long double minLat = phi - delta;
  long double maxLat = phi + delta;
  long double minLon, maxLon;
  if (minLat > minLatLimit && maxLat < maxLatLimit) {
    const long double dLambda = ClampedArcSin(std::sin(delta) / std::cos(phi));
    minLon = lambda - dLambda;
    if (minLon < minLonLimit) minLon += 2 * cPi;
    maxLon = lambda + dLambda;
    if (maxLon > maxLonLimit) maxLon -= 2 * cPi;
  } else {
    if (minLat < minLatLimit) minLat = minLatLimit;
    if (maxLat > maxLatLimit) maxLat = maxLatLimit;
    minLon = minLonLimit;
    maxLon = maxLonLimit;
  }
  latSW = static_cast<double>(Degrees(minLat));
  lngSW = static_cast<double>(Degrees(minLon));
  latNE = static_cast<double>(Degrees(maxLat));
  lngNE = static_cast<double>(Degrees(maxLon));
}

}  // namespace wy

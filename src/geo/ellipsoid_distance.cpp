#include "geo/ellipsoid_distance.h"

#include <cmath>

namespace wy {

namespace {

constexpr double kA = 6378137.0;          // WGS 84 semi-major axis
constexpr double kF = 1 / 298.257223563;  // flattening
constexpr double kB = kA * (1 - kF);      // semi-minor axis
constexpr double kE2 = kF * (2 - kF);     // first eccentricity squared
constexpr double kMeanRadius = (2 * kA + kB) / 3;
constexpr double kRad = 0.017453292519943295;
constexpr double kPi = 3.14159265358979323846;

// Longitude difference folded into -180 .. 180 degrees.
double LongitudeStep(double lng1, double lng2) {
  double d = lng2 - lng1;
  if (d > 180 || d < -180) d = std::remainder(d, 360.0);
  return d;
}

double SphereDistance(double lat1, double lng1, double lat2, double lng2) {
  const double p1 = lat1 * kRad, p2 = lat2 * kRad;
  const double a = std::sin((p2 - p1) / 2);
  const double c = std::sin(LongitudeStep(lng1, lng2) * kRad / 2);
  const double h = a * a + std::cos(p1) * std::cos(p2) * c * c;
  return 2 * kMeanRadius * std::asin(std::sqrt(std::fmin(1.0, h)));
}

}  // namespace

double VincentyDistanceM(double lat1, double lng1, double lat2, double lng2) {
  const double L = LongitudeStep(lng1, lng2) * kRad;
  const double U1 = std::atan((1 - kF) * std::tan(lat1 * kRad));
  const double U2 = std::atan((1 - kF) * std::tan(lat2 * kRad));
  const double sinU1 = std::sin(U1), cosU1 = std::cos(U1);
  const double sinU2 = std::sin(U2), cosU2 = std::cos(U2);
  double lambda = L;
  double sinSigma = 0, cosSigma = 0, sigma = 0, cos2Alpha = 0, cos2SigmaM = 0;
  for (int i = 0; i < 200; ++i) {
    const double sinLambda = std::sin(lambda), cosLambda = std::cos(lambda);
    const double t1 = cosU2 * sinLambda;
    const double t2 = cosU1 * sinU2 - sinU1 * cosU2 * cosLambda;
    sinSigma = std::sqrt(t1 * t1 + t2 * t2);
    if (sinSigma == 0) return 0;  // the same point
    cosSigma = sinU1 * sinU2 + cosU1 * cosU2 * cosLambda;
    sigma = std::atan2(sinSigma, cosSigma);
    const double sinAlpha = cosU1 * cosU2 * sinLambda / sinSigma;
    cos2Alpha = 1 - sinAlpha * sinAlpha;
    cos2SigmaM = cos2Alpha != 0 ? cosSigma - 2 * sinU1 * sinU2 / cos2Alpha : 0;
    const double C = kF / 16 * cos2Alpha * (4 + kF * (4 - 3 * cos2Alpha));
    const double previous = lambda;
    lambda = L + (1 - C) * kF * sinAlpha *
                     (sigma + C * sinSigma *
                                  (cos2SigmaM + C * cosSigma * (-1 + 2 * cos2SigmaM * cos2SigmaM)));
    if (std::fabs(lambda) > kPi) break;  // diverging: nearly antipodal
    if (std::fabs(lambda - previous) < 1e-12) {
      const double u2 = cos2Alpha * (kA * kA - kB * kB) / (kB * kB);
      const double A = 1 + u2 / 16384 * (4096 + u2 * (-768 + u2 * (320 - 175 * u2)));
      const double B = u2 / 1024 * (256 + u2 * (-128 + u2 * (74 - 47 * u2)));
      const double dSigma = B * sinSigma *
                            (cos2SigmaM + B / 4 *
                                              (cosSigma * (-1 + 2 * cos2SigmaM * cos2SigmaM) -
                                               B / 6 * cos2SigmaM * (-3 + 4 * sinSigma * sinSigma) *
                                                   (-3 + 4 * cos2SigmaM * cos2SigmaM)));
      return kB * A * (sigma - dSigma);
    }
  }
  return SphereDistance(lat1, lng1, lat2, lng2);
}

namespace {

// The local plane at the middle latitude, whose sine and cosine are given.
inline double PlaneDistance(double lat1, double lng1, double lat2, double lng2, double s,
                            double c) {
  const double dLat = (lat2 - lat1) * kRad;
  double dLngDeg = lng2 - lng1;
  if (dLngDeg > 180 || dLngDeg < -180) dLngDeg = LongitudeStep(lng1, lng2);
  const double dLng = dLngDeg * kRad;
  // Rough size on the sphere first: long steps go to the geodesic.
  const double roughNorth = dLat * kA, roughEast = dLng * c * kA;
  if (roughNorth * roughNorth + roughEast * roughEast >= kShortStepM * kShortStepM)
    return VincentyDistanceM(lat1, lng1, lat2, lng2);
  const double w2 = 1 - kE2 * s * s;
  const double w = std::sqrt(w2);
  const double n = kA / w;                     // prime vertical radius
  const double m = kA * (1 - kE2) / (w2 * w);  // meridional radius
  const double north = dLat * m, east = dLng * c * n;
  return std::sqrt(north * north + east * east);
}

}  // namespace

double EllipsoidDistanceM(double lat1, double lng1, double lat2, double lng2) {
  const double mid = (lat1 + lat2) * (kRad / 2);
  return PlaneDistance(lat1, lng1, lat2, lng2, std::sin(mid), std::cos(mid));
}

double TPathDistance::operator()(double lat1, double lng1, double lat2, double lng2) {
  const double mid = (lat1 + lat2) * (kRad / 2);
  double d = mid - FAnchor;
  if (d > kReach || d < -kReach) {
    FAnchor = mid;
    FSin = std::sin(mid);
    FCos = std::cos(mid);
    const double w2 = 1 - kE2 * FSin * FSin;
    const double w = std::sqrt(w2);
    FN = kA / w;
    FM = kA * (1 - kE2) / (w2 * w);
    const double slope = kE2 * FSin * FCos / w2;  // d ln N / d latitude
    FDN = FN * slope;
    FDM = FM * 3 * slope;
    d = 0;
  }
  const double c = FCos * (1 - d * d / 2) - FSin * d;
  const double dLat = (lat2 - lat1) * kRad;
  double dLngDeg = lng2 - lng1;
  if (dLngDeg > 180 || dLngDeg < -180) dLngDeg = LongitudeStep(lng1, lng2);
  const double dLng = dLngDeg * kRad;
  const double north = dLat * (FM + FDM * d), east = dLng * c * (FN + FDN * d);
  const double squared = north * north + east * east;
  if (squared >= kShortStepM * kShortStepM) return VincentyDistanceM(lat1, lng1, lat2, lng2);
  return std::sqrt(squared);
}

}  // namespace wy

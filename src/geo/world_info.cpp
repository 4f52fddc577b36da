#include "geo/world_info.h"

#include <cmath>
#include <limits>

namespace wy {

double WorldSize(uint8_t zoom) {
  return std::ldexp(cTileSize, zoom);
}

double PixelSize(uint8_t zoom) {
  return cEquatorLength / WorldSize(zoom);
}

int32_t SaturateToInt32(double value) {
  if (std::isnan(value)) return 0;
  // Both limits are exact in double; the comparisons also catch infinities.
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

int32_t RoundToInt32(double value) {
  // nearbyint follows the current rounding mode, which is round-half-even
  // unless someone changed it; std::round would round halves away from zero.
  return SaturateToInt32(std::nearbyint(value));
}

void LatLngToWorldPixel(uint8_t zoom, double lat, double lng, double& x, double& y) {
  const double res = PixelSize(zoom);
  const double mx = lng * cMetersPerDegree;
  // 90 - lat makes my negative in the north, so y grows southward.
  const double my =
      std::log(std::tan((90 - lat) * cHalfRadiansPerDegree)) / cRadiansPerDegree * cMetersPerDegree;
  x = (cHalfEquator + mx) / res;
  y = (cHalfEquator + my) / res;
}

void WorldPixelToLatLng(uint8_t zoom, double x, double y, double& lat, double& lng) {
  const double size = WorldSize(zoom);
  lng = x * 360 / size - 180;
  const double t = (y * (cEquatorLength / size) - cHalfEquator) / cHalfEquator * 180;
  lat = -(
      (2 * std::atan(std::exp(t * static_cast<double>(cPi) / 180)) - static_cast<double>(cPi) / 2) *
      cDegreesPerRadian);
  // Written so that NaN ends up at the northern limit rather than passing on.
  if (!(lat <= cLatitudeLimit))
    lat = cLatitudeLimit;
  else if (lat < -cLatitudeLimit)
    lat = -cLatitudeLimit;
  if (lng > cLongitudeLimit)
    lng = cLongitudeLimit;
  else if (lng < -cLongitudeLimit)
    lng = -cLongitudeLimit;
}

long double Radians(long double x) {
  return x * cPi / 180;
}

long double Degrees(long double x) {
  return x / cPi * 180;
}

double SignOf(double x) {
  return x < 0 ? -1.0 : 1.0;
}

long double ArcTanYXExt(long double y, long double x) {
  if (x > 0) return std::atan(y / x);
  if (x < 0) return std::atan(y / x) + cPi;
  return SignOf(static_cast<double>(y)) * cPi / 2;
}

double ArcTanYX(double y, double x) {
  return static_cast<double>(ArcTanYXExt(y, x));
}

void TWyWorldInfo::LatLngToXY(double lat, double lng, int32_t& x, int32_t& y) const {
  double wx, wy;
  LatLngToWorldPixel(FZoom, lat, lng, wx, wy);
  x = RoundToInt32(wx - FLeft);
  y = RoundToInt32(wy - FTop);
}

void TWyWorldInfo::LatLngToWorldXY(double lat, double lng, int32_t& x, int32_t& y) const {
  double wx, wy;
  LatLngToWorldPixel(FZoom, lat, lng, wx, wy);
  x = RoundToInt32(wx);
  y = RoundToInt32(wy);
}

void TWyWorldInfo::XYToLatLng(int32_t x, int32_t y, double& lat, double& lng) const {
  const double size = WorldSize(FZoom);
  // In double: x + FLeft may exceed the int32 range.
  double wx = static_cast<double>(x) + FLeft;
  double wy = static_cast<double>(y) + FTop;
  if (wx < 0)
    wx = 0;
  else if (wx > size)
    wx = size;
  if (wy < 0)
    wy = 0;
  else if (wy > size)
    wy = size;
  WorldPixelToLatLng(FZoom, wx, wy, lat, lng);
}

void TWyWorldInfo::SetView(uint8_t zoom, int32_t left, int32_t top, int32_t width, int32_t height) {
  FZoom = zoom;
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  WorldPixelToLatLng(zoom, double(left) + width, top, FNorthEastLatitude, FNorthEastLongitude);
  WorldPixelToLatLng(zoom, left, double(top) + height, FSouthWestLatitude, FSouthWestLongitude);
}

void TWyWorldInfo::CenterOn(double lat, double lng, uint8_t zoom, int32_t width, int32_t height) {
  double wx = 0, wy = 0;
  LatLngToWorldPixel(zoom, lat, lng, wx, wy);
  SetView(zoom, SaturateToInt32(std::trunc(wx) - width / 2),
          SaturateToInt32(std::trunc(wy) - height / 2), width, height);
}

bool TWyWorldInfo::ContainsLatLng(double dLatitude, double dLongitude) const {
  return FSouthWestLatitude <= dLatitude && dLatitude <= FNorthEastLatitude &&
         FSouthWestLongitude <= dLongitude && dLongitude <= FNorthEastLongitude;
}

}  // namespace wy

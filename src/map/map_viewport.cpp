#include "map/map_viewport.h"

#include <algorithm>
#include <cmath>

namespace wy {

namespace {

// Nearest integer (halves to even) of a world pixel, kept far from the
// int64 limits.
int64_t RoundPixel(double v) {
  const double limit = 1e15;
  return static_cast<int64_t>(std::nearbyint(std::clamp(v, -limit, limit)));
}

}  // namespace

TMapViewport::TMapViewport() {
  Place(FLatitude, FLongitude);
}

void TMapViewport::SetSize(int width, int height) {
  FWidth = std::max(width, 0);
  FHeight = std::max(height, 0);
  UpdateBounds();
}

bool TMapViewport::CenterOn(double Lat, double Lng) {
  if (!std::isfinite(Lat) || !std::isfinite(Lng)) return false;
  Place(Lat, Lng);
  return true;
}

void TMapViewport::Place(double Lat, double Lng) {
  FLatitude = Lat;
  FLongitude = Lng;
  // The projection has no value at the poles: place it at its limit.
  const double lat = std::clamp(Lat, -cLatitudeLimit, cLatitudeLimit);
  double x = 0, y = 0;
  LatLngToWorldPixel(FZoom, lat, Lng, x, y);
  FX = FWidth / 2 - RoundPixel(x);
  FY = FHeight / 2 - RoundPixel(y);
  UpdateBounds();
}

TLatLng TMapViewport::Center() {
  return FromXYToLatLng(FWidth / 2, FHeight / 2);
}

void TMapViewport::Shift(int64_t dx, int64_t dy) {
  FX += dx;
  FY += dy;
  const TLatLng c = Center();
  Place(c.Lat, c.Lng);
}

TLatLng TMapViewport::StepTowards(double Lat, double Lng) const {
  const double dLat = std::fabs(FLatitude - Lat);
  const double dLng = std::fabs(FLongitude - Lng);
  const double spanLat = FWorldInfo.NorthEastLatitude() - FWorldInfo.SouthWestLatitude();
  const double spanLng = FWorldInfo.NorthEastLongitude() - FWorldInfo.SouthWestLongitude();
  TLatLng next;
  if (dLat >= spanLat || dLng >= spanLng) {
    next.Lat = Lat;
    next.Lng = Lng;
    return next;
  }
  next.Lat = FLatitude > Lat ? FLatitude - dLat / 10 : FLatitude + dLat / 10;
  next.Lng = FLongitude > Lng ? FLongitude - dLng / 10 : FLongitude + dLng / 10;
  return next;
}

bool TMapViewport::SetZoom(uint8_t value) {
  if (value == FZoom) return false;
  const TLatLng c = Center();
  uint8_t z = value < FMinZoom ? FMinZoom : value;
  if (z > FMaxZoom) z = FMaxZoom;
  FZoom = z;
  Place(c.Lat, c.Lng);
  return true;
}

bool TMapViewport::ZoomAbout(uint8_t value, int64_t X, int64_t Y) {
  if (value == FZoom) return false;
  uint8_t z = value < FMinZoom ? FMinZoom : value;
  if (z > FMaxZoom) z = FMaxZoom;
  double wx = 0, wy = 0;
  XYToWorld(X, Y, wx, wy);
  // The pointed world pixel scaled to the new zoom, and the middle pixel's
  // world pixel placed the same distance from it as on screen.
  const double scale = std::ldexp(1.0, int(z) - int(FZoom));
  const double size = WorldSize(z);
  const double cx = wx * scale + static_cast<double>(FWidth / 2 - X);
  const double cy = std::clamp(wy * scale + static_cast<double>(FHeight / 2 - Y), 0.0, size);
  FZoom = z;
  TLatLng c;
  WorldPixelToLatLng(z, cx, cy, c.Lat, c.Lng);
  ClampToLimitBox(c);
  Place(c.Lat, c.Lng);
  return true;
}

bool TMapViewport::SetMinZoom(uint8_t value) {
  if (value == FMinZoom) return false;
  FMinZoom = value;
  if (FZoom < FMinZoom) SetZoom(FMinZoom);
  return true;
}

bool TMapViewport::SetMaxZoom(uint8_t value) {
  if (value > kHighestZoom || value == FMaxZoom) return false;
  FMaxZoom = value;
  if (FZoom > FMaxZoom) SetZoom(FMaxZoom);
  return true;
}

bool TMapViewport::BoxVisible(const TLatLngBox& box) const {
  const TWyWorldInfo& w = FWorldInfo;
  return w.ContainsLatLng(box.NELat, box.SWLng) && w.ContainsLatLng(box.NELat, box.NELng) &&
         w.ContainsLatLng(box.SWLat, box.NELng) && w.ContainsLatLng(box.SWLat, box.SWLng);
}

void TMapViewport::ZoomInOnBox(const TLatLngBox& box) {
  CenterOn((box.NELat - box.SWLat) / 2 + box.SWLat, (box.NELng - box.SWLng) / 2 + box.SWLng);
  while (BoxVisible(box) && FZoom < FMaxZoom) SetZoom(FZoom + 1);
}

void TMapViewport::FitBox(const TLatLngBox& box) {
  CenterOn((box.NELat - box.SWLat) / 2 + box.SWLat, (box.NELng - box.SWLng) / 2 + box.SWLng);
  while (!BoxVisible(box) && FZoom > FMinZoom) SetZoom(FZoom - 1);
}

void TMapViewport::SetLimitBox(const TLatLngBox& box) {
  FLimit = box;
}

void TMapViewport::XYToWorld(int64_t X, int64_t Y, double& wx, double& wy) const {
  const double size = WorldSize(FZoom);
  wx = std::clamp(static_cast<double>(X - FX), 0.0, size);
  wy = std::clamp(static_cast<double>(Y - FY), 0.0, size);
}

void TMapViewport::ClampToLimitBox(TLatLng& value) {
  if (value.Lat > FLimit.NELat) {
    value.Lat = FLimit.NELat;
    FLimitBoxHit = true;
  } else if (value.Lat < FLimit.SWLat) {
    value.Lat = FLimit.SWLat;
    FLimitBoxHit = true;
  }
  if (value.Lng > FLimit.NELng) {
    value.Lng = FLimit.NELng;
    FLimitBoxHit = true;
  } else if (value.Lng < FLimit.SWLng) {
    value.Lng = FLimit.SWLng;
    FLimitBoxHit = true;
  }
}

TLatLng TMapViewport::FromXYToLatLng(int64_t X, int64_t Y) {
  double wx = 0, wy = 0;
  XYToWorld(X, Y, wx, wy);
  TLatLng result;
  WorldPixelToLatLng(FZoom, wx, wy, result.Lat, result.Lng);
  ClampToLimitBox(result);
  return result;
}

void TMapViewport::UpdateBounds() {
  FLimitBoxHit = false;
  FWorldInfo.SetView(FZoom, SaturateToInt32(static_cast<double>(-FX)),
                     SaturateToInt32(static_cast<double>(-FY)), FWidth, FHeight);
  // The corners as the view reads them: clamped to the world and the box.
  const TLatLng ne = FromXYToLatLng(FWidth, 0);
  const TLatLng sw = FromXYToLatLng(0, FHeight);
  FWorldInfo.SetNorthEastLatitude(ne.Lat);
  FWorldInfo.SetNorthEastLongitude(ne.Lng);
  FWorldInfo.SetSouthWestLatitude(sw.Lat);
  FWorldInfo.SetSouthWestLongitude(sw.Lng);
}

}  // namespace wy

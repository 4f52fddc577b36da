#pragma once
// TMapViewport: which part of the Web-Mercator world a map shows, without
// any widget: the centre last asked for, the zoom and its limits, the size
// in pixels, the limit box, and the placement of the world in the view.
// It keeps a TWyWorldInfo in step with itself (bounds, top-left world pixel,
// size, zoom) for the shapes.
//
// Pixel geometry: X0(), Y0() are the view coordinates of world pixel (0, 0)
// at the current zoom; tile (tx, ty) is drawn at (tx*256 + X0, ty*256 + Y0).
// Changing the centre or the zoom never notifies anybody: the map widget
// that owns the viewport decides what to redraw and whom to tell.

#include <cstdint>

#include "geo/world_info.h"

namespace wy {

// A box given by its north-east and south-west corners.
struct TLatLngBox {
  double NELat = 0;
  double NELng = 0;
  double SWLat = 0;
  double SWLng = 0;
};

class TMapViewport {
 public:
  static constexpr double kDefaultLatitude = 43.232951;
  static constexpr double kDefaultLongitude = 0.0780819999999949;
  static constexpr uint8_t kHighestZoom = 23;

  // A 256 x 256 view at zoom 14 (limits 2 to 18) on the default centre.
  TMapViewport();

  // --- Size: the top-left corner of the view stays on the same world pixel.
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetSize(int width, int height);

  // --- Centre
  // The centre last asked for (not limited by the limit box).
  double Latitude() const { return FLatitude; }
  double Longitude() const { return FLongitude; }
  // Puts the coordinate under the middle pixel. False (nothing changes) for
  // a non-finite coordinate. Latitudes beyond the projection's limit are
  // kept as given but placed at the limit.
  bool CenterOn(double Lat, double Lng);
  // The coordinate under the middle pixel, limit box applied.
  TLatLng Center();
  // Moves the world by (dx, dy) pixels in the view (a drag step); the
  // centre asked for becomes the coordinate now under the middle pixel.
  void Shift(int64_t dx, int64_t dy);
  // The next centre of an animated pan towards the coordinate: a tenth of
  // the way, or the coordinate itself when it is a whole view away.
  TLatLng StepTowards(double Lat, double Lng) const;

  // --- Zoom
  uint8_t Zoom() const { return FZoom; }
  uint8_t MinZoom() const { return FMinZoom; }
  uint8_t MaxZoom() const { return FMaxZoom; }
  // Clamped to the limits; pivots on the middle pixel. False when the value
  // asked for is the current zoom (nothing happens then).
  bool SetZoom(uint8_t value);
  // SetZoom pivoting on the view pixel (X, Y) instead of the middle pixel:
  // the point under it stays under it, as far as the world's edges allow.
  bool ZoomAbout(uint8_t value, int64_t X, int64_t Y);
  // Sets a limit; the zoom follows when it falls outside (SetZoom). False
  // when the limit did not change (MaxZoom above 23 is refused).
  bool SetMinZoom(uint8_t value);
  bool SetMaxZoom(uint8_t value);

  // --- Boxes
  // True when all four corners of the box are inside the visible bounds.
  bool BoxVisible(const TLatLngBox& box) const;
  // Centres on the box, then zooms in while the whole box stays visible
  // (ending one level past the fit, as the map always did).
  void ZoomInOnBox(const TLatLngBox& box);
  // Centres on the box, then zooms out until the whole box is visible or
  // the lowest zoom is reached.
  void FitBox(const TLatLngBox& box);
  // The limit box: coordinates read off the view are clamped into it.
  void SetLimitBox(const TLatLngBox& box);
  const TLatLngBox& LimitBox() const { return FLimit; }
  // True when the last bounds update found the view crossing the limit box.
  bool LimitBoxHit() const { return FLimitBoxHit; }

  // --- Pixels
  int64_t X0() const { return FX; }
  int64_t Y0() const { return FY; }
  // Coordinate under a view pixel (clamped to the world and the limit box).
  TLatLng FromXYToLatLng(int64_t X, int64_t Y);
  // World pixel under a view pixel, clamped to the world.
  void XYToWorld(int64_t X, int64_t Y, double& wx, double& wy) const;
  // Tiles per side of the world at the current zoom.
  int64_t TilesPerSide() const { return int64_t(1) << FZoom; }

  // The bounds as the shapes see them, updated on every change.
  TWyWorldInfo& WorldInfo() { return FWorldInfo; }
  const TWyWorldInfo& WorldInfo() const { return FWorldInfo; }

 private:
  void Place(double Lat, double Lng);
  void UpdateBounds();
  void ClampToLimitBox(TLatLng& value);

  double FLatitude = kDefaultLatitude;
  double FLongitude = kDefaultLongitude;
  uint8_t FZoom = 14;
  uint8_t FMinZoom = 2;
  uint8_t FMaxZoom = 18;
  int FWidth = 256;
  int FHeight = 256;
  int64_t FX = 0;
  int64_t FY = 0;
  TLatLngBox FLimit{cLatitudeLimit, cLongitudeLimit, -cLatitudeLimit, -cLongitudeLimit};
  bool FLimitBoxHit = false;
  TWyWorldInfo FWorldInfo;
};

}  // namespace wy

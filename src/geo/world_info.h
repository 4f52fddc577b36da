#pragma once
// Geographic coordinates, the spherical Web-Mercator projection of the tile
// scheme, and the map's viewport description that shapes use to turn
// coordinates into screen pixels and back.
//
// World pixels have their origin at the top-left corner of the world
// (longitude -180, latitude +85.05112878); x grows eastward, y southward.
// The world is 256 * 2^zoom pixels per side. At zoom 23 that is 2^31, one
// more than a 32-bit signed integer holds, so world arithmetic is done in
// double and only the final pixel is converted, saturating at the int32
// limits (see SaturateToInt32).

#include <cstdint>

namespace wy {

// A coordinate in decimal degrees. The longitude comes first: code that
// copies pairs of these as a block relies on the order. Argument lists,
// by contrast, always put the latitude first.
struct TLatLng {
  double Lng = 0;  // east positive
  double Lat = 0;  // north positive
};

// Projection constants (spherical Mercator of the Web-Mercator tiling).
constexpr double cTileSize = 256;                        // pixels per tile side
constexpr double cEquatorLength = 40075016.685578486;    // metres, 2 * pi * 6378137
constexpr double cHalfEquator = 20037508.342789244;      // metres
constexpr double cMetersPerDegree = 111319.49079327357;  // equator length / 360
constexpr double cLatitudeLimit = 85.05112878;           // inverse results are clamped here
constexpr double cLongitudeLimit = 180;                  // and here
constexpr long double cPi = 3.1415926535897932385L;
constexpr double cDegreesPerRadian = 57.29577951308232;
constexpr double cRadiansPerDegree = 0.017453292519943295;
constexpr double cHalfRadiansPerDegree = 0.008726646259971648;  // pi / 360

// Pixels per side of the whole world at `zoom` (256 * 2^zoom), exact in double.
double WorldSize(uint8_t zoom);
// Metres per world pixel at `zoom`.
double PixelSize(uint8_t zoom);

// Converts to int32 without undefined behaviour: the value is truncated
// toward zero like a cast, NaN gives 0, and anything beyond the int32 range
// (including the infinities) gives INT32_MIN or INT32_MAX.
int32_t SaturateToInt32(double value);
// Rounds to the nearest integer, halves to the even neighbour (10.5 -> 10,
// 11.5 -> 12), then converts like SaturateToInt32.
int32_t RoundToInt32(double value);

// Forward projection to unrounded world pixels at `zoom`. Nothing is clamped:
// a latitude beyond +-85.05 or a longitude beyond +-180 gives a pixel outside
// the world. Latitude +90 gives y = -infinity; NaN in gives NaN out.
void LatLngToWorldPixel(uint8_t zoom, double lat, double lng, double& x, double& y);
// Inverse projection; the result is clamped to +-85.05112878 and +-180.
void WorldPixelToLatLng(uint8_t zoom, double x, double y, double& lat, double& lng);

// Degrees <-> radians in extended precision.
long double Radians(long double x);
long double Degrees(long double x);
// -1 for a negative x, otherwise +1 (so 0 gives +1).
double SignOf(double x);
// Angle of the vector (x, y): atan(y/x) for x > 0, atan(y/x) + pi for x < 0,
// SignOf(y) * pi/2 for x = 0. Results lie in [-pi/2, 3pi/2), not (-pi, pi].
double ArcTanYX(double y, double x);
// The same in extended precision, for the geodesy functions.
long double ArcTanYXExt(long double y, long double x);

// The map's viewport: geographic bounds, the world pixel of the control's
// top-left corner, its size, zoom and animation tick. The map writes it after
// every change of centre, zoom or size; shapes read it through a non-owning
// reference. Window thread only; a new object has every field zero.
class TWyWorldInfo {
 public:
  double NorthEastLatitude() const { return FNorthEastLatitude; }
  void SetNorthEastLatitude(double v) { FNorthEastLatitude = v; }
  double NorthEastLongitude() const { return FNorthEastLongitude; }
  void SetNorthEastLongitude(double v) { FNorthEastLongitude = v; }
  double SouthWestLatitude() const { return FSouthWestLatitude; }
  void SetSouthWestLatitude(double v) { FSouthWestLatitude = v; }
  double SouthWestLongitude() const { return FSouthWestLongitude; }
  void SetSouthWestLongitude(double v) { FSouthWestLongitude = v; }
  // World-pixel y of the control's top edge at the current zoom.
  int32_t Top() const { return FTop; }
  void SetTop(int32_t v) { FTop = v; }
  // World-pixel x of the control's left edge at the current zoom.
  int32_t Left() const { return FLeft; }
  void SetLeft(int32_t v) { FLeft = v; }
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t v) { FWidth = v; }
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t v) { FHeight = v; }
  // Shapes that can rotate do so only when this is not 0; the map keeps it 0.
  float RotationAngle() const { return FRotationAngle; }
  void SetRotationAngle(float v) { FRotationAngle = v; }
  uint8_t Zoom() const { return FZoom; }
  void SetZoom(uint8_t v) { FZoom = v; }
  // Millisecond tick of the map's last animation step.
  uint32_t Tick() const { return FTick; }
  void SetTick(uint32_t v) { FTick = v; }

  // Sets zoom, size and top-left world pixel, and the bounds from them (the
  // corners' coordinates, no limit box). For code that shows shapes without
  // a map control (tools, tests, benchmarks).
  void SetView(uint8_t zoom, int32_t left, int32_t top, int32_t width, int32_t height);
  // SetView of a width x height view whose middle pixel is (lat, lng) (its
  // world pixel truncated).
  void CenterOn(double lat, double lng, uint8_t zoom, int32_t width, int32_t height);

  // Screen pixel of a coordinate: the world pixel at the current zoom minus
  // (Left, Top), rounded half to even and saturated to int32.
  void LatLngToXY(double lat, double lng, int32_t& x, int32_t& y) const;
  // World pixel of a coordinate at the current zoom, rounded the same way.
  void LatLngToWorldXY(double lat, double lng, int32_t& x, int32_t& y) const;
  // Coordinate under a screen pixel; pixels outside the world are clamped to
  // its edges first.
  void XYToLatLng(int32_t x, int32_t y, double& lat, double& lng) const;
  // True when the coordinate lies within the bounds; the edges count as inside.
  bool ContainsLatLng(double dLatitude, double dLongitude) const;

 private:
  double FNorthEastLatitude = 0;
  double FNorthEastLongitude = 0;
  double FSouthWestLatitude = 0;
  double FSouthWestLongitude = 0;
  int32_t FTop = 0;
  int32_t FLeft = 0;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  float FRotationAngle = 0;
  uint8_t FZoom = 0;
  uint32_t FTick = 0;
};

}  // namespace wy

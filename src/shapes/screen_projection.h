#pragma once
// Screen pixels from world pixels at zoom 0. A world pixel at zoom z is the
// one at zoom 0 times 2^z, bit for bit (scaling by a power of two commutes
// with rounding), so a position projected once (a logarithm and a tangent)
// is placed in any view at any zoom with a product and a rounding, and
// lands on the pixel TWyWorldInfo::LatLngToXY gives.

#include <cmath>
#include <cstdint>

#include "geo/world_info.h"

namespace wy {

// 2^zoom.
inline double ZoomScale(uint8_t zoom) {
  return zoom < 63 ? static_cast<double>(uint64_t{1} << zoom) : std::ldexp(1.0, zoom);
}

// RoundToInt32 (halves to even in the default rounding mode, saturating),
// inline for the values a screen holds.
inline int32_t RoundPixel(double v) {
  // Below 2^51 in magnitude, adding and removing 1.5 * 2^52 rounds to an
  // integer in the current rounding mode, as nearbyint does.
  constexpr double kMagic = 6755399441055744.0;
  if (v > -2147483648.0 && v < 2147483647.0) return static_cast<int32_t>((v + kMagic) - kMagic);
  return RoundToInt32(v);
}

// The screen pixel of a world pixel at zoom 0 in `world`'s view.
inline void ScreenPixel(const TWyWorldInfo& world, double x0, double y0, int32_t& x, int32_t& y) {
  const double scale = ZoomScale(world.Zoom());
  x = RoundPixel(x0 * scale - world.Left());
  y = RoundPixel(y0 * scale - world.Top());
}

}  // namespace wy

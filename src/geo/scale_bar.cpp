#include "geo/scale_bar.h"

#include <algorithm>
#include <cmath>

#include "geo/text_convert.h"
#include "geo/world_info.h"

namespace wy {

double GroundMetresPerPixel(double lat, uint8_t zoom) {
  const double limited = std::clamp(lat, -cLatitudeLimit, cLatitudeLimit);
  return cEquatorLength * std::cos(limited * cRadiansPerDegree) /
         (cTileSize * std::ldexp(1.0, zoom));
}

TScaleBar ChooseScaleBar(double metresPerPixel, int maxPixels) {
  TScaleBar bar;
  if (!(metresPerPixel > 0) || !std::isfinite(metresPerPixel) || maxPixels < 1) return bar;
  const double room = metresPerPixel * maxPixels;
  // The power of ten at or below the room, then the largest of 5, 2, 1
  // times it that fits (room / power lies in [1, 10)).
  double power = std::pow(10.0, std::floor(std::log10(room)));
  // log10 may land a hair off an exact power: fix it either way.
  if (power > room) power /= 10;
  if (power * 10 <= room) power *= 10;
  double metres = power;
  for (double step : {5.0, 2.0}) {
    if (power * step <= room) {
      metres = power * step;
      break;
    }
  }
  // Under a centimetre there is nothing useful to show.
  if (metres < 0.01) return bar;
  bar.Metres = metres;
  bar.Pixels = std::max(1, static_cast<int>(std::lround(metres / metresPerPixel)));
  if (bar.Pixels > maxPixels) bar.Pixels = maxPixels;
  bar.Label = metres >= 1000 ? FloatToStrDot(metres / 1000) + " km" : FloatToStrDot(metres) + " m";
  return bar;
}

}  // namespace wy

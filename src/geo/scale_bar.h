#pragma once
// The length a map's scale bar shows: a round distance (1, 2 or 5 times a
// power of ten, in metres or kilometres) that fits the room given.

#include <cstdint>
#include <string>

namespace wy {

struct TScaleBar {
  double Metres = 0;  // the distance shown
  int Pixels = 0;     // its length on the map
  std::string Label;  // "500 m", "2 km"
};

// Metres on the ground per pixel of the Web-Mercator map at that latitude
// and zoom (the projection stretches the map by 1 / cos(latitude)).
double GroundMetresPerPixel(double lat, uint8_t zoom);

// The longest round distance not longer than maxPixels (at least one
// pixel long) at that resolution. Pixels 0 and an empty label when nothing
// fits or the resolution is not a positive finite number.
TScaleBar ChooseScaleBar(double metresPerPixel, int maxPixels);

}  // namespace wy

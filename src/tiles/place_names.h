#pragma once
// The place names of the built-in world map: countries, and towns and
// cities of at least 15,000 people (GeoNames, data/places.bin, built into
// the library), cut into vector tiles on demand and drawn by the vector
// tile renderer with the built-in style, so the offline map and vector
// sources share one way of drawing labels. Any thread.

#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

#include "tiles/vector_tile.h"

namespace wy {

struct TPlaceName {
  double Latitude = 0;
  double Longitude = 0;
  uint32_t Population = 0;
  bool Country = false;
  std::string Name;  // a country's: its English name
};

// Every place, by falling population; empty when the built-in data cannot
// be read (logged once).
const std::vector<TPlaceName>& PlaceNames();

// The fewest people a place shown at map zoom z has.
uint32_t PlacePopulationFloor(int z);

// The places map tile (x, y, z) shows, and those of the eight tiles around
// it (so labels crossing its edges are placed alike in both tiles), as a
// tile with one layer "place" of the OpenMapTiles schema (class country,
// city or town; name; rank, the place's order by population).
TVectorTile PlaceTile(int x, int y, int z);

// Draws the place names of tile (x, y, z) over `image` (256 map pixels,
// any device pixel ratio).
void DrawPlaceNames(QImage& image, int x, int y, int z);

}  // namespace wy

#pragma once
// TBasemap: a small world map (land, coastlines, country borders) that is
// drawn into 256-pixel tiles on demand, so that the map shows something
// sensible with no tile server at all. The world the program carries comes
// from Natural Earth's 1:50m data (data/basemap-50m.bin, made by
// scripts/make-basemap.js); its geometry is kept in Web-Mercator world
// coordinates (0 to 1 on both axes, y downwards), so drawing a tile is a
// scale, a clip and a fill.
//
// Drawing is const and touches no shared state: any thread may draw tiles of
// the same basemap at once.

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace wy {

class TBasemap {
 public:
  // One ring or line: points [Begin, End) of the point arrays, and its box.
  struct TPart {
    uint32_t Begin = 0;
    uint32_t End = 0;
    float MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
  };

  // Reads the file format of scripts/make-basemap.js; false (and an empty
  // map) when the bytes are not such a file or are cut short.
  bool Load(const uint8_t* data, size_t size);
  bool Empty() const { return FLand.empty() && FCoasts.empty() && FBorders.empty(); }

  // Draws tile (x, y) of zoom z into `image` (made 256 x 256 RGB32, or
  // 256 * scale pixels a side with that device pixel ratio for a
  // high-density screen: the same map, drawn sharper; scale 1 to 4). Tiles
  // outside the world are sea.
  void DrawTile(int x, int y, int z, QImage& image, int scale = 1) const;

  size_t LandRings() const { return FLand.size(); }
  size_t BorderLines() const { return FBorders.size(); }

  // The map the program carries, read once on first use.
  static const TBasemap& World();

 private:
  std::vector<float> FX;
  std::vector<float> FY;
  std::vector<TPart> FLand;
  std::vector<TPart> FCoasts;
  std::vector<TPart> FBorders;
};

// Colours of the drawn map.
constexpr uint32_t kBasemapSea = 0xFFAAD3DF;
constexpr uint32_t kBasemapLand = 0xFFF2EFE9;

}  // namespace wy

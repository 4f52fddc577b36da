// The built-in world map: what its tiles show where, and how it takes
// damaged data.

#include "tiles/basemap.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "tiles/basemap_data.h"
#include "tiles/basemap_tiles.h"

namespace wy {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The tile and the pixel in it of a point at zoom z.
struct TPixel {
  int TileX, TileY, X, Y;
};

TPixel PixelOf(double lat, double lng, int z) {
  const double side = 256.0 * std::ldexp(1.0, z);
  const double phi = lat * kPi / 180.0;
  const double wx = (lng + 180.0) / 360.0 * side;
  const double wy = (1.0 - std::log(std::tan(phi) + 1.0 / std::cos(phi)) / kPi) / 2.0 * side;
  const int px = static_cast<int>(wx), py = static_cast<int>(wy);
  return {px / 256, py / 256, px % 256, py % 256};
}

QRgb ColourAt(double lat, double lng, int z) {
  const TPixel p = PixelOf(lat, lng, z);
  QImage image;
  TBasemap::World().DrawTile(p.TileX, p.TileY, z, image);
  return image.pixel(p.X, p.Y);
}

TEST(BasemapTest, LandAndSeaWhereTheyAre) {
  ASSERT_FALSE(TBasemap::World().Empty());
  struct Case {
    const char* place;
    double lat, lng;
    bool land;
  };
  const Case cases[] = {
      {"Sahara", 23, 10, true},
      {"Siberia", 62, 100, true},
      {"Australia", -25, 134, true},
      {"Amazon", -5, -60, true},
      {"Pacific", 0, -150, false},
      {"North Atlantic", 40, -40, false},
      // Where rings crossing the 180th meridian once drew bands of land
      // across the whole world.
      {"Norwegian Sea", 69, -15, false},
      {"South Pacific at Fiji's latitude", -16.5, -100, false},
      {"Caspian Sea (a hole in the land)", 42, 50.5, false},
  };
  for (const Case& c : cases) {
    for (int z : {3, 7}) {
      const QRgb expected = c.land ? kBasemapLand : kBasemapSea;
      EXPECT_EQ(ColourAt(c.lat, c.lng, z) | 0xFF000000u, expected) << c.place << " zoom " << z;
    }
  }
}

// Deep zooms (the stand-in of a street map) clip the huge polygons exactly:
// a tile inside a continent is all land, one in open sea all sea.
TEST(BasemapTest, DeepZoomTilesAreWhole) {
  for (int z : {12, 18}) {
    QImage land, sea;
    const TPixel inland = PixelOf(10, 20, z);  // Chad
    const TPixel offshore = PixelOf(-30, -20, z);
    TBasemap::World().DrawTile(inland.TileX, inland.TileY, z, land);
    TBasemap::World().DrawTile(offshore.TileX, offshore.TileY, z, sea);
    QImage allLand(256, 256, QImage::Format_RGB32), allSea(256, 256, QImage::Format_RGB32);
    allLand.fill(QColor::fromRgba(kBasemapLand));
    allSea.fill(QColor::fromRgba(kBasemapSea));
    EXPECT_EQ(land, allLand) << z;
    EXPECT_EQ(sea, allSea) << z;
  }
}

// A tile across the border of France and Germany shows it; tiles outside
// the world are sea.
TEST(BasemapTest, BordersAndTheOutside) {
  const TPixel p = PixelOf(48.9, 8.1, 6);
  QImage image;
  TBasemap::World().DrawTile(p.TileX, p.TileY, 6, image);
  int lines = 0;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      const QRgb c = image.pixel(x, y) | 0xFF000000u;
      lines += c != kBasemapLand && c != kBasemapSea;
    }
  EXPECT_GT(lines, 100);

  for (const auto& t : std::vector<std::array<int, 3>>{{-1, 0, 2}, {0, 4, 2}, {0, 0, -1}}) {
    TBasemap::World().DrawTile(t[0], t[1], t[2], image);
    EXPECT_EQ(image.pixel(128, 128) | 0xFF000000u, kBasemapSea);
  }
}

TEST(BasemapTest, DamagedDataGivesAnEmptyMap) {
  const std::string whole(reinterpret_cast<const char*>(kBasemapData), kBasemapDataSize);
  std::string wrongMagic = whole;
  wrongMagic[0] = 'X';
  std::string hugeCount = whole.substr(0, 37) + std::string("\xff\xff\xff\xff\x0f", 5);
  const std::string cases[] = {"",          whole.substr(0, 20),
                               wrongMagic,  whole.substr(0, whole.size() / 2),
                               whole + "x", hugeCount};
  for (const std::string& bytes : cases) {
    TBasemap map;
    EXPECT_FALSE(map.Load(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
        << bytes.size();
    EXPECT_TRUE(map.Empty());
    QImage image;
    map.DrawTile(0, 0, 1, image);
    EXPECT_EQ(image.pixel(10, 10) | 0xFF000000u, kBasemapSea);
  }
  TBasemap map;
  EXPECT_TRUE(map.Load(kBasemapData, kBasemapDataSize));
  EXPECT_GT(map.LandRings(), 1000u);
  EXPECT_GT(map.BorderLines(), 100u);
}

TEST(BasemapTest, DrawnTilesAreKeptWithinBounds) {
  const QImage first = BasemapTile(8, 5, 4);
  QImage drawn;
  TBasemap::World().DrawTile(8, 5, 4, drawn);
  EXPECT_EQ(first, drawn);
  for (int x = 0; x < 200; ++x) BasemapTile(x, 0, 8);
  EXPECT_LE(BasemapTilesCached(), kBasemapTilesKept);
  EXPECT_EQ(BasemapTile(8, 5, 4), drawn);
}

}  // namespace
}  // namespace wy

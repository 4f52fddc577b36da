// The place names of the built-in world map: read from the built-in data,
// chosen by population as the zoom grows, drawn over the offline tiles.

#include "tiles/place_names.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tiles/basemap_tiles.h"

namespace wy {
namespace {

// The names PlaceTile gives for the tile holding (lat, lng) at zoom z.
std::vector<std::string> NamesNear(double lat, double lng, int z) {
  const double n = std::ldexp(1.0, z);
  const double rad = lat * M_PI / 180;
  const int x = static_cast<int>((lng + 180) / 360 * n);
  const int y = static_cast<int>((1 - std::log(std::tan(rad) + 1 / std::cos(rad)) / M_PI) / 2 * n);
  std::vector<std::string> names;
  const TVectorTile tile = PlaceTile(x, y, z);
  const TVectorLayer& layer = tile.Layers.at(0);
  for (const TVectorFeature& feature : layer.Features)
    names.push_back(layer.Property(feature, "name")->Text);
  return names;
}

bool Has(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(PlaceNamesTest, DataIsReadAndSortedByPopulation) {
  const auto& places = PlaceNames();
  ASSERT_GT(places.size(), 20000u);
  for (size_t i = 1; i < places.size(); ++i)
    ASSERT_GE(places[i - 1].Population, places[i].Population) << i;
  // Countries carry their English names, not their codes.
  bool germany = false;
  for (const TPlaceName& place : places)
    germany = germany || (place.Country && place.Name == "Germany");
  EXPECT_TRUE(germany);
}

TEST(PlaceNamesTest, DeeperZoomsShowSmallerPlaces) {
  const struct {
    double Lat, Lng;
    int Zoom;
    const char* Name;
    bool Shown;
  } cases[] = {
      {48.14, 11.58, 3, "Germany", true},           {48.14, 11.58, 5, "München", true},
      {48.14, 11.58, 3, "Augsburg", false},         {48.37, 10.89, 8, "Augsburg", true},
      {47.72, 10.31, 7, "Kempten (Allgäu)", false}, {47.72, 10.31, 10, "Kempten (Allgäu)", true},
      {48.14, 11.58, 9, "Germany", false},  // country names end at zoom 7
  };
  for (const auto& c : cases)
    EXPECT_EQ(Has(NamesNear(c.Lat, c.Lng, c.Zoom), c.Name), c.Shown) << c.Name << " at " << c.Zoom;
  EXPECT_GT(PlacePopulationFloor(3), PlacePopulationFloor(9));
}

// The offline map's tiles carry the names; the stand-in tiles of failed
// tiles stay plain.
TEST(PlaceNamesTest, OfflineTilesCarryNamesStandInsDoNot) {
  const QImage named = BasemapTile(8, 5, 4, 1, true);
  const QImage plain = BasemapTile(8, 5, 4);
  ASSERT_EQ(named.size(), plain.size());
  int changed = 0;
  for (int y = 0; y < plain.height(); ++y)
    for (int x = 0; x < plain.width(); ++x) changed += named.pixel(x, y) != plain.pixel(x, y);
  EXPECT_GT(changed, 100);
  EXPECT_LT(changed, plain.width() * plain.height() / 4);
}

}  // namespace
}  // namespace wy

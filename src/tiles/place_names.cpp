#include "tiles/place_names.h"

#include <QLocale>
#include <QPainter>
#include <cmath>
#include <cstring>

#include "platform/log.h"
#include "tiles/place_names_data.h"
#include "tiles/vector_render.h"
#include "tiles/vector_style.h"

namespace wy {

namespace {

constexpr uint32_t kExtent = 4096;
constexpr size_t kRecordHead = 14;

uint32_t Le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string CountryName(const std::string& code) {
  const QLocale::Territory territory = QLocale::codeToTerritory(QString::fromStdString(code));
  if (territory == QLocale::AnyTerritory) return std::string();
  return QLocale::territoryToString(territory).toStdString();
}

std::vector<TPlaceName> ReadPlaces() {
  std::vector<TPlaceName> places;
  const unsigned char* data = kPlaceNamesData;
  const size_t size = kPlaceNamesDataSize;
  if (size < 9 || std::memcmp(data, "WYPL", 4) != 0 || data[4] != 1) {
    LogError("tiles", "the built-in place names are not readable");
    return places;
  }
  const uint32_t count = Le32(data + 5);
  size_t at = 9;
  places.reserve(count);
  for (uint32_t i = 0; i < count && at + kRecordHead <= size; ++i) {
    TPlaceName place;
    place.Latitude = static_cast<int32_t>(Le32(data + at)) / 1e5;
    place.Longitude = static_cast<int32_t>(Le32(data + at + 4)) / 1e5;
    place.Population = Le32(data + at + 8);
    place.Country = data[at + 12] == 0;
    const size_t length = data[at + 13];
    at += kRecordHead;
    if (at + length > size) break;
    place.Name.assign(reinterpret_cast<const char*>(data + at), length);
    at += length;
    if (place.Country) place.Name = CountryName(place.Name);
    if (!place.Name.empty()) places.push_back(std::move(place));
  }
  return places;
}

// World pixels of zoom z (256 per tile).
void Project(double lat, double lon, int z, double& px, double& py) {
  const double side = 256.0 * std::ldexp(1.0, z);
  const double clamped = std::clamp(lat, -85.0511, 85.0511) * M_PI / 180;
  px = (lon + 180) / 360 * side;
  py = (1 - std::log(std::tan(clamped) + 1 / std::cos(clamped)) / M_PI) / 2 * side;
}

TVectorValue TextValue(const std::string& text) {
  TVectorValue v;
  v.Type = vvString;
  v.Text = text;
  return v;
}

}  // namespace

const std::vector<TPlaceName>& PlaceNames() {
  static const std::vector<TPlaceName> places = ReadPlaces();
  return places;
}

uint32_t PlacePopulationFloor(int z) {
  static const uint32_t kFloor[] = {10000000, 8000000, 4000000, 2000000, 1000000, 400000,
                                    200000,   100000,  50000,   25000,   15000};
  return kFloor[std::clamp(z, 0, 10)];
}

TVectorTile PlaceTile(int x, int y, int z) {
  TVectorTile tile;
  TVectorLayer layer;
  layer.Name = "place";
  layer.Version = 2;
  layer.Extent = kExtent;
  layer.Keys = {"class", "name", "rank"};
  for (const char* cls : {"country", "city", "town"}) layer.Values.push_back(TextValue(cls));
  const uint32_t floor = PlacePopulationFloor(z);
  const bool countries = z >= 2 && z <= 7;
  const double tileX = x * 256.0, tileY = y * 256.0;
  const auto& places = PlaceNames();
  for (size_t rank = 0; rank < places.size(); ++rank) {
    const TPlaceName& place = places[rank];
    // Small countries wait for deeper zooms, as towns do.
    if (place.Country ? !countries || place.Population < floor / 4 : place.Population < floor)
      continue;
    double px, py;
    Project(place.Latitude, place.Longitude, z, px, py);
    const double fx = (px - tileX) / 256, fy = (py - tileY) / 256;
    // The tile and the eight around it.
    if (fx < -1 || fx >= 2 || fy < -1 || fy >= 2) continue;
    TVectorFeature feature;
    feature.Type = vgPoint;
    feature.Points.push_back(TVectorPoint{static_cast<int32_t>(std::lround(fx * kExtent)),
                                          static_cast<int32_t>(std::lround(fy * kExtent))});
    feature.Parts.push_back(TVectorPart{0, 1, true});
    const uint32_t cls = place.Country ? 0 : place.Population >= 100000 ? 1 : 2;
    layer.Values.push_back(TextValue(place.Name));
    TVectorValue order;
    order.Type = vvUInt;
    order.UInt = rank;
    order.Number = static_cast<double>(rank);
    layer.Values.push_back(order);
    const uint32_t name = static_cast<uint32_t>(layer.Values.size() - 2);
    feature.Tags = {0, cls, 1, name, 2, name + 1};
    layer.Features.push_back(std::move(feature));
  }
  tile.Layers.push_back(std::move(layer));
  return tile;
}

void DrawPlaceNames(QImage& image, int x, int y, int z) {
  if (PlaceNames().empty()) return;
  const TVectorTile tile = PlaceTile(x, y, z);
  if (tile.Layers.front().Features.empty()) return;
  TVectorDrawOptions options;
  options.LabelsOnly = true;
  options.LabelsCrossEdges = true;
  QPainter painter(&image);
  DrawVectorTileInto(painter, *TVectorStyle::Default(), tile, z, TTileWindow{}, options);
}

}  // namespace wy

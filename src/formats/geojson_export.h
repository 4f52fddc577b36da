#pragma once
// Writing GeoJSON (RFC 7946): one flat FeatureCollection of Point,
// LineString and Polygon Features, positions as [longitude, latitude].
//
// Numbers are plain decimals with "." whatever the locale; texts are JSON
// strings. Every point handed in is written (no thinning); a polygon's ring
// is closed by repeating its first vertex. No byte-order mark: JSON readers
// reject it.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace wy {

class TGeoJsonWriter {
 public:
  // Properties of a Feature: names with a text or a whole number.
  struct TProperty {
    const char* name;
    std::string text;
    int64_t number;
    bool isText;
  };
  static TProperty Text(const char* name, std::string value) {
    return {name, std::move(value), 0, true};
  }
  static TProperty Number(const char* name, int64_t value) { return {name, "", value, false}; }

  void Point(double lng, double lat, const std::vector<TProperty>& properties);
  // A LineString or Polygon Feature: Begin, Position for each point (or
  // vertex, without the closing one), End with its properties.
  void BeginLine();
  void BeginPolygon();
  void Position(double lng, double lat);
  void End(const std::vector<TProperty>& properties);
  void Reserve(size_t points);

  // True when no Feature was written.
  bool Empty() const { return FFeatures.empty(); }
  // The Features separated by commas (no collection around them).
  const std::string& Features() const { return FFeatures; }
  // The FeatureCollection; with `bbox` (west, south, east, north) a
  // bounding box. The writer is left empty.
  std::string TakeDocument(const double* bbox = nullptr);

 private:
  void BeginFeature();

  std::string FFeatures;
  bool FInPolygon = false;
  bool FFirstPosition = true;
  double FFirstLng = 0, FFirstLat = 0;
};

}  // namespace wy

#pragma once
// Writing KML 2.2 documents: shared styles and Placemarks with a Point, a
// LineString or a Polygon (outer ring). Styles are gathered apart from the
// Placemarks so that a Document holds every Style before its first
// Placemark; a style id is written once however many Placemarks use it.
//
// Numbers are plain decimals with "." whatever the locale; free text is
// escaped. Every point handed in is written (no thinning); a polygon's ring
// is closed by repeating its first vertex.

#include <string>
#include <unordered_set>

#include "geo/object.h"

namespace wy {

class TKmlWriter {
 public:
  // A line style / a line and fill style under `id`, unless `id` is
  // already written. Colours are KML "aabbggrr" texts.
  void LineStyle(const std::string& id, const std::string& color, int width);
  void PolyStyle(const std::string& id, const std::string& lineColor, const std::string& fillColor,
                 int width);

  // A Placemark with a Point. `name` and `description` are left out when
  // empty; `type` and `id` go to its ExtendedData.
  void PointPlacemark(const std::string& name, const std::string& description, double lng,
                      double lat, double alt, const char* type, int32_t id);
  // A Placemark with a LineString or a Polygon: Begin, Coordinate for each
  // point (or vertex, without the closing one), End. `styleId` empty
  // writes no style reference. Altitude -9999 (none) is written as 0.
  void BeginLine(const std::string& styleId, const char* type, int32_t id);
  void BeginPolygon(const std::string& styleId, const char* type, int32_t id);
  void Coordinate(double lng, double lat, double alt);
  void EndLine();
  void EndPolygon();
  void Reserve(size_t points);

  // Styles then Placemarks, without the document around them.
  std::string Fragment() const;
  // The whole document: declaration, kml root and Document; the writer is
  // left empty.
  std::string TakeDocument();

 private:
  void BeginPlacemark(const std::string& styleId, const char* type, int32_t id);

  std::string FStyles;
  std::string FPlacemarks;
  std::unordered_set<std::string> FStyleIds;
  // The polygon being written: its first vertex closes the ring.
  bool FInPolygon = false;
  bool FHasFirst = false;
  double FFirstLng = 0, FFirstLat = 0, FFirstAlt = 0;
};

}  // namespace wy

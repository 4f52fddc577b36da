#pragma once
// Writing KML 2.2 documents: shared styles and Placemarks with a Point, a
// LineString or a Polygon (outer ring). Styles are gathered apart from the
// Placemarks so that a Document holds every Style before its first
// Placemark; a style id is written once however many Placemarks use it.
//
// Numbers are plain decimals with "." whatever the locale; free text is
// escaped. Every point handed in is written (no thinning); a polygon's ring
// is closed by repeating its first vertex.
//
// Attributes: "name" and "desc" as the Placemark's name and description,
// "time" as its TimeStamp, every other one as a Data element of its
// ExtendedData. Altitudes go into the coordinates (altitudeMode absolute
// when a line has any, clampToGround otherwise); a line whose every point
// has a time is a gx:Track. Consecutive lines with the same track key are
// one Placemark (a MultiGeometry, or a gx:MultiTrack when timed) with the
// name, style and attributes of the first.

#include <array>
#include <string>
#include <unordered_set>
#include <vector>

#include "geo/attributes.h"
#include "geo/iso_time.h"
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
                      double lat, double alt, const char* type, int32_t id,
                      const TWyAttributes* attributes = nullptr);
  // A Placemark with a LineString or a Polygon: Begin, Coordinate for each
  // point (or vertex, without the closing one), End. `styleId` empty
  // writes no style reference. Altitude -9999 (none) is written as 0.
  void BeginLine(const std::string& styleId, const char* type, int32_t id,
                 const TWyAttributes* attributes = nullptr, const std::string& trackKey = "");
  void BeginPolygon(const std::string& styleId, const char* type, int32_t id,
                    const TWyAttributes* attributes = nullptr);
  void Coordinate(double lng, double lat, double alt, double time = kNoTime);
  void EndLine();
  void EndPolygon();
  void Reserve(size_t points);

  // Styles then Placemarks, without the document around them.
  std::string Fragment();
  // The whole document: declaration, kml root and Document; the writer is
  // left empty.
  std::string TakeDocument();

 private:
  // "<Placemark>" with its name, description, time, style and extended
  // data.
  void BeginPlacemark(std::string& out, const std::string& name, const std::string& description,
                      const std::string& styleId, const char* type, int32_t id,
                      const TWyAttributes* attributes);
  // Writes the line held back for further parts.
  void Flush();

  std::string FStyles;
  std::string FPlacemarks;
  std::unordered_set<std::string> FStyleIds;
  // The polygon being written: its first vertex closes the ring.
  bool FInPolygon = false;
  bool FHasFirst = false;
  double FFirstLng = 0, FFirstLat = 0, FFirstAlt = 0;
  // The line being written (longitude, latitude, altitude, time), and the
  // Placemark it belongs to: its start, its parts, the key of its track.
  bool FInLine = false;
  std::vector<std::array<double, 4>> FLinePoints;
  std::string FTrackStart, FTrackKey;
  std::vector<std::string> FTrackParts;
  bool FTrackTimed = true;
};

}  // namespace wy

#pragma once
// Writing GeoJSON (RFC 7946): one flat FeatureCollection of Point,
// LineString, MultiLineString and Polygon Features, positions as
// [longitude, latitude] or, with an elevation, [longitude, latitude,
// elevation].
//
// Numbers are plain decimals with "." whatever the locale; texts are JSON
// strings. Every point handed in is written (no thinning); a polygon's ring
// is closed by repeating its first vertex. No byte-order mark: JSON readers
// reject it.
//
// A line with times carries them in the property "coordTimes", one ISO
// 8601 text (or null) per position; consecutive lines with the same track
// key are one MultiLineString Feature (its "coordTimes" one list per part)
// with the properties of the first. Attributes go out as properties under
// their own names, after the properties handed in (a name written already
// is not written again); JSON attributes as their JSON value.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "geo/attributes.h"
#include "geo/iso_time.h"
#include "geo/text_convert.h"

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

  void Point(double lng, double lat, const std::vector<TProperty>& properties,
             double alt = kNoAltitude, const TWyAttributes* attributes = nullptr);
  // A LineString or Polygon Feature: Begin, Position for each point (or
  // vertex, without the closing one), End with its properties.
  void BeginLine(const std::string& trackKey = "");
  void BeginPolygon();
  void Position(double lng, double lat, double alt = kNoAltitude, double time = kNoTime);
  // The same with the numbers as a file wrote them (see AppendPlainDecimal).
  void Position(double lng, double lat, double alt, double time, std::string_view lngText,
                std::string_view latText, std::string_view altText);
  void End(const std::vector<TProperty>& properties, const TWyAttributes* attributes = nullptr);
  void Reserve(size_t points);

  // True when no Feature was written.
  bool Empty() const { return !FAnyFeature && FParts.empty(); }
  // The Features separated by commas (no collection around them).
  const std::string& Features();
  // The FeatureCollection; with `bbox` (west, south, east, north) a
  // bounding box. The writer is left empty.
  std::string TakeDocument(const double* bbox = nullptr);

  // Hands the document to `write` in pieces as it is written instead of
  // keeping it (call before the first Feature): the collection's start at
  // once, the Features as they are done, the end with FinishStream, which
  // gives the bounding box (if any) after the Features. False from
  // FinishStream when `write` refused a piece.
  void StreamTo(std::function<bool(std::string_view)> write);
  bool FinishStream(const double* bbox = nullptr);

 private:
  void BeginFeature();
  // Writes the line held back for further parts.
  void Flush();
  // Appends to the Features, or while streaming hands them out.
  void Put(std::string_view piece);
  void Drain();
  // A part's times: ISO texts, null where a position has none.
  void PutTimes(const std::vector<double>& times);

  std::string FFeatures;
  bool FAnyFeature = false;
  std::function<bool(std::string_view)> FWrite;
  bool FWriteOk = true;
  bool FInPolygon = false;
  bool FFirstPosition = true;
  double FFirstLng = 0, FFirstLat = 0, FFirstAlt = kNoAltitude;
  // The line being written: its positions, and its times from the first
  // one on (earlier positions then get none).
  std::string FPart;
  std::vector<double> FPartTimes;
  size_t FPartCount = 0;
  bool FPartHasTime = false;
  // The parts of the track held back, their times, its properties.
  std::string FTrackKey;
  std::vector<std::pair<std::string, std::vector<double>>> FParts;
  std::string FTrackProperties;
};

}  // namespace wy

#include "formats/kml_export.h"

#include "formats/export_text.h"
#include "geo/memory_advice.h"
#include "geo/text_convert.h"

namespace wy {

namespace {

void AppendCoordinate(std::string& out, double lng, double lat, double alt) {
  AppendPlainDecimal(out, lng);
  out += ',';
  AppendPlainDecimal(out, lat);
  out += ',';
  AppendPlainDecimal(out, alt == kNoAltitude ? 0 : alt);
  out += ' ';
}

}  // namespace

void TKmlWriter::LineStyle(const std::string& id, const std::string& color, int width) {
  if (!FStyleIds.insert(id).second) return;
  FStyles += "<Style id=\"";
  AppendXmlText(FStyles, id);
  FStyles += "\"><LineStyle><color>" + color + "</color><width>" + std::to_string(width) +
             "</width></LineStyle></Style>\r\n";
}

void TKmlWriter::PolyStyle(const std::string& id, const std::string& lineColor,
                           const std::string& fillColor, int width) {
  if (!FStyleIds.insert(id).second) return;
  FStyles += "<Style id=\"";
  AppendXmlText(FStyles, id);
  FStyles += "\"><LineStyle><color>" + lineColor + "</color><width>" + std::to_string(width) +
             "</width></LineStyle><PolyStyle><color>" + fillColor +
             "</color><fill>1</fill><outline>1</outline></PolyStyle></Style>\r\n";
}

void TKmlWriter::BeginPlacemark(std::string& out, const std::string& name,
                                const std::string& description, const std::string& styleId,
                                const char* type, int32_t id, const TWyAttributes* attributes) {
  static const TWyAttributes kNone;
  const TWyAttributes& a = attributes ? *attributes : kNone;
  out += "<Placemark>";
  // A Placemark's children: name, description, TimeStamp, styleUrl,
  // ExtendedData, geometry.
  const std::string& ownName = a.Has("name") ? a.Get("name") : name;
  if (!ownName.empty()) {
    out += "<name>";
    AppendXmlText(out, ownName);
    out += "</name>";
  }
  const std::string& ownDescription = a.Has("desc") ? a.Get("desc") : description;
  if (!ownDescription.empty()) {
    out += "<description>";
    AppendXmlText(out, ownDescription);
    out += "</description>";
  }
  double seconds = 0;
  if (a.Has("time") && ParseIsoTime(a.Get("time"), seconds))
    out += "<TimeStamp><when>" + IsoTimeText(seconds) + "</when></TimeStamp>";
  if (!styleId.empty()) {
    out += "<styleUrl>#";
    AppendXmlText(out, styleId);
    out += "</styleUrl>";
  }
  out += "<ExtendedData>";
  // Our own type and id, unless the shape carries a property of that name.
  if (!a.Has("type") && !a.Has("id")) {
    out += "<Data name=\"type\"><value>";
    out += type;
    out += "</value></Data><Data name=\"id\"><value>" + std::to_string(id) + "</value></Data>";
  }
  for (const TWyAttribute& item : a) {
    if (item.Name == "name" || item.Name == "desc" || item.Name == "time") continue;
    out += "<Data name=\"";
    AppendXmlText(out, item.Name);
    out += "\"><value>";
    AppendXmlText(out, item.Value);
    out += "</value></Data>";
  }
  out += "</ExtendedData>";
}

void TKmlWriter::PointPlacemark(const std::string& name, const std::string& description, double lng,
                                double lat, double alt, const char* type, int32_t id,
                                const TWyAttributes* attributes) {
  Flush();
  BeginPlacemark(FPlacemarks, name, description, "", type, id, attributes);
  FPlacemarks += "<Point>";
  if (alt != kNoAltitude) FPlacemarks += "<altitudeMode>absolute</altitudeMode>";
  FPlacemarks += "<coordinates>";
  AppendCoordinate(FPlacemarks, lng, lat, alt);
  FPlacemarks.pop_back();  // no blank after a single position
  FPlacemarks += "</coordinates></Point></Placemark>\r\n";
}

void TKmlWriter::BeginLine(const std::string& styleId, const char* type, int32_t id,
                           const TWyAttributes* attributes, const std::string& trackKey) {
  if (trackKey.empty() || trackKey != FTrackKey) Flush();
  if (FTrackParts.empty()) {
    FTrackStart.clear();
    BeginPlacemark(FTrackStart, "", "", styleId, type, id, attributes);
    FTrackTimed = true;
  }
  FTrackKey = trackKey;
  FInLine = true;
  FLinePoints.clear();
}

void TKmlWriter::BeginPolygon(const std::string& styleId, const char* type, int32_t id,
                              const TWyAttributes* attributes) {
  Flush();
  BeginPlacemark(FPlacemarks, "", "", styleId, type, id, attributes);
  FPlacemarks +=
      "<Polygon><outerBoundaryIs><LinearRing><extrude>1</extrude><tessellate>1</tessellate>"
      "<altitudeMode>clampToGround</altitudeMode><coordinates>";
  FInPolygon = true;
  FHasFirst = false;
}

void TKmlWriter::Coordinate(double lng, double lat, double alt, double time) {
  if (FInLine) {
    FLinePoints.push_back({lng, lat, alt, time});
    return;
  }
  if (FInPolygon && !FHasFirst) {
    FHasFirst = true;
    FFirstLng = lng;
    FFirstLat = lat;
    FFirstAlt = alt;
  }
  AppendCoordinate(FPlacemarks, lng, lat, alt);
}

void TKmlWriter::EndLine() {
  FInLine = false;
  bool altitudes = false, timed = !FLinePoints.empty();
  for (const auto& p : FLinePoints) {
    altitudes = altitudes || p[2] != kNoAltitude;
    timed = timed && p[3] != kNoTime;
  }
  const char* mode = altitudes ? "<altitudeMode>absolute</altitudeMode>"
                               : "<altitudeMode>clampToGround</altitudeMode>";
  std::string part;
  ReserveText(part, FLinePoints.size() * (timed ? 96 : 40) + 128);
  if (timed) {
    // Google Earth's timed track: every time, then every position.
    part += "<gx:Track>";
    part += mode;
    for (const auto& p : FLinePoints) part += "<when>" + IsoTimeText(p[3]) + "</when>";
    for (const auto& p : FLinePoints) {
      part += "<gx:coord>";
      AppendPlainDecimal(part, p[0]);
      part += ' ';
      AppendPlainDecimal(part, p[1]);
      part += ' ';
      AppendPlainDecimal(part, p[2] == kNoAltitude ? 0 : p[2]);
      part += "</gx:coord>";
    }
    part += "</gx:Track>";
  } else {
    part += "<LineString><extrude>1</extrude><tessellate>1</tessellate>";
    part += mode;
    part += "<coordinates>";
    for (const auto& p : FLinePoints) AppendCoordinate(part, p[0], p[1], p[2]);
    part += "</coordinates></LineString>";
  }
  FLinePoints.clear();
  FLinePoints.shrink_to_fit();
  FTrackTimed = FTrackTimed && timed;
  FTrackParts.push_back(std::move(part));
  if (FTrackKey.empty()) Flush();
}

void TKmlWriter::Flush() {
  if (FTrackParts.empty()) return;
  FPlacemarks += FTrackStart;
  if (FTrackParts.size() == 1) {
    FPlacemarks += FTrackParts[0];
  } else {
    // Timed parts make a multi-track; a mix goes into a MultiGeometry,
    // which takes gx:Track parts as well.
    FPlacemarks += FTrackTimed ? "<gx:MultiTrack>" : "<MultiGeometry>";
    for (const std::string& part : FTrackParts) FPlacemarks += part;
    FPlacemarks += FTrackTimed ? "</gx:MultiTrack>" : "</MultiGeometry>";
  }
  FPlacemarks += "</Placemark>\r\n";
  FTrackParts.clear();
  FTrackStart.clear();
  FTrackKey.clear();
}

void TKmlWriter::EndPolygon() {
  if (FHasFirst) AppendCoordinate(FPlacemarks, FFirstLng, FFirstLat, FFirstAlt);
  FInPolygon = false;
  FHasFirst = false;
  FPlacemarks += "</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark>\r\n";
}

void TKmlWriter::Reserve(size_t points) {
  ReserveText(FPlacemarks, FPlacemarks.size() + points * 40);
}

std::string TKmlWriter::Fragment() {
  Flush();
  return FStyles + FPlacemarks;
}

std::string TKmlWriter::TakeDocument() {
  Flush();
  std::string out;
  ReserveText(out, FStyles.size() + FPlacemarks.size() + 256);
  out +=
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
      "xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document>\r\n";
  out += FStyles;
  out += FPlacemarks;
  out += "</Document></kml>\r\n";
  FStyles.clear();
  FPlacemarks.clear();
  FStyleIds.clear();
  return out;
}

}  // namespace wy

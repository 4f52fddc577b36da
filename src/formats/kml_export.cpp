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

void TKmlWriter::BeginPlacemark(const std::string& styleId, const char* type, int32_t id) {
  if (!styleId.empty()) {
    FPlacemarks += "<styleUrl>#";
    AppendXmlText(FPlacemarks, styleId);
    FPlacemarks += "</styleUrl>";
  }
  // KML wants ExtendedData before the geometry.
  FPlacemarks += "<ExtendedData><Data name=\"type\"><value>";
  FPlacemarks += type;
  FPlacemarks += "</value></Data><Data name=\"id\"><value>" + std::to_string(id) +
                 "</value></Data></ExtendedData>";
}

void TKmlWriter::PointPlacemark(const std::string& name, const std::string& description, double lng,
                                double lat, double alt, const char* type, int32_t id) {
  FPlacemarks += "<Placemark>";
  if (!name.empty()) {
    FPlacemarks += "<name>";
    AppendXmlText(FPlacemarks, name);
    FPlacemarks += "</name>";
  }
  if (!description.empty()) {
    FPlacemarks += "<description>";
    AppendXmlText(FPlacemarks, description);
    FPlacemarks += "</description>";
  }
  BeginPlacemark("", type, id);
  FPlacemarks += "<Point><coordinates>";
  AppendCoordinate(FPlacemarks, lng, lat, alt);
  FPlacemarks.pop_back();  // no blank after a single position
  FPlacemarks += "</coordinates></Point></Placemark>\r\n";
}

void TKmlWriter::BeginLine(const std::string& styleId, const char* type, int32_t id) {
  FPlacemarks += "<Placemark>";
  BeginPlacemark(styleId, type, id);
  FPlacemarks +=
      "<LineString><extrude>1</extrude><tessellate>1</tessellate>"
      "<altitudeMode>clampToGround</altitudeMode><coordinates>";
}

void TKmlWriter::BeginPolygon(const std::string& styleId, const char* type, int32_t id) {
  FPlacemarks += "<Placemark>";
  BeginPlacemark(styleId, type, id);
  FPlacemarks +=
      "<Polygon><outerBoundaryIs><LinearRing><extrude>1</extrude><tessellate>1</tessellate>"
      "<altitudeMode>clampToGround</altitudeMode><coordinates>";
  FInPolygon = true;
  FHasFirst = false;
}

void TKmlWriter::Coordinate(double lng, double lat, double alt) {
  if (FInPolygon && !FHasFirst) {
    FHasFirst = true;
    FFirstLng = lng;
    FFirstLat = lat;
    FFirstAlt = alt;
  }
  AppendCoordinate(FPlacemarks, lng, lat, alt);
}

void TKmlWriter::EndLine() {
  FPlacemarks += "</coordinates></LineString></Placemark>\r\n";
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

std::string TKmlWriter::Fragment() const {
  return FStyles + FPlacemarks;
}

std::string TKmlWriter::TakeDocument() {
  std::string out;
  ReserveText(out, FStyles.size() + FPlacemarks.size() + 256);
  out +=
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\r\n";
  out += FStyles;
  out += FPlacemarks;
  out += "</Document></kml>\r\n";
  FStyles.clear();
  FPlacemarks.clear();
  FStyleIds.clear();
  return out;
}

}  // namespace wy

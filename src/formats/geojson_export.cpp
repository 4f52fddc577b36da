#include "formats/geojson_export.h"

#include "formats/export_text.h"
#include "geo/memory_advice.h"
#include "geo/text_convert.h"

namespace wy {

namespace {

void AppendPosition(std::string& out, double lng, double lat) {
  out += '[';
  AppendPlainDecimal(out, lng);
  out += ',';
  AppendPlainDecimal(out, lat);
  out += ']';
}

void AppendProperties(std::string& out, const std::vector<TGeoJsonWriter::TProperty>& properties) {
  out += "\"properties\":{";
  bool first = true;
  for (const auto& p : properties) {
    if (!first) out += ',';
    first = false;
    AppendJsonString(out, p.name);
    out += ':';
    if (p.isText)
      AppendJsonString(out, p.text);
    else
      out += std::to_string(p.number);
  }
  out += "}}";
}

}  // namespace

void TGeoJsonWriter::BeginFeature() {
  if (!FFeatures.empty()) FFeatures += ",\r\n";
  FFeatures += "{\"type\":\"Feature\",\"geometry\":";
}

void TGeoJsonWriter::Point(double lng, double lat, const std::vector<TProperty>& properties) {
  BeginFeature();
  FFeatures += "{\"type\":\"Point\",\"coordinates\":";
  AppendPosition(FFeatures, lng, lat);
  FFeatures += "},";
  AppendProperties(FFeatures, properties);
}

void TGeoJsonWriter::BeginLine() {
  BeginFeature();
  FFeatures += "{\"type\":\"LineString\",\"coordinates\":[";
  FInPolygon = false;
  FFirstPosition = true;
}

void TGeoJsonWriter::BeginPolygon() {
  BeginFeature();
  FFeatures += "{\"type\":\"Polygon\",\"coordinates\":[[";
  FInPolygon = true;
  FFirstPosition = true;
}

void TGeoJsonWriter::Position(double lng, double lat) {
  if (FFirstPosition) {
    FFirstPosition = false;
    FFirstLng = lng;
    FFirstLat = lat;
  } else {
    FFeatures += ',';
  }
  AppendPosition(FFeatures, lng, lat);
}

void TGeoJsonWriter::End(const std::vector<TProperty>& properties) {
  if (FInPolygon) {
    if (!FFirstPosition) {
      FFeatures += ',';
      AppendPosition(FFeatures, FFirstLng, FFirstLat);
    }
    FFeatures += ']';
  }
  FFeatures += "]},";
  AppendProperties(FFeatures, properties);
  FInPolygon = false;
}

void TGeoJsonWriter::Reserve(size_t points) {
  ReserveText(FFeatures, FFeatures.size() + points * 40);
}

std::string TGeoJsonWriter::TakeDocument(const double* bbox) {
  std::string out;
  ReserveText(out, FFeatures.size() + 256);
  out += "{\"type\":\"FeatureCollection\",";
  if (bbox) {
    out += "\"bbox\":[";
    for (int i = 0; i < 4; ++i) {
      if (i > 0) out += ',';
      AppendPlainDecimal(out, bbox[i]);
    }
    out += "],";
  }
  out += "\"features\":[\r\n";
  out += FFeatures;
  out += "\r\n]}\r\n";
  FFeatures.clear();
  return out;
}

}  // namespace wy

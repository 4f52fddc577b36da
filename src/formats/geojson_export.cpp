#include "formats/geojson_export.h"

#include <set>

#include "formats/export_text.h"
#include "geo/memory_advice.h"

namespace wy {

namespace {

void AppendPosition(std::string& out, double lng, double lat, double alt,
                    std::string_view lngText = {}, std::string_view latText = {},
                    std::string_view altText = {}) {
  out += '[';
  AppendPlainDecimal(out, lng, lngText);
  out += ',';
  AppendPlainDecimal(out, lat, latText);
  if (alt != kNoAltitude) {
    out += ',';
    AppendPlainDecimal(out, alt, altText);
  }
  out += ']';
}

// The "bbox" member: west, south, east, north.
void AppendBox(std::string& out, const double* bbox) {
  out += "\"bbox\":[";
  for (int i = 0; i < 4; ++i) {
    if (i > 0) out += ',';
    AppendPlainDecimal(out, bbox[i]);
  }
  out += ']';
}

// "\"properties\":{…}}" (the Feature's end included); `extra` is a member
// text ("\"coordTimes\":[…]") written last when not empty.
std::string PropertiesText(const std::vector<TGeoJsonWriter::TProperty>& properties,
                           const TWyAttributes* attributes, const std::string& extra) {
  std::string out = "\"properties\":{";
  std::set<std::string> written;
  bool first = true;
  auto name = [&](const std::string& n) {
    if (!first) out += ',';
    first = false;
    AppendJsonString(out, n);
    out += ':';
    written.insert(n);
  };
  for (const auto& p : properties) {
    name(p.name);
    if (p.isText)
      AppendJsonString(out, p.text);
    else
      out += std::to_string(p.number);
  }
  if (!extra.empty()) written.insert("coordTimes");
  if (attributes)
    for (const TWyAttribute& a : *attributes) {
      if (written.count(a.Name)) continue;
      name(a.Name);
      if (a.Kind == akJson && !a.Value.empty())
        out += a.Value;
      else
        AppendJsonString(out, a.Value);
    }
  if (!extra.empty()) {
    if (!first) out += ',';
    out += extra;
  }
  out += "}}";
  return out;
}

}  // namespace

void TGeoJsonWriter::Put(std::string_view piece) {
  // Large pieces (a long line's positions) go out without a copy.
  constexpr size_t kLarge = 1 << 16, kDrainAt = 1 << 20;
  if (FWrite && piece.size() >= kLarge) {
    Drain();
    FWriteOk = FWrite(piece) && FWriteOk;
    return;
  }
  FFeatures += piece;
  if (FWrite && FFeatures.size() >= kDrainAt) Drain();
}

void TGeoJsonWriter::PutTimes(const std::vector<double>& times) {
  std::string text;
  for (size_t i = 0; i < times.size(); ++i) {
    if (i > 0) text += ',';
    if (times[i] == kNoTime) {
      text += "null";
    } else {
      text += '"';
      AppendIsoTime(text, times[i]);
      text += '"';
    }
    if (text.size() >= (1 << 16)) {
      Put(text);
      text.clear();
    }
  }
  Put(text);
}

void TGeoJsonWriter::Drain() {
  if (!FWrite || FFeatures.empty()) return;
  FWriteOk = FWrite(FFeatures) && FWriteOk;
  FFeatures.clear();
}

void TGeoJsonWriter::BeginFeature() {
  Flush();
  if (FAnyFeature) FFeatures += ",\r\n";
  FAnyFeature = true;
  FFeatures += "{\"type\":\"Feature\",\"geometry\":";
}

void TGeoJsonWriter::Point(double lng, double lat, const std::vector<TProperty>& properties,
                           double alt, const TWyAttributes* attributes) {
  BeginFeature();
  FFeatures += "{\"type\":\"Point\",\"coordinates\":";
  AppendPosition(FFeatures, lng, lat, alt);
  FFeatures += "},";
  FFeatures += PropertiesText(properties, attributes, "");
}

void TGeoJsonWriter::BeginLine(const std::string& trackKey) {
  if (trackKey.empty() || trackKey != FTrackKey) Flush();
  FTrackKey = trackKey;
  FInPolygon = false;
  FFirstPosition = true;
  FPart.clear();
  FPartTimes.clear();
  FPartCount = 0;
  FPartHasTime = false;
}

void TGeoJsonWriter::BeginPolygon() {
  BeginFeature();
  FFeatures += "{\"type\":\"Polygon\",\"coordinates\":[[";
  FInPolygon = true;
  FFirstPosition = true;
}

void TGeoJsonWriter::Position(double lng, double lat, double alt, double time) {
  Position(lng, lat, alt, time, {}, {}, {});
}

void TGeoJsonWriter::Position(double lng, double lat, double alt, double time,
                              std::string_view lngText, std::string_view latText,
                              std::string_view altText) {
  if (FInPolygon) {
    if (FFirstPosition) {
      FFirstPosition = false;
      FFirstLng = lng;
      FFirstLat = lat;
      FFirstAlt = alt;
    } else {
      FFeatures += ',';
    }
    AppendPosition(FFeatures, lng, lat, alt);
    return;
  }
  if (FPartCount > 0) FPart += ',';
  AppendPosition(FPart, lng, lat, alt, lngText, latText, altText);
  if (time != kNoTime && !FPartHasTime) {
    FPartHasTime = true;
    FPartTimes.assign(FPartCount, kNoTime);
  }
  if (FPartHasTime) FPartTimes.push_back(time);
  ++FPartCount;
}

void TGeoJsonWriter::End(const std::vector<TProperty>& properties,
                         const TWyAttributes* attributes) {
  if (FInPolygon) {
    if (!FFirstPosition) {
      FFeatures += ',';
      AppendPosition(FFeatures, FFirstLng, FFirstLat, FFirstAlt);
    }
    FFeatures += "]]},";
    FFeatures += PropertiesText(properties, attributes, "");
    FInPolygon = false;
    return;
  }
  // A later part of the track takes the properties of the first.
  if (FParts.empty()) FTrackProperties = PropertiesText(properties, attributes, "\x01");
  FParts.emplace_back(std::move(FPart),
                      FPartHasTime ? std::move(FPartTimes) : std::vector<double>());
  FPart.clear();
  FPartTimes.clear();
  if (FTrackKey.empty()) Flush();
}

void TGeoJsonWriter::Flush() {
  if (FParts.empty()) return;
  std::vector<std::pair<std::string, std::vector<double>>> parts = std::move(FParts);
  FParts.clear();
  FTrackKey.clear();
  if (FAnyFeature) Put(",\r\n");
  FAnyFeature = true;
  Put("{\"type\":\"Feature\",\"geometry\":");
  const bool multi = parts.size() > 1;
  bool anyTime = false;
  for (const auto& p : parts) anyTime = anyTime || !p.second.empty();
  Put(multi ? "{\"type\":\"MultiLineString\",\"coordinates\":["
            : "{\"type\":\"LineString\",\"coordinates\":");
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) Put(",");
    Put("[");
    Put(parts[i].first);
    Put("]");
  }
  if (multi) Put("]");
  Put("},");
  // The placeholder left for the times.
  std::string properties = std::move(FTrackProperties);
  const size_t mark = properties.find('\x01');
  if (mark == std::string::npos) {
    Put(properties);
    return;
  }
  if (!anyTime) {
    // Drop the placeholder, and the comma before it when there is one.
    const size_t from = mark > 0 && properties[mark - 1] == ',' ? mark - 1 : mark;
    properties.erase(from, mark + 1 - from);
    Put(properties);
    return;
  }
  Put(std::string_view(properties).substr(0, mark));
  Put("\"coordTimes\":[");
  for (size_t i = 0; i < parts.size(); ++i) {
    if (multi) Put(i > 0 ? ",[" : "[");
    // A part without times: null for each of its positions.
    if (parts[i].second.empty()) {
      size_t n = parts[i].first.empty() ? 0 : 1;
      int depth = 0;
      for (char c : parts[i].first) {
        if (c == '[') ++depth;
        if (c == ']') --depth;
        if (c == ',' && depth == 0) ++n;
      }
      for (size_t k = 0; k < n; ++k) Put(k ? ",null" : "null");
    } else {
      PutTimes(parts[i].second);
    }
    if (multi) Put("]");
  }
  Put("]");
  Put(std::string_view(properties).substr(mark + 1));
}

void TGeoJsonWriter::Reserve(size_t points) {
  ReserveText(FFeatures, FFeatures.size() + points * 40);
  ReserveText(FPart, FPart.size() + points * 40);
  FPartTimes.reserve(FPartTimes.size() + points);
}

const std::string& TGeoJsonWriter::Features() {
  Flush();
  return FFeatures;
}

std::string TGeoJsonWriter::TakeDocument(const double* bbox) {
  Flush();
  std::string out;
  ReserveText(out, FFeatures.size() + 256);
  out += "{\"type\":\"FeatureCollection\",";
  if (bbox) {
    AppendBox(out, bbox);
    out += ',';
  }
  out += "\"features\":[\r\n";
  out += FFeatures;
  out += "\r\n]}\r\n";
  FFeatures.clear();
  FAnyFeature = false;
  return out;
}

void TGeoJsonWriter::StreamTo(std::function<bool(std::string_view)> write) {
  FWrite = std::move(write);
  FWriteOk = FWrite("{\"type\":\"FeatureCollection\",\"features\":[\r\n");
}

bool TGeoJsonWriter::FinishStream(const double* bbox) {
  Flush();
  Drain();
  std::string end = "\r\n]";
  if (bbox) {
    end += ',';
    AppendBox(end, bbox);
  }
  end += "}\r\n";
  FWriteOk = FWrite(end) && FWriteOk;
  FWrite = nullptr;
  FAnyFeature = false;
  return FWriteOk;
}

}  // namespace wy

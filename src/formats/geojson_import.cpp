#include "formats/geojson_import.h"

#include <utility>

#include "formats/import_common.h"
#include "geo/attributes.h"
#include "geo/iso_time.h"
#include "geo/text_convert.h"

namespace wy {

// A JSON value gathered from the reader's events: a primitive (its text as
// written), an object (named members in order) or an array.
struct TGeoJsonImporter::TNode {
  enum TKind { kValue, kObject, kArray } kind = kValue;
  bool isString = false;
  std::string text;
  std::vector<std::pair<std::string, std::unique_ptr<TNode>>> members;
  std::vector<std::unique_ptr<TNode>> items;

  // The first member of that name, ASCII letter case ignored.
  const TNode* Member(std::string_view name) const {
    for (const auto& m : members)
      if (SameTextAscii(m.first, name)) return m.second.get();
    return nullptr;
  }
  static bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
      if (x != y) return false;
    }
    return true;
  }
};

namespace {

using TNode = TGeoJsonImporter::TNode;

std::string TypeOf(const TNode* object) {
  if (!object || object->kind != TNode::kObject) return "";
  const TNode* type = object->Member("type");
  if (!type || type->kind != TNode::kValue) return "";
  std::string t = JsonDecodeString(type->text);
  for (char& c : t)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return t;
}

// "lat,lng" of a position [lng, lat, (alt)], or false when it is not one
// with coordinates in range; `alt` the elevation's text, "" without one.
bool Position(const TNode* p, std::string& lat, std::string& lng, std::string& alt) {
  if (!p || p->kind != TNode::kArray || p->items.size() < 2) return false;
  const TNode& x = *p->items[0];
  const TNode& y = *p->items[1];
  if (x.kind != TNode::kValue || y.kind != TNode::kValue) return false;
  double v = 0;
  if (!ReadCoordinate(x.text, 180, v) || !ReadCoordinate(y.text, 90, v)) return false;
  lng = x.text;
  lat = y.text;
  alt.clear();
  if (p->items.size() > 2 && p->items[2]->kind == TNode::kValue &&
      ReadCoordinate(p->items[2]->text, 1e6, v))
    alt = FloatToStrDot(v);
  return true;
}

// The fields of a list of positions: "lat,lng,…", their altitudes and
// their times (from `times`, one per position), the closing duplicate of a
// ring dropped.
struct TPath {
  std::string latlng, alts, times;
  bool hasAlt = false, hasTime = false;
};

TPath PathOf(const TNode* list, bool ring, const TNode* times) {
  TPath out;
  if (!list || list->kind != TNode::kArray) return out;
  std::string lat, lng, alt, firstLat, firstLng;
  size_t n = list->items.size();
  if (ring && n > 1) {
    std::string lastLat, lastLng;
    if (Position(list->items[0].get(), firstLat, firstLng, alt) &&
        Position(list->items[n - 1].get(), lastLat, lastLng, alt) && firstLat == lastLat &&
        firstLng == lastLng)
      --n;
  }
  if (times && (times->kind != TNode::kArray || times->items.size() != list->items.size()))
    times = nullptr;
  for (size_t i = 0; i < n; ++i) {
    if (!Position(list->items[i].get(), lat, lng, alt)) continue;
    if (!out.latlng.empty()) {
      out.latlng += ',';
      out.alts += ',';
      out.times += ',';
    }
    out.latlng.append(lat).append(",").append(lng);
    out.alts += alt.empty() ? "-9999" : alt;
    out.hasAlt = out.hasAlt || !alt.empty();
    double seconds = 0;
    if (times && times->items[i]->kind == TNode::kValue &&
        ParseIsoTime(JsonDecodeString(times->items[i]->text), seconds)) {
      out.times += EpochSecondsText(seconds);
      out.hasTime = true;
    }
  }
  return out;
}

// A value as JSON text: strings with their quotes, numbers and words as
// read (a "+" sign, which JSON does not have, dropped).
void AppendJson(std::string& out, const TNode& node) {
  switch (node.kind) {
    case TNode::kValue:
      if (node.isString)
        out.append("\"").append(node.text).append("\"");
      else
        out.append(!node.text.empty() && node.text[0] == '+' ? node.text.substr(1) : node.text);
      break;
    case TNode::kObject:
      out += '{';
      for (size_t i = 0; i < node.members.size(); ++i) {
        if (i > 0) out += ',';
        out.append("\"").append(node.members[i].first).append("\":");
        AppendJson(out, *node.members[i].second);
      }
      out += '}';
      break;
    case TNode::kArray:
      out += '[';
      for (size_t i = 0; i < node.items.size(); ++i) {
        if (i > 0) out += ',';
        AppendJson(out, *node.items[i]);
      }
      out += ']';
      break;
  }
}

bool IsPolygonKind(const std::string& type) {
  return type == "polygon" || type == "multipolygon" || type == "geometrycollection";
}

const TNode* Coordinates(const TNode& geometry) {
  const TNode* c = geometry.Member("coordinates");
  return (c && c->kind == TNode::kArray) ? c : nullptr;
}

}  // namespace

TGeoJsonImporter::TGeoJsonImporter() = default;
TGeoJsonImporter::~TGeoJsonImporter() = default;

void TGeoJsonImporter::Reset() {
  FRoot.reset();
  FFrames.clear();
  FMap.clear();
  FMarkers.clear();
  FLines.clear();
  FPolygons.clear();
  FRectangles.clear();
  FCircles.clear();
  FTrackCount = 0;
}

std::string TGeoJsonImporter::FromText(std::string_view text) {
  Reset();
  ParseJSON(text);
  // A document cut short still gives the features read completely; the top
  // object (a lone Feature or geometry) only when it was read whole.
  if (FRoot && FFrames.empty()) WriteObject(*FRoot);
  std::string out;
  if (FRoot) {
    out.reserve(FMap.size() + FMarkers.size() + FLines.size() + FPolygons.size() + 80);
    out.append("[map]").append(FMap);
    out.append("\r\n[markers]").append(FMarkers);
    out.append("\r\n[polylines]").append(FLines);
    out.append("\r\n[polygones]").append(FPolygons);
    out.append("\r\n[rectangles]").append(FRectangles);
    out.append("\r\n[circles]").append(FCircles);
  }
  Reset();
  return out;
}

void TGeoJsonImporter::Attach(std::unique_ptr<TNode> node) {
  TNode* raw = node.get();
  const bool container = raw->kind != TNode::kValue;
  if (FFrames.empty()) {
    if (!FRoot) FRoot = std::move(node);
  } else {
    TFrame& top = FFrames.back();
    if (top.node->kind == TNode::kObject)
      top.node->members.emplace_back(top.name, std::move(node));
    else
      top.node->items.push_back(std::move(node));
  }
  if (container) FFrames.push_back({raw, false, std::string()});
}

void TGeoJsonImporter::StartObject() {
  auto node = std::make_unique<TNode>();
  node->kind = TNode::kObject;
  Attach(std::move(node));
}

void TGeoJsonImporter::StartElement(const std::string& name) {
  if (!FFrames.empty() && FFrames.back().node->kind == TNode::kObject &&
      !FFrames.back().memberOpen) {
    FFrames.back().memberOpen = true;
    FFrames.back().name = name;
    return;
  }
  auto node = std::make_unique<TNode>();
  node->kind = TNode::kArray;
  Attach(std::move(node));
}

void TGeoJsonImporter::SetElementValue(const std::string& value) {
  auto node = std::make_unique<TNode>();
  node->text = value;
  node->isString = ValueIsString();
  Attach(std::move(node));
}

void TGeoJsonImporter::EndElement() {
  if (FFrames.empty()) return;
  TFrame& top = FFrames.back();
  if (top.node->kind == TNode::kObject)
    top.memberOpen = false;
  else
    FFrames.pop_back();
}

void TGeoJsonImporter::EndObject() {
  if (FFrames.empty()) return;
  FFrames.pop_back();
  // A feature of the collection's "features" array is written as soon as
  // it is complete and then dropped, so memory follows the largest feature.
  if (FFrames.size() == 2 && FFrames[0].memberOpen &&
      TNode::SameTextAscii(FFrames[0].name, "features") && FFrames[1].node->kind == TNode::kArray &&
      !FFrames[1].node->items.empty()) {
    WriteObject(*FFrames[1].node->items.back());
    FFrames[1].node->items.clear();
  }
}

void TGeoJsonImporter::WriteObject(const TNode& object) {
  const std::string type = TypeOf(&object);
  if (type == "featurecollection") {
    if (const TNode* bbox = object.Member("bbox")) WriteBbox(*bbox);
    const TNode* features = object.Member("features");
    if (features)
      for (const auto& f : features->items) WriteObject(*f);
    return;
  }
  if (type == "feature") {
    std::string fields;
    std::string shape;  // "circle" or "rect" when a property says so
    TWyAttributes attributes;
    const TNode* times = nullptr;
    const TNode* geometry = object.Member("geometry");
    const bool polygonal = IsPolygonKind(TypeOf(geometry));
    const TNode* props = object.Member("properties");
    if (props && props->kind == TNode::kObject) {
      for (const auto& m : props->members) {
        const std::string name = JsonDecodeString(m.first);
        if (TNode::SameTextAscii(name, "coordTimes")) {
          times = m.second.get();
          continue;
        }
        if (m.second->kind != TNode::kValue || !m.second->isString) {
          std::string json;
          AppendJson(json, *m.second);
          attributes.Set(name, json, akJson);
        }
        if (m.second->kind != TNode::kValue) continue;  // nested values have no field form
        const std::string value = JsonDecodeString(m.second->text);
        if (m.second->isString) attributes.Set(name, value);
        // A circle or rectangle is a kind of polygon; on a point or a line
        // the value is a property like any other.
        if (polygonal && (value == "circle" || value == "rect")) {
          shape = value;
          attributes.Remove(name);
          continue;
        }
        if (TNode::SameTextAscii(name, "icon") && !IsAllowedIcon(value)) continue;
        // A name starting with "@" ("@id" of map data) would read as an
        // attribute field; it is kept as an attribute only.
        if (!name.empty() && name[0] == '@') continue;
        fields.append(";").append(ImportedText(name));
        fields.append("=").append(ImportedText(value));
      }
    }
    if (!attributes.Empty()) fields.append(";").append(attributes.ToFields());
    if (geometry) WriteGeometry(*geometry, fields, shape, times);
    return;
  }
  WriteGeometry(object, "", "", nullptr);
}

void TGeoJsonImporter::WriteGeometry(const TNode& geometry, const std::string& fields,
                                     const std::string& shape, const TNode* times) {
  const std::string type = TypeOf(&geometry);
  const TNode* coords = Coordinates(geometry);
  std::string lat, lng, alt;
  auto point = [&](const TNode* p) {
    if (!Position(p, lat, lng, alt)) return;
    FMarkers.append("\r\nlng=").append(lng).append(";lat=").append(lat).append(";visible=true;");
    if (!alt.empty()) FMarkers.append("alt=").append(alt).append(";");
    FMarkers.append(fields);
  };
  auto line = [&](std::string& target, const TPath& path, const std::string& key) {
    if (path.latlng.empty()) return;
    target.append("\r\nvisible=true;latlng=").append(path.latlng);
    if (path.hasAlt) target.append(";alt=").append(path.alts);
    if (path.hasTime) target.append(";time=").append(path.times);
    if (!key.empty()) target.append(";trk=").append(key);
    target.append(fields);
  };
  auto polygon = [&](const TNode* rings) {
    if (!rings || rings->kind != TNode::kArray || rings->items.empty()) return;
    // A circle or rectangle is described by its properties alone.
    if (shape == "circle") {
      FCircles.append("\r\n").append(fields.empty() ? "" : fields.substr(1));
    } else if (shape == "rect") {
      FRectangles.append("\r\n").append(fields.empty() ? "" : fields.substr(1));
    } else {
      line(FPolygons, PathOf(rings->items[0].get(), true, nullptr), "");
    }
  };
  if (type == "point") {
    point(coords);
  } else if (type == "multipoint") {
    if (coords)
      for (const auto& p : coords->items) point(p.get());
  } else if (type == "linestring") {
    line(FLines, PathOf(coords, false, times), "");
  } else if (type == "multilinestring") {
    if (coords) {
      const bool perPart =
          times && times->kind == TNode::kArray && times->items.size() == coords->items.size();
      const std::string key = coords->items.size() > 1 ? std::to_string(++FTrackCount) : "";
      for (size_t i = 0; i < coords->items.size(); ++i)
        line(FLines,
             PathOf(coords->items[i].get(), false, perPart ? times->items[i].get() : nullptr), key);
    }
  } else if (type == "polygon") {
    polygon(coords);
  } else if (type == "multipolygon") {
    if (coords)
      for (const auto& part : coords->items) polygon(part.get());
  } else if (type == "geometrycollection") {
    const TNode* parts = geometry.Member("geometries");
    if (parts && parts->kind == TNode::kArray)
      for (const auto& g : parts->items) WriteGeometry(*g, fields, shape, nullptr);
  }
}

// [west, south, east, north], or with altitudes [west, south, low, east,
// north, high].
void TGeoJsonImporter::WriteBbox(const TNode& bbox) {
  if (bbox.kind != TNode::kArray) return;
  std::vector<std::string> v;
  for (const auto& item : bbox.items) {
    double d = 0;
    if (item->kind != TNode::kValue || !TryStrToFloatDot(item->text, d)) return;
    v.push_back(item->text);
  }
  if (v.size() == 6) v = {v[0], v[1], v[3], v[4]};
  if (v.size() != 4) return;
  FMap.append("\r\nbbox=").append(v[0]).append(",").append(v[1]).append(",").append(v[2]);
  FMap.append(",").append(v[3]);
}

}  // namespace wy

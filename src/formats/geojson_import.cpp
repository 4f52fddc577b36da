#include "formats/geojson_import.h"

#include <utility>

#include "formats/import_common.h"
#include "geo/text_convert.h"

namespace wy {

// A JSON value gathered from the reader's events: a primitive (its text as
// written), an object (named members in order) or an array.
struct TGeoJsonImporter::TNode {
  enum TKind { kValue, kObject, kArray } kind = kValue;
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
// with coordinates in range.
bool Position(const TNode* p, std::string& lat, std::string& lng) {
  if (!p || p->kind != TNode::kArray || p->items.size() < 2) return false;
  const TNode& x = *p->items[0];
  const TNode& y = *p->items[1];
  if (x.kind != TNode::kValue || y.kind != TNode::kValue) return false;
  double v = 0;
  if (!ReadCoordinate(x.text, 180, v) || !ReadCoordinate(y.text, 90, v)) return false;
  lng = x.text;
  lat = y.text;
  return true;
}

// "lat,lng,lat,lng…" of a list of positions; the closing duplicate of a
// ring dropped.
std::string PositionList(const TNode* list, bool ring) {
  std::string out;
  if (!list || list->kind != TNode::kArray) return out;
  std::string lat, lng, firstLat, firstLng;
  size_t n = list->items.size();
  if (ring && n > 1) {
    std::string lastLat, lastLng;
    if (Position(list->items[0].get(), firstLat, firstLng) &&
        Position(list->items[n - 1].get(), lastLat, lastLng) && firstLat == lastLat &&
        firstLng == lastLng)
      --n;
  }
  for (size_t i = 0; i < n; ++i) {
    if (!Position(list->items[i].get(), lat, lng)) continue;
    if (!out.empty()) out += ',';
    out.append(lat).append(",").append(lng);
  }
  return out;
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
    const TNode* props = object.Member("properties");
    if (props && props->kind == TNode::kObject) {
      for (const auto& m : props->members) {
        if (m.second->kind != TNode::kValue) continue;  // nested values have no field form
        const std::string value = JsonDecodeString(m.second->text);
        if (value == "circle" || value == "rect") {
          shape = value;
          continue;
        }
        fields.append(";").append(ImportedText(JsonDecodeString(m.first)));
        fields.append("=").append(ImportedText(value));
      }
    }
    if (const TNode* geometry = object.Member("geometry")) WriteGeometry(*geometry, fields, shape);
    return;
  }
  WriteGeometry(object, "", "");
}

void TGeoJsonImporter::WriteGeometry(const TNode& geometry, const std::string& fields,
                                     const std::string& shape) {
  const std::string type = TypeOf(&geometry);
  const TNode* coords = Coordinates(geometry);
  std::string lat, lng;
  auto point = [&](const TNode* p) {
    if (Position(p, lat, lng))
      FMarkers.append("\r\nlng=")
          .append(lng)
          .append(";lat=")
          .append(lat)
          .append(";visible=true;")
          .append(fields);
  };
  auto line = [&](std::string& target, const std::string& latlng) {
    if (latlng.empty()) return;
    target.append("\r\nvisible=true;latlng=").append(latlng).append(fields);
  };
  auto polygon = [&](const TNode* rings) {
    if (!rings || rings->kind != TNode::kArray || rings->items.empty()) return;
    // A circle or rectangle is described by its properties alone.
    if (shape == "circle") {
      FCircles.append("\r\n").append(fields.empty() ? "" : fields.substr(1));
    } else if (shape == "rect") {
      FRectangles.append("\r\n").append(fields.empty() ? "" : fields.substr(1));
    } else {
      line(FPolygons, PositionList(rings->items[0].get(), true));
    }
  };
  if (type == "point") {
    point(coords);
  } else if (type == "multipoint") {
    if (coords)
      for (const auto& p : coords->items) point(p.get());
  } else if (type == "linestring") {
    line(FLines, PositionList(coords, false));
  } else if (type == "multilinestring") {
    if (coords)
      for (const auto& part : coords->items) line(FLines, PositionList(part.get(), false));
  } else if (type == "polygon") {
    polygon(coords);
  } else if (type == "multipolygon") {
    if (coords)
      for (const auto& part : coords->items) polygon(part.get());
  } else if (type == "geometrycollection") {
    const TNode* parts = geometry.Member("geometries");
    if (parts && parts->kind == TNode::kArray)
      for (const auto& g : parts->items) WriteGeometry(*g, fields, shape);
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

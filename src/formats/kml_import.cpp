#include "formats/kml_import.h"

#include <cmath>
#include <string_view>

#include "formats/import_common.h"
#include "formats/shape_file.h"
#include "geo/iso_time.h"
#include "geo/text_convert.h"

namespace wy {

namespace {

std::string LocalLowerName(const std::string& tag, bool& closing) {
  std::string out(XmlLocalName(tag, closing));
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// A KML colour "aabbggrr" as a colour value (red + 256 green + 65536 blue)
// and an opacity percentage; false for a text that is not one.
bool KmlColor(const std::string& text, int& color, int& opacity) {
  if (text.size() < 8) return false;
  int byte[4];
  for (int i = 0; i < 4; ++i) {
    const int hi = HexDigitValue(text[2 * i]), lo = HexDigitValue(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    byte[i] = hi * 16 + lo;
  }
  color = byte[3] + 256 * byte[2] + 65536 * byte[1];
  opacity = static_cast<int>(std::nearbyint(byte[0] / 255.0 * 100));  // half to even
  return true;
}

constexpr size_t kMaxOpen = 256;

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

// Calls take(lng, lat, alt) for each "lng,lat[,alt]" tuple of a
// coordinates text whose coordinates are numbers in range (alt "" when
// there is none).
template <typename TTake>
void ForEachTuple(const std::string& text, TTake&& take) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i == start) break;
    const std::string tuple = text.substr(start, i - start);
    const size_t c1 = tuple.find(',');
    if (c1 == std::string::npos) continue;
    const size_t c2 = tuple.find(',', c1 + 1);
    const std::string lng = tuple.substr(0, c1);
    const std::string lat =
        tuple.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    const std::string alt = c2 == std::string::npos ? "" : tuple.substr(c2 + 1);
    double v = 0;
    if (ReadCoordinate(lng, 180, v) && ReadCoordinate(lat, 90, v)) take(lng, lat, alt);
  }
}

}  // namespace

TKmlImporter::TKmlImporter() {
  FXml.HandleTag = [this](TwytXML& xml) { OnTag(xml); };
  FXml.HandleText = [this](TwytXML& xml) { OnText(xml); };
}

void TKmlImporter::Reset() {
  FOpen.clear();
  FText.clear();
  FStyles.clear();
  FStyleMaps.clear();
  FStyleMapId.clear();
  FPairKey.clear();
  FPairUrl.clear();
  FStyle = FDeclaring = nullptr;
  FInPlacemark = false;
  FName.clear();
  FDescription.clear();
  FAttributes.Clear();
  FDataName.clear();
  FOursType = false;
  FMultiCount = 0;
  FGeometries.clear();
  FMarkers.clear();
  FLines.clear();
  FPolygons.clear();
}

std::string TKmlImporter::Result() {
  std::string out;
  if (!FMarkers.empty()) out.append("[markers]\r\n").append(FMarkers).append("\r\n");
  if (!FLines.empty()) out.append("\r\n[polylines]\r\n").append(FLines);
  if (!FPolygons.empty()) out.append("\r\n[polygones]\r\n").append(FPolygons);
  Reset();
  return out;
}

std::string TKmlImporter::FromText(std::string text) {
  Reset();
  FXml.SetXml(XmlAsUtf8(std::move(text)));
  return Result();
}

std::string TKmlImporter::FromFile(const std::string& fileName) {
  Reset();
  if (!FXml.LoadFromFile(fileName)) return "";
  return Result();
}

bool TKmlImporter::Inside(const char* name) const {
  for (const std::string& open : FOpen)
    if (open == name) return true;
  return false;
}

void TKmlImporter::OnText(TwytXML& xml) {
  // Text written over several lines arrives once per line.
  if (!FText.empty()) FText += '\n';
  FText += xml.NodeText();
}

void TKmlImporter::OnTag(TwytXML& xml) {
  bool closing = false;
  const std::string name = LocalLowerName(xml.NodeTag(), closing);
  if (closing) {
    EndElement(name);
    FText.clear();
    return;
  }
  FText.clear();
  if (name == "xml" || name.empty() || name[0] == '!') return;
  // Real documents nest a few levels; the cap keeps the look-ups through
  // the open elements cheap for hostile ones.
  if (FOpen.size() >= kMaxOpen) return;
  FOpen.push_back(name);
  if (name == "placemark") {
    FInPlacemark = true;
    FName.clear();
    FDescription.clear();
    FAttributes.Clear();
    FOursType = false;
    FGeometries.clear();
  } else if (FInPlacemark && (name == "data" || name == "simpledata")) {
    FDataName = xml.NodeParams().Value("name");
  } else if (name == "style") {
    FDeclaring = &FStyles[xml.NodeParams().Value("id")];
    if (!Inside("stylemap")) FStyle = FDeclaring;
  } else if (name == "stylemap") {
    FStyleMapId = xml.NodeParams().Value("id");
  } else if (name == "pair") {
    FPairKey.clear();
    FPairUrl.clear();
  } else if (FInPlacemark && name == "point") {
    FGeometries.push_back({gkPoint, "", {}});
  } else if (FInPlacemark && (name == "linestring" || name == "track")) {
    FGeometries.push_back({gkLine, "", {}});
  } else if (FInPlacemark && name == "polygon") {
    FGeometries.push_back({gkPolygon, "", {}});
  }
  if (xml.NodeSelfClosing()) EndElement(name);
}

TKmlImporter::TStyle* TKmlImporter::StyleOf(const std::string& url) {
  auto idOf = [](const std::string& u) {
    const size_t hash = u.rfind('#');
    return hash == std::string::npos ? u : u.substr(hash + 1);
  };
  std::string id = idOf(Trim(url));
  const auto alias = FStyleMaps.find(id);
  if (alias != FStyleMaps.end()) id = idOf(alias->second);
  return &FStyles[id];
}

void TKmlImporter::EndElement(const std::string& name) {
  // Closing tags without an opening one are ignored; unclosed inner ones
  // are closed with their parent.
  size_t at = FOpen.size();
  while (at > 0 && FOpen[at - 1] != name) --at;
  if (at == 0) return;
  const std::string parent = at >= 2 ? FOpen[at - 2] : "";
  const std::string text = Trim(FText);
  if (name == "name" && parent == "placemark") {
    FName = text;
    for (char& c : FName)
      if (c == '\n') c = ' ';
    if (!FName.empty()) FAttributes.Set("name", FName);
  } else if (name == "description" && parent == "placemark") {
    FDescription = text;
    if (!text.empty()) FAttributes.Set("desc", text);
  } else if (name == "when" && parent == "track") {
    if (!FGeometries.empty()) FGeometries.back().whens.push_back(text);
  } else if (name == "when" && parent == "timestamp" && FInPlacemark) {
    FAttributes.Set("time", text);
  } else if ((name == "value" && parent == "data") || name == "simpledata") {
    // The type and id our own exports add name no property of the file.
    if (FInPlacemark && !FDataName.empty()) {
      const bool ours = FDataName == "type" && (text == "shape" || text == "marker" ||
                                                text == "polyline" || text == "polygone");
      if (ours)
        FOursType = true;
      else if (!(FOursType && FDataName == "id"))
        FAttributes.Set(FDataName, text);
    }
  } else if (name == "coordinates") {
    if (FInPlacemark && !FGeometries.empty() && !Inside("innerboundaryis")) {
      std::string& coords = FGeometries.back().coordinates;
      if (coords.empty()) coords = text;  // a polygon's first outer ring
    }
  } else if (name == "coord" && parent == "track") {
    // gx:coord is "lng lat alt".
    if (!FGeometries.empty()) {
      std::string tuple = text;
      for (char& c : tuple)
        if (IsBlank(c)) c = ',';
      FGeometries.back().coordinates.append(" ").append(tuple);
    }
  } else if (name == "styleurl") {
    if (Inside("pair"))
      FPairUrl = text;
    else
      FStyle = StyleOf(text);
  } else if (name == "key" && parent == "pair") {
    FPairKey = text;
  } else if (name == "pair") {
    if (FPairKey == "normal" && !FStyleMapId.empty()) FStyleMaps[FStyleMapId] = FPairUrl;
  } else if (name == "stylemap") {
    FStyleMapId.clear();
  } else if (name == "color" && FDeclaring) {
    // A colour outside a style (a ground overlay's) has nothing to colour.
    if (parent == "polystyle")
      FDeclaring->fillColor = text;
    else if (parent == "linestyle" || parent == "iconstyle")
      FDeclaring->color = text;
  } else if (name == "width" && FDeclaring && parent == "linestyle") {
    FDeclaring->width = text;
  } else if (name == "href" && FDeclaring && parent == "icon") {
    FDeclaring->icon = text;
  } else if (name == "style") {
    FDeclaring = nullptr;
  } else if (name == "placemark") {
    EmitPlacemark();
    FInPlacemark = false;
  }
  FOpen.resize(at - 1);
}

std::string TKmlImporter::StyleFields(const TStyle* style, bool polygon) const {
  std::string out;
  if (!style) return out;
  double width = 0;
  if (TryStrToFloatDot(style->width, width) && width >= 0 && width <= 255)
    out.append(";weight=").append(FloatToStrDot(std::round(width)));
  int color = 0, opacity = 0;
  if (KmlColor(style->color, color, opacity))
    out.append(";color=")
        .append(std::to_string(color))
        .append(";opacity=")
        .append(std::to_string(opacity));
  if (polygon && KmlColor(style->fillColor, color, opacity))
    out.append(";fillcolor=")
        .append(std::to_string(color))
        .append(";fillopacity=")
        .append(std::to_string(opacity));
  return out;
}

void TKmlImporter::EmitPlacemark() {
  std::string description = FDescription;
  if (description == FName) description.clear();  // a name written twice is no description
  const std::string title = Trim(FName + " " + description);
  const std::string attributes = FAttributes.ToFields();
  size_t lineCount = 0;
  for (const TGeometry& g : FGeometries) lineCount += g.kind == gkLine ? 1 : 0;
  const std::string trackKey = lineCount > 1 ? std::to_string(++FMultiCount) : "";
  for (const TGeometry& g : FGeometries) {
    if (g.kind == gkPoint) {
      bool done = false;
      ForEachTuple(g.coordinates, [&](const std::string& lng, const std::string& lat,
                                      const std::string& alt) {
        if (done) return;
        done = true;
        FMarkers.append("drag=false;lng=").append(lng).append(";visible=true;lat=").append(lat);
        FMarkers.append(";clickable=true;");
        double a = 0;
        if (ReadCoordinate(alt, 1e6, a) && a != 0) FMarkers.append("alt=").append(alt).append(";");
        if (FStyle && IsAllowedIcon(FStyle->icon))
          FMarkers.append("icon=").append(EscapeChars(";=\r\n", FStyle->icon)).append(";");
        FMarkers.append("name=").append(ImportedText(FName));
        FMarkers.append(";title=").append(ImportedText(title));
        if (!attributes.empty()) FMarkers.append(";").append(attributes);
        FMarkers.append("\r\n");
      });
      continue;
    }
    std::string latlng, first, alts, times;
    size_t lastStart = 0, tuples = 0, altStart = 0, timeStart = 0;
    bool hasAlt = false, hasTime = false;
    // A gx:Track's times go with its positions in order, as long as there
    // is one for each.
    const bool timed = g.kind == gkLine && !g.whens.empty();
    size_t index = 0;
    ForEachTuple(g.coordinates,
                 [&](const std::string& lng, const std::string& lat, const std::string& alt) {
                   if (!latlng.empty()) {
                     latlng += ',';
                     alts += ',';
                     times += ',';
                   }
                   lastStart = latlng.size();
                   altStart = alts.size();
                   timeStart = times.size();
                   latlng.append(lat).append(",").append(lng);
                   double a = 0;
                   if (ReadCoordinate(alt, 1e6, a)) {
                     alts += FloatToStrDot(a);
                     hasAlt = hasAlt || a != 0;
                   } else {
                     alts += "-9999";
                   }
                   double seconds = 0;
                   if (timed && index < g.whens.size() && ParseIsoTime(g.whens[index], seconds)) {
                     times += EpochSecondsText(seconds);
                     hasTime = true;
                   }
                   ++index;
                   if (++tuples == 1) first = latlng;
                 });
    if (latlng.empty()) continue;
    // A LinearRing repeats its first position at its end; the polygon
    // closes itself, so the repetition is dropped (or every save and load
    // would add a vertex).
    if (g.kind == gkPolygon && tuples > 1 &&
        latlng.compare(lastStart, std::string::npos, first) == 0) {
      latlng.resize(lastStart - 1);
      alts.resize(altStart - 1);
      times.resize(timeStart - 1);
    }
    std::string& target = g.kind == gkPolygon ? FPolygons : FLines;
    target.append("drag=false;visible=true;latlng=").append(latlng);
    target.append(StyleFields(FStyle, g.kind == gkPolygon));
    if (hasAlt) target.append(";alt=").append(alts);
    if (hasTime) target.append(";time=").append(times);
    if (g.kind == gkLine && !trackKey.empty()) target.append(";trk=").append(trackKey);
    if (!attributes.empty()) target.append(";").append(attributes);
    target.append("\r\n");
  }
  FGeometries.clear();
}

}  // namespace wy

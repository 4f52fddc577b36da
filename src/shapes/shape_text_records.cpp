// The records of the shape text format: one line of name=value fields per
// shape, separated by ";".
//
// Markers, POIs and info windows start with the common fields (name, adress,
// clickable, alt, w, h, tag, zindex, drag, visible, lat, lng, title,
// opacity, rot) and add their own; lines and polygons have records of their
// own. Texts that may hold ";", "=" or a line break (name, adress, title,
// icon, content, the point texts of a line) are written escaped ("#59#",
// "#61#", "#13#", "#10#"); the reader unescapes every text value, so files
// written before these were escaped read the same. A point text's "^" (the
// separator of the texts) is written "#94#".
//
// A hint is written with "<", ">" and an "&" that would start an entity as
// entities: the reader takes it
// through HtmlToText (older files hold markup there), which gives the text
// back unchanged.
//
// The attributes of a shape (geo/attributes.h) follow its own fields, and a
// line's point times ("time", seconds since 1970 UTC, empty for a point
// without) and track key ("trk") follow its points.
//
// Reading sets the fields directly; missing fields take their defaults,
// unreadable reals read as -1 and unreadable integers as the default.

#include <algorithm>
#include <string>
#include <string_view>

#include "formats/param_parser.h"
#include "geo/iso_time.h"
#include "geo/text_convert.h"
#include "shapes/shape.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_line.h"
#include "shapes/shape_marker.h"
#include "shapes/shape_poi.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

constexpr const char* kEscaped = ";=\r\n";

std::string Escaped(const std::string& text) {
  return EscapeChars(kEscaped, text);
}

// "<" and ">" as entities, and "&" where it would start an entity the
// reader decodes, so that HtmlToText gives `text` back ("Tom & Jerry"
// stays as it is).
bool StartsEntity(std::string_view rest) {
  static const char* const kEntities[] = {"amp;",  "lt;",   "gt;",  "quot;",
                                          "apos;", "nbsp;", "#39;", "#160;"};
  for (const char* entity : kEntities) {
    const size_t n = std::char_traits<char>::length(entity);
    if (rest.size() >= n && LowerAZ(std::string(rest.substr(0, n))) == entity) return true;
  }
  return false;
}

std::string HintText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '&' && StartsEntity(std::string_view(text).substr(i + 1)))
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else
      out += c;
  }
  return out;
}

std::string Int(int32_t value) {
  return std::to_string(value);
}

// A colour as the signed 32-bit number it is stored as.
std::string ColorText(TColor color) {
  return std::to_string(static_cast<int32_t>(color));
}

TColor ReadColor(const TWyParamParser& p, const char* name, TColor current) {
  return static_cast<TColor>(p.ToInt(name, static_cast<int32_t>(current)));
}

// An integer field kept in a byte: out-of-range values are clamped, never
// wrapped (300 would otherwise become 44).
uint8_t ReadByte(const TWyParamParser& p, const char* name, int32_t def) {
  return static_cast<uint8_t>(std::clamp<int32_t>(p.ToInt(name, def), 0, 255));
}

// The part of `rest` before the first `sep` (all of it when there is none);
// `rest` keeps what follows the separator.
std::string_view TakeToken(std::string_view& rest, char sep) {
  const size_t at = rest.find(sep);
  const std::string_view token = rest.substr(0, at);
  rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
  return token;
}

// A real of a point list: unreadable or empty gives -1.
double PointReal(std::string_view text) {
  double value = 0;
  return ParseParamDouble(text, value) ? value : -1;
}

const char* PenStyleName(TPenStyle style) {
  switch (style) {
    case psDash:
      return "dash";
    case psDot:
      return "dot";
    case psDashDot:
      return "dashdot";
    default:
      return "solid";
  }
}

TPenStyle PenStyleFrom(std::string_view name) {
  if (name == "dash") return psDash;
  if (name == "dot") return psDot;
  if (name == "dashdot") return psDashDot;
  return psSolid;
}

TWyLineType LineTypeFrom(std::string_view name) {
  return LowerAZ(std::string(name)) == "bezier" ? ltBezier : ltStraight;
}

std::string_view RawValue(const TWyParamParser& p, const char* name) {
  std::string_view value;
  p.Find(name, value);
  return value;
}

}  // namespace

// ---------------------------------------------------------------------------
// Common fields

void TWyShape::SetToTxt(const std::string& value) {
  FromTxt(TWyParamParser(value));
}

std::string TWyShape::CommonToTxt(int32_t w, int32_t h) const {
  std::string out;
  out.reserve(256);
  out += "name=" + Escaped(FName);
  out += ";adress=" + Escaped(FAddress);
  out += ";clickable=" + BoolToText(FClickable);
  out += ";alt=" + FloatToStrDot(FAlt);
  out += ";w=" + Int(w);
  out += ";h=" + Int(h);
  out += ";tag=" + Int(FTag);
  out += ";zindex=" + Int(FZindex);
  out += ";drag=" + BoolToText(FDraggable);
  // The shape's own flag: hidden groups and zoom ranges are not the shape's.
  out += ";visible=" + BoolToText(FVisible);
  out += ";lat=" + FloatToStrDot(FLat);
  out += ";lng=" + FloatToStrDot(FLng);
  out += ";title=" + Escaped(HintText(FHint));
  out += ";opacity=" + Int(FOpacity);
  out += ";rot=" + BoolToText(FRotation);
  out += ";";
  return out;
}

void TWyShape::AppendAttributesTxt(std::string& out) const {
  if (FAttributes.Empty()) return;
  if (!out.empty() && out.back() != ';') out += ';';
  out += FAttributes.ToFields();
}

void TWyShape::CommonFromTxt(const TWyParamParser& p) {
  SetName(p.ToStr("name"));
  FAddress = p.ToStr("adress");
  FClickable = p.ToBool("clickable", true);
  FAlt = p.ToDouble("alt", kNoAltitude);
  // Without a size (a hand-written record) a shape keeps its kind's own.
  FW = p.ToInt("w", FW);
  FH = p.ToInt("h", FH);
  FTag = p.ToInt("tag", 0);
  FZindex = p.ToInt("zindex", 0);
  FDraggable = p.ToBool("drag", false);
  FVisible = p.ToBool("visible", true);
  FLat = p.ToDouble("lat", -1);
  FLng = p.ToDouble("lng", -1);
  FHint = HtmlToText(p.ToStr("title"));
  FOpacity = ReadByte(p, "opacity", 100);
  FRotation = p.ToBool("rot", false);
  FAttributes.Clear();
  FAttributes.ReadFields(p.Text());
}

void TWyShape::ColorsFromTxt(const TWyParamParser& p) {
  FCOlor = ReadColor(p, "color", FCOlor);
  FHoverColor = ReadColor(p, "hcolor", FHoverColor);
  FBorderColor = DarkerColor(FCOlor, 32);
  FHoverBorder = DarkerColor(FHoverColor, 32);
}

// ---------------------------------------------------------------------------
// Markers

std::string TWyShapeMarker::GetToTxt() {
  // While the built-in pin is shown the box is the pin's; the marker's own
  // box is the one the pin replaced.
  const bool pin = FPinBox && FW == 12 && FH == 12 && FXAnchor == 6 && FYAnchor == 12;
  std::string out = CommonToTxt(pin ? FSavedW : FW, pin ? FSavedH : FH);
  out += "xa=" + Int(pin ? FSavedXAnchor : FXAnchor);
  out += ";ya=" + Int(pin ? FSavedYAnchor : FYAnchor);
  out += ";icon-id=" + Int(FIcon);
  out += ";icon=" + Escaped(FFilename);
  out += ";color=" + ColorText(FCOlor);
  out += ";hcolor=" + ColorText(FHoverColor) + ";";
  AppendAttributesTxt(out);
  return out;
}

void TWyShapeMarker::FromTxt(const TWyParamParser& p) {
  CommonFromTxt(p);
  ColorsFromTxt(p);
  FXAnchor = p.ToInt("xa", 16);
  FYAnchor = p.ToInt("ya", 32);
  FIcon = p.ToInt("icon-id", -1);
  // Stored only: the graphic is asked for when the marker is drawn.
  FFilename = p.ToStr("icon");
  FPinBox = false;
  Update();
}

// ---------------------------------------------------------------------------
// Points of interest

std::string TWyShapePOI::GetToTxt() {
  std::string out = CommonToTxt(FW, FH);
  out += "color=" + ColorText(FCOlor);
  out += ";hcolor=" + ColorText(FHoverColor);
  out += ";shape=" + POIShapeToStr(FPoiShape);
  out += ";unit=" + POIUnitToStr(FUnit);
  AppendAttributesTxt(out);
  return out;
}

void TWyShapePOI::FromTxt(const TWyParamParser& p) {
  CommonFromTxt(p);
  ColorsFromTxt(p);
  FPoiShape = StrToPOIShape(p.ToStr("shape"));
  FUnit = StrToPOIUnit(p.ToStr("unit"));
  Update();
}

// ---------------------------------------------------------------------------
// Info windows

std::string TWyShapeInfoWindow::GetToTxt() {
  std::string out = CommonToTxt(FW, FH);
  out += "color=" + ColorText(FCOlor);
  out += ";opacity=" + Int(FOpacity);
  out += ";content=" + Escaped(FContent);
  AppendAttributesTxt(out);
  return out;
}

void TWyShapeInfoWindow::FromTxt(const TWyParamParser& p) {
  CommonFromTxt(p);
  FCOlor = ReadColor(p, "color", FCOlor);
  FOpacity = ReadByte(p, "opacity", 100);
  // The placeholders of the window's images stand above it, as SetZIndex
  // puts them.
  if (FShapes) FShapes->SetZindex(FZindex + 10);
  SetContent(p.ToStr("content"));
  Update();
}

// ---------------------------------------------------------------------------
// Lines

std::string TWyShapeLine::GetToTxt() {
  std::string out;
  AppendTxt(out);
  return out;
}

void TWyShapeLine::AppendTxt(std::string& out) {
  out += "color=" + ColorText(FCOlor);
  out += ";hcolor=" + ColorText(FHoverColor);
  out += ";weight=" + Int(FWeight);
  out += ";zindex=" + Int(FZindex);
  out += ";ps=";
  out += PenStyleName(FPenStyle);
  out += ";lt=";
  out += FLineType == ltBezier ? "bezier" : "straight";
  out += ";opacity=" + Int(FOpacity) + ";";
  if (FPoints.empty()) {
    out += "latlng";
  } else {
    // Room for the points, their altitudes and the fields after them.
    out.reserve(out.size() + FPoints.size() * 48 + 128);
    out += "latlng=";
    bool altitudes = false;
    bool texts = false;
    bool times = false;
    for (size_t i = 0; i < FPoints.size(); ++i) {
      const TWyPointLine& point = *FPoints[i];
      if (i > 0) out += ',';
      out += FloatToStrDot(point.Lat());
      out += ',';
      out += FloatToStrDot(point.Lng());
      altitudes = altitudes || point.Alt() != kNoAltitude;
      texts = texts || !point.Text().empty();
      times = times || point.HasTime();
    }
    if (altitudes) {
      out += ";alt=";
      for (size_t i = 0; i < FPoints.size(); ++i) {
        if (i > 0) out += ',';
        out += FloatToStrDot(FPoints[i]->Alt());
      }
    }
    if (texts) {
      std::string joined;
      for (size_t i = 0; i < FPoints.size(); ++i) {
        if (i > 0) joined += '^';
        joined += EscapeChars("^", FPoints[i]->Text());
      }
      out += ";txt=" + Escaped(joined);
    }
    if (times) {
      out += ";time=";
      for (size_t i = 0; i < FPoints.size(); ++i) {
        if (i > 0) out += ',';
        if (FPoints[i]->HasTime()) out += EpochSecondsText(FPoints[i]->Time());
      }
    }
  }
  if (!FTrackKey.empty()) out += ";trk=" + Escaped(FTrackKey);
  out += ";visible=" + BoolToText(FVisible);
  out += ";showtxt=" + BoolToText(FShowText);
  out += ";edit=" + BoolToText(FEditable) + ";";
  AppendAttributesTxt(out);
}

void TWyShapeLine::FromTxt(const TWyParamParser& p) {
  FReady = false;
  CommonFromTxt(p);
  FCOlor = ReadColor(p, "color", FCOlor);
  FHoverColor = ReadColor(p, "hcolor", FHoverColor);
  FWeight = ReadByte(p, "weight", 4);
  FPenStyle = PenStyleFrom(RawValue(p, "ps"));
  FLineType = LineTypeFrom(RawValue(p, "lt"));
  FShowText = p.ToBool("showtxt", true);
  FEditable = p.ToBool("edit", false);

  std::string_view latlng = RawValue(p, "latlng");
  std::string_view alt = RawValue(p, "alt");
  std::string_view time = RawValue(p, "time");
  FTrackKey = p.ToStr("trk");
  const std::string txtText = p.ToStr("txt");
  std::string_view txt = txtText;
  const bool hadPoints = !FPoints.empty();
  bool texts = false;
  FPoints.clear();
  size_t commas = static_cast<size_t>(std::count(latlng.begin(), latlng.end(), ','));
  FPoints.reserve(commas / 2 + 1);
  while (!latlng.empty()) {
    const double lat = PointReal(TakeToken(latlng, ','));
    const double lng = PointReal(TakeToken(latlng, ','));
    double altitude = kNoAltitude;
    if (!ParseParamDouble(TakeToken(alt, ','), altitude)) altitude = kNoAltitude;
    auto point = std::make_unique<TWyPointLine>(lat, lng, altitude);
    double seconds = 0;
    if (ParseParamDouble(TakeToken(time, ','), seconds)) point->SetTime(seconds);
    const std::string_view text = TakeToken(txt, '^');
    if (!text.empty()) {
      point->SetText(UnescapeChars("^", std::string(text)));
      texts = true;
    }
    FPoints.push_back(std::move(point));
  }

  // The labels of the point texts (or the edit handles) in the auxiliary
  // group, rebuilt in one update of that group. A fresh line without any
  // leaves the group alone: a line and a polygon of one group may share it
  // (a polygon's group is named after the first of its two identifiers).
  if (FLineShapes && (texts || FEditable || hadPoints)) {
    FLineShapes->SetSerialize(false);
    FLineShapes->BeginUpdate();
    BuildLineShapes();
    FLineShapes->EndUpdate();
  }
  FReady = true;
  FDistance = 0;
  FArea = 0;
  FRouteDistance = false;
  FPathModified = true;
  Update();
}

// ---------------------------------------------------------------------------
// Polygons

std::string TWyShapePolygone::GetToTxt() {
  std::string out;
  AppendTxt(out);
  return out;
}

void TWyShapePolygone::AppendTxt(std::string& out) {
  TWyShapeLine::AppendTxt(out);
  out += "fillcolor=" + ColorText(FFillColor);
  out += ";opacity=" + Int(FOpacity);
  out += ";style=" + Int(static_cast<int32_t>(FPolygoneStyle));
  out += ";level=" + Int(FLevel) + ";";
}

void TWyShapePolygone::FromTxt(const TWyParamParser& p) {
  TWyShapeLine::FromTxt(p);
  FFillColor = ReadColor(p, "fillcolor", FFillColor);
  FOpacity = ReadByte(p, "opacity", 100);
  const int32_t style = p.ToInt("style", 0);
  FPolygoneStyle =
      style >= bsSolid && style <= bsDiagCross ? static_cast<TBrushStyle>(style) : bsSolid;
  SetLevel(p.ToInt("level", 0));
}

}  // namespace wy

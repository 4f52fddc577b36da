// The shapes and their lists in the export formats: GPX waypoints and
// tracks, KML Placemarks with shared Styles, GeoJSON Features. The writers
// (formats/*_export.h) own the syntax; this file decides what each kind of
// shape contributes.
//
// Every point of a line is written. Stored altitudes are used as they are:
// asking the elevation service here would block an export on the network.
// The shapes' attributes go out as each format can carry them (see the
// writers); consecutive lines of one track key are one track.

#include "formats/geojson_export.h"
#include "formats/gpx_export.h"
#include "formats/kml_export.h"
#include "geo/text_convert.h"
#include "platform/log.h"
#include "shapes/shape.h"
#include "shapes/shape_line.h"
#include "shapes/shape_list.h"
#include "shapes/shape_marker.h"
#include "shapes/shape_poi.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

// Colours go out as the signed 32-bit numbers the shape text stores.
int64_t ColorNumber(TColor color) {
  return static_cast<int32_t>(color);
}

// KML style ids: line colour with the opacity, [fill colour,] weight.
std::string LineStyleId(const TWyShapeLine& line) {
  return ColorToKml(line.Color(), line.Opacity() / 100.0) + std::to_string(line.Weight());
}

std::string PolygonStyleId(const TWyShapePolygone& polygon) {
  const double opacity = polygon.Opacity() / 100.0;
  return ColorToKml(polygon.Color(), opacity) + ColorToKml(polygon.FillColor(), opacity) +
         std::to_string(polygon.Weight());
}

// A shape the format cannot carry: said in the log, never silently.
// Lines and polygons without any point are empty, not lost.
void LeftOut(const char* format, const char* what, const char* why) {
  LogWarning("shapes", std::string(what) + " left out of the " + format + " export (" + why + ")");
}

}  // namespace

// ---------------------------------------------------------------------------
// Shapes

bool TWyShape::ExportVisible() const {
  return FVisible && (!FParentList || FParentList->Visible());
}

std::string TWyShape::GetToGpx() {
  TGpxWriter out;
  WriteGpx(out);
  return out.Fragment();
}

std::string TWyShape::GetToKml() {
  TKmlWriter out;
  WriteKml(out, IndexOf());
  return out.Fragment();
}

std::string TWyShape::GetToGeoJSon() {
  TGeoJsonWriter out;
  WriteGeoJson(out);
  return out.Features();
}

void TWyShape::WriteWaypoint(TGpxWriter& out) {
  if (!ExportVisible()) return;
  if (FAttributes.Empty())
    out.Waypoint(FLat, FLng, FAlt, FHint, FHint);
  else
    out.Waypoint(FLat, FLng, FAlt, FAttributes, FHint);
}

void TWyShapePOI::WriteGpx(TGpxWriter& out) {
  WriteWaypoint(out);
}

void TWyShapePOI::WriteKml(TKmlWriter& out, int32_t index) {
  (void)index;
  if (ExportVisible()) out.PointPlacemark(FHint, "", FLng, FLat, FAlt, "shape", _id, &FAttributes);
}

// The hint goes out as "title", the name our shape text gives it, so that
// it survives a trip through GeoJSON.
void TWyShapePOI::WriteGeoJson(TGeoJsonWriter& out) {
  out.Point(FLng, FLat, {TGeoJsonWriter::Text("title", FHint)}, FAlt, &FAttributes);
}

void TWyShapeMarker::WriteGpx(TGpxWriter& out) {
  WriteWaypoint(out);
}

void TWyShapeMarker::WriteKml(TKmlWriter& out, int32_t index) {
  out.PointPlacemark(FHint, "", FLng, FLat, FAlt, "marker", index, &FAttributes);
}

void TWyShapeMarker::WriteGeoJson(TGeoJsonWriter& out) {
  out.Point(FLng, FLat,
            {TGeoJsonWriter::Text("title", FHint), TGeoJsonWriter::Text("icon", FFilename)}, FAlt,
            &FAttributes);
}

void TWyShapeLine::WriteGpx(TGpxWriter& out) {
  if (!ExportVisible() || FPoints.empty()) return;
  out.Reserve(FPoints.size());
  out.BeginTrack(FAttributes, FTrackKey);
  for (const auto& p : FPoints) out.TrackPoint(p->Lat(), p->Lng(), p->Alt(), p->Time());
  out.EndTrack();
}

void TWyShapeLine::WriteKml(TKmlWriter& out, int32_t index) {
  (void)index;
  if (!ExportVisible()) return;
  // A LineString needs two positions: a line of one point has no KML form.
  if (FPoints.size() < 2) {
    if (!FPoints.empty()) LeftOut("KML", "a line of one point", "a LineString needs two positions");
    return;
  }
  const std::string id = LineStyleId(*this);
  // The style colour is opaque; the opacity only tells styles apart.
  out.LineStyle(id, ColorToKml(FCOlor, 1), FWeight);
  out.Reserve(FPoints.size());
  out.BeginLine(id, "polyline", _id, &FAttributes, FTrackKey);
  for (const auto& p : FPoints) out.Coordinate(p->Lng(), p->Lat(), p->Alt(), p->Time());
  out.EndLine();
}

void TWyShapeLine::WriteGeoJson(TGeoJsonWriter& out) {
  if (!ExportVisible()) return;
  if (FPoints.size() < 2) {
    if (!FPoints.empty())
      LeftOut("GeoJSON", "a line of one point", "a LineString needs two positions");
    return;
  }
  out.Reserve(FPoints.size());
  out.BeginLine(FTrackKey);
  for (const auto& p : FPoints) out.Position(p->Lng(), p->Lat(), p->Alt(), p->Time());
  out.End({TGeoJsonWriter::Number("color", ColorNumber(FCOlor)),
           TGeoJsonWriter::Number("opacity", FOpacity), TGeoJsonWriter::Number("weight", FWeight)},
          &FAttributes);
}

void TWyShapePolygone::WriteGpx(TGpxWriter& out) {
  if (!ExportVisible() || FPoints.empty()) return;
  out.Reserve(FPoints.size() + 1);
  out.BeginTrack(FAttributes, "");
  for (const auto& p : FPoints) out.TrackPoint(p->Lat(), p->Lng(), p->Alt(), p->Time());
  const TWyPointLine& first = *FPoints.front();
  out.TrackPoint(first.Lat(), first.Lng(), first.Alt());
  out.EndTrack();
}

void TWyShapePolygone::WriteKml(TKmlWriter& out, int32_t index) {
  if (!ExportVisible()) return;
  if (FPoints.size() < 3) {
    if (!FPoints.empty())
      LeftOut("KML", "a polygon of fewer than three vertices", "a ring needs three");
    return;
  }
  const std::string id = PolygonStyleId(*this);
  const double opacity = FOpacity / 100.0;
  out.PolyStyle(id, ColorToKml(FCOlor, opacity), ColorToKml(FFillColor, opacity), FWeight);
  out.Reserve(FPoints.size() + 1);
  out.BeginPolygon(id, "polygone", index, &FAttributes);
  for (const auto& p : FPoints) out.Coordinate(p->Lng(), p->Lat(), p->Alt());
  out.EndPolygon();
}

void TWyShapePolygone::WriteGeoJson(TGeoJsonWriter& out) {
  if (!ExportVisible()) return;
  if (FPoints.size() < 3) {
    if (!FPoints.empty())
      LeftOut("GeoJSON", "a polygon of fewer than three vertices", "a ring needs three");
    return;
  }
  out.Reserve(FPoints.size() + 1);
  out.BeginPolygon();
  for (const auto& p : FPoints) out.Position(p->Lng(), p->Lat(), p->Alt());
  out.End({TGeoJsonWriter::Number("color", ColorNumber(FCOlor)),
           TGeoJsonWriter::Number("opacity", FOpacity), TGeoJsonWriter::Number("weight", FWeight),
           TGeoJsonWriter::Number("fillcolor", ColorNumber(FFillColor))},
          &FAttributes);
}

// ---------------------------------------------------------------------------
// Lists

// Shapes that are not saved (a window's own pin, labels made for another
// shape) are left out, as in the shape text.
void TWyShapeList::WriteGpx(TGpxWriter& out) {
  for (const auto& shape : FList)
    if (shape->FSerialize) shape->WriteGpx(out);
}

void TWyShapeList::WriteKml(TKmlWriter& out) {
  for (size_t i = 0; i < FList.size(); ++i)
    if (FList[i]->FSerialize) FList[i]->WriteKml(out, static_cast<int32_t>(i));
}

void TWyShapeList::WriteGeoJson(TGeoJsonWriter& out) {
  for (const auto& shape : FList)
    if (shape->FSerialize) shape->WriteGeoJson(out);
}

std::string TWyShapeList::GetToGpx() {
  TGpxWriter out;
  WriteGpx(out);
  return out.Fragment();
}

std::string TWyShapeList::GetToKml() {
  TKmlWriter out;
  WriteKml(out);
  return out.Fragment();
}

std::string TWyShapeList::GetToGeoJSOn() {
  TGeoJsonWriter out;
  WriteGeoJson(out);
  return out.Empty() ? "" : out.TakeDocument();
}

}  // namespace wy

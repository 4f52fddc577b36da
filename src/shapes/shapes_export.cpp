// Groups and the registry as whole GPX, KML and GeoJSON documents, and
// saving them by file extension. Synchronous: a caller that must not block
// runs these on a thread of its own.

#include "formats/export_file.h"
#include "formats/geojson_export.h"
#include "formats/gpx_export.h"
#include "formats/kml_export.h"
#include "shapes/shape_list.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

// Writes a group or the registry in the format the extension names.
template <typename TSource>
bool SaveByExtension(TSource& source, const std::string& filename) {
  const TExportKind kind = ExportKindOf(filename);
  switch (kind) {
    case ekGpx:
      return SaveExportFile(filename, kind, source.GetToGpx());
    case ekKml:
    case ekKmz:
      return SaveExportFile(filename, kind, source.GetToKml());
    case ekGeoJson:
      return SaveExportFile(filename, kind, source.GetToGeoJSon());
    case ekOwn:
      break;
  }
  return SaveExportFile(filename, kind, source.GetToTxt());
}

}  // namespace

// ---------------------------------------------------------------------------
// Group

void TWyShapes::WriteGpx(TGpxWriter& out) {
  FPois->WriteGpx(out);
  FMarkers->WriteGpx(out);
  FLines->WriteGpx(out);
  FPolys->WriteGpx(out);
}

void TWyShapes::WriteKml(TKmlWriter& out) {
  FPois->WriteKml(out);
  FMarkers->WriteKml(out);
  FLines->WriteKml(out);
  FPolys->WriteKml(out);
}

void TWyShapes::WriteGeoJson(TGeoJsonWriter& out) {
  FPois->WriteGeoJson(out);
  FMarkers->WriteGeoJson(out);
  FLines->WriteGeoJson(out);
  FPolys->WriteGeoJson(out);
}

std::string TWyShapes::GetToGpx() {
  if (!FSerialize) return "";
  TGpxWriter out;
  WriteGpx(out);
  return out.TakeDocument();
}

std::string TWyShapes::GetToKml() {
  if (!FSerialize) return "";
  TKmlWriter out;
  WriteKml(out);
  return out.TakeDocument();
}

std::string TWyShapes::GetToGeoJSon() {
  TGeoJsonWriter out;
  WriteGeoJson(out);
  return out.TakeDocument();
}

bool TWyShapes::SaveToFile(const std::string& filename) {
  return SaveByExtension(*this, filename);
}

// ---------------------------------------------------------------------------
// Registry

std::string TWyShapesGroup::GetToGpx() {
  TGpxWriter out;
  for (TWyShapes* group : Groups())
    if (group->Serialize()) group->WriteGpx(out);
  return out.TakeDocument();
}

std::string TWyShapesGroup::GetToKml() {
  TKmlWriter out;
  for (TWyShapes* group : Groups())
    if (group->Serialize()) group->WriteKml(out);
  return out.TakeDocument();
}

std::string TWyShapesGroup::GetToGeoJSon() {
  TGeoJsonWriter out;
  for (TWyShapes* group : Groups())
    if (group->Serialize()) group->WriteGeoJson(out);
  if (!FWorld) return out.TakeDocument();
  // West, south, east, north.
  const double bbox[4] = {FWorld->SouthWestLongitude(), FWorld->SouthWestLatitude(),
                          FWorld->NorthEastLongitude(), FWorld->NorthEastLatitude()};
  return out.TakeDocument(bbox);
}

bool TWyShapesGroup::SaveToFile(const std::string& filename) {
  return SaveByExtension(*this, filename);
}

}  // namespace wy

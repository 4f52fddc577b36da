#include "formats/export_file.h"

#include "formats/kmz_archive.h"
#include "formats/shape_file.h"

namespace wy {

TExportKind ExportKindOf(const std::string& name) {
  const std::string ext = FileExtension(name);
  if (ext == ".gpx") return ekGpx;
  if (ext == ".kml") return ekKml;
  if (ext == ".kmz") return ekKmz;
  if (ext == ".json" || ext == ".geojson") return ekGeoJson;
  return ekOwn;
}

bool ExportKindFromName(const std::string& name, TExportKind& kind) {
  std::string lower = name;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (lower == "own" || lower == "txt" || lower == "text")
    kind = ekOwn;
  else if (lower == "gpx")
    kind = ekGpx;
  else if (lower == "kml")
    kind = ekKml;
  else if (lower == "kmz")
    kind = ekKmz;
  else if (lower == "geojson" || lower == "json")
    kind = ekGeoJson;
  else
    return false;
  return true;
}

bool SaveExportFile(const std::string& fileName, TExportKind kind, const std::string& text) {
  switch (kind) {
    case ekGeoJson:
      return SaveBytesToFile(fileName, text);
    case ekKmz: {
      std::string bytes;
      return KmlToKmz(text, bytes) && SaveBytesToFile(fileName, bytes);
    }
    case ekOwn:
    case ekGpx:
    case ekKml:
      break;
  }
  return SaveTextToFile(fileName, text);
}

}  // namespace wy

#pragma once
// Saving shapes in the format a file name asks for.
//
// The extension decides, without regard to letter case and ignoring an
// address's query or fragment: ".gpx" GPX, ".kml" KML, ".kmz" KML zipped as
// "doc.kml", ".json" and ".geojson" GeoJSON, anything else the system's own
// text. GPX, KML and own text are written in UTF-8 after a byte-order mark;
// GeoJSON without one, since JSON readers reject it.

#include <cstdint>
#include <string>

namespace wy {

enum TExportKind : uint8_t { ekOwn, ekGpx, ekKml, ekKmz, ekGeoJson };

TExportKind ExportKindOf(const std::string& name);

// "own", "gpx", "kml", "kmz" or "geojson" (any case) to its kind; false
// for any other name.
bool ExportKindFromName(const std::string& name, TExportKind& kind);

// Writes `text`, the document of `kind` (KML for ekKmz), to `fileName`,
// replacing the file in one step. False when it could not be written.
bool SaveExportFile(const std::string& fileName, TExportKind kind, const std::string& text);

}  // namespace wy

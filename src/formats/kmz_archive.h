#pragma once
// Zipped KML (".kmz"): the KML document inside the archive.

#include <string>

namespace wy {

// The KML document of a .kmz archive held in `bytes`: "doc.kml" when there
// is one, otherwise the first entry ending in ".kml". False for an archive
// that cannot be read, holds no KML or would unpack to more than
// kMaxKmzDocument bytes (a small archive may claim a huge size).
bool KmzToKml(const std::string& bytes, std::string& kml);

// Packs a KML document into a .kmz archive as its "doc.kml" entry; false
// (and `bytes` empty) when the archive cannot be built.
bool KmlToKmz(const std::string& kml, std::string& bytes);

constexpr size_t kMaxKmzDocument = 512u * 1024 * 1024;

}  // namespace wy

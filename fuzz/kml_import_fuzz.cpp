// KML import, and zipped KML: an input that starts like a zip archive is
// unpacked first, as the map does with a ".kmz" file.

#include "formats/kml_import.h"
#include "formats/kmz_archive.h"
#include "formats/map_data_file.h"
#include "fuzz_target.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wy::QuietFuzzLogs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text = wy::FuzzText(data, size);
  if (text.compare(0, 2, "PK") == 0) {
    std::string kml;
    if (!wy::KmzToKml(text, kml)) return 0;
    text = std::move(kml);
  }
  wy::TKmlImporter importer;
  const std::string shapes = importer.FromText(std::move(text));
  if (shapes.empty()) return 0;
  const wy::TWyMapDataFile file(shapes);
  for (const char* section : {"[markers]", "[polylines]", "[polygones]"})
    (void)file.ReadSection(section);
  return 0;
}

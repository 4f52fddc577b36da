// GeoJSON import: any text becomes shape text that the section reader
// takes apart again.

#include "formats/geojson_import.h"
#include "formats/map_data_file.h"
#include "fuzz_target.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wy::QuietFuzzLogs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  wy::TGeoJsonImporter importer;
  const std::string shapes = importer.FromText(text);
  if (shapes.empty()) return 0;
  const wy::TWyMapDataFile file(shapes);
  for (const char* section :
       {"[map]", "[markers]", "[polylines]", "[polygones]", "[rectangles]", "[circles]"})
    (void)file.ReadSection(section);
  return 0;
}

// GPX import: any document becomes shape text that the section reader
// takes apart again.

#include "formats/gpx_import.h"
#include "formats/map_data_file.h"
#include "fuzz_target.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wy::QuietFuzzLogs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  wy::TGpxImporter importer;
  const std::string shapes = importer.FromText(wy::FuzzText(data, size));
  if (shapes.empty()) return 0;
  const wy::TWyMapDataFile file(shapes);
  WY_FUZZ_CHECK(file.HasSection("[markers]") || file.HasSection("[polylines]"));
  return 0;
}

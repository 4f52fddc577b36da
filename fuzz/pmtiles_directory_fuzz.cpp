// The PMTiles header and directory readers: a refused input says why and
// hands out no entries; accepted entries are in rising tile id order, and
// an archive made of the input opens or is refused without reading past it.

#include "fuzz_target.h"
#include "tiles/pmtiles.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wy::QuietFuzzLogs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<wy::TPmEntry> entries;
  std::string error;
  if (wy::ParsePmDirectory(bytes, entries, error)) {
    for (size_t i = 1; i < entries.size(); ++i)
      WY_FUZZ_CHECK(entries[i].TileId > entries[i - 1].TileId);
    WY_FUZZ_CHECK(entries.size() <= size);
  } else {
    WY_FUZZ_CHECK(!error.empty());
    WY_FUZZ_CHECK(entries.empty());
  }
  // The same bytes as a whole archive, read through a range reader that
  // refuses anything past its end.
  wy::TRangeReader reader = [&bytes](uint64_t offset, uint64_t length, std::string& out,
                                     std::string& why) {
    if (offset > bytes.size() || length > bytes.size() - offset) {
      why = "past the end";
      return false;
    }
    out = bytes.substr(offset, length);
    return true;
  };
  auto archive = wy::TPmTiles::Open(reader, error);
  if (archive) {
    std::string tile;
    for (int z = 0; z <= 3; ++z)
      for (int x = 0; x < (1 << z); ++x)
        for (int y = 0; y < (1 << z); ++y) archive->ReadTile(x, y, z, tile, error);
  }
  return 0;
}

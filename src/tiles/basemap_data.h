#pragma once
// The bytes of data/basemap-50m.bin, built into the library (see
// src/tiles/CMakeLists.txt and cmake/EmbedFile.cmake).

#include <cstddef>

namespace wy {

extern const unsigned char kBasemapData[];
extern const size_t kBasemapDataSize;

}  // namespace wy

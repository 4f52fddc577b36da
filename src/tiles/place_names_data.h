#pragma once
// The bytes of data/places.bin, the place names of the built-in world map,
// built into the library (see src/tiles/CMakeLists.txt).

#include <cstddef>

namespace wy {

extern const unsigned char kPlaceNamesData[];
extern const size_t kPlaceNamesDataSize;

}  // namespace wy

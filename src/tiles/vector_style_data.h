#pragma once
// The bytes of data/vector-style.json, the built-in style of vector tiles,
// built into the library (see src/tiles/CMakeLists.txt).

#include <cstddef>

namespace wy {

extern const unsigned char kVectorStyleData[];
extern const size_t kVectorStyleDataSize;

}  // namespace wy

#include "tiles/basemap_tiles.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <new>

#include "geo/lru_cache.h"
#include "platform/log.h"
#include "tiles/basemap.h"
#include "tiles/place_names.h"

namespace wy {

namespace {

struct TCache {
  std::mutex Mutex;
  TLruCache<uint64_t, QImage> Tiles;
};

// Tiles without and with place names, kept apart.
TCache& Cache(bool names = false) {
  static TCache plain, named;
  return names ? named : plain;
}

// Zoom (5 bits: 0 to 30 are drawn), scale (3 bits) and 28 bits per axis.
uint64_t TileId(int x, int y, int z, int scale) {
  return (uint64_t(uint32_t(z) & 0x1F) << 59) | (uint64_t(uint32_t(scale) & 0x7) << 56) |
         (uint64_t(uint32_t(x) & 0x0FFFFFFF) << 28) | (uint64_t(uint32_t(y)) & 0x0FFFFFFF);
}

}  // namespace

QImage BasemapTile(int x, int y, int z, int scale, bool names) {
  scale = std::clamp(scale, 1, 4);
  TCache& cache = Cache(names);
  const uint64_t id = TileId(x, y, z, scale);
  {
    std::lock_guard<std::mutex> lock(cache.Mutex);
    if (const QImage* found = cache.Tiles.Get(id)) return *found;
  }
  // Drawn outside the lock: another thread asking for another tile does
  // not wait for this one.
  QImage image;
  TBasemap::World().DrawTile(x, y, z, image, scale);
  if (names && !image.isNull()) DrawPlaceNames(image, x, y, z);
  std::lock_guard<std::mutex> lock(cache.Mutex);
  if (cache.Tiles.Peek(id) == nullptr) {
    try {
      cache.Tiles.Put(id, image);
    } catch (const std::bad_alloc&) {
      // Not kept: drawn again next time.
      LogWarning("tiles", "keeping a drawn world map tile failed: out of memory");
    }
    cache.Tiles.Trim(kBasemapTilesKept);
  }
  return image;
}

size_t BasemapTilesCached() {
  size_t count = 0;
  for (bool names : {false, true}) {
    std::lock_guard<std::mutex> lock(Cache(names).Mutex);
    count += Cache(names).Tiles.Count();
  }
  return count;
}

}  // namespace wy

#include "tiles/basemap_tiles.h"

#include <cstdint>
#include <list>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "tiles/basemap.h"

namespace wy {

namespace {

struct TCache {
  std::mutex Mutex;
  // Most recently used first, with an index by tile.
  std::list<std::pair<uint64_t, QImage>> Tiles;
  std::unordered_map<uint64_t, std::list<std::pair<uint64_t, QImage>>::iterator> Index;
};

TCache& Cache() {
  static TCache cache;
  return cache;
}

uint64_t TileId(int x, int y, int z) {
  return (uint64_t(uint8_t(z)) << 56) | (uint64_t(uint32_t(x) & 0x0FFFFFFF) << 28) |
         (uint64_t(uint32_t(y)) & 0x0FFFFFFF);
}

}  // namespace

QImage BasemapTile(int x, int y, int z) {
  TCache& cache = Cache();
  const uint64_t id = TileId(x, y, z);
  {
    std::lock_guard<std::mutex> lock(cache.Mutex);
    auto found = cache.Index.find(id);
    if (found != cache.Index.end()) {
      cache.Tiles.splice(cache.Tiles.begin(), cache.Tiles, found->second);
      return found->second->second;
    }
  }
  // Drawn outside the lock: another thread asking for another tile does
  // not wait for this one.
  QImage image;
  TBasemap::World().DrawTile(x, y, z, image);
  std::lock_guard<std::mutex> lock(cache.Mutex);
  if (cache.Index.count(id) == 0) {
    cache.Tiles.emplace_front(id, image);
    cache.Index[id] = cache.Tiles.begin();
    while (cache.Tiles.size() > kBasemapTilesKept) {
      cache.Index.erase(cache.Tiles.back().first);
      cache.Tiles.pop_back();
    }
  }
  return image;
}

size_t BasemapTilesCached() {
  std::lock_guard<std::mutex> lock(Cache().Mutex);
  return Cache().Tiles.size();
}

}  // namespace wy

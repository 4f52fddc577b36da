#pragma once
// The tiles of the built-in world map (basemap.h), drawn on first use and
// kept in a small process-wide cache of drawn images, so that a view shown
// again costs no drawing. Only in memory: these tiles never reach a disk
// cache. Any thread.

#include <QImage>
#include <cstddef>

namespace wy {

// Tile (x, y) of zoom z, 256 x 256 RGB32; with scale 2, 512 x 512 with a
// device pixel ratio of 2 (for high-density screens). With `names`, the
// place names (place_names.h) are drawn over it. Drawn tiles of each scale
// and kind are kept apart.
QImage BasemapTile(int x, int y, int z, int scale = 1, bool names = false);

// Drawn tiles kept of each kind (the least recently used goes first).
constexpr size_t kBasemapTilesKept = 128;
size_t BasemapTilesCached();

}  // namespace wy

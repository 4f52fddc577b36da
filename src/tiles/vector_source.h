#pragma once
// Sources of vector tiles and the drawer that turns them into tile images.
//
// A source hands out the stored bytes of one tile (gzip-compressed or not):
// an MBTiles file of format "pbf", a PMTiles archive (a local file, or a
// remote one read by HTTP range requests), or a folder of
// <z>/<x>/<y>.pbf or .mvt files.

#include <QImage>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tiles/tile_catalog.h"
#include "tiles/vector_render.h"
#include "tiles/vector_style.h"

namespace wy {

class TVectorSource {
 public:
  virtual ~TVectorSource() = default;
  // The stored bytes of tile (x, y, z). False with `error` empty when the
  // source has no such tile, with the reason when reading failed.
  virtual bool ReadTile(int x, int y, int z, std::string& bytes, std::string& error) = 0;

  std::string Name;         // for cache keys: a prefix and the file name
  std::string Attribution;  // as the source gives it
  int MinZoom = 0;
  int MaxZoom = 14;
  std::vector<std::string> LayerIds;  // the layers the source describes
};

// True when `path` looks like a vector source: a ".pmtiles" name, an
// http(s) URL ending in ".pmtiles", an MBTiles file of format pbf, or a
// folder whose tiles end in .pbf or .mvt.
bool IsVectorSource(const std::string& path);

// The source at `path`, or null with the reason in `error`.
std::shared_ptr<TVectorSource> OpenVectorSource(const std::string& path, std::string& error);

// Draws the tiles of one source with one style; tiles past the source's
// deepest zoom are drawn from the deepest tile (up to kMaxVectorZoom).
// Decoded tiles are kept for the next draws (a few of them). Thread-safe.
class TVectorTileDrawer {
 public:
  TVectorTileDrawer(std::shared_ptr<TVectorSource> source, std::shared_ptr<TVectorStyle> style);

  // The image of map tile (x, y, z) at `scale`; false with `error` empty
  // when there is no tile there, with the reason when it is damaged.
  bool Draw(int x, int y, int z, int scale, QImage& image, std::string& error, bool labels = true);
  // As Draw, as PNG bytes (what a tile server keeps).
  bool DrawPng(int x, int y, int z, int scale, std::string& bytes);

  const TVectorSource& Source() const { return *FSource; }

 private:
  std::shared_ptr<const TVectorTile> Decoded(int x, int y, int z, std::string& error);
  // The source tile that map tile (x, y, z) is drawn from, and the part of
  // it that fills the tile.
  void Locate(int x, int y, int z, int& sourceX, int& sourceY, int& sourceZ,
              TTileWindow& window) const;

  std::shared_ptr<TVectorSource> FSource;
  std::shared_ptr<TVectorStyle> FStyle;
  std::mutex FMutex;
  struct TCached {
    int64_t Key;
    std::shared_ptr<const TVectorTile> Tile;
  };
  std::list<TCached> FCache;
};

constexpr int kMaxVectorZoom = 20;

// Points `info` at the vector source at `path`, drawn with the style in the
// file `stylePath` (empty: the built-in style). False with the reason in
// `error` and `info` unchanged when either cannot be read.
bool UseVectorTileSource(const std::string& path, const std::string& stylePath,
                         TTileServerInfo& info, std::string& error);

// The style in the file at `path`; empty path: the built-in one.
std::shared_ptr<TVectorStyle> LoadVectorStyle(const std::string& path, std::string& error);

}  // namespace wy

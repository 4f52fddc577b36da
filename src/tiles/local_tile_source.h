#pragma once
// Local tile sources: a tile database in an MBTiles file, or a folder laid
// out as <z>/<x>/<y>.png; vector tile sources go to vector_source.h. Either becomes the current
// source of a tile server through its info (LocalPath with GetTileData or GetTileFilename), so its
// tiles are read directly and never downloaded nor copied into the disk cache.

#include <string>

#include "tiles/tile_catalog.h"

namespace wy {

// Points `info` at the source at `path` (a file: MBTiles; a folder: tile
// files): sets LocalPath, the reader, Name (a cache name of its own, so the
// tiles of another service are never taken for these), the zoom range, the
// attribution and the tile format. Call it after choosing a service, which
// clears a local source. False, with the reason in `error` and `info`
// unchanged, when the path is neither. Vector tile sources are drawn with
// the style file of the setting "vector.style".
bool UseLocalTileSource(const std::string& path, TTileServerInfo& info, std::string& error);
// As above; vector tile sources (PMTiles, MBTiles of format pbf, folders of
// .pbf or .mvt tiles) are drawn with the style in the file `stylePath`
// (empty: the built-in style).
bool UseLocalTileSource(const std::string& path, const std::string& stylePath,
                        TTileServerInfo& info, std::string& error);

// Attribution text of a tile file as one plain line (the map draws it as
// text): markup tags dropped and entities read (HtmlToText), control
// characters made blanks, cut to at most 200 bytes at a character boundary.
std::string PlainAttribution(const std::string& text);

}  // namespace wy

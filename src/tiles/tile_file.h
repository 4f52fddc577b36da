#pragma once
// The files of the disk cache of tiles: one file per tile, holding its bytes
// exactly as the service sent them. Several tile layers, maps or programs
// may use one cache folder at once, so a file appears whole or not at all,
// and an existing file is never rewritten.
//
// Thread-safe; none of these takes a lock.

#include <string>

namespace wy {

// The whole content of the file at `path` (UTF-8); false when it is not a
// regular file or cannot be read, leaving `bytes` as it was.
bool ReadTileFile(const std::string& path, std::string& bytes);

// Creates the file at `path` with `bytes`, making its folders as needed. The
// bytes go to a temporary file of a name that no other writer uses (this
// process's id and a number of its own), which then takes the tile's name
// in one step; a reader never sees part of a tile, and two writers of one
// tile never mix their bytes. When the file exists already (before, or
// because another writer was first) it is left as it is. True when this call
// put the file in place.
bool WriteTileFile(const std::string& path, const std::string& bytes);

// Deletes the file at `path`; false when there was none to delete.
bool RemoveTileFile(const std::string& path);

}  // namespace wy

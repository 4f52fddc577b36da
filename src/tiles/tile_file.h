#pragma once
// The files of the disk cache of tiles: one file per tile, holding its bytes
// exactly as the service sent them, and beside it the tile's record
// (tile_meta.h), the tile's name plus ".meta". Several tile layers, maps or
// programs may use one cache folder at once, so every file appears whole or
// not at all: bytes go to a temporary file of a name no other writer uses
// (the tile's name, this process's id, a number of its own and ".part"),
// which then takes its final name in one step.
//
// Thread-safe; none of these takes a lock.

#include <cstdint>
#include <string>

namespace wy {

// The whole content of the file at `path` (UTF-8); false when it is not a
// regular file or cannot be read, leaving `bytes` as it was. `modified`,
// when given, receives the file's modification time (seconds since 1970).
bool ReadTileFile(const std::string& path, std::string& bytes, int64_t* modified = nullptr);

// A small file (a record) whole, in fewer steps: false when it cannot be
// read or holds more than maxBytes.
bool ReadSmallTileFile(const std::string& path, size_t maxBytes, std::string& text);

// Creates the tile's file at `path` with `bytes`, making its folders as
// needed. When the file exists already (before, or because another writer
// was first) it is left as it is. True when this call put the file in place.
bool WriteTileFile(const std::string& path, const std::string& bytes);

// Puts `bytes` at `path` in one step, replacing the file that is there: a
// reader sees the old bytes or the new ones, never a mix. For a tile whose
// server sent a newer version, and for records.
bool ReplaceTileFile(const std::string& path, const std::string& bytes);

// True when a regular file is at `path`.
bool TileFileExists(const std::string& path);

// Deletes the tile's file at `path` and its record; false when there was no
// tile to delete.
bool RemoveTileFile(const std::string& path);

// Marks the tile as used now: its file's access time, which the disk cache
// orders its eviction by (set here, so it holds on file systems mounted
// without access times too). False when there is no such file.
bool TouchTileFile(const std::string& path);

// The record's file of the tile's file.
std::string TileMetaPath(const std::string& tilePath);
// Names below a tile folder: a record ("5.meta") and a temporary file
// ("5.1234-7.part").
bool IsTileMetaName(const std::string& fileName);
bool IsTemporaryTileName(const std::string& fileName);

}  // namespace wy

#pragma once
// TMbTiles: read access to an MBTiles file, the SQLite tile database format
// (tables "tiles" with zoom_level, tile_column, tile_row and tile_data, and
// "metadata" with name/value pairs). Rows are numbered from the south, as
// in TMS: the map's tile (x, y) of zoom z is row 2^z - 1 - y.
//
// The file is opened read-only and never changed. One lock serialises the
// reads, so any thread may read tiles.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "geo/enums.h"

struct sqlite3;
struct sqlite3_stmt;

namespace wy {

class TMbTiles {
 public:
  // The opened file, or null with the reason in `error` (not a database,
  // no tiles table, tiles of a format that is neither an image nor vector
  // tiles).
  static std::shared_ptr<TMbTiles> Open(const std::string& path, std::string& error);
  ~TMbTiles();
  TMbTiles(const TMbTiles&) = delete;
  TMbTiles& operator=(const TMbTiles&) = delete;

  // The bytes of tile (x, y, z) in the map's numbering; false when the file
  // has no such tile or cannot be read.
  bool ReadTile(int x, int y, int z, std::string& bytes);

  // From the metadata table; what it lacks comes from the tiles (zoom
  // range) or stays empty.
  const std::string& Name() const { return FName; }
  const std::string& Attribution() const { return FAttribution; }
  TStreamType Format() const { return FFormat; }
  // Vector tiles (format "pbf"), gzip-compressed or not; Format() is then
  // meaningless.
  bool Vector() const { return FVector; }
  // The "json" metadata row (vector tiles describe their layers there).
  const std::string& Json() const { return FJson; }
  // True when the tiles table holds at least one tile.
  bool HasTiles();
  int MinZoom() const { return FMinZoom; }
  int MaxZoom() const { return FMaxZoom; }

 private:
  TMbTiles() = default;
  bool ReadMetadata(std::string& error);

  sqlite3* FDb = nullptr;
  sqlite3_stmt* FTile = nullptr;
  std::mutex FMutex;
  std::string FName;
  std::string FAttribution;
  TStreamType FFormat = stPng;
  bool FVector = false;
  std::string FJson;
  int FMinZoom = 0;
  int FMaxZoom = 0;
};

}  // namespace wy

#pragma once
// Writes small MBTiles files for tests. Tiles are given in the map's
// numbering and stored at their TMS row (2^z - 1 - y), as every MBTiles
// writer does. Header-only: its users link SQLite through wy_tiles.

#include <sqlite3.h>

#include <string>
#include <utility>
#include <vector>

namespace wy {

struct TMbTile {
  int X, Y, Z;
  std::string Bytes;
};

// metadata: name/value rows; withMetadata false leaves the table out.
inline bool WriteMbTiles(const std::string& path,
                         const std::vector<std::pair<std::string, std::string>>& metadata,
                         const std::vector<TMbTile>& tiles, bool withMetadata = true) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    return false;
  }
  bool ok = sqlite3_exec(db,
                         "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, "
                         "tile_row INTEGER, tile_data BLOB);"
                         "CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, "
                         "tile_row);",
                         nullptr, nullptr, nullptr) == SQLITE_OK;
  if (ok && withMetadata)
    ok = sqlite3_exec(db, "CREATE TABLE metadata (name TEXT, value TEXT);", nullptr, nullptr,
                      nullptr) == SQLITE_OK;
  sqlite3_stmt* statement = nullptr;
  if (ok && withMetadata) {
    ok = sqlite3_prepare_v2(db, "INSERT INTO metadata VALUES (?1, ?2)", -1, &statement, nullptr) ==
         SQLITE_OK;
    for (const auto& row : metadata) {
      if (!ok) break;
      sqlite3_bind_text(statement, 1, row.first.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(statement, 2, row.second.c_str(), -1, SQLITE_TRANSIENT);
      ok = sqlite3_step(statement) == SQLITE_DONE;
      sqlite3_reset(statement);
    }
    sqlite3_finalize(statement);
  }
  if (ok) {
    ok = sqlite3_prepare_v2(db, "INSERT INTO tiles VALUES (?1, ?2, ?3, ?4)", -1, &statement,
                            nullptr) == SQLITE_OK;
    for (const TMbTile& tile : tiles) {
      if (!ok) break;
      sqlite3_bind_int(statement, 1, tile.Z);
      sqlite3_bind_int(statement, 2, tile.X);
      sqlite3_bind_int(statement, 3, (1 << tile.Z) - 1 - tile.Y);
      sqlite3_bind_blob(statement, 4, tile.Bytes.data(), static_cast<int>(tile.Bytes.size()),
                        SQLITE_TRANSIENT);
      ok = sqlite3_step(statement) == SQLITE_DONE;
      sqlite3_reset(statement);
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return ok;
}

}  // namespace wy

#include "tiles/mbtiles.h"

#include <sqlite3.h>

#include <algorithm>

#include "platform/ascii.h"
#include "platform/log.h"

namespace wy {

namespace {

// The deepest zoom whose row numbers still fit the map's tile numbers.
constexpr int kMaxZoom = 30;

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  const int size = sqlite3_column_bytes(statement, column);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size))
              : std::string();
}

// A whole number from 0 to kMaxZoom; false otherwise.
bool ParseZoom(const std::string& text, int& zoom) {
  if (text.empty() || text.size() > 2) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > kMaxZoom) return false;
  zoom = value;
  return true;
}

}  // namespace

std::shared_ptr<TMbTiles> TMbTiles::Open(const std::string& path, std::string& error) {
  std::shared_ptr<TMbTiles> file(new TMbTiles());
  if (sqlite3_open_v2(path.c_str(), &file->FDb, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    error =
        "cannot open " + path + (file->FDb ? std::string(": ") + sqlite3_errmsg(file->FDb) : "");
    return nullptr;
  }
  // A tile database is never waited for: a locked one is simply not read.
  sqlite3_busy_timeout(file->FDb, 0);
  if (sqlite3_prepare_v2(file->FDb,
                         "SELECT tile_data FROM tiles WHERE zoom_level = ?1 AND tile_column = ?2 "
                         "AND tile_row = ?3",
                         -1, &file->FTile, nullptr) != SQLITE_OK) {
    error = path + " is not an MBTiles file (" + sqlite3_errmsg(file->FDb) + ")";
    return nullptr;
  }
  if (!file->ReadMetadata(error)) return nullptr;
  return file;
}

TMbTiles::~TMbTiles() {
  sqlite3_finalize(FTile);
  sqlite3_close(FDb);
}

bool TMbTiles::ReadMetadata(std::string& error) {
  bool minZoom = false, maxZoom = false;
  sqlite3_stmt* statement = nullptr;
  // The metadata table is optional in practice; without it the tiles tell
  // the zoom range.
  if (sqlite3_prepare_v2(FDb, "SELECT name, value FROM metadata", -1, &statement, nullptr) ==
      SQLITE_OK) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const std::string name = AsciiLower(ColumnText(statement, 0));
      const std::string value = ColumnText(statement, 1);
      if (name == "name") {
        FName = value;
      } else if (name == "json") {
        FJson = value;
      } else if (name == "attribution") {
        FAttribution = value;
      } else if (name == "minzoom") {
        minZoom = ParseZoom(value, FMinZoom);
      } else if (name == "maxzoom") {
        maxZoom = ParseZoom(value, FMaxZoom);
      } else if (name == "format") {
        const std::string format = AsciiLower(value);
        if (format == "jpg" || format == "jpeg") {
          FFormat = stJpeg;
        } else if (format == "pbf" || format == "mvt") {
          FVector = true;
        } else if (format != "png" && !format.empty()) {
          error = "tiles of format \"" + value + "\" cannot be drawn (png, jpg or pbf only)";
          sqlite3_finalize(statement);
          return false;
        }
      }
    }
  }
  sqlite3_finalize(statement);
  if (minZoom && maxZoom && FMinZoom <= FMaxZoom) return true;
  statement = nullptr;
  if (sqlite3_prepare_v2(FDb, "SELECT MIN(zoom_level), MAX(zoom_level) FROM tiles", -1, &statement,
                         nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW &&
      sqlite3_column_type(statement, 0) == SQLITE_INTEGER) {
    FMinZoom = std::clamp(sqlite3_column_int(statement, 0), 0, kMaxZoom);
    FMaxZoom = std::clamp(sqlite3_column_int(statement, 1), FMinZoom, kMaxZoom);
  } else {
    FMinZoom = 0;
    FMaxZoom = 0;
  }
  sqlite3_finalize(statement);
  return true;
}

bool TMbTiles::HasTiles() {
  std::lock_guard<std::mutex> lock(FMutex);
  sqlite3_stmt* statement = nullptr;
  bool any = sqlite3_prepare_v2(FDb, "SELECT 1 FROM tiles LIMIT 1", -1, &statement, nullptr) ==
                 SQLITE_OK &&
             sqlite3_step(statement) == SQLITE_ROW;
  sqlite3_finalize(statement);
  return any;
}

bool TMbTiles::ReadTile(int x, int y, int z, std::string& bytes) {
  bytes.clear();
  if (z < 0 || z > kMaxZoom) return false;
  const int64_t side = int64_t(1) << z;
  if (x < 0 || y < 0 || x >= side || y >= side) return false;
  const int64_t row = side - 1 - y;
  std::lock_guard<std::mutex> lock(FMutex);
  sqlite3_reset(FTile);
  sqlite3_bind_int(FTile, 1, z);
  sqlite3_bind_int64(FTile, 2, x);
  sqlite3_bind_int64(FTile, 3, row);
  const int step = sqlite3_step(FTile);
  bool found = false;
  if (step == SQLITE_ROW) {
    const void* data = sqlite3_column_blob(FTile, 0);
    const int size = sqlite3_column_bytes(FTile, 0);
    if (data != nullptr && size > 0) {
      bytes.assign(static_cast<const char*>(data), static_cast<size_t>(size));
      found = true;
    }
  } else if (step != SQLITE_DONE) {
    LogWarning("tiles", std::string("reading a tile database: ") + sqlite3_errmsg(FDb));
  }
  sqlite3_reset(FTile);
  return found;
}

}  // namespace wy

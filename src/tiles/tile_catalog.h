#pragma once
// The built-in tile services: name, image format, zoom range, attribution,
// cache folder name and the address of a tile.
//
// Each service's address is a URL template in the settings registry
// ("endpoint." + the row's endpoint name) with the placeholders {s} (the
// varying part of the host), {z}, {x}, {y}, and for CloudMade {key} and
// {style}. The catalog rows hold the defaults.

#include <cstdint>
#include <functional>
#include <string>

#include "geo/enums.h"

namespace wy {

// The custom tile source: given a tile address it leaves the address of that
// tile (a URL, or with LocalPath a file name) in tileFilename.
using TOnMapServerTilePath = std::function<void(std::string& tileFilename, int x, int y, int z)>;

// A tile source that hands out the bytes of a tile itself (a tile database,
// for example) instead of a file name: true with the PNG or JPEG bytes of
// tile (x, y, z) in bytes, false when it has no such tile. Used with
// LocalPath.
using TOnMapServerTileData = std::function<bool(int x, int y, int z, std::string& bytes)>;

// A tile source that draws its tiles (vector tiles, for example): true with
// the PNG bytes of tile (x, y, z) drawn at `scale` device pixels per map
// pixel, so 256 * scale pixels wide. Used with LocalPath, before
// GetTileData.
using TOnMapServerTileDraw =
    std::function<bool(int x, int y, int z, int scale, std::string& bytes)>;

// How the varying part of a host is chosen for each URL.
enum THostRule : uint8_t {
  hrFixed,    // one host; {s} (if a template has it) becomes "a"
  hrDigit14,  // "1" to "4"
  hrLetterAC  // "a" to "c"
};

// One row of the catalog.
struct TTileCatalogRow {
  const char* Name;
  TStreamType Format;
  uint8_t MaxZoom;
  THostRule HostRule;
  const char* Endpoint;  // settings key below "endpoint."
  const char* CopyRight;
  // Where the attribution's terms are explained; "" for none.
  const char* CopyRightUrl;
};

// The row of a service; tsNone and out-of-range values give the OSM row.
const TTileCatalogRow& TileCatalogRow(TTileServer server);

// Description of the current service of one tile server.
class TTileServerInfo {
 public:
  using TUpdateEvent = std::function<void(TTileServerInfo& sender)>;

  TStreamType TileFormat() const { return StreamType; }
  // Stores the value and calls the update event, even when unchanged.
  void SetTileFormat(TStreamType value);
  // Bound by the owning server.
  void SetUpdateEvent(TUpdateEvent event) { FUpdate = std::move(event); }

  uint8_t MinZoom = 2;
  uint8_t MaxZoom = 18;
  std::string Key;
  std::string Style;
  std::string Name;
  std::string CopyRight;
  // Where the attribution's terms are explained (the map raises
  // OnAttributionClick with it); empty for none.
  std::string CopyRightUrl;
  std::string TilePath;  // free for the component user
  bool LocalPath = false;
  TOnMapServerTilePath GetTileFilename;
  // With LocalPath: when assigned, tiles are read through it instead of from
  // the file GetTileFilename names. Cleared on a change of service.
  TOnMapServerTileData GetTileData;
  // With LocalPath: a source that draws its tiles. Cleared on a change of
  // service.
  TOnMapServerTileDraw GetTileDrawn;

 private:
  TStreamType StreamType = stPng;
  TUpdateEvent FUpdate;
};

// Fills `template` with the tile numbers, the key, the style and a host part
// drawn by `rule`. Numbers are plain decimal.
std::string FillTileUrlTemplate(const std::string& urlTemplate, THostRule rule, int x, int y, int z,
                                const std::string& key, const std::string& style);

// The address of tile (x, y, z) of a built-in service from its template in
// the settings; with highResolution, from its high-resolution template
// (512-pixel tiles; "" when the service has none).
std::string CatalogTileUrl(TTileServer server, int x, int y, int z, const std::string& key,
                           const std::string& style, bool highResolution = false);
// True when the service has a high-resolution template (setting
// "endpoint.<endpoint>-2x" not empty).
bool CatalogHasHighResolution(TTileServer server);

// One path component of the disk cache made safe: "/", "\", ":" and NUL
// become "_"; "", "." and ".." give "" (no safe name).
std::string SanitizePathComponent(const std::string& text);

}  // namespace wy

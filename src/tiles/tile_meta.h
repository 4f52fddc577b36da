#pragma once
// What the disk cache remembers about a tile beside its bytes: when it stops
// being fresh and the validators that let a stale tile be asked for again
// with a conditional request (If-None-Match, If-Modified-Since), so that an
// unchanged tile costs a 304 instead of its bytes.
//
// The record lives in a small text file beside the tile's file, the tile's
// name plus ".meta" (OSM/4/8/5.meta), written whole or not at all. It names
// the size and CRC-32 of the bytes it describes: a record that does not
// match the tile's file (a process ended between writing the two, or two
// processes replaced the tile at once) is not used, and the tile counts as
// one without a record.
//
// Thread-safe; nothing here takes a lock.

#include <cstdint>
#include <string>

namespace wy {

// How long a tile stays fresh when its answer says nothing about it.
constexpr int64_t kDefaultTileLifetimeSeconds = 7 * 24 * 3600;
// A tile stays fresh at least this long after it was fetched or confirmed,
// so that a server answering "no-cache" or "max-age=0" is asked once a
// minute per tile in view, not on every frame.
constexpr int64_t kMinTileLifetimeSeconds = 60;

struct TTileMeta {
  int64_t Expires = 0;   // seconds since 1970 (UTC); fresh before this moment
  int64_t Lifetime = 0;  // the answer's freshness lifetime, for a 304 that gives none
  std::string ETag;
  std::string LastModified;  // as the server sent it; sent back unchanged
  bool NoStore = false;      // the server asked that the tile not be stored

  bool Fresh(int64_t now) const { return now < Expires; }
  bool HasValidators() const { return !ETag.empty() || !LastModified.empty(); }
};

// The headers of an answer that caching and pausing look at, as received
// (a header sent several times is joined with ", ").
struct THttpCacheHeaders {
  std::string ETag;
  std::string LastModified;
  std::string CacheControl;
  std::string Pragma;
  std::string Expires;
  std::string Date;
  std::string Age;
  std::string RetryAfter;

  // Takes one header line ("Name: value"); false when it is none of the above.
  bool Take(const std::string& line);
};

// The record of a tile that arrived now with these headers: the freshness
// lifetime is Cache-Control's max-age, else Expires minus Date, else 7 days,
// less the answer's Age, and at least kMinTileLifetimeSeconds; "no-cache"
// (or "Pragma: no-cache") makes it the least. Validators are kept only when
// they are plain text.
TTileMeta TileMetaFromAnswer(const THttpCacheHeaders& headers, int64_t now);

// The record after a 304 confirmed the stored tile: the 304's headers update
// what they name; without freshness headers the stored lifetime starts again.
TTileMeta RefreshedTileMeta(const TTileMeta& stored, const THttpCacheHeaders& headers, int64_t now);

// Retry-After as milliseconds from now: delta-seconds or an HTTP date (a
// date in the past gives 0). False when the value is neither.
bool RetryAfterMs(const std::string& value, int64_t now, uint64_t& ms);

// The record as text, bound to `bytes`.
std::string FormatTileMeta(const TTileMeta& meta, const std::string& bytes);
// Reads a record made for exactly these bytes; false, `meta` untouched, for
// anything else.
bool ParseTileMeta(const std::string& text, const std::string& bytes, TTileMeta& meta);

// The record beside the tile's file, when there is one made for `bytes`.
bool ReadTileMeta(const std::string& tilePath, const std::string& bytes, TTileMeta& meta);
// Writes (or replaces) the record beside the tile's file in one step.
bool WriteTileMeta(const std::string& tilePath, const TTileMeta& meta, const std::string& bytes);

}  // namespace wy

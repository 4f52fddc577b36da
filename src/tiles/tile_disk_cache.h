#pragma once
// The disk cache of tiles below one cache folder, kept within a byte budget:
// the setting "tiles.disk-cache-bytes" (500 MB by default; 0: no bound).
// The budget counts the tile files and their records (tile_meta.h) of every
// tile folder below the cache folder (OSM, OCM, ...); the service answers
// that share the cache folder are not counted.
//
// Eviction goes by last use, least recently used first. A tile's last use is
// its file's access time, which the cache sets whenever a tile is served
// from disk, so the order survives the process and holds on file systems
// mounted without access times.
//
// One object per cache folder and process (ForFolder), shared by every tile
// server using that folder. It owns one thread, which does all of the work
// off the window thread: it looks at the whole folder when it starts and
// every half hour (which also counts what other programs stored there,
// deletes the records left without their tile and the temporary files of
// writers that ended more than an hour ago), keeps the count up to date from
// what the servers report, marks tiles used, and deletes the least recently
// used tiles whenever the count exceeds the budget.
//
// Thread-safe: the reports only queue work for the thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace wy {

class TTileDiskCache {
 public:
  // The cache of `root` (a folder path without a trailing separator), made
  // on first use; it lives as long as someone holds it.
  static std::shared_ptr<TTileDiskCache> ForFolder(const std::string& root);

  explicit TTileDiskCache(std::string root);
  // Stops the thread (a look at the folder under way ends early) and joins it.
  ~TTileDiskCache();
  TTileDiskCache(const TTileDiskCache&) = delete;
  TTileDiskCache& operator=(const TTileDiskCache&) = delete;

  const std::string& Root() const { return FRoot; }

  // A tile's file (and its record) was written or replaced.
  void Stored(const std::string& tilePath);
  // A tile was served from its file.
  void Used(const std::string& tilePath);
  // A tile's file was deleted by its server (a damaged tile).
  void Removed(const std::string& tilePath);

  // Waits until the first look at the folder and every report made before
  // the call are handled, evictions included (tests, tools).
  void Flush();
  // Bytes and tiles as counted now, and the tiles evicted so far.
  uint64_t Bytes() const;
  size_t TileCount() const;
  uint64_t Evicted() const;

 private:
  enum TReportKind { rkStored, rkUsed, rkRemoved };
  struct TReport {
    TReportKind Kind;
    std::string Path;
  };
  // Order of use: nanoseconds since 1970, then the order the cache saw it.
  using TUse = std::pair<int64_t, uint64_t>;
  struct TEntry {
    uint64_t Bytes = 0;
    TUse Use;
  };

  void Run();
  void Scan();
  void Handle(const TReport& report);
  void Put(const std::string& path, uint64_t bytes, int64_t useNs);
  void Forget(const std::string& path);
  void Evict();
  void Queue(TReportKind kind, const std::string& path);

  const std::string FRoot;

  // Shared with the reporting threads.
  mutable std::mutex FMutex;
  std::condition_variable FWake;
  std::condition_variable FIdle;
  std::vector<TReport> FReports;
  uint64_t FQueued = 0;
  uint64_t FHandled = 0;
  int FFlushing = 0;  // callers waiting in Flush
  bool FScanned = false;
  bool FStop = false;
  std::atomic<bool> FStopping{false};
  uint64_t FBytes = 0;
  size_t FCount = 0;
  uint64_t FEvicted = 0;

  // The index; the thread's own.
  std::unordered_map<std::string, TEntry> FEntries;
  std::map<TUse, std::string> FOrder;
  uint64_t FSequence = 0;

  std::thread FThread;
};

// What the tiles of one tile folder take.
struct TTileFolderStats {
  std::string Name;  // "OSM", "CM-ROAD-997", ...
  uint64_t Tiles = 0;
  uint64_t Bytes = 0;     // tiles and their records
  int64_t OldestUse = 0;  // last use of the least recently used tile (seconds since 1970)
  int64_t NewestUse = 0;
};

// The tile folders below a cache folder, by name.
std::vector<TTileFolderStats> TileCacheStats(const std::string& root);

struct TTileCacheCleared {
  uint64_t Tiles = 0;
  uint64_t Bytes = 0;
};
// Deletes the tiles (with their records) below a cache folder whose last use
// is before `usedBefore` (seconds since 1970), or every tile when
// `usedBefore` is negative, and then the folders left empty. Service answers
// in the same cache folder stay.
TTileCacheCleared ClearTileCache(const std::string& root, int64_t usedBefore);

// The byte budget of the setting "tiles.disk-cache-bytes"; 0: no bound.
uint64_t DiskCacheBudget();

}  // namespace wy

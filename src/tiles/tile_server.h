#pragma once
// TVuroduDavServer: the tiles of one map layer. GetTile answers at once from
// the memory cache, the disk cache or a local tile source, and otherwise
// starts a download and answers with a placeholder; a finished download
// lands in both caches and the owner window is asked to repaint.
//
// Threads: everything public runs on the window thread. Downloads run on
// their own workers, owned and joined by the server; a worker decodes its
// tile, stores bytes and image in the memory caches and writes the tile's
// file. OnLoadTile always runs on the window thread (completions of
// downloads reach it through posted calls that are dropped once the server
// is gone). The caches have their own lock, held only around their
// in-memory structures: no tile file is read or written under a lock, and
// the server never takes GlobalMapLock.
//
// Tiles are revalidated, not downloaded again: each tile keeps what its
// answer said about freshness (tile_meta.h; on disk in a record beside the
// tile's file). A fresh tile is never asked for; a stale one is still
// shown at once, and asked for with its validators in the background: a 304
// refreshes its record and keeps its bytes, a 200 replaces the tile in the
// caches and its file in one step, and the map is asked to repaint. Tiles
// of a local tile source (LocalPath) never go stale. The disk cache is kept
// within its budget by the folder's TTileDiskCache (tile_disk_cache.h).

#include <QColor>
#include <QImage>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "geo/enums.h"
#include "geo/lru_cache.h"
#include "platform/map_messages.h"
#include "platform/window_thread.h"
#include "tiles/retry_schedule.h"
#include "tiles/tile_catalog.h"
#include "tiles/tile_meta.h"

namespace wy {

class TThreadTile;
class TTileDiskCache;

// State of one tile: t = 1 the real image is available, 0 the placeholder
// stands for it.
using TOnLoadTile = std::function<void(int x, int y, int z, int t)>;

class TVuroduDavServer {
 public:
  // A failed tile is asked for again after this back-off, doubled on every
  // further failure up to the maximum. The maximum is the setting
  // "tiles.retry-max-ms" (kRetryMaxMs when unset or not positive), read when
  // the server is made; a maximum below kRetryFirstMs shortens the first
  // back-off too.
  static constexpr uint32_t kRetryFirstMs = 2000;
  static constexpr uint32_t kRetryMaxMs = 5 * 60 * 1000;

  // owner: where repaint requests go (0: none). The placeholder is a
  // 256 x 256 image of backColor.
  TVuroduDavServer(TMessageTarget owner, QColor backColor);
  ~TVuroduDavServer();
  TVuroduDavServer(const TVuroduDavServer&) = delete;
  TVuroduDavServer& operator=(const TVuroduDavServer&) = delete;

  // The image of tile (x, y, z), or the placeholder. The same object is
  // returned on every call: draw it before the next call.
  const QImage& GetTile(int x, int y, int z);
  // Text-mode counterpart: the tile's bytes as text ("" for the placeholder).
  std::string GetStringTile(int x, int y, int z);

  // Cancels every download in flight; their results are dropped.
  void CancelActiveThread();
  // CancelActiveThread, then empties the memory cache. The disk cache stays.
  void ClearCache();

  // Decoded images kept beside the memory cache, so that drawing a tile
  // seen before does not decode it again. Bounded by a byte budget (setting
  // "tiles.decoded-cache-bytes"; 0 keeps none); the least recently used
  // image goes first. Only tiles the memory cache holds are kept: a tile
  // leaving it leaves this cache too. Lowering the budget trims at once.
  size_t DecodedCacheBudget() const;
  void SetDecodedCacheBudget(size_t bytes);
  // Bytes of the decoded images kept, and their number.
  size_t DecodedCacheBytes() const;
  int DecodedCount() const;
  // How often this server decoded tile bytes into an image, on the window
  // thread and on the download workers together.
  uint64_t TilesDecoded() const { return FTilesDecoded.load(); }

  uint16_t CacheSize() const { return FCacheSize; }
  void SetCacheSize(uint16_t value);
  int CacheCount() const;
  const std::string& LocalCache() const { return FLocalCache; }
  void SetLocalCache(const std::string& value);
  TTileServer TileServer() const { return FTileServer.load(); }
  void SetTileServer(TTileServer value);
  TTileServerInfo& TileServerInfo() { return FTileServerInfo; }
  bool StringGrid() const { return FStringGrid; }
  void SetStringGrid(bool value);
  uint8_t MaxThreadTile() const { return FMaxThreadTile; }
  void SetMaxThreadTile(uint8_t value) { FMaxThreadTile = value; }
  // true: aborts and joins every download, then clears the caches; while set,
  // finished downloads are dropped and nothing asks for a repaint. It waits
  // for the workers, which end promptly once aborted (a name lookup still
  // running is not waited for) and never wait for the window thread.
  bool Cancel() const { return FCancel.load(); }
  void SetCancel(bool value);
  bool TileOK() const { return FTileOk; }
  // Stand-in tiles: when on, a tile that failed (its download failed, its
  // host asked for a pause, or its local source has no readable tile) is
  // answered with the tile of the built-in world map (basemap_tiles.h)
  // instead of the plain placeholder. TileOK stays false, the stand-in is
  // kept nowhere, and the real tile replaces it once it arrives. Off by
  // default.
  bool StandIn() const { return FStandIn; }
  void SetStandIn(bool value) { FStandIn = value; }
  // True when the last GetTile answered with a stand-in.
  bool TileStoodIn() const { return FTileStoodIn; }
  // Tiles for a screen with this many device pixels per map pixel: 1, or 2
  // for a high-density screen. At 2 every real tile comes as 512 x 512 with
  // a device pixel ratio of 2 (drawn over the same 256 map pixels): from
  // the service's high-resolution source where it has one (kept apart, in
  // the cache folder named ServerFolderName() + "@2x"), otherwise the
  // 256-pixel tile itself, stored as usual, enlarged smoothly and the
  // enlargement kept in memory only, under its own key. The next zoom
  // level is never asked for instead: it would quadruple the requests.
  // Values outside 1..2 are clamped. Window thread only.
  int TileScale() const { return FTileScale; }
  void SetTileScale(int value);
  // True while tiles come from the service's high-resolution source.
  bool HighResolutionSource() const;
  // Enlarged tiles kept (within the decoded tiles' byte budget), and the key
  // the enlargement of tile (x, y, z) is kept under.
  int ScaledCount() const { return static_cast<int>(FScaled.Count()); }
  std::string ScaledTileKey(int x, int y, int z) const;
  const std::string& StringTile() const { return FStringTile; }
  // Downloads in flight (revalidations of stale tiles included).
  int ActiveDownloads() const;
  // The disk cache of LocalCache; null without one.
  TTileDiskCache* DiskCache() const { return FDiskCache.get(); }

  TOnLoadTile OnLoadTile;

  // "\<folder>\<z>\<x>\<y>"; the folder is Name, plus "-" and Style when
  // Style is not empty, plus "@2x" while tiles come from the service's
  // high-resolution source.
  std::string TileKey(int x, int y, int z) const;
  std::string ServerFolderName() const;
  // The tile's file below LocalCache; empty when there is no disk cache or
  // the folder name cannot be made a safe path component.
  std::string TileFilePath(int x, int y, int z) const;

 private:
  using TBytes = std::shared_ptr<const std::string>;
  using TMeta = std::shared_ptr<const TTileMeta>;
  // One tile of the memory cache: its bytes as received and its record
  // (null for a local tile source: never stale).
  struct TMemoryTile {
    TBytes Bytes;
    TMeta Meta;
  };
  // A tile shown while it is stale: what asking for it again needs.
  struct TStaleTile {
    TMeta Meta;
    TBytes Bytes;
  };
  // What a download's completion needs, fixed when it starts.
  struct TTileJob {
    std::string Key;
    std::string Path;  // the tile's file; empty: no disk cache
    TStreamType Format = stPng;
    bool KeepImage = true;  // false in text mode
    TStaleTile Stale;       // set when a stale tile is revalidated
    std::string HostPort;
    std::shared_ptr<TTileDiskCache> DiskCache;
  };

  void SelectService(TTileServer value);
  // ServerFolderName, marked when the tiles are the high-resolution ones.
  std::string CacheFolderName() const;
  // At tile scale 2: FTile, a real 256-pixel tile, replaced by its
  // enlargement (kept, or made and kept).
  void ScaleTile(int x, int y, int z);
  bool Retrieve(int x, int y, int z);
  // On a hit that is stale, `stale` receives the tile's record and bytes.
  bool LoadFromMemoryCache(int x, int y, int z, const std::string& key, TStaleTile& stale);
  // "Locked": the caller holds FCacheMutex.
  const TMemoryTile* FindInMemoryLocked(const std::string& key) const;
  // Removes the tile from the memory cache (and its decoded image).
  void ForgetInMemoryLocked(const std::string& key);
  void RememberDecodedLocked(const std::string& key, const TBytes& bytes, const QImage& image);
  void ForgetDecoded(const std::string& key, const TBytes& bytes);
  void TrimDecoded();
  bool LoadFromLocalCache(int x, int y, int z, const std::string& path, std::string& bytes,
                          int64_t& modified);
  // Stores the bytes in the memory cache in place of an older copy, with
  // their image when given.
  void addtocache(const std::string& key, const TBytes& bytes, const QImage* decoded,
                  const TMeta& meta);
  void addtocacheLocked(const std::string& key, const TBytes& bytes, const QImage* decoded,
                        const TMeta& meta);
  // Keeps a tile read from disk or a local file (already decoded into FTile)
  // in the caches; the bytes come back when they are to be revalidated.
  TBytes StoreLoaded(const std::string& key, std::string bytes, const TMeta& meta);
  // The record of a tile read from its file: the one beside it, else one
  // that counts from the file's time with the default lifetime.
  TMeta DiskMeta(const std::string& path, const std::string& bytes, int64_t modified) const;
  // Asks for a stale tile again unless that waits for a back-off.
  void Revalidate(int x, int y, int z, const std::string& key, const TStaleTile& stale);
  void releaseCacheSize(const std::string& key, const std::string& path);
  void CheckCacheSize();
  void CheckCacheSizeLocked();
  // Every decode of tile bytes goes through here (any thread).
  bool DecodeTile(const std::string& bytes, TStreamType format, QImage& image);
  bool DecodeInto(const std::string& bytes);
  void StartDownload(int x, int y, int z, const std::string& key,
                     const TStaleTile& stale = TStaleTile());
  void doGetTile(TThreadTile& sender, const TTileJob& job);
  // A 304 confirmed the stale tile of the job.
  void Confirmed(TThreadTile& sender, const TTileJob& job);
  void UpdateTileGraphic(TTileServerInfo& sender);
  void RequestRepaint();
  std::string GetTileUrl(int x, int y, int z);
  // The bytes of a tile from GetTileData; false when it has none or fails.
  bool ReadTileData(int x, int y, int z, std::string& bytes);
  // failed: the tile failed (a stand-in may answer for it).
  void FirePlaceholder(int x, int y, int z, bool failed);
  // The tile failed and waits for its back-off (or a paused host).
  bool Failed(const std::string& key);
  // A tile of the built-in world map (service tsOffline).
  bool DrawOffline(int x, int y, int z);
  void ReapFinished();
  void JoinAll();
  // A failed answer: the tile waits for its back-off, at least atLeastMs.
  void RecordFailure(const std::string& key, uint32_t atLeastMs = 0);
  // Nothing was asked (the host is paused): the tile waits waitMs, its
  // back-off unchanged.
  void Defer(const std::string& key, uint32_t waitMs);
  void RetryWatch();

  TTileServerInfo FTileServerInfo;
  TMessageTarget FParent;
  QImage FWaitTile;
  QImage FTile;
  std::string FStringTile;
  TStreamType FTileFormat = stPng;
  std::atomic<TTileServer> FTileServer{tsOSM};
  std::string FLocalCache;
  std::shared_ptr<TTileDiskCache> FDiskCache;
  uint16_t FCacheSize = 256;
  uint8_t FMaxThreadTile = 16;
  bool FStringGrid = false;
  bool FTileOk = false;
  bool FStandIn = false;
  bool FTileStoodIn = false;
  std::atomic<bool> FCancel{false};
  std::atomic<uint64_t> FTilesDecoded{0};

  // Guards the memory cache, the decoded tiles, their budget and FCacheSize
  // (written on the window thread only). Lock order: FCacheMutex, then
  // FJobsMutex.
  mutable std::mutex FCacheMutex;
  // Memory cache, newest first (a hit does not move a tile: the oldest
  // stored goes first).
  TLruCache<std::string, TMemoryTile> FCache;
  // Decoded tiles, most recently used first, costing their size in bytes.
  // An entry counts only while it was made from the very bytes the memory
  // cache holds for its key.
  struct TDecodedTile {
    TBytes Bytes;
    QImage Image;
  };
  TLruCache<std::string, TDecodedTile> FDecoded;
  size_t FDecodedBudget = 0;

  int FTileScale = 1;
  // Enlarged tiles, most recently used first (window thread only). An
  // entry counts while its source is the very image the tile decodes to
  // now (QImage::cacheKey), so an updated tile is enlarged again.
  struct TScaledTile {
    qint64 Source = 0;
    QImage Image;
  };
  TLruCache<std::string, TScaledTile> FScaled;

  // Downloads: in flight by key, and finished ones waiting to be joined.
  mutable std::mutex FJobsMutex;
  std::map<std::string, std::shared_ptr<TThreadTile>> FCacheTile;
  std::vector<std::shared_ptr<TThreadTile>> FFinished;

  // Back-off of failed tiles, and the thread that asks for a repaint when
  // one is due.
  TRetrySchedule FRetries;
  std::mutex FRetryMutex;  // guards FStopRetryWatch
  std::condition_variable FRetryWake;
  bool FStopRetryWatch = false;
  std::thread FRetryThread;

  TReceiverGuard FGuard;
};

}  // namespace wy

#include "tiles/tile_server.h"

#include <algorithm>
#include <chrono>

#include "geo/settings.h"
#include "geo/stream.h"
#include "geo/url_host.h"
#include "geo/web_fetch.h"
#include "platform/log.h"
#include "platform/tick.h"
#include "platform/wall_clock.h"
#include "tiles/basemap_tiles.h"
#include "tiles/image_decode.h"
#include "tiles/tile_disk_cache.h"
#include "tiles/tile_download.h"
#include "tiles/tile_file.h"

namespace wy {

namespace {

constexpr int kTileSide = 256;
// How often the retry watch looks for tiles whose back-off has run out.
constexpr auto kRetryWatchPeriod = std::chrono::milliseconds(100);
// Byte budget of the decoded tiles when the setting gives none (two frames
// of a 3840 x 2160 screen in 32-bit tiles).
constexpr int64_t kDefaultDecodedBudget = 64 * 1024 * 1024;

size_t DecodedBudgetSetting() {
  const int64_t value = GetSettingInt("tiles.decoded-cache-bytes", kDefaultDecodedBudget);
  return value < 0 ? static_cast<size_t>(kDefaultDecodedBudget) : static_cast<size_t>(value);
}

uint32_t RetryMaxSetting() {
  const int64_t value = GetSettingInt("tiles.retry-max-ms", TVuroduDavServer::kRetryMaxMs);
  if (value <= 0) return TVuroduDavServer::kRetryMaxMs;
  return static_cast<uint32_t>(std::min<int64_t>(value, UINT32_MAX));
}

// The bytes up to the first zero byte, each taken as the character with that
// code, as UTF-8.
std::string BytesAsText(const std::string& bytes) {
  TMemoryStream stream(bytes);
  return StreamToText(&stream);
}

}  // namespace

TVuroduDavServer::TVuroduDavServer(TMessageTarget owner, QColor backColor)
    : FParent(owner),
      FDecodedBudget(DecodedBudgetSetting()),
      FRetries(kRetryFirstMs, RetryMaxSetting()) {
  FWaitTile = QImage(kTileSide, kTileSide, QImage::Format_RGB32);
  FWaitTile.fill(backColor);
  FTile = FWaitTile;
  FTileServerInfo.SetUpdateEvent([this](TTileServerInfo& sender) { UpdateTileGraphic(sender); });
  SelectService(tsOSM);
  FRetryThread = std::thread([this] { RetryWatch(); });
}

TVuroduDavServer::~TVuroduDavServer() {
  {
    std::lock_guard<std::mutex> lock(FRetryMutex);
    FStopRetryWatch = true;
  }
  FRetryWake.notify_all();
  if (FRetryThread.joinable()) FRetryThread.join();
  FCancel.store(true);
  CancelActiveThread();
  JoinAll();
  std::lock_guard<std::mutex> lock(FCacheMutex);
  FCache.Clear();
  FDecoded.Clear();
}

// --- Service selection

void TVuroduDavServer::SetTileServer(TTileServer value) {
  if (value == FTileServer.load()) return;
  SelectService(value);
}

void TVuroduDavServer::SelectService(TTileServer value) {
  FTileServer.store(value);
  ClearCache();
  FTileServerInfo.MinZoom = 2;
  FTileServerInfo.GetTileFilename = nullptr;
  FTileServerInfo.GetTileData = nullptr;
  FTileServerInfo.GetTileDrawn = nullptr;
  const TTileCatalogRow& row = TileCatalogRow(value);
  FTileServerInfo.SetTileFormat(row.Format);
  FTileServerInfo.MaxZoom = row.MaxZoom;
  FTileServerInfo.Name = row.Name;
  FTileServerInfo.CopyRight = row.CopyRight;
  FTileServerInfo.CopyRightUrl = row.CopyRightUrl;
  if (value == tsCloudMade) {
    FTileServerInfo.Key = GetServiceKey(skCloudMade);
    FTileServerInfo.Style = "997";
  }
  FTileServerInfo.LocalPath = false;
  RequestRepaint();
}

void TVuroduDavServer::UpdateTileGraphic(TTileServerInfo& sender) {
  FTileFormat = sender.TileFormat();
}

std::string TVuroduDavServer::GetTileUrl(int x, int y, int z) {
  std::string result;
  if (FTileServerInfo.GetTileFilename) {
    try {
      FTileServerInfo.GetTileFilename(result, x, y, z);
    } catch (...) {
      // A failing custom source gives no address.
      LogCaughtException(llWarning, "tiles",
                         "the tile source of " + ServerFolderName() + " failed");
      result.clear();
    }
    return result;
  }
  return CatalogTileUrl(FTileServer.load(), x, y, z, FTileServerInfo.Key, FTileServerInfo.Style,
                        HighResolutionSource());
}

bool TVuroduDavServer::ReadTileData(int x, int y, int z, std::string& bytes) {
  try {
    if (FTileServerInfo.GetTileDrawn)
      return FTileServerInfo.GetTileDrawn(x, y, z, FTileScale, bytes);
    return FTileServerInfo.GetTileData(x, y, z, bytes);
  } catch (...) {
    // A failing source has no tile.
    LogCaughtException(llWarning, "tiles", "the tile source of " + ServerFolderName() + " failed");
    bytes.clear();
    return false;
  }
}

// --- Keys and paths

std::string TVuroduDavServer::ServerFolderName() const {
  if (FTileServerInfo.Style.empty()) return FTileServerInfo.Name;
  return FTileServerInfo.Name + "-" + FTileServerInfo.Style;
}

std::string TVuroduDavServer::CacheFolderName() const {
  // High-resolution tiles never share a name with the ordinary ones: an
  // older reader of the cache would otherwise draw them at twice the size.
  if (HighResolutionSource()) return ServerFolderName() + "@2x";
  return ServerFolderName();
}

std::string TVuroduDavServer::TileKey(int x, int y, int z) const {
  return "\\" + CacheFolderName() + "\\" + std::to_string(z) + "\\" + std::to_string(x) + "\\" +
         std::to_string(y);
}

std::string TVuroduDavServer::ScaledTileKey(int x, int y, int z) const {
  return TileKey(x, y, z) + "\\enlarged-" + std::to_string(FTileScale);
}

std::string TVuroduDavServer::TileFilePath(int x, int y, int z) const {
  if (FLocalCache.empty()) return std::string();
  const std::string folder = SanitizePathComponent(CacheFolderName());
  if (folder.empty()) return std::string();
  return FLocalCache + "/" + folder + "/" + std::to_string(z) + "/" + std::to_string(x) + "/" +
         std::to_string(y);
}

// --- Properties

void TVuroduDavServer::SetCacheSize(uint16_t value) {
  {
    std::lock_guard<std::mutex> lock(FCacheMutex);
    if (value == FCacheSize) return;
    FCacheSize = value;
  }
  CheckCacheSize();
}

int TVuroduDavServer::CacheCount() const {
  std::lock_guard<std::mutex> lock(FCacheMutex);
  return static_cast<int>(FCache.Count());
}

void TVuroduDavServer::SetLocalCache(const std::string& value) {
  std::string folder = value;
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  if (folder == FLocalCache) return;
  FLocalCache = folder;
  // Downloads in flight keep the cache they started with.
  FDiskCache = folder.empty() ? nullptr : TTileDiskCache::ForFolder(folder);
}

void TVuroduDavServer::SetTileScale(int value) {
  FTileScale = std::clamp(value, 1, 2);
}

bool TVuroduDavServer::HighResolutionSource() const {
  // Custom and local sources name the tile files themselves: they have one
  // size of tile.
  return FTileScale > 1 && !FTileServerInfo.LocalPath && !FTileServerInfo.GetTileFilename &&
         !FTileServerInfo.GetTileData && !FTileServerInfo.GetTileDrawn &&
         CatalogHasHighResolution(FTileServer.load());
}

void TVuroduDavServer::SetStringGrid(bool value) {
  if (value == FStringGrid) return;
  ClearCache();
  FStringGrid = value;
}

void TVuroduDavServer::SetCancel(bool value) {
  FCancel.store(value);
  if (!value) return;
  // The workers never wait for the window thread, so joining them here
  // cannot deadlock; their transfers are aborted and end promptly.
  CancelActiveThread();
  JoinAll();
  ClearCache();
}

int TVuroduDavServer::ActiveDownloads() const {
  std::lock_guard<std::mutex> lock(FJobsMutex);
  return static_cast<int>(FCacheTile.size());
}

// --- Caches

void TVuroduDavServer::CancelActiveThread() {
  std::lock_guard<std::mutex> lock(FJobsMutex);
  for (auto& entry : FCacheTile) {
    entry.second->SetCancel(true);
    FFinished.push_back(std::move(entry.second));
  }
  FCacheTile.clear();
}

void TVuroduDavServer::ClearCache() {
  {
    // Under the lock, so a worker that finishes now either stored its tile
    // before the cache is emptied or sees its cancel flag.
    std::lock_guard<std::mutex> lock(FCacheMutex);
    CancelActiveThread();
    FCache.Clear();
    FDecoded.Clear();
  }
  FScaled.Clear();
  FRetries.Clear();
}

void TVuroduDavServer::CheckCacheSize() {
  std::lock_guard<std::mutex> lock(FCacheMutex);
  CheckCacheSizeLocked();
}

void TVuroduDavServer::CheckCacheSizeLocked() {
  if (FCancel.load()) return;
  FCache.Trim(FCacheSize, FCache.kNoLimit, [this](const decltype(FCache)::TEntry& entry) {
    ForgetDecoded(entry.Key, entry.Value.Bytes);
  });
}

const TVuroduDavServer::TMemoryTile* TVuroduDavServer::FindInMemoryLocked(
    const std::string& key) const {
  return FCache.Peek(key);
}

void TVuroduDavServer::ForgetInMemoryLocked(const std::string& key) {
  const TMemoryTile* entry = FCache.Peek(key);
  if (entry == nullptr) return;
  ForgetDecoded(key, entry->Bytes);
  FCache.Erase(key);
}

void TVuroduDavServer::addtocache(const std::string& key, const TBytes& bytes,
                                  const QImage* decoded, const TMeta& meta) {
  std::lock_guard<std::mutex> lock(FCacheMutex);
  addtocacheLocked(key, bytes, decoded, meta);
}

void TVuroduDavServer::addtocacheLocked(const std::string& key, const TBytes& bytes,
                                        const QImage* decoded, const TMeta& meta) {
  try {
    // An older copy of the tile (stale, or bytes that did not decode) goes.
    ForgetInMemoryLocked(key);
    // Remembered first, so that a memory cache too small to keep the tile
    // drops its image as well.
    if (decoded != nullptr) RememberDecodedLocked(key, bytes, *decoded);
    FCache.Put(key, TMemoryTile{bytes, meta});
  } catch (...) {
    // No memory: the tile is simply not kept.
    LogCaughtException(llWarning, "tiles", "TVuroduDavServer.addtocache");
  }
  CheckCacheSizeLocked();
}

void TVuroduDavServer::releaseCacheSize(const std::string& key, const std::string& path) {
  {
    std::lock_guard<std::mutex> lock(FCacheMutex);
    ForgetInMemoryLocked(key);
  }
  if (!FTileServerInfo.LocalPath && RemoveTileFile(path) && FDiskCache) FDiskCache->Removed(path);
}

bool TVuroduDavServer::DecodeTile(const std::string& bytes, TStreamType format, QImage& image) {
  FTilesDecoded.fetch_add(1);
  if (!DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), format, image))
    return false;
  // A larger square tile (a high-resolution one) covers the same 256 map
  // pixels: painters draw it at its device pixel ratio.
  if (image.width() > kTileSide && image.width() == image.height())
    image.setDevicePixelRatio(static_cast<qreal>(image.width()) / kTileSide);
  return true;
}

bool TVuroduDavServer::DecodeInto(const std::string& bytes) {
  if (FStringGrid) {
    FStringTile = BytesAsText(bytes);
    return true;
  }
  QImage image;
  if (!DecodeTile(bytes, FTileFormat, image)) return false;
  FTile = std::move(image);
  return true;
}

// --- Decoded tiles

size_t TVuroduDavServer::DecodedCacheBudget() const {
  std::lock_guard<std::mutex> lock(FCacheMutex);
  return FDecodedBudget;
}

void TVuroduDavServer::SetDecodedCacheBudget(size_t bytes) {
  std::lock_guard<std::mutex> lock(FCacheMutex);
  FDecodedBudget = bytes;
  TrimDecoded();
}

size_t TVuroduDavServer::DecodedCacheBytes() const {
  std::lock_guard<std::mutex> lock(FCacheMutex);
  return FDecoded.Cost();
}

int TVuroduDavServer::DecodedCount() const {
  std::lock_guard<std::mutex> lock(FCacheMutex);
  return static_cast<int>(FDecoded.Count());
}

void TVuroduDavServer::RememberDecodedLocked(const std::string& key, const TBytes& bytes,
                                             const QImage& image) {
  const size_t size = image.isNull() ? 0 : static_cast<size_t>(image.sizeInBytes());
  FDecoded.Erase(key);
  // An image larger than the whole budget would only push everything out.
  if (size == 0 || size > FDecodedBudget) return;
  try {
    FDecoded.Put(key, TDecodedTile{bytes, image}, size);
  } catch (...) {
    // No memory: the tile is decoded again next time.
    LogCaughtException(llWarning, "tiles", "keeping a decoded tile failed");
    return;
  }
  TrimDecoded();
}

void TVuroduDavServer::ForgetDecoded(const std::string& key, const TBytes& bytes) {
  const TDecodedTile* found = FDecoded.Peek(key);
  // Only the entry made from these bytes: a newer copy of the tile further
  // up the memory cache keeps its image.
  if (found != nullptr && found->Bytes == bytes) FDecoded.Erase(key);
}

void TVuroduDavServer::TrimDecoded() {
  FDecoded.Trim(FDecoded.kNoLimit, FDecodedBudget);
}

bool TVuroduDavServer::LoadFromMemoryCache(int x, int y, int z, const std::string& key,
                                           TStaleTile& stale) {
  TBytes bytes;
  {
    std::lock_guard<std::mutex> lock(FCacheMutex);
    const TMemoryTile* entry = FindInMemoryLocked(key);
    if (entry == nullptr || !entry->Bytes) return false;
    if (entry->Meta && !entry->Meta->Fresh(WallClockSeconds())) stale = {entry->Meta, entry->Bytes};
    const TDecodedTile* decoded = FStringGrid ? nullptr : FDecoded.Peek(key);
    if (decoded != nullptr && decoded->Bytes == entry->Bytes) {
      // Used now: it moves to the front of the eviction order.
      FTile = FDecoded.Get(key)->Image;
    } else {
      bytes = entry->Bytes;
    }
  }
  // Not decoded yet: decoded outside the lock, so that a worker storing a
  // tile meanwhile does not wait for it.
  if (bytes) {
    if (!DecodeInto(*bytes)) {
      stale = TStaleTile();
      return false;
    }
    if (!FStringGrid) {
      std::lock_guard<std::mutex> lock(FCacheMutex);
      // Only while these bytes are still the tile's in the memory cache.
      const TMemoryTile* entry = FindInMemoryLocked(key);
      if (entry != nullptr && entry->Bytes == bytes) RememberDecodedLocked(key, bytes, FTile);
    }
  }
  if (OnLoadTile) OnLoadTile(x, y, z, 1);
  return true;
}

bool TVuroduDavServer::LoadFromLocalCache(int x, int y, int z, const std::string& path,
                                          std::string& bytes, int64_t& modified) {
  if (path.empty()) return false;
  const bool found = ReadTileFile(path, bytes, &modified);
  if (!found && OnLoadTile) OnLoadTile(x, y, z, 0);
  return found;
}

TVuroduDavServer::TBytes TVuroduDavServer::StoreLoaded(const std::string& key, std::string bytes,
                                                       const TMeta& meta) {
  TBytes shared;
  try {
    shared = std::make_shared<const std::string>(std::move(bytes));
  } catch (...) {
    // No memory: the tile is simply not kept.
    LogCaughtException(llWarning, "tiles", "keeping a tile read from disk failed");
    return nullptr;
  }
  addtocache(key, shared, FStringGrid ? nullptr : &FTile, meta);
  return shared;
}

TVuroduDavServer::TMeta TVuroduDavServer::DiskMeta(const std::string& path,
                                                   const std::string& bytes,
                                                   int64_t modified) const {
  try {
    auto meta = std::make_shared<TTileMeta>();
    if (!ReadTileMeta(path, bytes, *meta)) {
      // A tile stored without a record (by an older program, or a process
      // that ended before writing it): as old as its file.
      meta->Lifetime = kDefaultTileLifetimeSeconds;
      meta->Expires = modified + kDefaultTileLifetimeSeconds;
    }
    return meta;
  } catch (...) {
    LogCaughtException(llWarning, "tiles", "reading the record of " + path);
    return nullptr;
  }
}

void TVuroduDavServer::Revalidate(int x, int y, int z, const std::string& key,
                                  const TStaleTile& stale) {
  // A local tile source has nothing to ask.
  if (FTileServerInfo.LocalPath || !stale.Meta || !stale.Bytes) return;
  if (!FRetries.Pending(key)) StartDownload(x, y, z, key, stale);
}

// --- Retrieval

const QImage& TVuroduDavServer::GetTile(int x, int y, int z) {
  FTileOk = Retrieve(x, y, z);
  if (FTileScale > 1 && FTileOk && !FStringGrid) ScaleTile(x, y, z);
  return FTile;
}

void TVuroduDavServer::ScaleTile(int x, int y, int z) {
  // Already as dense as the screen: a high-resolution or drawn tile.
  if (FTile.isNull() || FTile.devicePixelRatio() >= FTileScale) return;
  const std::string key = ScaledTileKey(x, y, z);
  const qint64 source = FTile.cacheKey();
  if (const TScaledTile* found = FScaled.Peek(key)) {
    if (found->Source == source) {
      FTile = FScaled.Get(key)->Image;
      return;
    }
    FScaled.Erase(key);
  }
  const int side = kTileSide * FTileScale;
  QImage scaled = FTile.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (scaled.isNull()) return;  // no memory: the tile is drawn as it is
  scaled.setDevicePixelRatio(FTileScale);
  FTile = scaled;
  // Within the decoded tiles' budget, counted on its own.
  const size_t each = static_cast<size_t>(scaled.sizeInBytes());
  size_t budget;
  {
    std::lock_guard<std::mutex> lock(FCacheMutex);
    budget = FDecodedBudget;
  }
  const size_t keep = each == 0 ? 0 : budget / each;
  if (keep == 0) return;
  try {
    FScaled.Put(key, TScaledTile{source, std::move(scaled)});
  } catch (const std::bad_alloc&) {
    // Not kept: enlarged again next time.
    LogWarning("tiles", "keeping an enlarged tile failed");
  }
  FScaled.Trim(keep);
}

std::string TVuroduDavServer::GetStringTile(int x, int y, int z) {
  Retrieve(x, y, z);
  return FStringTile;
}

void TVuroduDavServer::FirePlaceholder(int x, int y, int z, bool failed) {
  if (FStringGrid) {
    FStringTile.clear();
  } else if (failed && FStandIn && z >= 0 && z <= 30) {
    // Never stored: the memory and disk caches hold real tiles only.
    FTile = BasemapTile(x, y, z, FTileScale);
    FTileStoodIn = true;
  } else {
    FTile = FWaitTile;
  }
  if (OnLoadTile) OnLoadTile(x, y, z, 0);
}

bool TVuroduDavServer::Failed(const std::string& key) {
  return FRetries.Failed(key);
}

bool TVuroduDavServer::DrawOffline(int x, int y, int z) {
  if (FStringGrid) {
    // Drawn tiles have no bytes to show as text.
    FStringTile.clear();
  } else {
    FTile = BasemapTile(x, y, z, FTileScale, true);
  }
  if (OnLoadTile) OnLoadTile(x, y, z, 1);
  return true;
}

bool TVuroduDavServer::Retrieve(int x, int y, int z) {
  ReapFinished();
  FTileStoodIn = false;
  // The built-in world map is drawn, never downloaded nor cached on disk.
  if (FTileServer.load() == tsOffline && !FTileServerInfo.LocalPath &&
      !FTileServerInfo.GetTileFilename)
    return DrawOffline(x, y, z);
  const std::string key = TileKey(x, y, z);
  TStaleTile stale;
  if (LoadFromMemoryCache(x, y, z, key, stale)) {
    // Shown as it is; a stale tile is asked for again meanwhile.
    if (stale.Meta) Revalidate(x, y, z, key, stale);
    return true;
  }

  const std::string path = TileFilePath(x, y, z);
  std::string bytes;
  int64_t modified = 0;
  if (LoadFromLocalCache(x, y, z, path, bytes, modified)) {
    const bool decoded = !bytes.empty() && DecodeInto(bytes);
    if (decoded) {
      TMeta meta = DiskMeta(path, bytes, modified);
      stale.Bytes = StoreLoaded(key, std::move(bytes), meta);
      if (FDiskCache) FDiskCache->Used(path);
      if (OnLoadTile) OnLoadTile(x, y, z, 1);
      if (meta && !meta->Fresh(WallClockSeconds())) {
        stale.Meta = std::move(meta);
        Revalidate(x, y, z, key, stale);
      }
      return true;
    }
    // A damaged file: delete it so that the next call downloads the tile.
    releaseCacheSize(key, path);
    FirePlaceholder(x, y, z, false);
    return false;
  }

  if (FTileServerInfo.LocalPath) {
    const bool read = FTileServerInfo.GetTileData || FTileServerInfo.GetTileDrawn
                          ? ReadTileData(x, y, z, bytes)
                          : ReadTileFile(GetTileUrl(x, y, z), bytes);
    const bool decoded = read && !bytes.empty() && DecodeInto(bytes);
    if (decoded) StoreLoaded(key, std::move(bytes), nullptr);
    if (decoded) {
      if (OnLoadTile) OnLoadTile(x, y, z, 1);
      return true;
    }
    FirePlaceholder(x, y, z, true);
    return false;
  }

  if (!FRetries.Pending(key)) StartDownload(x, y, z, key);
  FirePlaceholder(x, y, z, Failed(key));
  return false;
}

void TVuroduDavServer::StartDownload(int x, int y, int z, const std::string& key,
                                     const TStaleTile& stale) {
  if (FCancel.load()) return;
  {
    std::lock_guard<std::mutex> lock(FJobsMutex);
    if (FCacheTile.count(key) != 0) return;
    // Cancelled workers still ending do not count; every other one does,
    // those waiting for a connection to their host included.
    if (FCacheTile.size() >= FMaxThreadTile) return;
  }
  const std::string url = GetTileUrl(x, y, z);
  if (url.empty()) return;
  // Everything the worker needs is fixed now, on the window thread.
  TTileJob job;
  job.Key = key;
  job.Path = TileFilePath(x, y, z);
  job.Format = FTileFormat;
  job.KeepImage = !FStringGrid;
  job.Stale = stale;
  job.HostPort = UrlHostPort(url);
  job.DiskCache = FDiskCache;
  // A host that asked for a pause is not asked anything until it ends.
  if (const uint32_t pause = TileHostPauseMs(job.HostPort)) {
    Defer(key, pause);
    return;
  }
  std::lock_guard<std::mutex> lock(FJobsMutex);
  try {
    FCacheTile[key] = std::make_shared<TThreadTile>(
        url, FTileServer.load(), x, y, z,
        [this, job](TThreadTile& sender) { doGetTile(sender, job); }, stale.Meta);
  } catch (...) {
    // No thread or no memory: the tile is asked for again on a later paint.
    LogCaughtException(llWarning, "tiles", "starting a tile download failed");
  }
}

void TVuroduDavServer::doGetTile(TThreadTile& sender, const TTileJob& job) {
  const std::string& key = job.Key;
  TTileFetchResult& result = sender.Result();
  if (job.Stale.Meta && result.NotModified()) return Confirmed(sender, job);
  // Only a whole image is a tile: error pages, empty or cut bodies and bytes
  // that do not decode are dropped and the tile is asked for again later.
  // The image decoded here is the one drawn: the window thread does not
  // decode the tile again.
  QImage image;
  const bool usable = result.Usable() && DecodeTile(result.Body, job.Format, image);
  TBytes bytes;
  TMeta meta;
  if (usable) {
    try {
      meta =
          std::make_shared<const TTileMeta>(TileMetaFromAnswer(result.Headers, WallClockSeconds()));
      bytes = std::make_shared<const std::string>(std::move(result.Body));
    } catch (...) {
      LogCaughtException(llWarning, "tiles", "keeping a downloaded tile failed");
      bytes.reset();
    }
  }
  bool accepted;
  bool stored = false;
  {
    // The memory cache's lock only: the tile's file is written below,
    // outside every lock.
    std::lock_guard<std::mutex> lock(FCacheMutex);
    accepted = !FCancel.load() && !sender.Cancel();
    if (accepted && bytes && sender.TileServer() == FTileServer.load()) {
      addtocacheLocked(key, bytes, job.KeepImage ? &image : nullptr, meta);
      stored = true;
    }
    // A tile that did not come is marked before its download stops counting
    // as active: whoever sees no download for it sees its back-off too (and
    // shows the stand-in rather than asking again at once).
    if (accepted && !stored) {
      if (result.Deferred)
        Defer(key, std::max<uint32_t>(TileHostPauseMs(job.HostPort), 1));
      else if (!usable)
        RecordFailure(key, result.PauseMs);
    }
    std::lock_guard<std::mutex> jobs(FJobsMutex);
    auto it = FCacheTile.find(key);
    if (it != FCacheTile.end() && it->second.get() == &sender) {
      FFinished.push_back(std::move(it->second));
      FCacheTile.erase(it);
    }
  }
  if (!accepted) return;
  if (!stored) {
    if (!result.Deferred && !usable)
      LogTileFailureOnce(job.HostPort, result.Usable() ? std::string("the answer is not an image")
                                                       : result.Reason());
    return;
  }
  if (!job.Path.empty()) {
    if (meta->NoStore) {
      // The server asked that the tile not be kept: an older copy goes too.
      if (job.Stale.Meta && RemoveTileFile(job.Path) && job.DiskCache)
        job.DiskCache->Removed(job.Path);
    } else {
      // A first copy never overwrites one another writer put there first; a
      // newer version of a stale tile replaces it in one step.
      const bool placed =
          job.Stale.Meta ? ReplaceTileFile(job.Path, *bytes) : WriteTileFile(job.Path, *bytes);
      if (placed) WriteTileMeta(job.Path, *meta, *bytes);
      if (placed && job.DiskCache) job.DiskCache->Stored(job.Path);
    }
  }
  FRetries.Forget(key);
  const int x = sender.X(), y = sender.Y(), z = sender.Z();
  // The state change reaches the window thread, where OnLoadTile runs.
  FGuard.Post([this, x, y, z] {
    if (FCancel.load()) return;
    if (OnLoadTile) OnLoadTile(x, y, z, 1);
    RequestRepaint();
  });
}

void TVuroduDavServer::Confirmed(TThreadTile& sender, const TTileJob& job) {
  TMeta meta;
  try {
    meta = std::make_shared<const TTileMeta>(
        RefreshedTileMeta(*job.Stale.Meta, sender.Result().Headers, WallClockSeconds()));
  } catch (...) {
    LogCaughtException(llWarning, "tiles", "keeping a confirmed tile failed");
  }
  bool accepted;
  {
    std::lock_guard<std::mutex> lock(FCacheMutex);
    accepted = !FCancel.load() && !sender.Cancel() && meta;
    if (accepted && sender.TileServer() == FTileServer.load()) {
      // The copy in memory, unless another one took its place meanwhile.
      TMemoryTile* found = FCache.Peek(job.Key);
      if (found != nullptr && found->Bytes == job.Stale.Bytes) found->Meta = meta;
    }
    std::lock_guard<std::mutex> jobs(FJobsMutex);
    auto it = FCacheTile.find(job.Key);
    if (it != FCacheTile.end() && it->second.get() == &sender) {
      FFinished.push_back(std::move(it->second));
      FCacheTile.erase(it);
    }
  }
  if (!accepted) return;
  // The tile's bytes stay; its record says how long they are fresh now.
  if (!job.Path.empty()) {
    if (meta->NoStore) {
      if (RemoveTileFile(job.Path) && job.DiskCache) job.DiskCache->Removed(job.Path);
    } else if (TileFileExists(job.Path) && WriteTileMeta(job.Path, *meta, *job.Stale.Bytes) &&
               job.DiskCache) {
      // (A tile the disk cache let go meanwhile gets no record.)
      job.DiskCache->Stored(job.Path);
    }
  }
  FRetries.Forget(job.Key);
}

void TVuroduDavServer::RequestRepaint() {
  if (FParent != 0 && !FCancel.load()) PostMapMessage(FParent, WM_MAPREPAINT, 0, 0);
}

// --- Workers

void TVuroduDavServer::ReapFinished() {
  std::vector<std::shared_ptr<TThreadTile>> done;
  {
    std::lock_guard<std::mutex> lock(FJobsMutex);
    for (auto it = FFinished.begin(); it != FFinished.end();) {
      if ((*it)->Finished()) {
        done.push_back(std::move(*it));
        it = FFinished.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& job : done) job->Join();
}

void TVuroduDavServer::JoinAll() {
  std::vector<std::shared_ptr<TThreadTile>> jobs;
  {
    std::lock_guard<std::mutex> lock(FJobsMutex);
    for (auto& entry : FCacheTile) jobs.push_back(std::move(entry.second));
    FCacheTile.clear();
    for (auto& job : FFinished) jobs.push_back(std::move(job));
    FFinished.clear();
  }
  for (auto& job : jobs) job->SetCancel(true);
  for (auto& job : jobs) job->Join();
}

// --- Back-off of failed tiles

void TVuroduDavServer::RecordFailure(const std::string& key, uint32_t atLeastMs) {
  FRetries.RecordFailure(key, atLeastMs);
  FRetryWake.notify_all();
}

void TVuroduDavServer::Defer(const std::string& key, uint32_t waitMs) {
  FRetries.Defer(key, waitMs);
  FRetryWake.notify_all();
}

void TVuroduDavServer::RetryWatch() {
  std::unique_lock<std::mutex> lock(FRetryMutex);
  while (!FStopRetryWatch) {
    FRetryWake.wait_for(lock, kRetryWatchPeriod);
    if (FStopRetryWatch) break;
    // A tile may be asked for again: the next render will do it.
    if (FRetries.TakeDue()) RequestRepaint();
  }
}

}  // namespace wy

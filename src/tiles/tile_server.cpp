#include "tiles/tile_server.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "geo/global_lock.h"
#include "geo/settings.h"
#include "geo/stream.h"
#include "geo/web_fetch.h"
#include "platform/tick.h"
#include "tiles/image_decode.h"
#include "tiles/tile_download.h"

namespace wy {

namespace {

namespace fs = std::filesystem;

constexpr int kTileSide = 256;
// How often the retry watch looks for tiles whose back-off has run out.
constexpr auto kRetryWatchPeriod = std::chrono::milliseconds(100);
// Failed tiles remembered before the expired ones are forgotten.
constexpr size_t kMaxRetryEntries = 4096;
// Byte budget of the decoded tiles when the setting gives none (two frames
// of a 3840 x 2160 screen in 32-bit tiles).
constexpr int64_t kDefaultDecodedBudget = 64 * 1024 * 1024;

size_t DecodedBudgetSetting() {
  const int64_t value = GetSettingInt("tiles.decoded-cache-bytes", kDefaultDecodedBudget);
  return value < 0 ? static_cast<size_t>(kDefaultDecodedBudget) : static_cast<size_t>(value);
}

// The bytes up to the first zero byte, each taken as the character with that
// code, as UTF-8.
std::string BytesAsText(const std::string& bytes) {
  TMemoryStream stream(bytes);
  return StreamToText(&stream);
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::error_code error;
  if (path.empty() || !fs::is_regular_file(fs::u8path(path), error)) return false;
  std::ifstream file(fs::u8path(path), std::ios::binary);
  if (!file) return false;
  std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return false;
  bytes = std::move(content);
  return true;
}

// Writes through a temporary file and a rename, so a reader never sees half a
// tile. An existing file is left alone.
bool WriteNewFile(const std::string& path, const std::string& bytes) {
  std::error_code error;
  const fs::path target = fs::u8path(path);
  if (fs::exists(target, error)) return false;
  fs::create_directories(target.parent_path(), error);
  if (error) return false;
  fs::path temporary = target;
  temporary += ".part";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
      fs::remove(temporary, error);
      return false;
    }
  }
  fs::rename(temporary, target, error);
  if (error) {
    fs::remove(temporary, error);
    return false;
  }
  return true;
}

}  // namespace

TVuroduDavServer::TVuroduDavServer(TMessageTarget owner, QColor backColor)
    : FParent(owner), FDecodedBudget(DecodedBudgetSetting()) {
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
  TGlobalMapLockGuard lock(GlobalMapLock());
  FCache.clear();
  FDecodedIndex.clear();
  FDecoded.clear();
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
  const TTileCatalogRow& row = TileCatalogRow(value);
  FTileServerInfo.SetTileFormat(row.Format);
  FTileServerInfo.MaxZoom = row.MaxZoom;
  FTileServerInfo.Name = row.Name;
  FTileServerInfo.CopyRight = row.CopyRight;
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
      result.clear();  // a failing custom source gives no address
    }
    return result;
  }
  return CatalogTileUrl(FTileServer.load(), x, y, z, FTileServerInfo.Key, FTileServerInfo.Style);
}

// --- Keys and paths

std::string TVuroduDavServer::ServerFolderName() const {
  if (FTileServerInfo.Style.empty()) return FTileServerInfo.Name;
  return FTileServerInfo.Name + "-" + FTileServerInfo.Style;
}

std::string TVuroduDavServer::TileKey(int x, int y, int z) const {
  return "\\" + ServerFolderName() + "\\" + std::to_string(z) + "\\" + std::to_string(x) + "\\" +
         std::to_string(y);
}

std::string TVuroduDavServer::TileFilePath(int x, int y, int z) const {
  if (FLocalCache.empty()) return std::string();
  const std::string folder = SanitizePathComponent(ServerFolderName());
  if (folder.empty()) return std::string();
  return FLocalCache + "/" + folder + "/" + std::to_string(z) + "/" + std::to_string(x) + "/" +
         std::to_string(y);
}

// --- Properties

void TVuroduDavServer::SetCacheSize(uint16_t value) {
  {
    TGlobalMapLockGuard lock(GlobalMapLock());
    if (value == FCacheSize) return;
    FCacheSize = value;
  }
  CheckCacheSize();
}

int TVuroduDavServer::CacheCount() const {
  TGlobalMapLockGuard lock(GlobalMapLock());
  return static_cast<int>(FCache.size());
}

void TVuroduDavServer::SetLocalCache(const std::string& value) {
  std::string folder = value;
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  FLocalCache = folder;
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
    TGlobalMapLockGuard lock(GlobalMapLock());
    CancelActiveThread();
    FCache.clear();
    FDecodedIndex.clear();
    FDecoded.clear();
    FDecodedBytes = 0;
  }
  std::lock_guard<std::mutex> lock(FRetryMutex);
  FRetries.clear();
}

void TVuroduDavServer::CheckCacheSize() {
  if (FCancel.load()) return;
  TGlobalMapLockGuard lock(GlobalMapLock());
  while (FCache.size() > FCacheSize) {
    ForgetDecoded(FCache.back().first, FCache.back().second);
    FCache.pop_back();
  }
}

void TVuroduDavServer::addtocache(const std::string& key, const std::string& path, TBytes bytes) {
  try {
    TGlobalMapLockGuard lock(GlobalMapLock());
    FCache.emplace_front(key, bytes);
    if (!path.empty()) WriteNewFile(path, *bytes);
  } catch (...) {
    // A full disk or no memory: the tile is simply not kept.
  }
  CheckCacheSize();
}

void TVuroduDavServer::releaseCacheSize(const std::string& key, const std::string& path) {
  TGlobalMapLockGuard lock(GlobalMapLock());
  for (auto it = FCache.begin(); it != FCache.end(); ++it) {
    if (it->first == key) {
      ForgetDecoded(it->first, it->second);
      FCache.erase(it);
      break;
    }
  }
  if (!path.empty() && !FTileServerInfo.LocalPath) {
    std::error_code error;
    fs::remove(fs::u8path(path), error);
  }
}

bool TVuroduDavServer::DecodeInto(const std::string& bytes) {
  if (FStringGrid) {
    FStringTile = BytesAsText(bytes);
    return true;
  }
  QImage image;
  if (!DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), FTileFormat,
                   image))
    return false;
  FTile = std::move(image);
  return true;
}

// --- Decoded tiles

size_t TVuroduDavServer::DecodedCacheBudget() const {
  TGlobalMapLockGuard lock(GlobalMapLock());
  return FDecodedBudget;
}

void TVuroduDavServer::SetDecodedCacheBudget(size_t bytes) {
  TGlobalMapLockGuard lock(GlobalMapLock());
  FDecodedBudget = bytes;
  TrimDecoded();
}

size_t TVuroduDavServer::DecodedCacheBytes() const {
  TGlobalMapLockGuard lock(GlobalMapLock());
  return FDecodedBytes;
}

int TVuroduDavServer::DecodedCount() const {
  TGlobalMapLockGuard lock(GlobalMapLock());
  return static_cast<int>(FDecoded.size());
}

void TVuroduDavServer::RememberDecoded(const std::string& key, const TBytes& bytes,
                                       const QImage& image) {
  TGlobalMapLockGuard lock(GlobalMapLock());
  const size_t size = image.isNull() ? 0 : static_cast<size_t>(image.sizeInBytes());
  auto found = FDecodedIndex.find(key);
  if (found != FDecodedIndex.end()) {
    FDecodedBytes -= found->second->Size;
    FDecoded.erase(found->second);
    FDecodedIndex.erase(found);
  }
  // An image larger than the whole budget would only push everything out.
  if (size == 0 || size > FDecodedBudget) return;
  try {
    FDecoded.push_front(TDecodedTile{key, bytes, image, size});
    try {
      FDecodedIndex[key] = FDecoded.begin();
    } catch (...) {
      FDecoded.pop_front();
      throw;
    }
  } catch (...) {
    return;  // no memory: the tile is decoded again next time
  }
  FDecodedBytes += size;
  TrimDecoded();
}

void TVuroduDavServer::ForgetDecoded(const std::string& key, const TBytes& bytes) {
  auto found = FDecodedIndex.find(key);
  // Only the entry made from these bytes: a newer copy of the tile further
  // up the memory cache keeps its image.
  if (found == FDecodedIndex.end() || found->second->Bytes != bytes) return;
  FDecodedBytes -= found->second->Size;
  FDecoded.erase(found->second);
  FDecodedIndex.erase(found);
}

void TVuroduDavServer::TrimDecoded() {
  while (FDecodedBytes > FDecodedBudget && !FDecoded.empty()) {
    FDecodedBytes -= FDecoded.back().Size;
    FDecodedIndex.erase(FDecoded.back().Key);
    FDecoded.pop_back();
  }
}

bool TVuroduDavServer::LoadFromMemoryCache(int x, int y, int z) {
  const std::string key = TileKey(x, y, z);
  bool found = false;
  {
    TGlobalMapLockGuard lock(GlobalMapLock());
    for (const auto& entry : FCache) {
      if (entry.first == key) {
        if (!entry.second) break;
        auto decoded = FStringGrid ? FDecodedIndex.end() : FDecodedIndex.find(key);
        if (decoded != FDecodedIndex.end() && decoded->second->Bytes == entry.second) {
          FTile = decoded->second->Image;
          // Used now: it moves to the front of the eviction order.
          FDecoded.splice(FDecoded.begin(), FDecoded, decoded->second);
          found = true;
          break;
        }
        found = DecodeInto(*entry.second);
        if (found && !FStringGrid) RememberDecoded(key, entry.second, FTile);
        break;
      }
    }
  }
  if (found && OnLoadTile) OnLoadTile(x, y, z, 1);
  return found;
}

bool TVuroduDavServer::LoadFromLocalCache(int x, int y, int z, std::string& bytes) {
  const std::string path = TileFilePath(x, y, z);
  if (path.empty()) return false;
  bool found;
  {
    TGlobalMapLockGuard lock(GlobalMapLock());
    found = ReadWholeFile(path, bytes);
  }
  if (!found && OnLoadTile) OnLoadTile(x, y, z, 0);
  return found;
}

void TVuroduDavServer::StoreLoaded(const std::string& key, std::string bytes) {
  TBytes shared;
  try {
    shared = std::make_shared<const std::string>(std::move(bytes));
  } catch (...) {
    return;  // no memory: the tile is simply not kept
  }
  // Remembered first, so that a memory cache too small to keep the tile
  // drops its image as well.
  if (!FStringGrid) RememberDecoded(key, shared, FTile);
  addtocache(key, std::string(), shared);
}

// --- Retrieval

const QImage& TVuroduDavServer::GetTile(int x, int y, int z) {
  FTileOk = Retrieve(x, y, z);
  return FTile;
}

std::string TVuroduDavServer::GetStringTile(int x, int y, int z) {
  Retrieve(x, y, z);
  return FStringTile;
}

void TVuroduDavServer::FirePlaceholder(int x, int y, int z) {
  if (FStringGrid)
    FStringTile.clear();
  else
    FTile = FWaitTile;
  if (OnLoadTile) OnLoadTile(x, y, z, 0);
}

bool TVuroduDavServer::Retrieve(int x, int y, int z) {
  ReapFinished();
  if (LoadFromMemoryCache(x, y, z)) return true;

  const std::string key = TileKey(x, y, z);
  std::string bytes;
  if (LoadFromLocalCache(x, y, z, bytes)) {
    bool decoded;
    {
      TGlobalMapLockGuard lock(GlobalMapLock());
      decoded = !bytes.empty() && DecodeInto(bytes);
      if (decoded) StoreLoaded(key, std::move(bytes));
    }
    if (decoded) {
      if (OnLoadTile) OnLoadTile(x, y, z, 1);
      return true;
    }
    // A damaged file: delete it so that the next call downloads the tile.
    releaseCacheSize(key, TileFilePath(x, y, z));
    FirePlaceholder(x, y, z);
    return false;
  }

  if (FTileServerInfo.LocalPath) {
    const std::string fileName = GetTileUrl(x, y, z);
    bool decoded = ReadWholeFile(fileName, bytes) && !bytes.empty();
    if (decoded) {
      TGlobalMapLockGuard lock(GlobalMapLock());
      decoded = DecodeInto(bytes);
      if (decoded) StoreLoaded(key, std::move(bytes));
    }
    if (decoded) {
      if (OnLoadTile) OnLoadTile(x, y, z, 1);
      return true;
    }
    FirePlaceholder(x, y, z);
    return false;
  }

  if (!RetryPending(key)) StartDownload(x, y, z, key);
  FirePlaceholder(x, y, z);
  return false;
}

void TVuroduDavServer::StartDownload(int x, int y, int z, const std::string& key) {
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
  const std::string path = TileFilePath(x, y, z);
  const TStreamType format = FTileFormat;
  std::lock_guard<std::mutex> lock(FJobsMutex);
  try {
    FCacheTile[key] = std::make_shared<TThreadTile>(
        url, FTileServer.load(), x, y, z,
        [this, key, path, format](TThreadTile& sender) { doGetTile(sender, key, path, format); });
  } catch (...) {
    // No thread or no memory: the tile is asked for again on a later paint.
  }
}

void TVuroduDavServer::doGetTile(TThreadTile& sender, const std::string& key,
                                 const std::string& path, TStreamType format) {
  TTileFetchResult& result = sender.Result();
  // Only a whole image is a tile: error pages, empty or cut bodies and bytes
  // that do not decode are dropped and the tile is asked for again later.
  bool usable = result.Usable();
  if (usable) {
    QImage probe;
    usable = DecodeImage(reinterpret_cast<const uint8_t*>(result.Body.data()), result.Body.size(),
                         format, probe);
  }
  bool accepted;
  bool stored = false;
  {
    TGlobalMapLockGuard lock(GlobalMapLock());
    accepted = !FCancel.load() && !sender.Cancel();
    if (accepted && usable && sender.TileServer() == FTileServer.load()) {
      addtocache(key, path, std::make_shared<const std::string>(std::move(result.Body)));
      stored = true;
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
    if (!usable) RecordFailure(key);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(FRetryMutex);
    FRetries.erase(key);
  }
  const int x = sender.X(), y = sender.Y(), z = sender.Z();
  // The state change reaches the window thread, where OnLoadTile runs.
  FGuard.Post([this, x, y, z] {
    if (FCancel.load()) return;
    if (OnLoadTile) OnLoadTile(x, y, z, 1);
    RequestRepaint();
  });
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

bool TVuroduDavServer::RetryPending(const std::string& key) {
  std::lock_guard<std::mutex> lock(FRetryMutex);
  auto it = FRetries.find(key);
  if (it == FRetries.end()) return false;
  return TickElapsed(TickCount(), it->second.Start) < it->second.DelayMs;
}

void TVuroduDavServer::RecordFailure(const std::string& key) {
  {
    std::lock_guard<std::mutex> lock(FRetryMutex);
    if (FRetries.size() >= kMaxRetryEntries) {
      // Forget tiles whose back-off has run out; they start again from the
      // first delay should they fail once more.
      const uint32_t now = TickCount();
      for (auto it = FRetries.begin(); it != FRetries.end();) {
        if (TickElapsed(now, it->second.Start) >= it->second.DelayMs)
          it = FRetries.erase(it);
        else
          ++it;
      }
    }
    TRetry& retry = FRetries[key];
    retry.DelayMs =
        retry.DelayMs == 0 ? kRetryFirstMs : std::min<uint32_t>(retry.DelayMs * 2, kRetryMaxMs);
    retry.Start = TickCount();
    retry.Signalled = false;
  }
  FRetryWake.notify_all();
}

void TVuroduDavServer::RetryWatch() {
  std::unique_lock<std::mutex> lock(FRetryMutex);
  while (!FStopRetryWatch) {
    FRetryWake.wait_for(lock, kRetryWatchPeriod);
    if (FStopRetryWatch) break;
    bool due = false;
    const uint32_t now = TickCount();
    for (auto& entry : FRetries) {
      TRetry& retry = entry.second;
      if (!retry.Signalled && TickElapsed(now, retry.Start) >= retry.DelayMs) {
        retry.Signalled = true;
        due = true;
      }
    }
    // A tile may be asked for again: the next render will do it.
    if (due) RequestRepaint();
  }
}

}  // namespace wy

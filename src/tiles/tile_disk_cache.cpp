#include "tiles/tile_disk_cache.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "geo/settings.h"
#include "platform/log.h"
#include "tiles/tile_file.h"

namespace wy {

namespace {

namespace fs = std::filesystem;

constexpr int64_t kDefaultBudget = 500LL * 1000 * 1000;
// The whole folder is looked at again this often.
constexpr auto kRescanInterval = std::chrono::minutes(30);
// Reports are taken in batches: the thread waits this long after the first
// one (unless someone waits for it), so that a screenful of tiles read from
// disk costs it one wake-up instead of one each.
constexpr auto kBatchDelay = std::chrono::milliseconds(50);
// A temporary file this old belongs to a writer that ended without
// finishing it.
constexpr int64_t kAbandonedAfterNs = int64_t{3600} * 1000 * 1000 * 1000;

int64_t NowNs() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}

int64_t Ns(const struct timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool IsNumber(const std::string& name) {
  if (name.empty() || name.size() > 10) return false;
  for (char c : name)
    if (c < '0' || c > '9') return false;
  return true;
}

// The regular file's size and times; false when it is not one.
bool StatFile(const std::string& path, struct stat& info) {
  return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The entries of a folder by name, split into folders and the rest.
void ListFolder(const std::string& path, std::vector<std::string>& folders,
                std::vector<std::string>& files) {
  std::error_code error;
  for (fs::directory_iterator it(fs::u8path(path), error), end; !error && it != end;
       it.increment(error)) {
    std::error_code typeError;
    const std::string name = it->path().filename().u8string();
    if (it->is_directory(typeError) && !it->is_symlink(typeError))
      folders.push_back(name);
    else
      files.push_back(name);
  }
}

// One tile found below a cache folder.
struct TFoundTile {
  std::string Path;
  std::string Folder;
  uint64_t Bytes = 0;  // the tile and its record
  int64_t UseNs = 0;   // its file's access time
};

// Walks the tile folders below `root` (<root>/<name>/<z>/<x>/<y>) and calls
// `visit` for every tile. With `tidy`, records without their tile and
// abandoned temporary files are deleted on the way. Stops early when `stop`
// becomes true.
void WalkTiles(const std::string& root, const std::function<void(const TFoundTile&)>& visit,
               bool tidy, const std::atomic<bool>* stop) {
  const int64_t now = NowNs();
  auto stopped = [stop] { return stop != nullptr && stop->load(); };
  std::vector<std::string> tileFolders, rootFiles;
  ListFolder(root, tileFolders, rootFiles);
  for (const std::string& name : tileFolders) {
    const std::string folderPath = root + "/" + name;
    std::vector<std::string> zs, ignored;
    ListFolder(folderPath, zs, ignored);
    for (const std::string& z : zs) {
      if (!IsNumber(z)) continue;
      std::vector<std::string> xs;
      ListFolder(folderPath + "/" + z, xs, ignored);
      for (const std::string& x : xs) {
        if (stopped()) return;
        if (!IsNumber(x)) continue;
        const std::string xPath = folderPath + "/" + z + "/" + x;
        std::vector<std::string> subfolders, files;
        ListFolder(xPath, subfolders, files);
        std::sort(files.begin(), files.end());
        for (const std::string& file : files) {
          const std::string path = xPath + "/" + file;
          struct stat info {};
          if (IsNumber(file)) {
            if (!StatFile(path, info)) continue;
            TFoundTile tile;
            tile.Path = path;
            tile.Folder = name;
            tile.Bytes = static_cast<uint64_t>(info.st_size);
            tile.UseNs = Ns(info.st_atim);
            struct stat record {};
            if (StatFile(TileMetaPath(path), record))
              tile.Bytes += static_cast<uint64_t>(record.st_size);
            visit(tile);
          } else if (tidy && IsTileMetaName(file)) {
            const std::string tileName = file.substr(0, file.size() - 5);
            if (!std::binary_search(files.begin(), files.end(), tileName)) {
              std::error_code error;
              fs::remove(fs::u8path(path), error);
            }
          } else if (tidy && IsTemporaryTileName(file)) {
            if (StatFile(path, info) && now - Ns(info.st_mtim) > kAbandonedAfterNs) {
              std::error_code error;
              fs::remove(fs::u8path(path), error);
            }
          }
        }
      }
    }
  }
}

std::mutex gRegistryMutex;
std::map<std::string, std::weak_ptr<TTileDiskCache>>& Registry() {
  static auto* registry = new std::map<std::string, std::weak_ptr<TTileDiskCache>>();
  return *registry;
}

}  // namespace

uint64_t DiskCacheBudget() {
  const int64_t value = GetSettingInt("tiles.disk-cache-bytes", kDefaultBudget);
  return static_cast<uint64_t>(value < 0 ? kDefaultBudget : value);
}

std::shared_ptr<TTileDiskCache> TTileDiskCache::ForFolder(const std::string& root) {
  std::lock_guard<std::mutex> lock(gRegistryMutex);
  auto& registry = Registry();
  for (auto it = registry.begin(); it != registry.end();) {
    if (it->second.expired())
      it = registry.erase(it);
    else
      ++it;
  }
  std::shared_ptr<TTileDiskCache> cache = registry[root].lock();
  if (!cache) {
    cache = std::make_shared<TTileDiskCache>(root);
    registry[root] = cache;
  }
  return cache;
}

TTileDiskCache::TTileDiskCache(std::string root) : FRoot(std::move(root)) {
  FThread = std::thread([this] { Run(); });
}

TTileDiskCache::~TTileDiskCache() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FStop = true;
  }
  FStopping.store(true);
  FWake.notify_all();
  FIdle.notify_all();
  if (FThread.joinable()) FThread.join();
}

void TTileDiskCache::Queue(TReportKind kind, const std::string& path) {
  if (path.empty()) return;
  bool wake = false;
  try {
    std::lock_guard<std::mutex> lock(FMutex);
    wake = FReports.empty();
    FReports.push_back(TReport{kind, path});
    ++FQueued;
  } catch (...) {
    // No memory: the report is lost; the next look at the folder counts
    // the tile anyway.
    LogCaughtException(llWarning, "tiles", "reporting a tile to the disk cache");
    return;
  }
  if (wake) FWake.notify_one();
}

void TTileDiskCache::Stored(const std::string& tilePath) {
  Queue(rkStored, tilePath);
}

void TTileDiskCache::Used(const std::string& tilePath) {
  Queue(rkUsed, tilePath);
}

void TTileDiskCache::Removed(const std::string& tilePath) {
  Queue(rkRemoved, tilePath);
}

void TTileDiskCache::Flush() {
  std::unique_lock<std::mutex> lock(FMutex);
  const uint64_t target = FQueued;
  ++FFlushing;
  FWake.notify_one();
  FIdle.wait(lock, [&] { return FStop || (FScanned && FHandled >= target); });
  --FFlushing;
}

uint64_t TTileDiskCache::Bytes() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FBytes;
}

size_t TTileDiskCache::TileCount() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FCount;
}

uint64_t TTileDiskCache::Evicted() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FEvicted;
}

void TTileDiskCache::Run() {
  try {
    Scan();
    Evict();
  } catch (...) {
    LogCaughtException(llWarning, "tiles", "looking at the disk cache " + FRoot);
  }
  auto lastScan = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(FMutex);
  FScanned = true;
  FIdle.notify_all();
  for (;;) {
    FWake.wait_until(lock, lastScan + kRescanInterval, [&] { return FStop || !FReports.empty(); });
    if (FStop) break;
    if (!FReports.empty())
      FWake.wait_for(lock, kBatchDelay, [&] { return FStop || FFlushing > 0; });
    if (FStop) break;
    std::vector<TReport> reports;
    reports.swap(FReports);
    const uint64_t handled = FQueued;
    lock.unlock();
    try {
      for (const TReport& report : reports) Handle(report);
      if (std::chrono::steady_clock::now() - lastScan >= kRescanInterval) {
        Scan();
        lastScan = std::chrono::steady_clock::now();
      }
      Evict();
    } catch (...) {
      // No memory, most likely: what was not counted is counted at the
      // next look at the folder.
      LogCaughtException(llWarning, "tiles", "keeping the disk cache " + FRoot);
    }
    lock.lock();
    FHandled = handled;
    FIdle.notify_all();
  }
}

void TTileDiskCache::Scan() {
  FEntries.clear();
  FOrder.clear();
  uint64_t bytes = 0;
  WalkTiles(
      FRoot,
      [&](const TFoundTile& tile) {
        Put(tile.Path, tile.Bytes, tile.UseNs);
        bytes += tile.Bytes;
      },
      true, &FStopping);
  std::lock_guard<std::mutex> lock(FMutex);
  FBytes = bytes;
  FCount = FEntries.size();
}

void TTileDiskCache::Handle(const TReport& report) {
  switch (report.Kind) {
    case rkStored:
    case rkUsed: {
      if (report.Kind == rkUsed) {
        if (!TouchTileFile(report.Path)) {
          Forget(report.Path);
          break;
        }
        // A tile counted already keeps its size.
        auto known = FEntries.find(report.Path);
        if (known != FEntries.end()) {
          Put(report.Path, known->second.Bytes, NowNs());
          break;
        }
      }
      struct stat info {};
      if (!StatFile(report.Path, info)) {
        Forget(report.Path);
        break;
      }
      uint64_t bytes = static_cast<uint64_t>(info.st_size);
      struct stat record {};
      if (StatFile(TileMetaPath(report.Path), record))
        bytes += static_cast<uint64_t>(record.st_size);
      Put(report.Path, bytes, NowNs());
      break;
    }
    case rkRemoved:
      Forget(report.Path);
      break;
  }
}

void TTileDiskCache::Put(const std::string& path, uint64_t bytes, int64_t useNs) {
  Forget(path);
  const TUse use{useNs, ++FSequence};
  FOrder.emplace(use, path);
  try {
    FEntries.emplace(path, TEntry{bytes, use});
  } catch (...) {
    FOrder.erase(use);
    throw;
  }
  std::lock_guard<std::mutex> lock(FMutex);
  FBytes += bytes;
  FCount = FEntries.size();
}

void TTileDiskCache::Forget(const std::string& path) {
  auto it = FEntries.find(path);
  if (it == FEntries.end()) return;
  FOrder.erase(it->second.Use);
  const uint64_t bytes = it->second.Bytes;
  FEntries.erase(it);
  std::lock_guard<std::mutex> lock(FMutex);
  FBytes -= std::min(FBytes, bytes);
  FCount = FEntries.size();
}

void TTileDiskCache::Evict() {
  const uint64_t budget = DiskCacheBudget();
  if (budget == 0) return;
  uint64_t evicted = 0;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      if (FBytes <= budget || FOrder.empty()) break;
    }
    if (FStopping.load()) break;
    const std::string path = FOrder.begin()->second;
    RemoveTileFile(path);
    Forget(path);
    ++evicted;
  }
  if (evicted == 0) return;
  std::lock_guard<std::mutex> lock(FMutex);
  FEvicted += evicted;
}

std::vector<TTileFolderStats> TileCacheStats(const std::string& root) {
  std::map<std::string, TTileFolderStats> folders;
  WalkTiles(
      root,
      [&](const TFoundTile& tile) {
        TTileFolderStats& stats = folders[tile.Folder];
        const int64_t use = tile.UseNs / 1000000000;
        if (stats.Tiles == 0 || use < stats.OldestUse) stats.OldestUse = use;
        if (stats.Tiles == 0 || use > stats.NewestUse) stats.NewestUse = use;
        stats.Name = tile.Folder;
        ++stats.Tiles;
        stats.Bytes += tile.Bytes;
      },
      false, nullptr);
  std::vector<TTileFolderStats> result;
  for (auto& entry : folders) result.push_back(std::move(entry.second));
  return result;
}

TTileCacheCleared ClearTileCache(const std::string& root, int64_t usedBefore) {
  TTileCacheCleared cleared;
  std::vector<std::string> removed;
  WalkTiles(
      root,
      [&](const TFoundTile& tile) {
        if (usedBefore >= 0 && tile.UseNs / 1000000000 >= usedBefore) return;
        removed.push_back(tile.Path);
        cleared.Bytes += tile.Bytes;
      },
      true, nullptr);
  for (const std::string& path : removed) {
    if (RemoveTileFile(path)) ++cleared.Tiles;
    // The folders above it, while they are empty (the root stays).
    std::error_code error;
    fs::path folder = fs::u8path(path).parent_path();
    for (int level = 0; level < 3 && !error; ++level) {
      if (!fs::remove(folder, error) || error) break;
      folder = folder.parent_path();
    }
  }
  return cleared;
}

}  // namespace wy

#include "tiles/tile_disk_cache.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "geo/settings.h"
#include "support/test_helpers.h"
#include "tiles/tile_file.h"
#include "tiles/tile_meta.h"

namespace wy {
namespace {

namespace fs = std::filesystem;
using test_support::TScratchDir;

// Sets a file's access and modification times (seconds since 1970).
void SetTimes(const std::string& path, int64_t access, int64_t modified) {
  const struct timespec times[2] = {{static_cast<time_t>(access), 0},
                                    {static_cast<time_t>(modified), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

int64_t AccessTime(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_atim.tv_sec) : -1;
}

// Bytes of every file below the folder, the tile folders' and the rest.
uint64_t BytesBelow(const std::string& root) {
  uint64_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) total += entry.file_size();
  return total;
}

class TileDiskCacheTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetSettings(); }

  // A tile of `size` bytes last used at `used` (seconds since 1970).
  std::string PutTile(const std::string& key, size_t size, int64_t used = 1000000) {
    const std::string path = FDir.Sub(key);
    EXPECT_TRUE(WriteTileFile(path, std::string(size, 't')));
    SetTimes(path, used, used);
    return path;
  }

  TScratchDir FDir;
};

// Over budget, the tiles least recently used go first, each with its record;
// a tile served from disk counts as used then, also for the next process.
TEST_F(TileDiskCacheTest, EvictionKeepsTheBudgetLeastRecentlyUsedFirst) {
  SetSetting("tiles.disk-cache-bytes", "3500");
  const std::string a = PutTile("OSM/4/1/1", 1000, 100);
  const std::string b = PutTile("OSM/4/2/1", 1000, 200);
  const std::string c = PutTile("OCM/4/3/1", 1000, 300);  // one budget for every tile folder
  TTileDiskCache cache(FDir.Path());
  cache.Flush();
  EXPECT_EQ(cache.TileCount(), 3u);
  EXPECT_EQ(cache.Bytes(), 3000u);

  cache.Used(a);
  const std::string d = PutTile("OSM/5/1/1", 1000);
  cache.Stored(d);
  cache.Flush();
  EXPECT_FALSE(fs::exists(b));  // not a, the oldest stored: a was used since
  EXPECT_TRUE(fs::exists(a) && fs::exists(c) && fs::exists(d));
  EXPECT_GT(AccessTime(a), 300);
  EXPECT_EQ(cache.Bytes(), 3000u);
  EXPECT_EQ(cache.Evicted(), 1u);

  // Records count, and go with their tile.
  TTileMeta meta;
  meta.Expires = 1;
  ASSERT_TRUE(WriteTileMeta(c, meta, std::string(1000, 't')));
  cache.Stored(c);
  cache.Flush();
  EXPECT_EQ(cache.Bytes(), 3000u + fs::file_size(TileMetaPath(c)));
  cache.Used(a);
  cache.Used(d);
  const std::string e = PutTile("OSM/5/2/1", 1000);
  cache.Stored(e);
  cache.Flush();
  EXPECT_FALSE(fs::exists(TileMetaPath(c)));
  EXPECT_FALSE(fs::exists(c));
  EXPECT_LE(BytesBelow(FDir.Path()), 3500u);

  // A lower budget is kept at the next report.
  SetSetting("tiles.disk-cache-bytes", "1500");
  cache.Used(e);
  cache.Flush();
  EXPECT_EQ(cache.TileCount(), 1u);
  EXPECT_TRUE(fs::exists(e));
  EXPECT_LE(BytesBelow(FDir.Path()), 1500u);
}

// A new process finds the order in the files' access times and keeps the
// budget from its first look at the folder.
TEST_F(TileDiskCacheTest, NextProcessEvictsByTheRecordedUse) {
  const std::string a = PutTile("OSM/4/1/1", 1000, 500);
  const std::string b = PutTile("OSM/4/2/1", 1000, 100);
  const std::string c = PutTile("OSM/4/3/1", 1000, 300);
  SetSetting("tiles.disk-cache-bytes", "2000");
  TTileDiskCache cache(FDir.Path());
  cache.Flush();
  EXPECT_FALSE(fs::exists(b));
  EXPECT_TRUE(fs::exists(a) && fs::exists(c));
  SetSetting("tiles.disk-cache-bytes", "0");  // no bound
  const std::string d = PutTile("OSM/4/4/1", 5000);
  cache.Stored(d);
  cache.Flush();
  EXPECT_EQ(cache.TileCount(), 3u);
  EXPECT_EQ(cache.Bytes(), 7000u);
}

// Looking at the folder counts only tiles and their records, deletes what
// killed writers left (records without their tile, old temporary files) and
// leaves everything else alone.
TEST_F(TileDiskCacheTest, LookingAtTheFolderTidiesItAndCountsOnlyTiles) {
  const std::string tile = PutTile("OSM/4/1/1", 1000);
  const std::string orphan = FDir.Sub("OSM/4/1/2.meta");
  const std::string oldPart = FDir.Sub("OSM/4/1/3.999-1.part");
  const std::string newPart = FDir.Sub("OSM/4/1/4.999-2.part");
  const std::string answer = FDir.Sub("PLACES/12345678");
  const std::string notes = FDir.Sub("OSM/notes/readme");
  for (const std::string& path : {orphan, oldPart, newPart, answer, notes}) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << std::string(700, 'x');
  }
  const int64_t now = static_cast<int64_t>(::time(nullptr));
  SetTimes(oldPart, now - 2 * 3600, now - 2 * 3600);
  TTileDiskCache cache(FDir.Path());
  cache.Flush();
  EXPECT_EQ(cache.TileCount(), 1u);
  EXPECT_EQ(cache.Bytes(), 1000u);
  EXPECT_FALSE(fs::exists(orphan));
  EXPECT_FALSE(fs::exists(oldPart));
  EXPECT_TRUE(fs::exists(newPart));  // may belong to a writer at work
  EXPECT_TRUE(fs::exists(answer));
  EXPECT_TRUE(fs::exists(notes));
  EXPECT_TRUE(fs::exists(tile));
}

TEST_F(TileDiskCacheTest, StatsAndClearingByLastUse) {
  PutTile("OSM/4/1/1", 1000, 1000);
  PutTile("OSM/4/1/2", 2000, 3000);
  PutTile("OSM/5/9/9", 500, 5000);
  const std::string cycle = PutTile("OCM/4/1/1", 700, 2000);
  const std::string answer = FDir.Sub("PLACES/12345678");
  fs::create_directories(fs::path(answer).parent_path());
  std::ofstream(answer) << "answer";

  const auto stats = TileCacheStats(FDir.Path());
  ASSERT_EQ(stats.size(), 2u);
  EXPECT_EQ(stats[0].Name, "OCM");
  EXPECT_EQ(stats[0].Tiles, 1u);
  EXPECT_EQ(stats[0].Bytes, 700u);
  EXPECT_EQ(stats[1].Name, "OSM");
  EXPECT_EQ(stats[1].Tiles, 3u);
  EXPECT_EQ(stats[1].Bytes, 3500u);
  EXPECT_EQ(stats[1].OldestUse, 1000);
  EXPECT_EQ(stats[1].NewestUse, 5000);

  // Used before 2500: the first OSM tile and the OCM one; their folders go
  // when they are left empty.
  const TTileCacheCleared old = ClearTileCache(FDir.Path(), 2500);
  EXPECT_EQ(old.Tiles, 2u);
  EXPECT_EQ(old.Bytes, 1700u);
  EXPECT_FALSE(fs::exists(FDir.Sub("OCM")));
  EXPECT_TRUE(fs::exists(FDir.Sub("OSM/4/1/2")));
  const TTileCacheCleared all = ClearTileCache(FDir.Path(), -1);
  EXPECT_EQ(all.Tiles, 2u);
  EXPECT_TRUE(TileCacheStats(FDir.Path()).empty());
  EXPECT_TRUE(fs::exists(answer));
  EXPECT_TRUE(fs::exists(FDir.Path()));
}

// Servers of one folder share its cache; it goes with the last of them.
TEST_F(TileDiskCacheTest, OnePerFolder) {
  auto first = TTileDiskCache::ForFolder(FDir.Path());
  auto second = TTileDiskCache::ForFolder(FDir.Path());
  EXPECT_EQ(first.get(), second.get());
  TScratchDir other;
  EXPECT_NE(TTileDiskCache::ForFolder(other.Path()).get(), first.get());
  const std::weak_ptr<TTileDiskCache> watch = first;
  first.reset();
  second.reset();
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace wy

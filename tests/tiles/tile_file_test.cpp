#include "tiles/tile_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/test_helpers.h"

namespace wy {
namespace {

using test_support::TScratchDir;

// Several layers, maps or programs may write one tile at the same moment:
// the file that results is exactly one writer's bytes, the first one's, and
// no temporary file stays behind.
TEST(TileFile, WritersOfOneTileNeverMixTheirBytes) {
  TScratchDir dir;
  constexpr int kWriters = 4;
  std::vector<std::string> contents;
  for (int i = 0; i < kWriters; ++i)
    contents.push_back(std::string(256 * 1024 + i * 4099, static_cast<char>('a' + i)));
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    const std::string folder = "OSM/4/" + std::to_string(round);
    const std::string path = dir.Sub(folder + "/5");
    std::atomic<int> ready{0};
    std::atomic<int> placed{0};
    std::vector<std::thread> writers;
    for (int i = 0; i < kWriters; ++i) {
      writers.emplace_back([&, i] {
        ++ready;
        while (ready.load() < kWriters) std::this_thread::yield();
        if (WriteTileFile(path, contents[i])) ++placed;
      });
    }
    for (auto& writer : writers) writer.join();
    std::string bytes;
    ASSERT_TRUE(ReadTileFile(path, bytes));
    bool whole = false;
    for (const auto& content : contents) whole = whole || bytes == content;
    EXPECT_TRUE(whole) << bytes.size() << " bytes";
    EXPECT_EQ(placed.load(), 1);
    EXPECT_EQ(dir.FilesIn(folder), std::vector<std::string>{"5"});
  }
}

TEST(TileFile, AnExistingFileIsNeverRewritten) {
  TScratchDir dir;
  const std::string path = dir.Sub("OSM/1/2/3");
  std::string bytes = "unchanged";
  EXPECT_FALSE(ReadTileFile(path, bytes));
  EXPECT_EQ(bytes, "unchanged");
  EXPECT_TRUE(WriteTileFile(path, "first"));
  EXPECT_FALSE(WriteTileFile(path, "second"));
  ASSERT_TRUE(ReadTileFile(path, bytes));
  EXPECT_EQ(bytes, "first");
  EXPECT_TRUE(RemoveTileFile(path));
  EXPECT_FALSE(RemoveTileFile(path));
  EXPECT_FALSE(ReadTileFile(dir.Sub("OSM/1/2"), bytes));  // a folder is no tile
}

// A newer version of a tile replaces the file in one step: a reader meanwhile
// gets the old bytes or the new ones, whole, never a mix or nothing.
TEST(TileFile, ReplacingNeverShowsReadersAPartialTile) {
  TScratchDir dir;
  const std::string path = dir.Sub("OSM/4/8/5");
  const std::string versions[] = {std::string(300 * 1024, 'o'), std::string(200 * 1024 + 7, 'n')};
  ASSERT_TRUE(WriteTileFile(path, versions[0]));
  std::atomic<bool> done{false};
  std::atomic<int> reads{0}, bad{0};
  std::thread reader([&] {
    while (!done.load()) {
      std::string bytes;
      if (!ReadTileFile(path, bytes) || (bytes != versions[0] && bytes != versions[1])) ++bad;
      ++reads;
    }
  });
  for (int i = 1; i <= 200; ++i) ASSERT_TRUE(ReplaceTileFile(path, versions[i % 2]));
  while (reads.load() < 50) std::this_thread::yield();
  done = true;
  reader.join();
  EXPECT_EQ(bad.load(), 0);
  std::string bytes;
  ASSERT_TRUE(ReadTileFile(path, bytes));
  EXPECT_EQ(bytes, versions[0]);
  EXPECT_EQ(dir.FilesIn("OSM/4/8"), std::vector<std::string>{"5"});
}

}  // namespace
}  // namespace wy

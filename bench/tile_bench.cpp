// TVuroduDavServer::GetTile of tiles that are already in the memory cache,
// and what the memory cache costs.
//
// The cache keeps tiles compressed, so a hit is a key lookup in the cache
// list plus a decode. GetTile runs for every visible tile on every full
// render. The tiles come from a local tile source (PNG files in a temporary
// folder), so no network is involved; one GetTile per tile loads them into
// the memory cache before anything is timed.
//
// Before the benchmarks run, the heap in use (mallinfo2) is measured before
// and after filling the default cache of 256 tiles, and printed.
//
// Also: GetTile of tiles found in the disk cache (read with its record,
// decode, keep), and what a download worker spends writing a tile's file
// (and its record) to the disk cache (a temporary file of its own, then put
// in place), beside a plain write and rename for comparison.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/wall_clock.h"
#include "support/bench_main.h"
#include "support/image_helpers.h"
#include "tiles/image_decode.h"
#include "tiles/tile_file.h"
#include "tiles/tile_meta.h"
#include "tiles/tile_server.h"

namespace {

constexpr int kTileCount = 256;  // the default cache size
constexpr int kZoom = 12;
constexpr int kBaseX = 2070;
constexpr int kBaseY = 1400;

int TileX(int index) {
  return kBaseX + index % 16;
}
int TileY(int index) {
  return kBaseY + index / 16;
}

// Writes `bytes` to `path`; false on failure.
bool WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

// The tiles: palette PNGs of a dozen flat colours, like the usual
// OpenStreetMap tile, and RGB PNGs of antialiased drawings (thousands of
// colours), the larger kind.
enum TKind { kPalettePng, kRgbPng };
const char* const kKindNames[] = {"palette PNG", "RGB PNG (antialiased)"};

// 256 distinct map-like tiles of one kind, written to a temporary folder as
// <x>_<y>.png.
class TTileFolder {
 public:
  explicit TTileFolder(TKind kind) {
    for (int i = 0; i < kTileCount; ++i) {
      const QImage image =
          wy::MapLikeImage(256, 256, static_cast<uint32_t>(100 + i), kind == kRgbPng);
      FBytes.push_back(kind == kRgbPng ? wy::EncodePngImage(image)
                                       : wy::EncodePalettePngImage(image));
      FOk =
          FOk && !FBytes.back().empty() && WriteBytes(FileName(TileX(i), TileY(i)), FBytes.back());
    }
  }
  bool Ok() const { return FOk && FDir.isValid(); }
  std::string FileName(int x, int y) const {
    return FDir.path().toStdString() + "/" + std::to_string(x) + "_" + std::to_string(y) + ".png";
  }
  size_t TotalBytes() const {
    size_t total = 0;
    for (const auto& bytes : FBytes) total += bytes.size();
    return total;
  }
  const std::string& Bytes(int index) const { return FBytes[index]; }

 private:
  QTemporaryDir FDir;
  std::vector<std::string> FBytes;
  bool FOk = true;
};

const TTileFolder& Tiles(TKind kind) {
  static const TTileFolder palette(kPalettePng);
  static const TTileFolder rgb(kRgbPng);
  return kind == kRgbPng ? rgb : palette;
}

// A server whose tiles come from the tile folder; no disk cache.
std::unique_ptr<wy::TVuroduDavServer> MakeServer(TKind kind) {
  auto server = std::make_unique<wy::TVuroduDavServer>(0, QColor(230, 230, 230));
  server->SetLocalCache(std::string());
  server->TileServerInfo().LocalPath = true;
  server->TileServerInfo().GetTileFilename = [kind](std::string& fileName, int x, int y, int) {
    fileName = Tiles(kind).FileName(x, y);
  };
  return server;
}

// Loads every tile into the memory cache; false when one did not load.
bool FillCache(wy::TVuroduDavServer& server) {
  for (int i = 0; i < kTileCount; ++i) {
    server.GetTile(TileX(i), TileY(i), kZoom);
    if (!server.TileOK()) return false;
  }
  return server.CacheCount() == kTileCount;
}

// A server with all tiles in its memory cache, shared by the benchmarks.
// Tiles were added in index order and the cache is newest first: tile 255
// is at the front of the list, tile 0 at its end.
// Destroyed in main, while the application object still exists.
std::unique_ptr<wy::TVuroduDavServer> gServer[2];
bool gFillTried[2] = {false, false};

wy::TVuroduDavServer* FilledServer(TKind kind) {
  if (!gFillTried[kind]) {
    gFillTried[kind] = true;
    gServer[kind] = MakeServer(kind);
    if (!FillCache(*gServer[kind])) gServer[kind].reset();
  }
  return gServer[kind].get();
}

size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

void ReportCacheMemory(TKind kind) {
  if (!Tiles(kind).Ok()) {
    std::printf("tile folder could not be written\n");
    return;
  }
  auto server = MakeServer(kind);
  // One tile decoded first, so the server's decoded tile image already
  // exists and does not count as cache memory.
  server->GetTile(TileX(0), TileY(0), kZoom);
  server->ClearCache();
  malloc_trim(0);
  const size_t before = HeapInUse();
  if (!FillCache(*server)) {
    std::printf("tiles could not be loaded into the memory cache\n");
    return;
  }
  malloc_trim(0);
  const size_t after = HeapInUse();
  const size_t heap = after - before;
  const size_t compressed = Tiles(kind).TotalBytes();
  std::printf(
      "Memory cache of %d tiles, %s (256 x 256, map-like):\n"
      "  compressed bytes      %9zu  (%.1f KiB per tile)\n"
      "  heap in use, added    %9zu  (%.1f KiB per tile, %.2f MiB in all)\n"
      "  bookkeeping           %9zd  (%.0f bytes per tile: key, shared bytes, list)\n"
      "  decoded, for scale    %9d  (one 32-bit 256 x 256 image)\n\n",
      kTileCount, kKindNames[kind], compressed, compressed / 1024.0 / kTileCount, heap,
      heap / 1024.0 / kTileCount, heap / 1048576.0,
      static_cast<ptrdiff_t>(heap) - static_cast<ptrdiff_t>(compressed),
      (static_cast<double>(heap) - static_cast<double>(compressed)) / kTileCount, 256 * 256 * 4);
}

// The same tile again and again: the newest one, found first in the list.
void BM_GetTile_CachedNewest(benchmark::State& state) {
  const TKind kind = static_cast<TKind>(state.range(0));
  wy::TVuroduDavServer* server = FilledServer(kind);
  if (server == nullptr) return state.SkipWithError("cache not filled");
  const int i = kTileCount - 1;
  for (auto _ : state) {
    const QImage& image = server->GetTile(TileX(i), TileY(i), kZoom);
    benchmark::DoNotOptimize(image.constBits());
  }
  if (!server->TileOK()) state.SkipWithError("tile not from the cache");
}

// The oldest tile: the whole list of 256 keys is searched.
void BM_GetTile_CachedOldest(benchmark::State& state) {
  const TKind kind = static_cast<TKind>(state.range(0));
  wy::TVuroduDavServer* server = FilledServer(kind);
  if (server == nullptr) return state.SkipWithError("cache not filled");
  for (auto _ : state) {
    const QImage& image = server->GetTile(TileX(0), TileY(0), kZoom);
    benchmark::DoNotOptimize(image.constBits());
  }
  if (!server->TileOK()) state.SkipWithError("tile not from the cache");
}

// A render's pattern: every tile of the full cache in turn.
void BM_GetTile_CachedCycle256(benchmark::State& state) {
  const TKind kind = static_cast<TKind>(state.range(0));
  wy::TVuroduDavServer* server = FilledServer(kind);
  if (server == nullptr) return state.SkipWithError("cache not filled");
  int i = 0;
  bool ok = true;
  for (auto _ : state) {
    const QImage& image = server->GetTile(TileX(i), TileY(i), kZoom);
    benchmark::DoNotOptimize(image.constBits());
    ok = ok && server->TileOK();
    i = (i + 1) % kTileCount;
  }
  if (!ok) state.SkipWithError("tile not from the cache");
  if (server->CacheCount() != kTileCount) state.SkipWithError("cache changed");
}

// For comparison: the decode alone of the same tiles, the part of a cache
// hit that is not the lookup.
void BM_DecodeOnly_Cycle256(benchmark::State& state) {
  const TKind kind = static_cast<TKind>(state.range(0));
  if (!Tiles(kind).Ok()) return state.SkipWithError("no tiles");
  int i = 0;
  for (auto _ : state) {
    const std::string& bytes = Tiles(kind).Bytes(i);
    QImage image;
    if (!wy::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), wy::stPng,
                         image)) {
      state.SkipWithError("decode failed");
      break;
    }
    benchmark::DoNotOptimize(image.constBits());
    i = (i + 1) % kTileCount;
  }
}

// The lookup alone: the key of a tile that is not cached, so GetTile searches
// the whole list, finds nothing and (with no local file behind it) falls back
// to the placeholder. Includes the failed file open of the local source.
void BM_GetTile_Miss(benchmark::State& state) {
  const TKind kind = static_cast<TKind>(state.range(0));
  wy::TVuroduDavServer* server = FilledServer(kind);
  if (server == nullptr) return state.SkipWithError("cache not filled");
  for (auto _ : state) {
    const QImage& image = server->GetTile(1, 1, 1);
    benchmark::DoNotOptimize(image.constBits());
  }
  if (server->TileOK()) state.SkipWithError("miss expected");
}

// A disk cache folder holding the 256 tiles at their keys (OSM/<z>/<x>/<y>)
// and their records.
class TDiskCacheFolder {
 public:
  explicit TDiskCacheFolder(TKind kind) {
    namespace fs = std::filesystem;
    for (int i = 0; i < kTileCount; ++i) {
      const std::string path = FDir.path().toStdString() + "/OSM/" + std::to_string(kZoom) + "/" +
                               std::to_string(TileX(i)) + "/" + std::to_string(TileY(i));
      std::error_code error;
      fs::create_directories(fs::path(path).parent_path(), error);
      FOk = FOk && Tiles(kind).Ok() && WriteBytes(path, Tiles(kind).Bytes(i));
      // Each tile with its record, fresh for a year: read and checked on
      // every disk hit, no revalidation.
      wy::TTileMeta meta;
      meta.Expires = wy::SystemWallClock() + 365 * 24 * 3600;
      meta.ETag = "\"0123456789abcdef\"";
      FOk = FOk && wy::WriteTileMeta(path, meta, Tiles(kind).Bytes(i));
    }
  }
  bool Ok() const { return FOk && FDir.isValid(); }
  std::string Root() const { return FDir.path().toStdString(); }

 private:
  QTemporaryDir FDir;
  bool FOk = true;
};

// Every tile in turn from the disk cache: the memory cache keeps nothing, so
// each call reads the tile's file, decodes it and offers it to the caches.
void BM_GetTile_DiskHitCycle256(benchmark::State& state) {
  const TKind kind = static_cast<TKind>(state.range(0));
  static std::unique_ptr<TDiskCacheFolder> folders[2];
  if (!folders[kind]) folders[kind] = std::make_unique<TDiskCacheFolder>(kind);
  if (!folders[kind]->Ok()) return state.SkipWithError("disk cache not written");
  wy::TVuroduDavServer server(0, QColor(230, 230, 230));
  server.SetLocalCache(folders[kind]->Root());
  server.SetCacheSize(0);
  int i = 0;
  bool ok = true;
  for (auto _ : state) {
    const QImage& image = server.GetTile(TileX(i), TileY(i), kZoom);
    benchmark::DoNotOptimize(image.constBits());
    ok = ok && server.TileOK();
    i = (i + 1) % kTileCount;
  }
  if (!ok) state.SkipWithError("tile not from the disk cache");
}

// Writing tile files into a fresh folder: one new file per iteration.
class TWriteFolder {
 public:
  std::string Next() {
    const int n = FCount++;
    return FDir.path().toStdString() + "/OSM/12/" + std::to_string(n / 256) + "/" +
           std::to_string(n % 256);
  }

 private:
  QTemporaryDir FDir;
  int FCount = 0;
};

void BM_WriteTileFile(benchmark::State& state) {
  const std::string& bytes = Tiles(kPalettePng).Bytes(0);
  TWriteFolder folder;
  for (auto _ : state) {
    if (!wy::WriteTileFile(folder.Next(), bytes)) return state.SkipWithError("not written");
  }
}

// What a download worker writes for a new tile: its file and its record.
void BM_WriteTileFileAndRecord(benchmark::State& state) {
  const std::string& bytes = Tiles(kPalettePng).Bytes(0);
  wy::TTileMeta meta;
  meta.Expires = wy::SystemWallClock() + 7 * 24 * 3600;
  meta.Lifetime = 7 * 24 * 3600;
  meta.ETag = "\"0123456789abcdef\"";
  meta.LastModified = "Sun, 06 Nov 1994 08:49:37 GMT";
  TWriteFolder folder;
  for (auto _ : state) {
    const std::string path = folder.Next();
    if (!wy::WriteTileFile(path, bytes) || !wy::WriteTileMeta(path, meta, bytes))
      return state.SkipWithError("not written");
  }
}

// For comparison: the same bytes to a temporary file and a rename, nothing
// else.
void BM_WriteAndRename(benchmark::State& state) {
  namespace fs = std::filesystem;
  const std::string& bytes = Tiles(kPalettePng).Bytes(0);
  TWriteFolder folder;
  for (auto _ : state) {
    const fs::path target = folder.Next();
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    fs::path temporary = target;
    temporary += ".part";
    if (!WriteBytes(temporary.string(), bytes)) return state.SkipWithError("not written");
    fs::rename(temporary, target, error);
  }
}

#define WY_KINDS ArgName("rgb")->Arg(kPalettePng)->Arg(kRgbPng)
BENCHMARK(BM_GetTile_CachedNewest)->WY_KINDS->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetTile_CachedOldest)->WY_KINDS->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetTile_CachedCycle256)->WY_KINDS->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeOnly_Cycle256)->WY_KINDS->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetTile_Miss)->ArgName("rgb")->Arg(kPalettePng)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetTile_DiskHitCycle256)->WY_KINDS->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteTileFile)->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteTileFileAndRecord)->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteAndRename)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  const int code = wy::RunBenchmarks(argc, argv, [] {
    ReportCacheMemory(kPalettePng);
    ReportCacheMemory(kRgbPng);
  });
  for (auto& server : gServer) server.reset();
  return code;
}

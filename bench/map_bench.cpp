// The map widget's render path with every tile already seen, at 1920 x 1080
// and at 3840 x 2160.
//
//  - Full render after a jump back to an earlier view: every cell of the
//    tile grid is fetched again (RedrawMap(false) with the grid cleared),
//    the tiles coming from the memory caches, and the widget is painted.
//    Beside it, a plain QPainter loop draws the same decoded tiles at the
//    same places into an image of the same size: the floor any render can
//    reach.
//  - The plain loop followed by the two copies a widget that composes its
//    frame in an image makes (tiles onto a frame image, frame onto a 32-bit
//    RGB screen image), all with plain QPainter calls: what the map paid
//    before it drew its tiles straight to the screen.
//  - The jump itself (setCenter back and forth between two views), which
//    adds the viewport bookkeeping.
//  - One drag step: a mouse move with the left button held, sent to the
//    widget; the view moves and the widget is painted. Compared with the
//    plain loop too.
//
// Tiles come from a temporary disk cache filled with map-like palette PNGs
// before anything runs; the tile address points at a refused loopback port,
// so a tile missing from the cache fails at once and nothing leaves the
// machine. Before the Google Benchmark runs, a summary with medians of
// single frames is printed for both sizes (run on one core: taskset -c 1).
//
// `map_bench --write-tiles DIR` only writes the disk cache of the 1024 x 768
// view at zoom 13 around Paris that bench/wymap_render_time.sh renders.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "geo/settings.h"
#include "geo/world_info.h"
#include "map/map_control.h"
#include "platform/window_thread.h"
#include "support/bench_main.h"
#include "support/image_helpers.h"
#include "tiles/tile_server.h"

namespace {

namespace fs = std::filesystem;

// The two screen sizes measured.
constexpr QSize kSizes[] = {{1920, 1080}, {3840, 2160}};
constexpr int kZoom = 14;
constexpr int kTileSide = 256;
constexpr int kDistinctTiles = 48;
// Two views far apart: Paris and Lyon.
constexpr double kViewA[2] = {48.8566, 2.3522};
constexpr double kViewB[2] = {45.7640, 4.8357};
// Drag: the pointer moves back and forth by this step around the middle.
constexpr int kDragStepX = 24;
constexpr int kDragStepY = 8;
constexpr int kDragSteps = 10;

// Map-like palette PNGs (the usual OpenStreetMap tile), a few dozen
// distinct ones spread over the tile positions.
const std::vector<std::string>& TileBytes() {
  static const std::vector<std::string> bytes = [] {
    std::vector<std::string> result;
    for (int i = 0; i < kDistinctTiles; ++i)
      result.push_back(wy::EncodePalettePngImage(
          wy::MapLikeImage(kTileSide, kTileSide, static_cast<uint32_t>(7 + i), false)));
    return result;
  }();
  return bytes;
}

bool WriteBytes(const fs::path& path, const std::string& bytes) {
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

// Writes the disk cache of the tiles around (lat, lng) at `zoom`: those of a
// w x h view plus `margin` tiles on every side. False on a failed write.
bool WriteTileCache(const std::string& dir, double lat, double lng, int zoom, int w, int h,
                    int margin) {
  double wx = 0, wy = 0;
  wy::LatLngToWorldPixel(static_cast<uint8_t>(zoom), lat, lng, wx, wy);
  const int64_t count = int64_t(1) << zoom;
  const int64_t x0 = static_cast<int64_t>(std::floor((wx - w / 2.0) / kTileSide)) - margin;
  const int64_t x1 = static_cast<int64_t>(std::floor((wx + w / 2.0) / kTileSide)) + margin;
  const int64_t y0 = static_cast<int64_t>(std::floor((wy - h / 2.0) / kTileSide)) - margin;
  const int64_t y1 = static_cast<int64_t>(std::floor((wy + h / 2.0) / kTileSide)) + margin;
  for (int64_t x = std::max<int64_t>(0, x0); x <= std::min(count - 1, x1); ++x) {
    for (int64_t y = std::max<int64_t>(0, y0); y <= std::min(count - 1, y1); ++y) {
      const std::string& bytes =
          TileBytes()[static_cast<size_t>((x * 7 + y * 13) % kDistinctTiles)];
      const fs::path path =
          fs::path(dir) / "OSM" / std::to_string(zoom) / std::to_string(x) / std::to_string(y);
      if (bytes.empty() || !WriteBytes(path, bytes)) return false;
    }
  }
  return true;
}

using TClock = std::chrono::steady_clock;

double Milliseconds(TClock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A shown 1920 x 1080 map over the temporary disk cache, with every tile of
// both views loaded once (so both caches hold them), left on view A.
class TMapBench {
 public:
  explicit TMapBench(QSize size) : FSize(size) {
    wy::SetEndpoint("osm", "http://127.0.0.1:1/{z}/{x}/{y}.png");
    FOk = FDir.isValid();
    for (const auto* view : {kViewA, kViewB})
      FOk = FOk && WriteTileCache(FDir.path().toStdString(), view[0], view[1], kZoom, size.width(),
                                  size.height(), 3);
    FTop = std::make_unique<QWidget>();
    FTop->resize(size);
    FMap = new wy::TWyVuroduDav(FTop.get());
    FMap->resize(size);
    FMap->SetLocalCache(FDir.path().toStdString());
    FTop->show();
    FMap->SetZoom(kZoom);
    for (int i = 0; i < 2; ++i) {
      JumpTo(kViewB);
      JumpTo(kViewA);
    }
    FOk = FOk && AllTilesReal();
  }
  ~TMapBench() {
    FTop.reset();
    wy::ResetSettings();
  }
  bool Ok() const { return FOk; }
  QSize Size() const { return FSize; }
  wy::TWyVuroduDav& Map() { return *FMap; }

  void JumpTo(const double* view) {
    FMap->setCenter(view[0], view[1]);
    Pump();
  }
  // Queued messages (repaint requests, bounds changes) handled outside the
  // timed part, as the event loop would between frames.
  void Pump() { wy::ProcessPendingMessages(); }

  // The full render under test: every cell drawn again.
  void FullRender() {
    FMap->DisplayMapTiles().Clear();
    FMap->RedrawMap(false);
  }
  // True when the last render drew the real image in every cell.
  bool AllTilesReal() {
    wy::TDisplayMapTiles& grid = FMap->DisplayMapTiles();
    for (int i = 0; i < grid.Width(); ++i)
      for (int j = 0; j < grid.Height(); ++j)
        if (grid.Cell(i, j) != 255) return false;
    return FMap->MapServer().ActiveDownloads() == 0;
  }

  // The decoded tiles of the grid's cells and where the render puts them.
  struct TPlaced {
    QPoint At;
    QImage Image;
  };
  std::vector<TPlaced> PlacedTiles() {
    std::vector<TPlaced> placed;
    wy::TDisplayMapTiles& grid = FMap->DisplayMapTiles();
    for (int i = 0; i < grid.Width(); ++i) {
      for (int j = 0; j < grid.Height(); ++j) {
        const int64_t tx = int64_t(grid.x()) + i;
        const int64_t ty = int64_t(grid.y()) + j;
        const QImage& image =
            FMap->MapServer().GetTile(static_cast<int>(tx), static_cast<int>(ty), kZoom);
        placed.push_back({QPoint(static_cast<int>(tx * kTileSide + FMap->FX()),
                                 static_cast<int>(ty * kTileSide + FMap->FY())),
                          image});
      }
    }
    Pump();
    return placed;
  }

  // Drag: a press in the middle, then moves back and forth.
  void Press() {
    FDragIndex = 0;
    FDragDirection = 1;
    Send(QEvent::MouseButtonPress, DragPoint(), Qt::LeftButton, Qt::LeftButton);
  }
  void DragStep() {
    if (FDragIndex + FDragDirection > kDragSteps || FDragIndex + FDragDirection < -kDragSteps)
      FDragDirection = -FDragDirection;
    FDragIndex += FDragDirection;
    Send(QEvent::MouseMove, DragPoint(), Qt::NoButton, Qt::LeftButton);
  }
  void Release() { Send(QEvent::MouseButtonRelease, DragPoint(), Qt::LeftButton, Qt::NoButton); }

 private:
  QPoint DragPoint() const {
    return QPoint(FSize.width() / 2 + FDragIndex * kDragStepX,
                  FSize.height() / 2 + FDragIndex * kDragStepY);
  }
  void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), QPointF(FMap->mapToGlobal(at)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(FMap, &event);
  }

  const QSize FSize;
  QTemporaryDir FDir;
  bool FOk = false;
  std::unique_ptr<QWidget> FTop;
  wy::TWyVuroduDav* FMap = nullptr;  // owned by FTop
  int FDragIndex = 0;
  int FDragDirection = 1;
};

// Created on first use, destroyed in main while the application exists.
std::unique_ptr<TMapBench> gBench[2];

TMapBench* Bench(size_t which = 0) {
  if (!gBench[which]) gBench[which] = std::make_unique<TMapBench>(kSizes[which]);
  return gBench[which]->Ok() ? gBench[which].get() : nullptr;
}

// The plain QPainter loop: the same tiles at the same places.
void PlainRender(QImage& target, const std::vector<TMapBench::TPlaced>& tiles) {
  QPainter painter(&target);
  for (const auto& tile : tiles) painter.drawImage(tile.At, tile.Image);
}

// The plain loop, then the frame copy and the blit to a screen image.
struct TPlainPasses {
  explicit TPlainPasses(QSize size)
      : Tiles(size, QImage::Format_ARGB32_Premultiplied),
        Frame(size, QImage::Format_ARGB32_Premultiplied),
        Screen(size, QImage::Format_RGB32) {}
  QImage Tiles;
  QImage Frame;
  QImage Screen;
  void Render(const std::vector<TMapBench::TPlaced>& tiles) {
    PlainRender(Tiles, tiles);
    {
      QPainter painter(&Frame);
      painter.setCompositionMode(QPainter::CompositionMode_Source);
      painter.drawImage(0, 0, Tiles);
    }
    QPainter painter(&Screen);
    painter.drawImage(0, 0, Frame);
  }
};

template <typename F>
std::vector<double> TimeFrames(int count, F&& frame, TMapBench* bench) {
  std::vector<double> times;
  times.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const auto start = TClock::now();
    frame();
    times.push_back(Milliseconds(TClock::now() - start));
    if (bench != nullptr) bench->Pump();
  }
  return times;
}

void PrintSummary(size_t which) {
  TMapBench* bench = Bench(which);
  if (bench == nullptr) {
    std::printf("the map could not be set up with its tiles\n");
    return;
  }
  constexpr int kFrames = 200;
  const QSize size = bench->Size();
  const auto tiles = bench->PlacedTiles();
  QImage target(size, QImage::Format_ARGB32_Premultiplied);
  target.fill(Qt::white);
  // Warm-up, then frames of each kind in turn.
  TimeFrames(
      20, [&] { bench->FullRender(); }, bench);
  TimeFrames(
      20, [&] { PlainRender(target, tiles); }, nullptr);
  const double ours = Median(TimeFrames(
      kFrames, [&] { bench->FullRender(); }, bench));
  const bool real = bench->AllTilesReal();
  TPlainPasses passes(size);
  const double plainPasses = Median(TimeFrames(
      kFrames, [&] { passes.Render(tiles); }, nullptr));
  const double plain = Median(TimeFrames(
      kFrames, [&] { PlainRender(target, tiles); }, nullptr));
  bool flip = false;
  const double jump = Median(TimeFrames(
      kFrames,
      [&] {
        flip = !flip;
        bench->Map().setCenter(flip ? kViewB[0] : kViewA[0], flip ? kViewB[1] : kViewA[1]);
      },
      bench));
  bench->JumpTo(kViewA);
  bench->Press();
  TimeFrames(
      20, [&] { bench->DragStep(); }, bench);
  const double drag = Median(TimeFrames(
      kFrames, [&] { bench->DragStep(); }, bench));
  bench->Release();
  bench->JumpTo(kViewA);

  const double ratio = plain > 0 ? ours / plain : 0.0;
  const double dragRatio = plain > 0 ? drag / plain : 0.0;
  std::printf(
      "Map render, %d x %d, zoom %d, %zu tile cells, all tiles seen before (median of %d)\n"
      "  full render, RedrawMap(false)   %7.3f ms%s\n"
      "  plain QPainter loop, same tiles %7.3f ms\n"
      "  ratio full render / plain       %7.2f\n"
      "  plain loop + frame copy + blit  %7.3f ms\n"
      "  jump back (setCenter)           %7.3f ms\n"
      "  drag step (mouse move)          %7.3f ms\n"
      "  ratio drag step / plain         %7.2f\n\n",
      size.width(), size.height(), kZoom, tiles.size(), kFrames, ours,
      real ? "" : "  (NOT every tile was real!)", plain, ratio, plainPasses, jump, drag, dragRatio);
}

void PrintSummaries() {
  for (size_t which = 0; which < 2; ++which) PrintSummary(which);
}

void BM_FullRender(benchmark::State& state) {
  TMapBench* bench = Bench(static_cast<size_t>(state.range(0)));
  if (bench == nullptr) return state.SkipWithError("map not set up");
  bench->JumpTo(kViewA);
  for (auto _ : state) {
    bench->FullRender();
    state.PauseTiming();
    bench->Pump();
    state.ResumeTiming();
  }
  if (!bench->AllTilesReal()) state.SkipWithError("a tile was not real");
}

void BM_PlainPainterLoop(benchmark::State& state) {
  TMapBench* bench = Bench(static_cast<size_t>(state.range(0)));
  if (bench == nullptr) return state.SkipWithError("map not set up");
  bench->JumpTo(kViewA);
  const auto tiles = bench->PlacedTiles();
  QImage target(bench->Size(), QImage::Format_ARGB32_Premultiplied);
  target.fill(Qt::white);
  for (auto _ : state) {
    PlainRender(target, tiles);
    benchmark::DoNotOptimize(target.constBits());
  }
}

void BM_JumpBack(benchmark::State& state) {
  TMapBench* bench = Bench(static_cast<size_t>(state.range(0)));
  if (bench == nullptr) return state.SkipWithError("map not set up");
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    bench->Map().setCenter(flip ? kViewB[0] : kViewA[0], flip ? kViewB[1] : kViewA[1]);
    state.PauseTiming();
    bench->Pump();
    state.ResumeTiming();
  }
  bench->JumpTo(kViewA);
}

void BM_DragStep(benchmark::State& state) {
  TMapBench* bench = Bench(static_cast<size_t>(state.range(0)));
  if (bench == nullptr) return state.SkipWithError("map not set up");
  bench->JumpTo(kViewA);
  bench->Press();
  for (auto _ : state) {
    bench->DragStep();
    state.PauseTiming();
    bench->Pump();
    state.ResumeTiming();
  }
  bench->Release();
  bench->JumpTo(kViewA);
}

BENCHMARK(BM_FullRender)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainPainterLoop)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JumpBack)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStep)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--write-tiles") == 0) {
    // Only the disk cache for the whole-process render timing.
    const bool ok = WriteTileCache(argv[2], 48.8566, 2.3522, 13, 1024, 768, 1);
    std::printf(ok ? "tiles written to %s\n" : "cannot write tiles to %s\n", argv[2]);
    return ok ? 0 : 1;
  }
  const int code = wy::RunBenchmarks(argc, argv, [] { PrintSummaries(); });
  for (auto& bench : gBench) bench.reset();
  return code;
}

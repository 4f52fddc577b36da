// Drawing tiles of the built-in world map (TBasemap::DrawTile), the cost of
// a tile the first time it is shown (afterwards it comes from the small
// cache of drawn tiles). The budget is 20 ms a tile.
//
// Each zoom from 2 to 10 (and 14 and 18) draws, in turn, every tile of the 4 x 4 block
// around a busy coast (the English Channel: coasts, islands and borders),
// so one iteration is one tile; the reading of the map is done before.
// Zoom 2 draws all 16 tiles of the world (one of them holds most of
// Eurasia's outline). The second argument is the tile scale: 2 draws the
// 512-pixel tiles of a high-density screen.
#include <benchmark/benchmark.h>

#include <QImage>
#include <cmath>

#include "support/bench_main.h"
#include "tiles/basemap.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

void BM_BasemapTile(benchmark::State& state) {
  const int z = static_cast<int>(state.range(0));
  const int scale = static_cast<int>(state.range(1));
  const wy::TBasemap& world = wy::TBasemap::World();
  const double side = std::ldexp(1.0, z);
  const double lat = 50.0 * kPi / 180.0, lng = 0.0;
  const int cx = static_cast<int>((lng + 180.0) / 360.0 * side);
  const int cy =
      static_cast<int>((1.0 - std::log(std::tan(lat) + 1.0 / std::cos(lat)) / kPi) / 2.0 * side);
  const int x0 = z == 2 ? 0 : cx - 2, y0 = z == 2 ? 0 : cy - 2;
  QImage image;
  int i = 0;
  for (auto _ : state) {
    world.DrawTile(x0 + i % 4, y0 + (i / 4) % 4, z, image, scale);
    benchmark::DoNotOptimize(image.constBits());
    ++i;
  }
}
// 14 and 18: stand-in tiles of a street map (the service itself stops at 10).
BENCHMARK(BM_BasemapTile)
    ->ArgsProduct({{2, 3, 4, 5, 6, 7, 8, 9, 10, 14, 18}, {1, 2}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv, [] { wy::TBasemap::World(); });
}

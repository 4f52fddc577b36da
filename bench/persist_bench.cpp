// Saving and reading maps in the system's own text.
//
// - Markers, 10,000 and 100,000 in one group: the registry's text
//   (GetToTxt), that text saved to a file (SaveTextToFile: temporary file,
//   flush to disk, rename), and read back into an empty registry from the
//   file (ReadShapeSource, then SetToTxt).
// - One line of 100,000 and of 1,000,000 vertices, the same three steps.
// The per-item rate shows whether the cost grows linearly.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "formats/shape_file.h"
#include "geo/world_info.h"
#include "graphics/canvas.h"
#include "shapes/shape_line.h"
#include "shapes/shape_marker.h"
#include "shapes/shapes_group.h"
#include "support/bench_main.h"
#include "support/null_shapes_host.h"

namespace {

using namespace wy;

// A registry over a 1920 x 1080 view of Paris.
struct TMap {
  TMap() {
    World.CenterOn(48.85, 2.35, 12, 1920, 1080);
    Canvas.SetSize(1920, 1080);
    Registry = std::make_unique<TWyShapesGroup>(&Canvas, &Host, &World);
  }
  TWyWorldInfo World;
  TWyCanvas Canvas;
  TNullShapesHost Host;
  std::unique_ptr<TWyShapesGroup> Registry;
};

// `count` markers with names and hints, spread over a degree around Paris.
void AddMarkers(TWyShapesGroup& registry, int count) {
  registry.BeginUpdate();
  for (int i = 0; i < count; ++i) {
    auto* m = static_cast<TWyShapeMarker*>(registry.Add(
        nsMarker, 48.35 + ((i * 7919) % 10000) / 10000.0, 1.85 + ((i * 104729) % 10000) / 10000.0));
    m->SetName("m" + std::to_string(i));
    m->SetHint("Place " + std::to_string(i));
  }
  registry.EndUpdate();
}

// One line of `count` vertices wandering around Paris, with altitudes.
void AddLine(TWyShapesGroup& registry, int count) {
  auto* line = static_cast<TWyShapeLine*>(registry.Add(nsLine, 48.85, 2.35));
  std::vector<double> path;
  path.reserve(2 * static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    path.push_back(48.85 + 0.1 * std::sin(i * 0.001) + i * 1e-7);
    path.push_back(2.35 + 0.1 * std::cos(i * 0.0013));
  }
  line->SetPath(path);
  for (int i = 0; i < count; ++i) line->getPoints(i)->SetAlt(35 + (i % 500) * 0.5);
}

std::string TempFile() {
  return (std::filesystem::temp_directory_path() / "wy_persist_bench.txt").string();
}

void Fill(TWyShapesGroup& registry, bool line, int count) {
  if (line)
    AddLine(registry, count);
  else
    AddMarkers(registry, count);
}

void BM_Text(benchmark::State& state, bool line) {
  const int count = static_cast<int>(state.range(0));
  TMap map;
  Fill(*map.Registry, line, count);
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = map.Registry->GetToTxt();
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_SaveFile(benchmark::State& state, bool line) {
  const int count = static_cast<int>(state.range(0));
  TMap map;
  Fill(*map.Registry, line, count);
  const std::string path = TempFile();
  for (auto _ : state) {
    if (!SaveTextToFile(path, map.Registry->GetToTxt())) state.SkipWithError("cannot save");
  }
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations() * count);
}

void BM_LoadFile(benchmark::State& state, bool line) {
  const int count = static_cast<int>(state.range(0));
  const std::string path = TempFile();
  {
    TMap map;
    Fill(*map.Registry, line, count);
    SaveTextToFile(path, map.Registry->GetToTxt());
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto map = std::make_unique<TMap>();
    state.ResumeTiming();
    std::string text;
    if (ReadShapeSource(path, text) != skText) state.SkipWithError("cannot read");
    map->Registry->SetToTxt(text);
    state.PauseTiming();
    TWyShapes* group = map->Registry->getShapes("");
    const int read = line ? group->Lines()->Items(0)->Count() : group->Markers()->Count();
    if (read != count) state.SkipWithError("wrong count");
    map.reset();
    state.ResumeTiming();
  }
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK_CAPTURE(BM_Text, markers, false)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveFile, markers, false)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadFile, markers, false)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Text, line, true)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveFile, line, true)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadFile, line, true)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv);
}

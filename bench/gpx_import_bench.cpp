// Import of a GPX track of about 50 MB (500,000 points with elevation and
// time, laid out one element a line as GPS devices write it) into shape
// text: time per import, and the process's peak resident memory afterwards
// ("peak_rss_MB"; run one benchmark per process with --benchmark_filter for
// a figure that belongs to it alone). The file is written in pieces, so its
// making does not raise the peak.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "formats/gpx_import.h"
#include "formats/shape_file.h"
#include "support/bench_main.h"

namespace {

constexpr int kPoints = 500000;

const std::string& GpxFile() {
  static const std::string path = [] {
    const std::string name = "/tmp/wymap_bench_track.gpx";
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return name;
    std::fputs(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"wymap bench\" "
        "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
        " <trk>\n  <name>Long ride</name>\n  <trkseg>\n",
        f);
    char line[512];
    for (int i = 0; i < kPoints; ++i) {
      const double lat = 45.0 + i * 1e-6;
      const double lon = 6.0 + i * 1.5e-6;
      std::snprintf(line, sizeof line,
                    "   <trkpt lat=\"%.7f\" lon=\"%.7f\">\n    <ele>%.1f</ele>\n"
                    "    <time>2024-06-01T%02d:%02d:%02dZ</time>\n   </trkpt>\n",
                    lat, lon, 1000.0 + (i % 700) * 0.5, (i / 3600) % 24, (i / 60) % 60, i % 60);
      std::fputs(line, f);
    }
    std::fputs("  </trkseg>\n </trk>\n</gpx>\n", f);
    std::fclose(f);
    return name;
  }();
  return path;
}

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

double FileMb(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  std::fseek(f, 0, SEEK_END);
  const double mb = std::ftell(f) / (1024.0 * 1024.0);
  std::fclose(f);
  return mb;
}

// Streamed from the file line by line.
void BM_GpxImportFromFile(benchmark::State& state) {
  const std::string& path = GpxFile();
  size_t out = 0;
  for (auto _ : state) {
    wy::TGpxImporter importer;
    const std::string text = importer.FromFile(path);
    out = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["file_MB"] = FileMb(path);
  state.counters["shape_text_MB"] = out / (1024.0 * 1024.0);
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(BM_GpxImportFromFile)->Unit(benchmark::kMillisecond)->Iterations(3);

// The path the map and the groups take: the whole file read, then converted.
void BM_GpxLoadShapeFile(benchmark::State& state) {
  const std::string& path = GpxFile();
  for (auto _ : state) {
    const std::string text = wy::LoadShapeFile(path);
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(BM_GpxLoadShapeFile)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv);
}

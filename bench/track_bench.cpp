// Track statistics and the elevation profile on a 1,000,000-point track
// (about 11 days at one point a second: a walk with position and elevation
// noise and stops), and the profile drawn 1920 pixels wide: the first
// drawing of a track (with the reduction to pixel columns) and the hover
// frame (cursor moved, then drawn over the kept still parts).
//
// track_bench --stats-csv FILE prints the figures of a track given as lines
// of lat,lng,ele,time as JSON (used by bench/track_compare.py).

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "geo/track_statistics.h"
#include "graphics/track_profile_painter.h"
#include "support/bench_main.h"

namespace wy {
namespace {

const TTrack& MillionPoints() {
  static const TTrack track = [] {
    TTrack t;
    std::mt19937 rnd(28);
    std::uniform_real_distribution<double> noise(-1, 1);
    double lat = 45.9, lng = 6.8, heading = 0.5, along = 0;
    t.Points.reserve(1000000);
    for (int i = 0; i < 1000000; ++i) {
      const bool stop = (i / 3600) % 5 == 4;  // one hour in five stands still
      if (!stop) {
        heading += noise(rnd) * 0.08;
        lat += 1.2 * std::cos(heading) / 111132.0;
        lng += 1.2 * std::sin(heading) / (111132.0 * std::cos(lat * 0.0174533));
        along += 1.2;
      }
      const double ele = 1500 + 600 * std::sin(along / 9000) + 20 * std::sin(along / 300);
      t.Add(lat + noise(rnd) * 2e-5, lng + noise(rnd) * 2e-5, ele + noise(rnd) * 3, 1.7e9 + i);
    }
    return t;
  }();
  return track;
}

void BM_TrackStatistics(benchmark::State& state) {
  const TTrack& track = MillionPoints();
  for (auto _ : state) benchmark::DoNotOptimize(TrackStatistics(track));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(track.Points.size()));
}
BENCHMARK(BM_TrackStatistics)->Unit(benchmark::kMillisecond);

// The first drawing of a track 1920 pixels wide: the reduction to pixel
// columns and every still part (taking the track in is not timed).
void BM_ProfileFirstDraw(benchmark::State& state) {
  TTrackProfilePainter profile;
  profile.SetShowSpeed(state.range(0) != 0);
  const int margins = 56 + (state.range(0) != 0 ? 58 : 14);
  QImage image(1920 + margins, 300, QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    state.PauseTiming();
    profile.SetTrack(MillionPoints());
    state.ResumeTiming();
    QPainter painter(&image);
    profile.Paint(painter, image.rect(), 1);
  }
}
BENCHMARK(BM_ProfileFirstDraw)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ProfileHoverFrame(benchmark::State& state) {
  TTrackProfilePainter profile;
  profile.SetTrack(MillionPoints());
  QImage image(1920 + 56 + 14, 300, QImage::Format_ARGB32_Premultiplied);
  {
    QPainter painter(&image);
    profile.Paint(painter, image.rect(), 1);
  }
  long x = 100;
  for (auto _ : state) {
    x = x >= 1900 ? 100 : x + 7;
    profile.SetCursor(profile.IndexAtX(static_cast<double>(x)));
    QPainter painter(&image);
    profile.Paint(painter, image.rect(), 1);
  }
}
BENCHMARK(BM_ProfileHoverFrame)->Unit(benchmark::kMillisecond);

std::string Json(double v) {
  if (!std::isfinite(v)) return "null";
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", v);
  return text;
}

int StatsOfCsv(const char* file) {
  std::ifstream in(file);
  if (!in) {
    std::fprintf(stderr, "track_bench: cannot read %s\n", file);
    return 1;
  }
  TTrack t;
  std::string line;
  while (std::getline(in, line)) {
    double v[4];
    std::istringstream fields(line);
    fields.imbue(std::locale::classic());
    char comma = 0;
    if (fields >> v[0] >> comma >> v[1] >> comma >> v[2] >> comma >> v[3])
      t.Add(v[0], v[1], v[2], v[3]);
  }
  const TTrackStats s = TrackStatistics(t);
  std::printf(
      "{\"points\":%zu,\"distance_m\":%s,\"ascent_m\":%s,\"descent_m\":%s,\"duration_s\":%s,"
      "\"moving_s\":%s,\"avg_speed_kmh\":%s,\"max_speed_kmh\":%s}\n",
      s.Points, Json(s.DistanceM).c_str(), Json(s.AscentM).c_str(), Json(s.DescentM).c_str(),
      Json(s.DurationS).c_str(), Json(s.MovingS).c_str(), Json(s.AvgSpeedMs * 3.6).c_str(),
      Json(s.MaxSpeedMs * 3.6).c_str());
  return 0;
}

}  // namespace
}  // namespace wy

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--stats-csv") == 0) return wy::StatsOfCsv(argv[2]);
  return wy::RunBenchmarks(argc, argv);
}

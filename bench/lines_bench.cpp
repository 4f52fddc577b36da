// Lines and polygons under load.
//
// - A long GPS track (a random walk with a slowly turning heading, 5 m per
//   point, kept inside the area of a zoom-10 view) of 100,000 and 1,000,000
//   points in a 1920 x 1080 view, drawn through the registry at zoom 10
//   (the whole track in view, most points sharing pixels) and zoom 16 (a
//   few kilometres of it in view): a frame of an unchanged view (tiles
//   arriving, markers animating, the pointer hovering). The projection
//   happens when the draw list is rebuilt, which is measured on its own,
//   after a move and after a zoom; a frame of a drag measures both with a
//   drawing that cannot reuse anything.
// - 1,000 polygons of 100 vertices with a translucent fill spread over the
//   view, drawn through the registry, next to a plain QPainter loop drawing
//   the same outlines with the same pen and brush (the floor).
//
// Run with --benchmark_repetitions=5 for medians.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "geo/geodesy.h"
#include "geo/world_info.h"
#include "graphics/canvas.h"
#include "graphics/system_colors.h"
#include "shapes/shape_line.h"
#include "shapes/shapes_group.h"
#include "support/bench_main.h"
#include "support/null_shapes_host.h"

namespace {

using namespace wy;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kLat = 48.85;
constexpr double kLng = 2.35;

void SetViewport(TWyWorldInfo& world, uint8_t zoom, int shift = 0) {
  world.CenterOn(kLat, kLng, zoom, kWidth, kHeight);
  world.SetView(zoom, world.Left() + shift, world.Top(), kWidth, kHeight);
}

// Latitude, longitude pairs of a track that starts at the centre and
// wanders inside the zoom-10 view.
std::vector<double> Track(int count) {
  TWyWorldInfo view;
  SetViewport(view, 10);
  const double south = view.SouthWestLatitude(), north = view.NorthEastLatitude();
  const double west = view.SouthWestLongitude(), east = view.NorthEastLongitude();
  std::mt19937 random(42);
  std::normal_distribution<double> turn(0, 0.05);
  std::vector<double> path;
  path.reserve(2 * static_cast<size_t>(count));
  double lat = kLat, lng = kLng, heading = 30;
  for (int i = 0; i < count; ++i) {
    path.push_back(lat);
    path.push_back(lng);
    heading += turn(random) * 57.29577951308232;
    double nextLat = 0, nextLng = 0;
    LatLonFromDistanceBearing(lat, lng, heading, 5, nextLat, nextLng);
    if (nextLat < south || nextLat > north) heading = 180 - heading;
    if (nextLng < west || nextLng > east) heading = -heading;
    LatLonFromDistanceBearing(lat, lng, heading, 5, lat, lng);
  }
  return path;
}

struct TLineScene {
  TLineScene(int count, uint8_t zoom) : Zoom(zoom) {
    SetViewport(World, zoom);
    Canvas.SetSize(kWidth, kHeight);
    Registry = std::make_unique<TWyShapesGroup>(&Canvas, &Host, &World);
    const std::vector<double> path = Track(count);
    Line = static_cast<TWyShapeLine*>(Registry->Add(nsLine, path[0], path[1]));
    Line->SetColor(0x002040C0);
    Line->SetPath(path);
    Registry->ShapesToDraw();
    Registry->Draw();
  }
  uint8_t Zoom;
  TWyWorldInfo World;
  TWyCanvas Canvas;
  TNullShapesHost Host;
  std::unique_ptr<TWyShapesGroup> Registry;
  TWyShapeLine* Line = nullptr;
};

// One scene at a time (they are large); the last one is freed with the
// process, after the application object is gone.
TLineScene& LineScene(int count, uint8_t zoom) {
  static TLineScene* scene = nullptr;
  static std::pair<int, int> key;
  if (!scene || key != std::make_pair(count, static_cast<int>(zoom))) {
    delete scene;
    scene = new TLineScene(count, zoom);
    key = {count, zoom};
  }
  return *scene;
}

void BM_DrawTrack(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto zoom = static_cast<uint8_t>(state.range(1));
  TLineScene& scene = LineScene(count, zoom);
  for (auto _ : state) {
    scene.Registry->Draw();
    benchmark::DoNotOptimize(scene.Canvas.Bitmap().constBits());
  }
  state.counters["drawn_vertices"] = scene.Line->DrawVertexCount();
  state.counters["runs"] = scene.Line->DrawRunCount();
}
BENCHMARK(BM_DrawTrack)
    ->Args({100000, 10})
    ->Args({1000000, 10})
    ->Args({100000, 16})
    ->Args({1000000, 16})
    ->Unit(benchmark::kMillisecond);

// The draw-list rebuild after the view moved by one pixel: every point is
// projected again and the drawing prepared.
void BM_RebuildTrack(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto zoom = static_cast<uint8_t>(state.range(1));
  TLineScene& scene = LineScene(count, zoom);
  int shift = 0;
  for (auto _ : state) {
    shift ^= 1;
    SetViewport(scene.World, zoom, shift);
    scene.Registry->ShapesToDraw();
  }
  SetViewport(scene.World, zoom);
  scene.Registry->ShapesToDraw();
}
BENCHMARK(BM_RebuildTrack)
    ->Args({100000, 10})
    ->Args({1000000, 10})
    ->Args({1000000, 16})
    ->Unit(benchmark::kMillisecond);

// The draw-list rebuild after a zoom: the view alternates between the zoom
// and the next one, centred on the same point.
void BM_RebuildTrackAfterZoom(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto zoom = static_cast<uint8_t>(state.range(1));
  TLineScene& scene = LineScene(count, zoom);
  uint8_t now = zoom;
  for (auto _ : state) {
    now = now == zoom ? static_cast<uint8_t>(zoom + 1) : zoom;
    SetViewport(scene.World, now);
    scene.Registry->ShapesToDraw();
  }
  SetViewport(scene.World, zoom);
  scene.Registry->ShapesToDraw();
}
BENCHMARK(BM_RebuildTrackAfterZoom)->Args({1000000, 10})->Unit(benchmark::kMillisecond);

// A frame of a drag: the view moves by a pixel, the line is projected and
// stroked anew, then drawn. The surface forgets the strokes of earlier
// frames first (outside the timing), as the views of a drag are new ones.
void BM_PanAndDrawTrack(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto zoom = static_cast<uint8_t>(state.range(1));
  TLineScene& scene = LineScene(count, zoom);
  int shift = 0;
  for (auto _ : state) {
    state.PauseTiming();
    scene.Canvas.SetSize(kWidth, kHeight);
    state.ResumeTiming();
    shift ^= 1;
    SetViewport(scene.World, zoom, shift);
    scene.Registry->ShapesToDraw();
    scene.Registry->Draw();
    benchmark::DoNotOptimize(scene.Canvas.Bitmap().constBits());
  }
  state.counters["cache_hits"] = static_cast<double>(scene.Canvas.StrokeCacheHits());
  SetViewport(scene.World, zoom);
  scene.Registry->ShapesToDraw();
}
BENCHMARK(BM_PanAndDrawTrack)->Args({1000000, 10})->Unit(benchmark::kMillisecond);

// The floor of a drag frame of the track: the same points projected into
// the view and merged where consecutive points share a pixel (outside the
// timing), stroked as one plain QPainter polyline with the line's pen.
void BM_PlainMergedPolyline(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto zoom = static_cast<uint8_t>(state.range(1));
  TLineScene& scene = LineScene(count, zoom);
  const std::vector<double> path = Track(count);
  std::vector<QPoint> merged;
  for (size_t i = 0; i + 1 < path.size(); i += 2) {
    int32_t x = 0, y = 0;
    scene.World.LatLngToXY(path[i], path[i + 1], x, y);
    if (merged.empty() || merged.back() != QPoint(x, y)) merged.emplace_back(x, y);
  }
  QImage target(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  target.fill(Qt::white);
  const QPen pen(QColor(0xC0, 0x40, 0x20), scene.Line->Weight(), Qt::SolidLine, Qt::RoundCap,
                 Qt::RoundJoin);
  for (auto _ : state) {
    QPainter painter(&target);
    painter.setPen(pen);
    painter.drawPolyline(merged.data(), static_cast<int>(merged.size()));
    painter.end();
    benchmark::DoNotOptimize(target.constBits());
  }
  state.counters["vertices"] = static_cast<double>(merged.size());
}
BENCHMARK(BM_PlainMergedPolyline)->Args({1000000, 10})->Unit(benchmark::kMillisecond);

struct TPolygonScene {
  explicit TPolygonScene(uint8_t opacity) : Opacity(opacity) {
    SetViewport(World, 12);
    Canvas.SetSize(kWidth, kHeight);
    Registry = std::make_unique<TWyShapesGroup>(&Canvas, &Host, &World);
    std::mt19937 random(5);
    std::uniform_int_distribution<int> cx(40, kWidth - 40), cy(40, kHeight - 40);
    std::uniform_real_distribution<double> radius(15, 45), wobble(0.7, 1.0);
    Registry->BeginUpdate();
    for (int p = 0; p < 1000; ++p) {
      const int x = cx(random), y = cy(random);
      const double r = radius(random);
      std::vector<double> path;
      for (int k = 0; k < 100; ++k) {
        const double a = k * 2 * M_PI / 100;
        const double rr = r * wobble(random);
        double lat = 0, lng = 0;
        World.XYToLatLng(x + static_cast<int>(std::lround(rr * std::cos(a))),
                         y + static_cast<int>(std::lround(rr * std::sin(a))), lat, lng);
        path.push_back(lat);
        path.push_back(lng);
      }
      auto* polygon = static_cast<TWyShapePolygone*>(Registry->Add(nsPolygon, path[0], path[1]));
      polygon->SetPath(path);
      polygon->SetWeight(2);
      polygon->SetOpacity(opacity);
      polygon->SetFillColor(0x0000A0FF);
      Polygons.push_back(polygon);
    }
    Registry->EndUpdate();
    Registry->ShapesToDraw();
    Registry->Draw();
  }
  uint8_t Opacity = 0;
  TWyWorldInfo World;
  TWyCanvas Canvas;
  TNullShapesHost Host;
  std::unique_ptr<TWyShapesGroup> Registry;
  std::vector<TWyShapePolygone*> Polygons;
};

TPolygonScene& PolygonScene(uint8_t opacity) {
  static TPolygonScene* scene = nullptr;  // the last one is freed with the process
  if (!scene || scene->Opacity != opacity) {
    delete scene;
    scene = new TPolygonScene(opacity);
  }
  return *scene;
}

// Opacity 50 is the translucent fill; 100 (one opaque polygon call each)
// shows the fill's own share.
void BM_Draw1000Polygons(benchmark::State& state) {
  TPolygonScene& scene = PolygonScene(static_cast<uint8_t>(state.range(0)));
  for (auto _ : state) {
    scene.Registry->Draw();
    benchmark::DoNotOptimize(scene.Canvas.Bitmap().constBits());
  }
}
BENCHMARK(BM_Draw1000Polygons)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

// The floor: the same outlines drawn by a plain QPainter loop into an image
// of the same size, with the same pen (width 2, the outline colour) and
// brush (the fill colour at the same alpha), one drawPolygon each.
void BM_PlainQPainterLoop1000Polygons(benchmark::State& state) {
  const auto opacity = static_cast<uint8_t>(state.range(0));
  TPolygonScene& scene = PolygonScene(opacity);
  std::vector<std::vector<QPoint>> outlines;
  for (const TWyShapePolygone* polygon : scene.Polygons) outlines.push_back(polygon->XYPoints());
  const TWyShapePolygone& first = *scene.Polygons.front();
  QColor fill = ToQColor(first.FillColor());
  fill.setAlpha(OpacityToAlpha(opacity));
  const QPen pen(ToQColor(first.Color()), first.Weight());
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  for (auto _ : state) {
    QPainter p(&image);
    p.setPen(pen);
    p.setBrush(fill);
    for (const auto& outline : outlines)
      p.drawPolygon(outline.data(), static_cast<int>(outline.size()), Qt::OddEvenFill);
    p.end();
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_PlainQPainterLoop1000Polygons)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv);
}

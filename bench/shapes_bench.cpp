// The shapes registry under load.
//
// - Drawing 10,000 markers that share one 32 x 32 icon with transparency
//   through the registry onto a 1920 x 1080 surface, next to a plain
//   QPainter loop drawing the same icon at the same places into an image of
//   the same size (the floor: blending the pixels).
// - The hover search of the pointer against 10,000 markers, over empty map
//   and over the same marker again (the usual mouse move).
// - Adding markers inside one update bracket, 10,000 and 100,000, to show
//   that the cost grows linearly.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <memory>
#include <random>
#include <vector>

#include "geo/world_info.h"
#include "graphics/canvas.h"
#include "shapes/animation.h"
#include "shapes/shape_marker.h"
#include "shapes/shapes_group.h"
#include "support/bench_main.h"
#include "support/null_shapes_host.h"

namespace {

using namespace wy;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr uint8_t kZoom = 12;
constexpr double kLat = 48.85;
constexpr double kLng = 2.35;

void SetViewport(TWyWorldInfo& world) {
  world.CenterOn(kLat, kLng, kZoom, kWidth, kHeight);
}

// A round pin on a transparent background, premultiplied like decoded icons.
QImage Icon() {
  QImage icon(32, 32, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  QPainter p(&icon);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(200, 40, 40, 220));
  p.setPen(QColor(60, 0, 0));
  p.drawEllipse(QRectF(4, 1, 24, 24));
  p.drawPolygon(QPolygonF({QPointF(10, 20), QPointF(22, 20), QPointF(16, 31)}));
  return icon;
}

// A registry with `count` markers spread over the view, drawn once so
// that their boxes are known.
struct TScene {
  explicit TScene(int count) {
    SetViewport(World);
    Canvas.SetSize(kWidth, kHeight);
    Registry = std::make_unique<TWyShapesGroup>(&Canvas, &Host, &World);
    const QImage icon = Icon();
    std::mt19937 random(7);
    std::uniform_int_distribution<int> x(16, kWidth - 16);
    std::uniform_int_distribution<int> y(32, kHeight);
    Registry->BeginUpdate();
    for (int i = 0; i < count; ++i) {
      double lat = 0, lng = 0;
      World.XYToLatLng(x(random), y(random), lat, lng);
      auto* m = static_cast<TWyShapeMarker*>(Registry->Add(nsMarker, lat, lng));
      m->SetGraphic(icon);
      Markers.push_back(m);
    }
    Registry->EndUpdate();
    Registry->Draw();
  }
  TWyWorldInfo World;
  TWyCanvas Canvas;
  TNullShapesHost Host;
  std::unique_ptr<TWyShapesGroup> Registry;
  std::vector<TWyShapeMarker*> Markers;
};

TScene& Scene() {
  static TScene* scene = new TScene(10000);  // freed with the process
  return *scene;
}

void BM_RegistryDraw10000Markers(benchmark::State& state) {
  TScene& scene = Scene();
  for (auto _ : state) {
    scene.Registry->Draw();
    benchmark::DoNotOptimize(scene.Canvas.Bitmap().constBits());
  }
}
BENCHMARK(BM_RegistryDraw10000Markers)->Unit(benchmark::kMillisecond);

void BM_PlainQPainterLoop10000Icons(benchmark::State& state) {
  TScene& scene = Scene();
  std::vector<QPoint> places;
  for (TWyShapeMarker* m : scene.Markers) places.emplace_back(m->Left(), m->Top());
  const QImage icon = scene.Markers.front()->Graphic();
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  for (auto _ : state) {
    QPainter p(&image);
    for (const QPoint& at : places) p.drawImage(at, icon);
    p.end();
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_PlainQPainterLoop10000Icons)->Unit(benchmark::kMillisecond);

// The same loop through the drawing surface, to tell the surface's share
// of the registry's time from the shapes' own.
void BM_CanvasDrawLoop10000Icons(benchmark::State& state) {
  TScene& scene = Scene();
  std::vector<QPoint> places;
  for (TWyShapeMarker* m : scene.Markers) places.emplace_back(m->Left(), m->Top());
  const QImage icon = scene.Markers.front()->Graphic();
  TWyCanvas canvas;
  canvas.SetSize(kWidth, kHeight);
  for (auto _ : state) {
    for (const QPoint& at : places) canvas.Draw(at.x(), at.y(), icon);
    benchmark::DoNotOptimize(canvas.Bitmap().constBits());
  }
}
BENCHMARK(BM_CanvasDrawLoop10000Icons)->Unit(benchmark::kMillisecond);

void BM_HoverSearch10000MarkersMiss(benchmark::State& state) {
  TScene& scene = Scene();
  // Above the markers' band (they stand on y >= 32, boxes from y >= 0):
  // x = -100 is outside the view, so nothing is hit.
  for (auto _ : state) benchmark::DoNotOptimize(scene.Registry->ShapeByHover(-100, 500));
}
BENCHMARK(BM_HoverSearch10000MarkersMiss)->Unit(benchmark::kMicrosecond);

void BM_HoverSearch10000MarkersHit(benchmark::State& state) {
  TScene& scene = Scene();
  const TWyShapeMarker* m = scene.Markers[1234];
  const int x = m->Left() + 16, y = m->Top() + 16;
  scene.Registry->ShapeByHover(x, y);  // the hover change happens once
  for (auto _ : state) benchmark::DoNotOptimize(scene.Registry->ShapeByHover(x, y));
}
BENCHMARK(BM_HoverSearch10000MarkersHit)->Unit(benchmark::kMicrosecond);

void BM_AddMarkersInOneUpdate(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  TWyWorldInfo world;
  SetViewport(world);
  TWyCanvas canvas;
  canvas.SetSize(kWidth, kHeight);
  TNullShapesHost host;
  const double dLat = world.NorthEastLatitude() - world.SouthWestLatitude();
  const double dLng = world.NorthEastLongitude() - world.SouthWestLongitude();
  for (auto _ : state) {
    state.PauseTiming();
    auto registry = std::make_unique<TWyShapesGroup>(&canvas, &host, &world);
    state.ResumeTiming();
    registry->BeginUpdate();
    for (int i = 0; i < count; ++i)
      registry->Add(nsMarker, world.SouthWestLatitude() + dLat * ((i * 7919) % 1000) / 1000.0,
                    world.SouthWestLongitude() + dLng * ((i * 104729) % 1000) / 1000.0);
    registry->EndUpdate();
    state.PauseTiming();
    registry.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_AddMarkersInOneUpdate)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Clearing a group that holds n markers, some of them on screen and
// animated: must grow linearly with n.
void BM_ClearMarkers(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  TWyWorldInfo world;
  SetViewport(world);
  TWyCanvas canvas;
  canvas.SetSize(kWidth, kHeight);
  TNullShapesHost host;
  const double dLat = world.NorthEastLatitude() - world.SouthWestLatitude();
  const double dLng = world.NorthEastLongitude() - world.SouthWestLongitude();
  for (auto _ : state) {
    state.PauseTiming();
    auto registry = std::make_unique<TWyShapesGroup>(&canvas, &host, &world);
    registry->BeginUpdate();
    for (int i = 0; i < count; ++i) {
      TWyShape* m =
          registry->Add(nsMarker, world.SouthWestLatitude() + dLat * ((i * 7919) % 1000) / 1000.0,
                        world.SouthWestLongitude() + dLng * ((i * 104729) % 1000) / 1000.0);
      if (i % 10 == 0) m->SetAnimation(std::make_unique<TWyAnimationShapeColor>(20));
    }
    registry->EndUpdate();
    state.ResumeTiming();
    registry->getShapes("")->Clear();
    state.PauseTiming();
    registry.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ClearMarkers)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv);
}

// An info window with about 2 KB of content (a heading, bold, italic and
// coloured text, font changes, line feeds, two links and an inline image
// that is already decoded) drawn through the shapes registry: each frame
// measures the content, draws the balloon, the close button and the
// content, and rebuilds the hot spots. The counters show the window's
// height, its hot spots and the repaints it asked for per frame (0 once its
// image is there).
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <memory>
#include <string>

#include "geo/world_info.h"
#include "graphics/canvas.h"
#include "shapes/shape_info_window.h"
#include "shapes/shapes_group.h"
#include "support/bench_main.h"
#include "support/null_shapes_host.h"
#include "tiles/graphic_pool.h"

namespace {

using namespace wy;

constexpr int kWidth = 800;
constexpr int kHeight = 1200;
constexpr uint8_t kZoom = 12;
constexpr double kLat = 48.85;
constexpr double kLng = 2.35;

// The view centred on (kLat, kLng).
void CentreView(TWyWorldInfo& world) {
  world.CenterOn(kLat, kLng, kZoom, kWidth, kHeight);
}

std::string IconUrl() {
  QImage icon(24, 24, QImage::Format_ARGB32_Premultiplied);
  icon.fill(qRgb(200, 120, 40));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  icon.save(&buffer, "PNG");
  return "data:image/png;base64," + bytes.toBase64().toStdString();
}

std::string Content(const std::string& icon) {
  std::string s = "<h3>Boulangerie du Ch\xC3\xA2teau</h3><img src=\"" + icon +
                  "\"> <b>Open</b> Mo-Sa 07:00-19:30\n"
                  "<font color=#806000>12 rue de l'Universit\xC3\xA9, 82000 Montauban</font>\n";
  const char* const paragraph =
      "Fresh bread every morning, <i>viennoiseries</i> and cakes baked on site. "
      "<font size=9 face=\"DejaVu Serif\">Seasonal</font> specialities in winter; "
      "<u>gluten-free</u> loaves on Fridays. <a href=\"#zoom/15/48.85/2.35\">Show</a>\n";
  while (s.size() < 1900 + icon.size()) s += paragraph;
  s += "<a href=\"https://www.example.org/Places/Bakery_12?ref=Map\">More about this place</a>";
  return s;
}

void BM_InfoWindowFrame(benchmark::State& state) {
  TWyWorldInfo world;
  CentreView(world);
  TWyCanvas canvas;
  canvas.SetSize(kWidth, kHeight);
  TNullShapesHost host;
  TThreadGraphicPool pool(true, TThreadGraphicPool::TOptions{});
  TWyShapesGroup registry(&canvas, &host, &world);
  registry.UseGraphicPool(&pool);
  const std::string icon = IconUrl();
  const std::string html = Content(icon);
  TWyShapeInfoWindowList* list = registry.getShapes("")->InfoWindows();
  TWyShapeInfoWindow* window = list->Items(list->Add(kLat, kLng, html));
  window->SetWidth(260);
  window->SetYAnchor(kHeight / 2 - 20);
  // First frames: the image is queued, decoded, then drawn.
  registry.Draw();
  while (!pool.Queue().empty()) pool.FetchNext();
  registry.Draw();
  registry.Draw();
  const int settled = host.Repaints;
  for (auto _ : state) {
    registry.Draw();
    benchmark::DoNotOptimize(window->Height());
  }
  state.counters["content_bytes"] = static_cast<double>(html.size() - icon.size());
  state.counters["height_px"] = window->Height();
  state.counters["hot_spots"] = static_cast<double>(window->HotSpots().size());
  state.counters["repaints_per_frame"] =
      static_cast<double>(host.Repaints - settled) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_InfoWindowFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv);
}

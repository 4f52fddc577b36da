// Laying out and drawing an info window's content: about 2 KB of mini-HTML
// (a heading, bold, italic and coloured text, font changes, line feeds, a
// link and an image served by the image callback) in a rectangle 180 pixels
// wide, the size of a default info window. An info window does this twice
// per frame: once measuring its height, once drawing. Also the measuring
// of two hostile texts (see Hostile).
#include <benchmark/benchmark.h>

#include <QImage>
#include <string>

#include "graphics/canvas.h"
#include "graphics/html_text.h"
#include "support/bench_main.h"

namespace {

std::string InfoContent() {
  std::string s =
      "<h3>Boulangerie du Ch\xC3\xA2teau</h3>"
      "<img src=\"icons/bakery.png\" width=24 height=24> <b>Open</b> Mo-Sa 07:00-19:30\n"
      "<font color=#806000>12 rue de l'Universit\xC3\xA9, 82000 Montauban</font>\n";
  const char* const paragraph =
      "Fresh bread every morning, <i>viennoiseries</i> and cakes baked on site. "
      "<font size=9 face=\"DejaVu Serif\">Seasonal</font> specialities in winter; "
      "<u>gluten-free</u> loaves on Fridays. Card payment accepted.\n";
  while (s.size() < 1900) s += paragraph;
  s += "<a href=\"https://www.example.org/Places/Bakery_12?ref=Map\">More about this place</a>";
  return s;
}

void BM_InfoWindowMeasureAndDraw(benchmark::State& state) {
  const std::string html = InfoContent();
  QImage icon(24, 24, QImage::Format_ARGB32_Premultiplied);
  icon.fill(qRgb(200, 120, 40));
  const wy::TGetDrawGraphic graphic = [&](const std::string&, const QImage*& gfx, int, int, int& l,
                                          int& h) {
    gfx = &icon;
    l = icon.width();
    h = icon.height();
  };
  int areas = 0;
  const wy::TGetAreaAnchor area = [&](int, int, int, int, const std::string&) { ++areas; };
  wy::TWyCanvas canvas;
  canvas.SetSize(200, 1200);
  int bottom = 0;
  for (auto _ : state) {
    wy::TRect measure{0, 12, 180, 100000};
    canvas.DrawHTML(html, measure, wy::ckqMeasureOnly, graphic, area);
    wy::TRect draw{0, 12, 180, measure.Bottom};
    benchmark::DoNotOptimize(canvas.DrawHTML(html, draw, 0, graphic, area));
    bottom = draw.Bottom;
  }
  state.counters["bytes"] = static_cast<double>(html.size());
  state.counters["height_px"] = bottom;
  state.counters["areas_per_iter"] = static_cast<double>(areas) / state.iterations();
}
BENCHMARK(BM_InfoWindowMeasureAndDraw)->Unit(benchmark::kMicrosecond);

void BM_InfoWindowMeasureOnly(benchmark::State& state) {
  const std::string html = InfoContent();
  wy::TWyCanvas canvas;
  canvas.SetSize(200, 1200);
  for (auto _ : state) {
    wy::TRect measure{0, 12, 180, 100000};
    benchmark::DoNotOptimize(canvas.DrawHTML(html, measure, wy::ckqMeasureOnly, nullptr, nullptr));
  }
}
BENCHMARK(BM_InfoWindowMeasureOnly)->Unit(benchmark::kMicrosecond);

// Hostile content an imported description may bring, measured as an info
// window measures it: a tag of 64 KB inside <plaintext>, and a link whose
// address is 32 KB long around 32 KB of short words.
std::string Hostile(int which) {
  if (which == 0) return "<plaintext><" + std::string(65534, 'x') + ">";
  std::string words;
  while (words.size() < 32768) words += "ab ";
  return "<a href=\"" + std::string(32768, 'u') + "\">" + words + "</a>";
}

void BM_HostileMeasure(benchmark::State& state) {
  const std::string html = Hostile(static_cast<int>(state.range(0)));
  wy::TWyCanvas canvas;
  canvas.SetSize(200, 1200);
  int bottom = 0;
  for (auto _ : state) {
    wy::TRect measure{0, 12, 180, 100000};
    canvas.DrawHTML(html, measure, wy::ckqMeasureOnly, nullptr, nullptr);
    bottom = measure.Bottom;
  }
  state.counters["bytes"] = static_cast<double>(html.size());
  state.counters["height_px"] = bottom;
}
BENCHMARK(BM_HostileMeasure)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv);
}

// Reading a places answer into results: ScanPlacesAnswer over a generated
// XAPI answer of 10,000 nodes, laid out as an Overpass server writes it (one
// element per line, indented), each node with 2 to 4 tags: amenity or shop,
// a name holding character references, and sometimes opening hours and a
// street.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "services/places.h"
#include "support/bench_main.h"

namespace {

constexpr int kNodes = 10000;

std::string MakeAnswer(int nodes) {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<osm version=\"0.6\" generator=\"Overpass API\">\n"
      "<note>The data included in this document is from www.openstreetmap.org.</note>\n"
      "<meta osm_base=\"2012-05-02T10:20:30Z\"/>\n";
  const char* const amenities[] = {"restaurant", "cafe", "pharmacy", "bank", "fast_food"};
  const char* const shops[] = {"bakery", "supermarket", "butcher", "books"};
  const char* const names[] = {"Caf&#233; &amp; Bar", "L&apos;&#201;picerie",
                               "Chez &quot;Lulu&quot;", "Boulangerie du Ch&#226;teau",
                               "Rose &amp; Crown"};
  unsigned seed = 7;
  char line[256];
  for (int i = 0; i < nodes; ++i) {
    seed = seed * 1103515245u + 12345u;
    const double lat = 48.8 + (seed % 100000) / 1e6;
    const double lon = 2.3 + ((seed >> 8) % 100000) / 1e6;
    std::snprintf(line, sizeof line, "  <node id=\"%d\" lat=\"%.7f\" lon=\"%.7f\">\n", 100000 + i,
                  lat, lon);
    s += line;
    if (seed % 3 == 0) {
      s += "    <tag k=\"shop\" v=\"";
      s += shops[(seed >> 4) % 4];
    } else {
      s += "    <tag k=\"amenity\" v=\"";
      s += amenities[(seed >> 4) % 5];
    }
    s += "\"/>\n    <tag k=\"name\" v=\"";
    s += names[(seed >> 7) % 5];
    s += ' ';
    s += std::to_string(i);
    s += "\"/>\n";
    const unsigned extra = (seed >> 11) % 3;  // 0 to 2 more tags
    if (extra >= 1) s += "    <tag k=\"opening_hours\" v=\"Mo-Sa 08:00-19:30\"/>\n";
    if (extra >= 2) s += "    <tag k=\"addr:street\" v=\"Rue de l&apos;Universit&#233;\"/>\n";
    s += "  </node>\n";
  }
  s += "</osm>\n";
  return s;
}

const std::string& Answer() {
  static const std::string answer = MakeAnswer(kNodes);
  return answer;
}

void BM_ScanPlacesAnswer(benchmark::State& state) {
  const std::string& answer = Answer();
  const int maxResult = static_cast<int>(state.range(0));
  int count = 0;
  for (auto _ : state) {
    wy::TWyPlaceResults results;
    wy::ScanPlacesAnswer(answer, maxResult, results);
    count = results.count();
    benchmark::DoNotOptimize(results.Items(0));
  }
  if (count != std::min(maxResult, kNodes)) state.SkipWithError("wrong number of places");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
  // Bytes only when the whole answer is read: a capped scan stops early.
  if (count == kNodes)
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(answer.size()));
  state.SetLabel(std::to_string(answer.size()) + " bytes, " + std::to_string(count) + " places");
}

// 10,000 nodes read in full, and the default search limit of 100.
BENCHMARK(BM_ScanPlacesAnswer)
    ->ArgName("maxResult")
    ->Arg(kNodes)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv);
}

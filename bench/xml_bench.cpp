// Throughput of the XML tokenizer over a generated OpenStreetMap XML document
// of about 50 MB (nodes with their tags), and, when the build found libexpat,
// of expat over the same bytes for comparison.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "formats/xml_tokenizer.h"
#include "geo/stream.h"

#ifdef WY_BENCH_HAVE_EXPAT
#include <expat.h>
#include "support/bench_main.h"
#endif

namespace {

// Nodes as an OSM API or Overpass answer writes them: one start tag per line
// with eight attributes, a third of them self-closing, the others holding
// up to three tag elements with entities in some values.
std::string MakeOsmXml(size_t targetSize) {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<osm version=\"0.6\" generator=\"wymap bench\">\n";
  s.reserve(targetSize + 1024);
  const char* const keys[] = {"amenity", "name", "shop", "highway", "addr:street", "opening_hours"};
  const char* const values[] = {"restaurant",  "Caf&#233; &amp; Bar", "bakery",
                                "residential", "Rue de Rivoli",       "Mo-Fr 08:00-18:00"};
  unsigned long id = 1000000;
  unsigned seed = 1;
  char line[512];
  while (s.size() < targetSize) {
    seed = seed * 1103515245u + 12345u;
    const double lat = 48.8 + (seed % 100000) / 1e6;
    const double lon = 2.3 + ((seed >> 8) % 100000) / 1e6;
    const unsigned tags = seed % 4;
    std::snprintf(line, sizeof line,
                  " <node id=\"%lu\" visible=\"true\" version=\"%u\" changeset=\"%u\" "
                  "timestamp=\"2012-04-0%uT10:20:30Z\" user=\"mapper%u\" uid=\"%u\" "
                  "lat=\"%.7f\" lon=\"%.7f\"%s>\n",
                  id++, seed % 9 + 1, seed % 999999, seed % 9 + 1, seed % 500, seed % 50000, lat,
                  lon, tags ? "" : "/");
    s += line;
    if (tags) {
      for (unsigned t = 0; t < tags; ++t) {
        const unsigned k = (seed >> (t * 3)) % 6;
        s += "  <tag k=\"";
        s += keys[k];
        s += "\" v=\"";
        s += values[k];
        s += "\"/>\n";
      }
      s += " </node>\n";
    }
  }
  s += "</osm>\n";
  return s;
}

const std::string& OsmXml() {
  static const std::string doc = MakeOsmXml(50u << 20);
  return doc;
}

void BM_XmlTokenizer_Osm50MB(benchmark::State& state) {
  const std::string& doc = OsmXml();
  wy::TMemoryStream stream(doc);
  size_t tags = 0, params = 0;
  wy::TwytXML xml;
  xml.HandleTag = [&](wy::TwytXML& x) {
    ++tags;
    params += x.NodeParams().size();
  };
  for (auto _ : state) {
    stream.SetPosition(0);
    xml.LoadFromStream(stream);
  }
  benchmark::DoNotOptimize(tags);
  benchmark::DoNotOptimize(params);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_XmlTokenizer_Osm50MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

#ifdef WY_BENCH_HAVE_EXPAT
struct TExpatCounts {
  size_t tags = 0, params = 0;
};

void XMLCALL ExpatStart(void* data, const XML_Char*, const XML_Char** attributes) {
  auto* counts = static_cast<TExpatCounts*>(data);
  ++counts->tags;
  for (; *attributes; attributes += 2) ++counts->params;
}

void XMLCALL ExpatEnd(void* data, const XML_Char*) {
  ++static_cast<TExpatCounts*>(data)->tags;
}

void BM_Expat_Osm50MB(benchmark::State& state) {
  const std::string& doc = OsmXml();
  TExpatCounts counts;
  for (auto _ : state) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &counts);
    XML_SetElementHandler(parser, ExpatStart, ExpatEnd);
    if (XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), 1) != XML_STATUS_OK) {
      state.SkipWithError("expat rejected the document");
    }
    XML_ParserFree(parser);
  }
  benchmark::DoNotOptimize(counts.tags);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_Expat_Osm50MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);
#endif

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv);
}

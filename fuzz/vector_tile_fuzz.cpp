// The vector tile decoder, and drawing what it accepts with the built-in
// style: a refused tile says why and hands out nothing; an accepted one
// keeps every tag within its layer's keys and values and every part within
// its feature's points.

#include <QGuiApplication>

#include "fuzz_target.h"
#include "tiles/vector_render.h"
#include "tiles/vector_tile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wy::QuietFuzzLogs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  wy::TVectorTile tile;
  std::string error;
  if (!wy::DecodeVectorTile(reinterpret_cast<const char*>(data), size, tile, error)) {
    WY_FUZZ_CHECK(!error.empty());
    WY_FUZZ_CHECK(tile.Layers.empty());
    return 0;
  }
  size_t points = 0;
  for (const wy::TVectorLayer& layer : tile.Layers) {
    WY_FUZZ_CHECK(layer.Extent > 0);
    for (const wy::TVectorFeature& feature : layer.Features) {
      WY_FUZZ_CHECK(feature.Tags.size() % 2 == 0);
      for (size_t i = 0; i < feature.Tags.size(); i += 2) {
        WY_FUZZ_CHECK(feature.Tags[i] < layer.Keys.size());
        WY_FUZZ_CHECK(feature.Tags[i + 1] < layer.Values.size());
      }
      for (const wy::TVectorPart& part : feature.Parts)
        WY_FUZZ_CHECK(uint64_t(part.Begin) + part.Count <= feature.Points.size());
      points += feature.Points.size();
    }
  }
  // Two coordinates of at least one byte each per point.
  WY_FUZZ_CHECK(points <= size);
  if (size < 4096) {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app =
        QGuiApplication::instance() ? nullptr : new QGuiApplication(argc, argv);
    (void)app;
    wy::TVectorDrawOptions options;
    const QImage image =
        wy::DrawVectorTile(*wy::TVectorStyle::Default(), tile, 15, wy::TTileWindow{}, options);
    WY_FUZZ_CHECK(image.width() == 256);
  }
  return 0;
}

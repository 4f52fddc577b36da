// Decoding of 256 x 256 map tiles: our libpng / libjpeg decoders against
// QImage::loadFromData on the same bytes in the same run.
//
// Tiles stay compressed in the memory cache and are decoded on every render,
// so this cost is paid for every visible tile of every full repaint.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <cstdlib>
#include <string>

#include "support/bench_main.h"
#include "support/image_helpers.h"
#include "tiles/image_decode.h"

namespace {

// The tiles: a palette PNG like the usual OpenStreetMap tile, an RGB PNG
// with antialiased edges, and baseline and progressive JPEGs of the latter.
enum TTile { tPalettePng, tRgbPng, tJpeg, tProgressiveJpeg };

const std::string& TileBytes(TTile tile) {
  static const std::string tiles[] = {
      wy::EncodePalettePngImage(wy::MapLikeImage(256, 256, 11, false)),
      wy::EncodePngImage(wy::MapLikeImage(256, 256, 11, true)),
      wy::EncodeJpegImage(wy::MapLikeImage(256, 256, 11, true), wy::TJpegOptions{85}),
      wy::EncodeJpegImage(wy::MapLikeImage(256, 256, 11, true), wy::TJpegOptions{85, true}),
  };
  return tiles[tile];
}

void BM_DecodeOurs(benchmark::State& state) {
  const std::string& bytes = TileBytes(static_cast<TTile>(state.range(0)));
  const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
  for (auto _ : state) {
    QImage image;
    if (!wy::DecodeImage(data, bytes.size(), wy::stNone, image)) {
      state.SkipWithError("decode failed");
      break;
    }
    benchmark::DoNotOptimize(image.constBits());
  }
  state.SetLabel(std::to_string(bytes.size()) + " bytes");
}

void BM_DecodeQt(benchmark::State& state) {
  const std::string& bytes = TileBytes(static_cast<TTile>(state.range(0)));
  const uchar* data = reinterpret_cast<const uchar*>(bytes.data());
  for (auto _ : state) {
    QImage image;
    if (!image.loadFromData(data, static_cast<int>(bytes.size()))) {
      state.SkipWithError("Qt could not decode (no plugin?)");
      break;
    }
    benchmark::DoNotOptimize(image.constBits());
  }
  state.SetLabel(std::to_string(bytes.size()) + " bytes");
}

// Qt keeps palette PNGs as Format_Indexed8; drawing converts them to 32 bits
// anyway. This is the cost of Qt's decoding plus that conversion.
void BM_DecodeQtTo32Bit(benchmark::State& state) {
  const std::string& bytes = TileBytes(static_cast<TTile>(state.range(0)));
  const uchar* data = reinterpret_cast<const uchar*>(bytes.data());
  for (auto _ : state) {
    QImage image;
    if (!image.loadFromData(data, static_cast<int>(bytes.size()))) {
      state.SkipWithError("Qt could not decode (no plugin?)");
      break;
    }
    image.convertTo(QImage::Format_RGB32);
    benchmark::DoNotOptimize(image.constBits());
  }
}

#define WY_TILE_ARGS \
  ArgName("tile")->Arg(tPalettePng)->Arg(tRgbPng)->Arg(tJpeg)->Arg(tProgressiveJpeg)
BENCHMARK(BM_DecodeOurs)->WY_TILE_ARGS;
BENCHMARK(BM_DecodeQt)->WY_TILE_ARGS;
BENCHMARK(BM_DecodeQtTo32Bit)->ArgName("tile")->Arg(tPalettePng);

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv);
}

// Vector tiles: decoding a tile, drawing the dense tile of the synthetic
// town (zoom 14, about 5,000 features) with and without labels beside a
// plain QPainter loop drawing the same paths with the same pens and
// brushes, and a cold 1920 x 1080 view drawn from the town's PMTiles beside
// the same view read from a raster MBTiles of the same tiles.
//
// Budgets: decoding at 200 MB/s of uncompressed tile bytes or more; drawing
// within 1.5 times the plain loop; labels adding at most half.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QBuffer>
#include <QDir>
#include <QPainter>
#include <QPainterPath>

#include "support/bench_main.h"
#include "tiles/image_decode.h"
#include "tiles/mbtiles.h"
#include "tiles/vector_render.h"
#include "tiles/vector_source.h"
#include "tiles/vector_tile.h"

namespace {

const std::string kData = WY_BENCH_DATA_DIR;
constexpr int kZ = 14, kX = 8556, kY = 5784;

std::string TownTileBytes() {
  std::string error, stored, plain;
  auto file = wy::TMbTiles::Open(kData + "/town.mbtiles", error);
  if (!file || !file->ReadTile(kX, kY, kZ, stored)) return std::string();
  wy::InflateTileBytes(stored, plain, error);
  return plain;
}

const std::string& TownTile() {
  static const std::string bytes = TownTileBytes();
  return bytes;
}

void BM_DecodeTile(benchmark::State& state) {
  const std::string& bytes = TownTile();
  for (auto _ : state) {
    wy::TVectorTile tile;
    std::string error;
    wy::DecodeVectorTile(bytes.data(), bytes.size(), tile, error);
    benchmark::DoNotOptimize(tile.Layers.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_DecodeTile)->Unit(benchmark::kMicrosecond);

wy::TVectorTile Decoded() {
  wy::TVectorTile tile;
  std::string error;
  wy::DecodeVectorTile(TownTile().data(), TownTile().size(), tile, error);
  return tile;
}

// range(0): labels drawn.
void BM_DrawTile(benchmark::State& state) {
  const wy::TVectorTile tile = Decoded();
  const auto style = wy::TVectorStyle::Default();
  wy::TVectorDrawOptions options;
  options.Labels = state.range(0) != 0;
  for (auto _ : state) {
    const QImage image = wy::DrawVectorTile(*style, tile, kZ, wy::TTileWindow{}, options);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_DrawTile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same features as the built-in style draws them at zoom 14 (fills of
// water, park, land use and buildings, lines of roads), each with its pen
// and brush chosen once, paths built from the decoded points each time.
void BM_PlainPainterLoop(benchmark::State& state) {
  const wy::TVectorTile tile = Decoded();
  struct TKind {
    const char* Layer;
    QBrush Brush;
    QPen Pen;
  };
  const TKind kinds[] = {
      {"landuse", QColor("#e0dfdf"), Qt::NoPen},
      {"park", QColor("#c8facc"), QPen(QColor("#9fd39f"), 1)},
      {"water", QColor("#aad3df"), Qt::NoPen},
      {"building", QColor("#d9d0c9"), QPen(QColor("#c4b6ab"), 1)},
      {"transportation", Qt::NoBrush, QPen(QColor("#ffffff"), 3, Qt::SolidLine, Qt::RoundCap)},
  };
  for (auto _ : state) {
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor("#f2efe9"));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const TKind& kind : kinds) {
      const wy::TVectorLayer* layer = tile.Layer(kind.Layer);
      if (!layer) continue;
      const double k = 256.0 / layer->Extent;
      for (const wy::TVectorFeature& f : layer->Features) {
        QPainterPath path;
        for (const wy::TVectorPart& part : f.Parts) {
          path.moveTo(f.Points[part.Begin].X * k, f.Points[part.Begin].Y * k);
          for (uint32_t i = 1; i < part.Count; ++i)
            path.lineTo(f.Points[part.Begin + i].X * k, f.Points[part.Begin + i].Y * k);
          if (f.Type == wy::vgPolygon) path.closeSubpath();
        }
        if (kind.Brush.style() != Qt::NoBrush) painter.fillPath(path, kind.Brush);
        if (kind.Pen.style() != Qt::NoPen) painter.strokePath(path, kind.Pen);
      }
    }
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_PlainPainterLoop)->Unit(benchmark::kMillisecond);

// The tiles of a 1920 x 1080 view around the town at zoom 15: 9 x 6.
constexpr int kViewZ = 15, kViewX0 = kX * 2 - 3, kViewY0 = kY * 2 - 2, kCols = 9, kRows = 6;

// Cold: a new drawer each time, so no decoded tile is kept.
void BM_ViewFromPmTiles(benchmark::State& state) {
  for (auto _ : state) {
    std::string error;
    auto source = wy::OpenVectorSource(kData + "/town.pmtiles", error);
    wy::TVectorTileDrawer drawer(source, wy::TVectorStyle::Default());
    QImage frame(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::white);
    QPainter painter(&frame);
    for (int c = 0; c < kCols; ++c)
      for (int r = 0; r < kRows; ++r) {
        QImage tile;
        if (drawer.Draw(kViewX0 + c, kViewY0 + r, kViewZ, 1, tile, error))
          painter.drawImage(c * 256 - 96, r * 256 - 228, tile);
      }
  }
}
BENCHMARK(BM_ViewFromPmTiles)->Unit(benchmark::kMillisecond);

std::string RasterFile() {
  const std::string path = QDir::tempPath().toStdString() + "/wymap-bench-town-raster.mbtiles";
  std::remove(path.c_str());
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db,
               "CREATE TABLE metadata (name TEXT, value TEXT);"
               "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER,"
               " tile_data BLOB);"
               "INSERT INTO metadata VALUES ('format', 'png');",
               nullptr, nullptr, nullptr);
  std::string error;
  auto source = wy::OpenVectorSource(kData + "/town.pmtiles", error);
  wy::TVectorTileDrawer drawer(source, wy::TVectorStyle::Default());
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO tiles VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
  for (int c = 0; c < kCols; ++c)
    for (int r = 0; r < kRows; ++r) {
      std::string png;
      if (!drawer.DrawPng(kViewX0 + c, kViewY0 + r, kViewZ, 1, png)) continue;
      sqlite3_reset(insert);
      sqlite3_bind_int(insert, 1, kViewZ);
      sqlite3_bind_int(insert, 2, kViewX0 + c);
      sqlite3_bind_int(insert, 3, (1 << kViewZ) - 1 - (kViewY0 + r));
      sqlite3_bind_blob(insert, 4, png.data(), static_cast<int>(png.size()), SQLITE_TRANSIENT);
      sqlite3_step(insert);
    }
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return path;
}

void BM_ViewFromRasterMbTiles(benchmark::State& state) {
  const std::string path = RasterFile();
  for (auto _ : state) {
    std::string error;
    auto file = wy::TMbTiles::Open(path, error);
    QImage frame(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::white);
    QPainter painter(&frame);
    for (int c = 0; c < kCols; ++c)
      for (int r = 0; r < kRows; ++r) {
        std::string bytes;
        QImage tile;
        if (file->ReadTile(kViewX0 + c, kViewY0 + r, kViewZ, bytes) &&
            wy::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), wy::stPng,
                            tile))
          painter.drawImage(c * 256 - 96, r * 256 - 228, tile);
      }
  }
}
BENCHMARK(BM_ViewFromRasterMbTiles)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv, [] { TownTile(); });
}

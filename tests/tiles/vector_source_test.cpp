// Vector tile sources drawn through a tile server: the synthetic town as
// MBTiles, as PMTiles (with and without leaf directories) and as a folder of
// tiles, its pixels checked where the town has water, a park, a road, a
// building and a label.

#include <zlib.h>
#include <QPainter>

#include "support/mbtiles_builder.h"
#include "tile_server_fixture.h"
#include "tiles/local_tile_source.h"
#include "tiles/mbtiles.h"
#include "tiles/pmtiles.h"
#include "tiles/vector_source.h"

namespace wy {
namespace tile_test {
namespace {

const fs::path kData = fs::path(WY_TEST_DATA_DIR);
// The zoom-14 tile the town fills (scripts/make-vector-town.py).
constexpr int kZ = 14, kX = 8556, kY = 5784;

// Colours of the built-in style.
const QColor kWater("#aad3df"), kPark("#c8facc"), kBackground("#f2efe9"), kPrimary("#fcd6a4"),
    kBuilding("#d9d0c9"), kResidential("#e0dfdf");

bool Near(QRgb a, const QColor& b, int tolerance = 6) {
  return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance &&
         std::abs(qBlue(a) - b.blue()) <= tolerance;
}

// The pixel at a fraction of the tile, in device pixels.
QRgb At(const QImage& image, double fx, double fy) {
  return image.pixel(static_cast<int>(fx * image.width()), static_cast<int>(fy * image.height()));
}

// Dark pixels (label text) in a box of the tile given as fractions.
int DarkPixels(const QImage& image, double x0, double y0, double x1, double y1) {
  int dark = 0;
  for (int y = static_cast<int>(y0 * image.height()); y < y1 * image.height(); ++y)
    for (int x = static_cast<int>(x0 * image.width()); x < x1 * image.width(); ++x)
      dark += qGray(image.pixel(x, y)) < 90 ? 1 : 0;
  return dark;
}

// A folder of <z>/<x>/<y>.<ext> tiles holding the MBTiles' tiles, inflated
// when `inflate`.
std::string WriteFolder(const std::string& root, const std::string& ext, bool inflate) {
  std::string error;
  auto file = TMbTiles::Open((kData / "town.mbtiles").string(), error);
  EXPECT_TRUE(file) << error;
  for (int z = 10; z <= 14; ++z) {
    const int shift = 14 - z;
    for (int x = (kX >> shift) - 1; x <= (kX >> shift) + 1; ++x)
      for (int y = (kY >> shift) - 1; y <= (kY >> shift) + 1; ++y) {
        std::string bytes, plain;
        if (!file->ReadTile(x, y, z, bytes)) continue;
        if (inflate) {
          EXPECT_TRUE(InflateTileBytes(bytes, plain, error));
        }
        const fs::path dir = fs::path(root) / std::to_string(z) / std::to_string(x);
        fs::create_directories(dir);
        std::ofstream(dir / (std::to_string(y) + ext), std::ios::binary)
            << (inflate ? plain : bytes);
      }
  }
  return root;
}

using VectorSourceTest = TileServerTest;

TEST_F(VectorSourceTest, EachSourceKindDrawsTheTown) {
  const std::vector<std::pair<std::string, std::string>> sources = {
      {"mbtiles", (kData / "town.mbtiles").string()},
      {"pmtiles", (kData / "town.pmtiles").string()},
      {"pmtiles with leaves", (kData / "town-leaves.pmtiles").string()},
      {"folder of gzip .pbf", WriteFolder(FCacheDir + "/pbf", ".pbf", false)},
      {"folder of plain .mvt", WriteFolder(FCacheDir + "/mvt", ".mvt", true)},
  };
  for (const auto& [kind, path] : sources) {
    SCOPED_TRACE(kind);
    EXPECT_TRUE(IsVectorSource(path));
    TVuroduDavServer& server = MakeServer(false);
    std::string error;
    ASSERT_TRUE(UseLocalTileSource(path, server.TileServerInfo(), error)) << error;
    EXPECT_EQ(server.TileServerInfo().MinZoom, 10);
    EXPECT_EQ(server.TileServerInfo().MaxZoom, 20);
    const QImage tile = server.GetTile(kX, kY, kZ).convertToFormat(QImage::Format_RGB32);
    ASSERT_TRUE(server.TileOK());
    ASSERT_EQ(tile.width(), 256);
    EXPECT_TRUE(Near(At(tile, 0.18, 0.26), kWater))
        << QColor(At(tile, 0.18, 0.26)).name().toStdString();
    EXPECT_TRUE(Near(At(tile, 0.66, 0.30), kPark));
    // The park's hole shows the ground below.
    EXPECT_TRUE(Near(At(tile, 0.77, 0.21), kBackground));
    EXPECT_TRUE(Near(At(tile, 0.25, 0.50), kPrimary, 12));
    // The buildings of the first blocks.
    int building = 0;
    for (int y = 96; y < 124; ++y)
      for (int x = 0; x < 120; ++x) building += Near(tile.pixel(x, y), kBuilding, 14) ? 1 : 0;
    EXPECT_GT(building, 200);
    // The town's name, above the lake's east shore.
    EXPECT_GT(DarkPixels(tile, 0.36, 0.15, 0.56, 0.25), 20);
    // No tile outside the source: the stand-in path of a failed tile.
    server.GetTile(0, 0, 10);
    EXPECT_FALSE(server.TileOK());
  }
}

// Past the deepest tiles, the deepest is drawn larger, sharp: the lake's
// shore is a clean edge at its place in the zoom-16 tile.
TEST_F(VectorSourceTest, DeeperZoomsDrawFromTheDeepestTile) {
  TVuroduDavServer& server = MakeServer(false);
  std::string error;
  ASSERT_TRUE(
      UseLocalTileSource((kData / "town.pmtiles").string(), server.TileServerInfo(), error));
  // Zoom 16, the sub-tile (0, 0) of the zoom-14 tile: fractions 0 to 0.25.
  const QImage tile = server.GetTile(kX * 4, kY * 4, 16).convertToFormat(QImage::Format_RGB32);
  ASSERT_TRUE(server.TileOK());
  // The lake starts at 0.06 of the zoom-14 tile: 0.24 of this one.
  EXPECT_TRUE(Near(At(tile, 0.20, 0.5), kBackground));
  EXPECT_TRUE(Near(At(tile, 0.28, 0.5), kWater));
  // The edge is within two pixels of where it belongs.
  int edge = -1;
  for (int x = 0; x < tile.width(); ++x)
    if (Near(tile.pixel(x, 128), kWater)) {
      edge = x;
      break;
    }
  EXPECT_NEAR(edge, 0.24 * 256, 2);
  // Zoom 21 is past what is drawn.
  server.GetTile(kX * 128, kY * 128, 21);
  EXPECT_FALSE(server.TileOK());
}

// A place name across the edge of two tiles is drawn by both, each its
// part: "Wyton" stands at 0.92 of the zoom-15 tile (2 kX, 2 kY), so its
// last letters fall in the tile east of it.
TEST_F(VectorSourceTest, LabelsAcrossTileEdgesAreDrawnByBothTiles) {
  TVuroduDavServer& server = MakeServer(false);
  std::string error;
  ASSERT_TRUE(
      UseLocalTileSource((kData / "town.mbtiles").string(), server.TileServerInfo(), error));
  const QImage west = server.GetTile(kX * 2, kY * 2, 15).convertToFormat(QImage::Format_RGB32);
  const QImage east = server.GetTile(kX * 2 + 1, kY * 2, 15).convertToFormat(QImage::Format_RGB32);
  // Rows of the name: 0.40 of the tile, about 102.
  EXPECT_GT(DarkPixels(west, 0.94, 0.34, 1.0, 0.46), 5);
  EXPECT_GT(DarkPixels(east, 0.0, 0.34, 0.04, 0.46), 2);
  // Each tile alone, without the other's data, leaves the name out.
  TVectorTile tile;
  std::string stored, plain;
  auto file = TMbTiles::Open((kData / "town.mbtiles").string(), error);
  ASSERT_TRUE(file && file->ReadTile(kX, kY, kZ, stored));
  ASSERT_TRUE(InflateTileBytes(stored, plain, error));
  ASSERT_TRUE(DecodeVectorTile(plain.data(), plain.size(), tile, error));
  TVectorDrawOptions options;
  const QImage alone =
      DrawVectorTile(*TVectorStyle::Default(), tile, 15, TTileWindow{1, 0, 0}, options)
          .convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(DarkPixels(alone, 0.80, 0.34, 1.0, 0.46), 0);
}

// At twice the pixel density tiles are drawn at 512 pixels, not enlarged.
TEST_F(VectorSourceTest, HighDensityTilesAreDrawnAtTheirSize) {
  TVuroduDavServer& server = MakeServer(false);
  server.SetTileScale(2);
  std::string error;
  ASSERT_TRUE(
      UseLocalTileSource((kData / "town.mbtiles").string(), server.TileServerInfo(), error));
  const QImage tile = server.GetTile(kX, kY, kZ).convertToFormat(QImage::Format_RGB32);
  ASSERT_TRUE(server.TileOK());
  EXPECT_EQ(tile.width(), 512);
  EXPECT_EQ(tile.devicePixelRatio(), 2);
  EXPECT_TRUE(Near(At(tile, 0.18, 0.26), kWater));
  // A sharp shore: no blend wider than a device pixel or two.
  int blended = 0;
  for (int x = static_cast<int>(0.02 * 512); x < 0.10 * 512; ++x) {
    const QRgb p = tile.pixel(x, 256 - 100);
    blended += !Near(p, kWater) && !Near(p, kBackground) ? 1 : 0;
  }
  EXPECT_LE(blended, 2);
}

TEST_F(VectorSourceTest, StyleFileAndBadSources) {
  const std::string style = FCacheDir + "/water-only.json";
  std::ofstream(style) << R"({"version": 8, "layers": [
      {"id": "bg", "type": "background", "paint": {"background-color": "#000000"}},
      {"id": "w", "type": "fill", "source-layer": "water", "paint": {"fill-color": "#ff0000"},
       "unknown-key": 1}]})";
  TVuroduDavServer& server = MakeServer(false);
  std::string error;
  ASSERT_TRUE(
      UseLocalTileSource((kData / "town.mbtiles").string(), style, server.TileServerInfo(), error))
      << error;
  const QImage tile = server.GetTile(kX, kY, kZ).convertToFormat(QImage::Format_RGB32);
  EXPECT_TRUE(Near(At(tile, 0.18, 0.26), QColor(255, 0, 0)));
  EXPECT_TRUE(Near(At(tile, 0.66, 0.30), QColor(0, 0, 0)));

  const std::string notJson = FCacheDir + "/bad.json";
  std::ofstream(notJson) << "{ not json";
  const std::string truncated = FCacheDir + "/cut.pmtiles";
  std::ofstream(truncated, std::ios::binary) << ReadFile(kData / "town.pmtiles").substr(0, 200);
  const std::string wrongMagic = FCacheDir + "/magic.pmtiles";
  std::ofstream(wrongMagic, std::ios::binary) << std::string(300, 'P');
  struct Case {
    std::string Path, Style, Says;
  };
  const Case cases[] = {
      {(kData / "town.mbtiles").string(), notJson, "JSON"},
      {(kData / "town.mbtiles").string(), FCacheDir + "/missing.json", "cannot read"},
      {truncated, "", "cut.pmtiles"},
      {wrongMagic, "", "not a PMTiles archive"},
      {FCacheDir + "/missing.pmtiles", "", "does not exist"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Path + " " + c.Style);
    TTileServerInfo info;
    info.Name = "unchanged";
    error.clear();
    EXPECT_FALSE(UseLocalTileSource(c.Path, c.Style, info, error));
    EXPECT_NE(error.find(c.Says), std::string::npos) << error;
    EXPECT_EQ(info.Name, "unchanged");
    EXPECT_FALSE(info.GetTileDrawn);
  }
}

// Remote sources: a PMTiles archive read by range requests, and the HTTP
// template of the setting endpoint.vector; a server that has no tile is not
// a failure, one that fails is.
TEST_F(VectorSourceTest, RemoteArchiveAndHttpTemplate) {
  const std::string archive = ReadFile(kData / "town.pmtiles");
  std::atomic<int> ranges{0};
  FFixture.HandleRegex(R"(/town\.pmtiles)",
                       [&](const TFixtureRequest& request, httplib::Response& response) {
                         if (request.HasHeader("Range")) ++ranges;
                         response.set_content(archive, "application/octet-stream");
                       });
  std::string error;
  auto file = TMbTiles::Open((kData / "town.mbtiles").string(), error);
  ASSERT_TRUE(file);
  FFixture.HandleRegex(R"(/v/(\d+)/(\d+)/(\d+)\.pbf)", [&](const TFixtureRequest& request,
                                                           httplib::Response& response) {
    std::string bytes;
    if (!file->ReadTile(std::stoi(request.Captures.at(1)), std::stoi(request.Captures.at(2)),
                        std::stoi(request.Captures.at(0)), bytes)) {
      response.status = 404;
      return;
    }
    response.set_content(bytes, "application/x-protobuf");
  });
  SetSetting("endpoint.vector", FFixture.Url("/v/{z}/{x}/{y}.pbf"));
  for (const std::string& path : {FFixture.Url("/town.pmtiles"), std::string("vector")}) {
    SCOPED_TRACE(path);
    TVuroduDavServer& server = MakeServer(false);
    ASSERT_TRUE(UseLocalTileSource(path, server.TileServerInfo(), error)) << error;
    const QImage tile = server.GetTile(kX, kY, kZ).convertToFormat(QImage::Format_RGB32);
    ASSERT_TRUE(server.TileOK());
    EXPECT_TRUE(Near(At(tile, 0.18, 0.26), kWater));
    EXPECT_TRUE(Near(At(tile, 0.66, 0.30), kPark));
    server.GetTile(0, 0, 12);
    EXPECT_FALSE(server.TileOK());
  }
  EXPECT_GE(ranges.load(), 2);
  SetSetting("endpoint.vector", "");
  TTileServerInfo info;
  EXPECT_FALSE(UseLocalTileSource("vector", info, error));
  EXPECT_NE(error.find("endpoint.vector"), std::string::npos);
}

// The archives hold exactly the MBTiles' tiles, with and without leaves.
TEST(PmTilesTest, ArchivesHoldTheMbTilesTiles) {
  std::string error;
  auto mbtiles = TMbTiles::Open((kData / "town.mbtiles").string(), error);
  ASSERT_TRUE(mbtiles) << error;
  for (const char* name : {"town.pmtiles", "town-leaves.pmtiles"}) {
    SCOPED_TRACE(name);
    auto archive = TPmTiles::Open(FileRangeReader((kData / name).string(), error), error);
    ASSERT_TRUE(archive) << error;
    EXPECT_EQ(archive->Header().TileType, ptMvt);
    EXPECT_EQ(archive->Header().MinZoom, 10);
    EXPECT_EQ(archive->Header().MaxZoom, 14);
    EXPECT_NE(archive->Metadata().find("vector_layers"), std::string::npos);
    int found = 0;
    for (int z = 10; z <= 14; ++z) {
      const int shift = 14 - z;
      for (int x = (kX >> shift) - 2; x <= (kX >> shift) + 2; ++x)
        for (int y = (kY >> shift) - 2; y <= (kY >> shift) + 2; ++y) {
          std::string want, got;
          const bool inFile = mbtiles->ReadTile(x, y, z, want);
          EXPECT_EQ(archive->ReadTile(x, y, z, got, error), inFile) << z << "/" << x << "/" << y;
          EXPECT_EQ(got, want);
          found += inFile;
        }
    }
    EXPECT_GE(found, 17);
  }
}

TEST(PmTilesTest, TileIdsFollowTheHilbertCurve) {
  struct Case {
    int Z;
    uint32_t X, Y;
    uint64_t Id;
  };
  const Case cases[] = {{0, 0, 0, 0}, {1, 0, 0, 1},  {1, 0, 1, 2},  {1, 1, 1, 3},
                        {1, 1, 0, 4}, {2, 0, 0, 5},  {2, 1, 0, 6},  {2, 1, 1, 7},
                        {2, 0, 1, 8}, {2, 3, 3, 15}, {2, 3, 0, 20}, {3, 0, 0, 21}};
  for (const Case& c : cases) EXPECT_EQ(PmTileId(c.Z, c.X, c.Y), c.Id) << c.Z << c.X << c.Y;
  // The last tile of zoom 12 is one before the first of zoom 13.
  EXPECT_EQ(PmTileId(13, 0, 0), PmTileId(12, 4095, 0) + 1);
}

TEST(PmTilesTest, DamagedDirectoriesAreRefused) {
  struct Case {
    std::string Bytes, Says;
  };
  const Case cases[] = {
      {"", "cut short"},
      {std::string("\x05\x01", 2), "more entries"},
      // Two entries, the second repeating the first's id.
      {std::string("\x02\x01\x00\x01\x01\x01\x01\x01\x00", 9), "repeats"},
      // One entry with a first offset of zero (no offset).
      {std::string("\x01\x01\x01\x05\x00", 5), "no offset"},
      // A varint that never ends.
      {std::string("\x01\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff", 12), "cut short"},
  };
  for (const Case& c : cases) {
    std::vector<TPmEntry> entries;
    std::string error;
    EXPECT_FALSE(ParsePmDirectory(c.Bytes, entries, error));
    EXPECT_NE(error.find(c.Says), std::string::npos) << error;
    EXPECT_TRUE(entries.empty());
  }
  std::vector<TPmEntry> entries;
  std::string error;
  // Two entries: ids 1 and 3, run lengths 1 and 2, lengths 10 and 20, the
  // second right after the first.
  ASSERT_TRUE(
      ParsePmDirectory(std::string("\x02\x01\x02\x01\x02\x0a\x14\x01\x00", 9), entries, error))
      << error;
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].TileId, 3u);
  EXPECT_EQ(entries[1].RunLength, 2u);
  EXPECT_EQ(entries[1].Offset, 10u);
  EXPECT_EQ(entries[1].Length, 20u);
}

}  // namespace
}  // namespace tile_test
}  // namespace wy

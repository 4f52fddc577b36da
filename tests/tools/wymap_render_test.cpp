// wymap render against a loopback tile server whose tile (x, y) is a solid
// colour of its own.

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geo/settings.h"
#include "geo/text_convert.h"
#include "geo/world_info.h"
#include "support/external_tools.h"
#include "support/fixture_server.h"
#include "support/image_helpers.h"
#include "support/mbtiles_builder.h"
#include "support/test_helpers.h"
#include "tiles/basemap_tiles.h"
#include "tools/wymap_cli.h"
#include "wymap_run.h"

namespace wy {
namespace {

using test_support::TScratchDir;

namespace fs = std::filesystem;

// The colour the map fills where no tile is drawn (3-D light).
const QRgb kPlaceholder = qRgb(0xE3, 0xE3, 0xE3);

QRgb TileColor(int x, int y) {
  return qRgb((x * 37 + 11) % 256, (y * 59 + 23) % 256, ((x + 2 * y) * 29 + 7) % 256);
}

class WymapRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Running());
    server.HandleRegex(R"(/t/(\d+)/(\d+)/(\d+)\.png)",
                       [this](const TFixtureRequest& request, httplib::Response& response) {
                         const int x = std::stoi(request.Captures.at(1));
                         const int y = std::stoi(request.Captures.at(2));
                         if (x == missingX && y == missingY) {
                           response.status = 404;
                           return;
                         }
                         response.set_content(SolidPng(TileColor(x, y)), "image/png");
                       });
  }
  void TearDown() override { ResetSettings(); }

  std::string TileUrl() const { return server.Url("/t/{z}/{x}/{y}.png"); }

  // render of the whole world at zoom 2 in a 1200 x 600 image, centred on
  // (0, 0): the world is 1024 px wide, so 88 px on each side are outside.
  std::vector<std::string> WorldArgs(const std::string& cacheDir, const std::string& output) const {
    return {"render",   "--lat",   "0",      "--lng",      "0",       "--zoom", "2",   "--size",
            "1200x600", "--cache", cacheDir, "--tile-url", TileUrl(), "-o",     output};
  }

  TRun Run(const std::vector<std::string>& args) { return Wymap(args); }

  TFixtureServer server;
  TScratchDir scratch;
  int missingX = -1, missingY = -1;
};

bool IsOneLine(const std::string& text) {
  return text.compare(0, 7, "wymap: ") == 0 && text.find('\n') == text.size() - 1;
}

// The tiles and the outside of the world, pixel by pixel; the attribution
// in the bottom right corner.
TEST_F(WymapRenderTest, DrawsEveryTileAtItsPlaceTheAttributionAndTheOutside) {
  const std::string output = scratch.Sub("world.png");
  const TRun run = Run(WorldArgs("", output));
  ASSERT_EQ(run.Code, kWymapOk) << run.Err;
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(run.Err, "");
  QImage image(QString::fromStdString(output));
  ASSERT_EQ(image.size(), QSize(1200, 600));
  image = image.convertToFormat(QImage::Format_RGB32);
  auto at = [&](int x, int y) { return image.pixel(x, y) | 0xFF000000u; };

  // Tile (tx, ty) covers x = 88 + 256 tx .. and y = -212 + 256 ty ..; the
  // bottom 30 rows hold the attribution and are checked apart.
  int wrong = 0;
  for (int y = 0; y < 570; ++y) {
    for (int x = 0; x < 1200; ++x) {
      const bool outside = x < 88 || x >= 1112;
      const QRgb expected = outside ? kPlaceholder : TileColor((x - 88) / 256, (y + 212) / 256);
      if (at(x, y) != (expected | 0xFF000000u) && ++wrong <= 5)
        ADD_FAILURE() << "pixel " << x << "," << y << " is "
                      << QColor(at(x, y)).name().toStdString() << ", not "
                      << QColor(expected).name().toStdString();
    }
  }
  EXPECT_EQ(wrong, 0);

  // The attribution's ink ends 4 px from the right edge and reaches into
  // the bottom rows; beside it the placeholder stays.
  int inkRight = -1, inkLeft = 1200, inkBottom = -1;
  for (int y = 570; y < 600; ++y)
    for (int x = 1112; x < 1200; ++x)
      if (at(x, y) != (kPlaceholder | 0xFF000000u)) {
        inkRight = std::max(inkRight, x);
        inkLeft = std::min(inkLeft, x);
        inkBottom = std::max(inkBottom, y);
      }
  ASSERT_GE(inkRight, 0) << "no attribution drawn";
  EXPECT_LE(inkRight, 1200 - 4 - 1);
  EXPECT_GE(inkRight, 1200 - 4 - 3);
  EXPECT_LE(inkLeft, 1112) << "the attribution is longer than the outside band";
  EXPECT_GE(inkBottom, 600 - 8);
}

// A tile that fails ends the wait like one that arrived: the image is
// written with the built-in world map standing in for it. A second render
// finds the tiles in the disk cache and needs no server; the stand-in was
// never stored there, so it stands in again.
TEST_F(WymapRenderTest, FailedTilesLeaveThePlaceholderAndTheDiskCacheServesAgain) {
  missingX = 1;
  missingY = 1;
  const std::string cache = scratch.Sub("cache");
  const std::string first = scratch.Sub("first.png");
  const TRun run = Run(WorldArgs(cache, first));
  ASSERT_EQ(run.Code, kWymapOk) << run.Err;
  QImage image = QImage(QString::fromStdString(first)).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(image.size(), QSize(1200, 600));
  // Tile (1, 1) at (344, 44); its neighbour (2, 1) at (600, 44).
  EXPECT_EQ(image.copy(344, 44, 256, 256), BasemapTile(1, 1, 2));
  EXPECT_EQ(image.pixel(700, 100) | 0xFF000000u, TileColor(2, 1) | 0xFF000000u);

  const size_t requests = server.RequestCount();
  std::vector<std::string> again = WorldArgs(cache, scratch.Sub("second.png"));
  again[again.size() - 3] = server.RefusedUrl("/t/{z}/{x}/{y}.png");
  const TRun second = Run(again);
  ASSERT_EQ(second.Code, kWymapOk) << second.Err;
  QImage cached = QImage(QString::fromStdString(scratch.Sub("second.png")))
                      .convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(cached, image);
  EXPECT_EQ(server.RequestCount(), requests);
}

TEST_F(WymapRenderTest, HangingTilesEndAtTheTimeOutWithoutAnImage) {
  server.Hold("tiles");
  server.HandleRegex(R"(/hang/(\d+)/(\d+)/(\d+)\.png)",
                     [this](const TFixtureRequest&, httplib::Response& response) {
                       server.WaitRelease("tiles", 20000);
                       response.status = 404;
                     });
  std::vector<std::string> args = WorldArgs("", scratch.Sub("hang.png"));
  args[args.size() - 3] = server.Url("/hang/{z}/{x}/{y}.png");
  args.insert(args.end(), {"--timeout", "0.5"});
  const TRun run = Run(args);
  server.ReleaseAll();
  EXPECT_EQ(run.Code, kWymapRequestFailed);
  EXPECT_TRUE(IsOneLine(run.Err)) << run.Err;
  EXPECT_FALSE(fs::exists(scratch.Sub("hang.png")));
}

TEST_F(WymapRenderTest, BadArgumentsGiveOneLineAndExitCodeTwo) {
  const std::string out = scratch.Sub("x.png");
  const std::string url = TileUrl();
  auto render = [&](std::vector<std::string> changes) {
    // Valid arguments, then `changes` replacing the values of their options
    // (a lone option name removes that option).
    std::vector<std::pair<std::string, std::string>> options = {
        {"--lat", "48.8566"}, {"--lng", "2.3522"}, {"--zoom", "13"},
        {"--size", "64x64"},  {"--tile-url", url}, {"-o", out}};
    for (size_t i = 0; i < changes.size(); ++i) {
      const std::string& name = changes[i];
      const bool remove = i + 1 >= changes.size() || changes[i + 1].rfind("--", 0) == 0;
      bool found = false;
      for (auto it = options.begin(); it != options.end(); ++it)
        if (it->first == name) {
          found = true;
          if (remove)
            options.erase(it);
          else
            it->second = changes[i + 1];
          break;
        }
      if (!found && !remove) options.emplace_back(name, changes[i + 1]);
      if (!remove) ++i;
    }
    std::vector<std::string> args = {"render", "--cache", ""};
    for (const auto& option : options) {
      args.push_back(option.first);
      args.push_back(option.second);
    }
    return args;
  };
  fs::create_directories(scratch.Sub("folder"));
  const std::vector<std::vector<std::string>> cases = {
      render({"--lat", "abc"}),
      render({"--lat", "91"}),
      render({"--lng", "1,5"}),
      render({"--zoom", "x"}),
      render({"--zoom", "1"}),   // below the service's range
      render({"--zoom", "19"}),  // above it
      render({"--zoom", "2.5"}),
      render({"--size", "0x10"}),
      render({"--size", "10x8193"}),
      render({"--size", "1024"}),
      render({"--size", "1024x"}),
      render({"--size", "-5x5"}),
      render({"--size", "5x5x5"}),
      render({"--tile-server", "bogus"}),
      render({"--tiles", scratch.Sub("none.mbtiles")}),
      render({"--tiles", scratch.Sub("folder")}),  // no <z> folders
      render({"--tiles", ""}),
      render({"--tile-server", "offline", "--zoom", "11"}),
      render({"--tile-server", "offline"}),  // with --tile-url
      render({"--tile-url", "ftp://h/{z}/{x}/{y}"}),
      render({"--tile-url", server.Url("/t/{x}/{y}.png")}),
      render({"-o"}),
      render({"--zoom"}),
      render({"--marker", "48.8"}),
      render({"--marker", "91,2"}),
      render({"--poi", "48.8,2.3,hexagon"}),
      render({"--line", "48.8,2.3"}),
      render({"--line", "48.8,2.3;x,2"}),
      render({"--polygon", "48.8,2.3;48.9,2.4"}),
      render({"--info", "48.8,2.3"}),
      render({"-o", scratch.Sub("no/such/folder/x.png")}),
      render({"-o", scratch.Sub("folder")}),
      render({"--dpi", "0"}),
      render({"--dpi", "96dpi"}),
      {"render", "extra", "--lat", "1", "--lng", "2", "--zoom", "3", "--size", "5x5", "-o", out},
      {"geocode", "x", "--zoom", "3"},
      {"reverse", "1", "2", "-o", out},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& arg : args) shown += "[" + arg + "]";
    SCOPED_TRACE(shown);
    const TRun run = Run(args);
    EXPECT_EQ(run.Code, kWymapUsage);
    EXPECT_EQ(run.Out, "");
    EXPECT_TRUE(IsOneLine(run.Err)) << run.Err;
  }
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_FALSE(fs::exists(out));
}

// Without any server: the built-in world map, an MBTiles file and a tile
// folder, each tile at its place.
TEST_F(WymapRenderTest, DrawsOfflineAndLocalTilesWithoutAServer) {
  const std::string offline = scratch.Sub("offline.png");
  TRun run = Run({"render", "--lat", "0", "--lng", "0", "--zoom", "2", "--size", "1200x600",
                  "--cache", "", "--tile-server", "offline", "-o", offline});
  ASSERT_EQ(run.Code, kWymapOk) << run.Err;
  QImage image = QImage(QString::fromStdString(offline)).convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(image.copy(344, 44, 256, 256), BasemapTile(1, 1, 2, 1, true));
  EXPECT_EQ(image.copy(600, 300, 256, 256), BasemapTile(2, 2, 2, 1, true));

  // Zoom 2 in a file that has it; tiles (x, y) in the map's numbering.
  const std::string mbtiles = scratch.Sub("world.mbtiles");
  const std::string folder = scratch.Sub("tiles");
  std::vector<TMbTile> tiles;
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 4; ++y) {
      tiles.push_back({x, y, 2, SolidPng(TileColor(x, y))});
      fs::create_directories(folder + "/2/" + std::to_string(x));
      std::ofstream(folder + "/2/" + std::to_string(x) + "/" + std::to_string(y) + ".png",
                    std::ios::binary)
          << SolidPng(TileColor(x, y));
    }
  ASSERT_TRUE(WriteMbTiles(mbtiles, {{"format", "png"}, {"attribution", "Local data"}}, tiles));
  for (const std::string& source : {mbtiles, folder}) {
    SCOPED_TRACE(source);
    const std::string output = scratch.Sub("local.png");
    run = Run({"render", "--lat", "0", "--lng", "0", "--zoom", "2", "--size", "1200x600", "--cache",
               "", "--tiles", source, "-o", output});
    ASSERT_EQ(run.Code, kWymapOk) << run.Err;
    image = QImage(QString::fromStdString(output)).convertToFormat(QImage::Format_RGB32);
    // Tile (x, y) at (88 + 256 x, 256 y - 212).
    for (int x = 0; x < 4; ++x)
      for (int y = 1; y < 3; ++y)
        EXPECT_EQ(image.pixel(88 + x * 256 + 30, y * 256 - 212 + 30) | 0xFF000000u,
                  TileColor(x, y) | 0xFF000000u)
            << x << "," << y;
  }
  EXPECT_EQ(server.RequestCount(), 0u);
}

// Vector tiles: the synthetic town's PMTiles drawn with the built-in style
// and with a style file given by --style (its water red).
TEST_F(WymapRenderTest, DrawsVectorTilesWithAStyle) {
  const std::string town = std::string(WY_TEST_DATA_DIR) + "/town.pmtiles";
  const std::string style = scratch.Sub("red-water.json");
  std::ofstream(style) << R"({"version": 8, "layers": [
      {"id": "w", "type": "fill", "source-layer": "water", "paint": {"fill-color": "#ff0000"}}]})";
  // Zoom 14 tile (8556, 5784) fills the 256 x 256 image; its lake covers
  // the fractions 0.06 to 0.30 of the tile.
  const std::vector<std::string> view = {"render", "--lat",   "46.6720565", "--lng",   "8.0090332",
                                         "--zoom", "14",      "--size",     "256x256", "--cache",
                                         "",       "--tiles", town};
  for (const std::string& styleFile : {std::string(), style}) {
    SCOPED_TRACE(styleFile);
    const std::string output = scratch.Sub("vector.png");
    std::vector<std::string> args = view;
    if (!styleFile.empty()) args.insert(args.end(), {"--style", styleFile});
    args.insert(args.end(), {"-o", output});
    const TRun run = Run(args);
    ASSERT_EQ(run.Code, kWymapOk) << run.Err;
    const QImage image =
        QImage(QString::fromStdString(output)).convertToFormat(QImage::Format_RGB32);
    const QColor lake(image.pixel(46, 66));
    if (styleFile.empty()) {
      EXPECT_EQ(lake.name().toStdString(), "#aad3df");
    } else {
      EXPECT_EQ(lake.name().toStdString(), "#ff0000");
    }
  }
  const TRun bad =
      Run({"render", "--lat", "0", "--lng", "0", "--zoom", "2", "--size", "64x64", "--cache", "",
           "--tiles", town, "--style", scratch.Sub("none.json"), "-o", scratch.Sub("x.png")});
  EXPECT_EQ(bad.Code, kWymapUsage);
  EXPECT_NE(bad.Err.find("none.json"), std::string::npos) << bad.Err;
}

// Markers on the world at zoom 2 (1200 x 600, centred on 0,0, so lat 0 is
// row 300 and a longitude maps to x = 88 + (lng + 180) / 360 * 1024): the pin
// stands on its point, an icon served over HTTP is drawn whole with its
// bottom centre on its point, its transparent corners showing the tile.
TEST_F(WymapRenderTest, DrawsThePinAndDownloadedIconsAtTheirPoints) {
  QImage icon(32, 32, QImage::Format_ARGB32);
  icon.fill(qRgb(20, 180, 60));
  icon.setPixel(0, 0, qRgba(0, 0, 0, 0));
  server.Serve("/icon.png", EncodePngImage(icon, true), "image/png");
  const std::string output = scratch.Sub("markers.png");
  std::vector<std::string> args = WorldArgs("", output);
  // x = 800 is longitude 70.3125.
  for (const std::string& m : {std::string("0,0"), "0,70.3125," + server.Url("/icon.png"),
                               std::string("0,-170.15625,") + server.Url("/icon.png")}) {
    args.push_back("--marker");
    args.push_back(m);
  }
  const TRun run = Run(args);
  ASSERT_EQ(run.Code, kWymapOk) << run.Err;
  QImage image(QString::fromStdString(output));
  image = image.convertToFormat(QImage::Format_RGB32);
  auto color = [&](int x, int y) { return QColor(image.pixel(x, y)); };
  // The pin's ball (the shape's red) just inside the box's top-left corner.
  const QColor ball = color(594 + 3, 288 + 4);
  EXPECT_NEAR(ball.red(), 255, 2);
  EXPECT_NEAR(ball.green(), 72, 2);
  // The icon spans x 784..815 and y 268..299.
  for (QPoint p : {QPoint(785, 269), QPoint(815, 299), QPoint(800, 280)})
    EXPECT_EQ(color(p.x(), p.y()).name(), QColor(20, 180, 60).name()) << p.x() << "," << p.y();
  EXPECT_EQ(image.pixel(784, 268) | 0xFF000000u, TileColor(2, 1) | 0xFF000000u)
      << "the transparent corner shows the tile";
  EXPECT_NE(color(816, 290).name(), QColor(20, 180, 60).name());
  EXPECT_NE(color(800, 300).name(), QColor(20, 180, 60).name());
  // The second icon marker at x = 128 uses the same download.
  EXPECT_EQ(color(128, 285).name(), QColor(20, 180, 60).name());
  EXPECT_EQ(server.RequestCount("/icon.png"), 1u);
}

// A line, a translucent polygon and an info window on the world at zoom 2:
// their pixels where a user expects them.
TEST_F(WymapRenderTest, DrawsLinesPolygonsAndInfoWindows) {
  // The coordinate under an image pixel (world pixel = image pixel + (-88, 212)).
  auto at = [](int x, int y) {
    double lat = 0, lng = 0;
    WorldPixelToLatLng(2, x - 88, y + 212, lat, lng);
    return FloatToStrDot(lat) + "," + FloatToStrDot(lng);
  };
  const std::string output = scratch.Sub("figures.png");
  std::vector<std::string> args = WorldArgs("", output);
  const std::vector<std::string> shapes = {
      "--line",    at(700, 150) + ";" + at(1000, 150),
      "--polygon", at(200, 200) + ";" + at(300, 200) + ";" + at(300, 280) + ";" + at(200, 280),
      "--info",    at(600, 500) + ",<b>Hi</b>"};
  args.insert(args.end(), shapes.begin(), shapes.end());
  const TRun run = Run(args);
  ASSERT_EQ(run.Code, kWymapOk) << run.Err;
  QImage image(QString::fromStdString(output));
  image = image.convertToFormat(QImage::Format_RGB32);
  auto near = [&](int x, int y, QColor expected) {
    const QColor c = image.pixelColor(x, y);
    return std::abs(c.red() - expected.red()) <= 2 && std::abs(c.green() - expected.green()) <= 2 &&
           std::abs(c.blue() - expected.blue()) <= 2;
  };
  // The line in the shape's red, 4 px wide, ends at its points.
  EXPECT_TRUE(near(850, 150, QColor(255, 72, 72)))
      << image.pixelColor(850, 150).name().toStdString();
  EXPECT_TRUE(near(850, 151, QColor(255, 72, 72)));
  EXPECT_FALSE(near(850, 156, QColor(255, 72, 72)));
  EXPECT_FALSE(near(1010, 150, QColor(255, 72, 72)));
  // The polygon: red at half opacity over the tile (alpha 128), an opaque
  // darker outline.
  const QColor tile(TileColor(0, 1));
  const QColor half((255 * 128 + tile.red() * 127) / 255, (tile.green() * 127) / 255,
                    (tile.blue() * 127) / 255);
  EXPECT_TRUE(near(250, 240, half))
      << image.pixelColor(250, 240).name().toStdString() << " vs " << half.name().toStdString();
  EXPECT_EQ(image.pixel(320, 240) | 0xFF000000u, TileColor(0, 1) | 0xFF000000u);
  // The info window: a white balloon above its point, its tip reaching
  // down to the point.
  EXPECT_TRUE(near(600, 470, Qt::white)) << image.pixelColor(600, 470).name().toStdString();
  EXPECT_TRUE(near(540, 460, Qt::white));
  // Below the box only the narrow tip, ending 6 px below the point.
  EXPECT_TRUE(near(600, 503, Qt::white));
  EXPECT_FALSE(near(580, 503, Qt::white));
  EXPECT_FALSE(near(600, 510, Qt::white));
}

// An icon that cannot be had (missing, refused host) costs its marker the
// icon, not the picture: the default pin stands there, one warning line
// names the address, and the render succeeds.
TEST_F(WymapRenderTest, AnIconThatCannotBeHadLeavesTheDefaultPin) {
  const std::string icons[] = {server.Url("/no-such-icon.png"),
                               "http://127.0.0.1:1/refused-icon.png"};
  for (const std::string& icon : icons) {
    const std::string output = scratch.Sub("x.png");
    std::vector<std::string> args = WorldArgs("", output);
    args.push_back("--marker");
    args.push_back("0,0," + icon);
    args.push_back("--timeout");
    args.push_back("30");
    const TRun run = Run(args);
    EXPECT_EQ(run.Code, kWymapOk) << run.Err;
    EXPECT_TRUE(IsOneLine(run.Err)) << run.Err;
    EXPECT_NE(run.Err.find(icon + " could not be loaded"), std::string::npos) << run.Err;
    QImage image(QString::fromStdString(output));
    ASSERT_FALSE(image.isNull()) << icon;
    image = image.convertToFormat(QImage::Format_RGB32);
    // The pin, in the marker's colour, stands on the marker's point, the
    // centre of the picture.
    int pin = 0;
    for (int y = 284; y <= 300; ++y)
      for (int x = 592; x <= 608; ++x) {
        const QColor c = image.pixelColor(x, y);
        pin += std::abs(c.red() - 255) < 40 && std::abs(c.green() - 72) < 40 &&
                       std::abs(c.blue() - 72) < 40
                   ? 1
                   : 0;
      }
    EXPECT_GT(pin, 10) << icon;
    fs::remove(output);
  }
}

// The extension of -o chooses the picture: a PDF page of the view's size in
// points that shows the PNG's line where the PNG has it, and an SVG that a
// strict XML reader takes, with the line as a vector.
TEST_F(WymapRenderTest, PdfAndSvgByExtension) {
  if (!test_support::HaveTool("pdftoppm") || !test_support::HaveTool("xmllint"))
    GTEST_SKIP() << "poppler-utils or xmllint missing";
  auto at = [](int x, int y) {
    double lat = 0, lng = 0;
    WorldPixelToLatLng(2, x - 88, y + 212, lat, lng);
    return FloatToStrDot(lat) + "," + FloatToStrDot(lng);
  };
  const std::string line = at(700, 150) + ";" + at(1000, 150);
  for (const char* name : {"map.pdf", "map.svg"}) {
    std::vector<std::string> args = WorldArgs("", scratch.Sub(name));
    args.insert(args.end(), {"--line", line});
    const TRun run = Run(args);
    ASSERT_EQ(run.Code, kWymapOk) << run.Err;
  }
  std::string out;
  ASSERT_EQ(
      test_support::RunCommand("pdfinfo " + test_support::ShellQuote(scratch.Sub("map.pdf")), out),
      0);
  EXPECT_NE(out.find("900 x 450 pts"), std::string::npos) << out;
  ASSERT_EQ(test_support::RunCommand("pdftoppm -png -singlefile -r 96 " +
                                         test_support::ShellQuote(scratch.Sub("map.pdf")) + " " +
                                         test_support::ShellQuote(scratch.Sub("page")),
                                     out),
            0);
  const QImage page =
      QImage(QString::fromStdString(scratch.Sub("page.png"))).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(page.size(), QSize(1200, 600));
  const QColor red = page.pixelColor(850, 150);
  EXPECT_TRUE(red.red() > 200 && red.green() < 120 && red.blue() < 120) << red.name().toStdString();
  // The tile under it, within the rounding of the page's colours.
  const QColor tile = page.pixelColor(320, 240), want(TileColor(0, 1));
  EXPECT_LE(std::abs(tile.red() - want.red()) + std::abs(tile.green() - want.green()) +
                std::abs(tile.blue() - want.blue()),
            3)
      << tile.name().toStdString();
  EXPECT_EQ(
      test_support::RunCommand(
          "xmllint --noout " + test_support::ShellQuote(scratch.Sub("map.svg")) + " 2>&1", out),
      0)
      << out;
  std::ifstream svg(scratch.Sub("map.svg"));
  const std::string text((std::istreambuf_iterator<char>(svg)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("<polyline"), std::string::npos);
}

// The program itself draws without a display when no platform is chosen.
TEST_F(WymapRenderTest, ProgramRendersWithoutADisplay) {
  const std::string output = scratch.Sub("program.png");
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("QT_QPA_PLATFORM");
  environment.remove("DISPLAY");
  environment.remove("WAYLAND_DISPLAY");
  process.setProcessEnvironment(environment);
  QStringList args;
  for (const auto& arg : WorldArgs("", output)) args << QString::fromStdString(arg);
  process.start(QString::fromUtf8(WYMAP_BINARY), args);
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  const QImage image(QString::fromStdString(output));
  ASSERT_EQ(image.size(), QSize(1200, 600));
  EXPECT_EQ(image.pixel(600, 300) | 0xFF000000u, TileColor(2, 2) | 0xFF000000u);
}

// --- Saved maps -----------------------------------------------------------------

class WymapShapesFileTest : public WymapRenderTest {
 protected:
  // A saved map of the world at zoom 2 centred on (0, 0) with one marker
  // there (its pin) and `more` records after it.
  std::string SaveMap(const std::string& name, const std::string& mapSection,
                      const std::string& markerLng = "0") {
    const std::string path = scratch.Sub(name);
    std::ofstream(path, std::ios::binary)
        << "\xEF\xBB\xBF" << mapSection
        << "\r\n[groupes]\r\nname=;minzoom=2;maxzoom=18;clickable=true;zindex=0\r\n\r\n"
           "[markers]\r\nname=m"
        << markerLng << ";lat=0;lng=" << markerLng << ";\r\n";
    return path;
  }
  std::vector<std::string> Args(const std::vector<std::string>& extra) const {
    std::vector<std::string> args = {"render", "--size",     "1200x600", "--cache",
                                     "",       "--tile-url", TileUrl()};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  const std::string kWorld =
      "[map]\r\ndraggable=true\r\nlatitude=0\r\nlongitude=0\r\nzoom=2\r\ntileserver=osm\r\n";
};

// The file alone places the view and brings its shapes; --shapes-out saves
// what was drawn.
TEST_F(WymapShapesFileTest, ASavedMapPlacesTheViewAndIsSavedAgain) {
  const std::string map = SaveMap("world.txt", kWorld);
  const std::string output = scratch.Sub("world.png");
  const std::string saved = scratch.Sub("drawn.TXT");
  const TRun run = Run(Args({"--shapes", map, "-o", output, "--shapes-out", saved}));
  ASSERT_EQ(run.Code, kWymapOk) << run.Err;
  QImage image(QString::fromStdString(output));
  ASSERT_EQ(image.size(), QSize(1200, 600));
  image = image.convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(image.pixel(700, 100) | 0xFF000000u, TileColor(2, 1) | 0xFF000000u);
  // The marker's pin stands on (0, 0), the middle of the image.
  const QColor ball(image.pixel(594 + 3, 288 + 4));
  EXPECT_NEAR(ball.red(), 255, 2);
  EXPECT_NEAR(ball.green(), 72, 2);
  const std::string text = Read(saved);
  EXPECT_EQ(text.compare(0, 3 + kWorld.size(), "\xEF\xBB\xBF" + kWorld), 0) << text;
  EXPECT_NE(text.find("\r\n[markers]\r\nname=m0;"), std::string::npos) << text;
}

// Options given win over the file's view; several files add up, the view of
// the last one counting.
TEST_F(WymapShapesFileTest, OptionsWinOverTheFilesViewAndFilesAddUp) {
  const std::string first = SaveMap("a.txt", kWorld, "10");
  const std::string second = SaveMap(
      "b.txt", "[map]\r\nlatitude=5\r\nlongitude=6\r\nzoom=4\r\ntileserver=cloudmade\r\n", "20");
  const std::string saved = scratch.Sub("drawn.txt");
  TRun run = Run(Args({"--shapes", first, "--shapes", second, "--zoom", "3", "--lat", "-1", "-o",
                       scratch.Sub("a.png"), "--shapes-out", saved}));
  ASSERT_EQ(run.Code, kWymapOk) << run.Err;
  std::string text = Read(saved);
  EXPECT_NE(text.find("latitude=-1\r\nlongitude=6\r\nzoom=3\r\ntileserver=cloudmade\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("name=m10;"), std::string::npos);
  EXPECT_NE(text.find("name=m20;"), std::string::npos);

  run = Run(Args({"--shapes", second, "--tile-server", "osm", "-o", scratch.Sub("b.png"),
                  "--shapes-out", saved}));
  ASSERT_EQ(run.Code, kWymapOk) << run.Err;
  EXPECT_NE(Read(saved).find("zoom=4\r\ntileserver=osm\r\n"), std::string::npos);
}

TEST_F(WymapShapesFileTest, FilesThatCannotBeReadOrWrittenFail) {
  const std::string map = SaveMap("world.txt", kWorld);
  // A name longer than a file system takes.
  const std::string tooLong = scratch.Sub(std::string(300, 'x') + ".gpx");
  const std::string broken = scratch.Sub("broken.kml");
  std::ofstream(broken, std::ios::binary) << "<kml>\n<Placemark><name>cut";
  struct TCase {
    std::vector<std::string> extra;
    int code;
    std::string message;
  };
  const TCase cases[] = {
      {{"--shapes", scratch.Sub("missing.txt")}, kWymapRequestFailed, "cannot read the map"},
      {{"--shapes", server.Url("/missing.txt")}, kWymapRequestFailed, "cannot read the map"},
      {{"--shapes", broken},
       kWymapRequestFailed,
       "cannot read the map " + broken +
           ": no shapes in the document at line 2: the document ends before <name> (line 2) "
           "is closed"},
      {{"--shapes", map, "--shapes-out", tooLong}, kWymapRequestFailed, "cannot write the shapes"},
      {{"--shapes", map, "--shapes-out", scratch.Sub("no/folder/x.txt")}, kWymapUsage, "folder"},
      {{"--shapes", map, "--shapes-out", ""}, kWymapUsage, "--shapes-out wants a file name"},
      {{"--shapes-out", scratch.Sub("x.txt")}, kWymapUsage, "render wants --lat"},
      {{"--fit"}, kWymapUsage, "--fit wants shapes"},
      {{"--fit=1", "--marker", "1,2"}, kWymapUsage, "takes no value"},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> extra = c.extra;
    extra.push_back("-o");
    extra.push_back(scratch.Sub("x.png"));
    const TRun run = Run(Args(extra));
    EXPECT_EQ(run.Code, c.code) << c.message << ": " << run.Err;
    EXPECT_TRUE(IsOneLine(run.Err)) << run.Err;
    EXPECT_NE(run.Err.find(c.message), std::string::npos) << run.Err;
  }
}

// Files of other programs draw too, and --fit frames the view on them.
TEST_F(WymapShapesFileTest, ForeignFilesAndFit) {
  const std::string gpx = scratch.Sub("track.gpx");
  std::ofstream(gpx, std::ios::binary)
      << "<gpx><trk><trkseg><trkpt lat=\"10\" lon=\"-20\"/><trkpt lat=\"20\" lon=\"30\"/>"
         "</trkseg></trk></gpx>";
  const std::string saved = scratch.Sub("drawn.txt");
  const TRun run =
      Run(Args({"--shapes", gpx, "--fit", "-o", scratch.Sub("t.png"), "--shapes-out", saved}));
  ASSERT_EQ(run.Code, kWymapOk) << run.Err;
  const std::string text = Read(saved);
  auto value = [&](const std::string& key) {
    const size_t at = text.find("\r\n" + key + "=");
    return at == std::string::npos ? -1000.0 : std::stod(text.substr(at + key.size() + 3, 12));
  };
  EXPECT_NEAR(value("longitude"), 5, 1) << text;
  EXPECT_GT(value("latitude"), 10) << text;
  EXPECT_LT(value("latitude"), 20) << text;
  EXPECT_GE(value("zoom"), 2) << text;
  EXPECT_NE(text.find("latlng=10,-20,20,30"), std::string::npos) << text;
}

}  // namespace
}  // namespace wy

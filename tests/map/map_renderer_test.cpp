// The map drawn without a widget: the renderer's frame against the widget's,
// and the picture files it writes (PNG, PDF, SVG) read back by outside
// readers.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "map/map_control.h"
#include "map/map_picture_file.h"
#include "map/map_renderer.h"
#include "map_test_support.h"
#include "shapes/headless_host.h"
#include "shapes/shape_line.h"
#include "shapes/shapes_group.h"
#include "support/external_tools.h"
#include "tiles/tile_server.h"

namespace wy {
namespace {

using maptest::PumpUntil;
using maptest::TileColor;
using test_support::HaveTool;
using test_support::RunCommand;
using test_support::ShellQuote;

constexpr double kLat = 48.8566;
constexpr double kLng = 2.3522;
constexpr uint8_t kZoom = 12;
TLatLng At(double lat, double lng) {
  TLatLng at;
  at.Lat = lat;
  at.Lng = lng;
  return at;
}

// A track of a few kilometres through the view, and a triangle.
const std::vector<TLatLng> kTrack = {At(48.84, 2.30), At(48.86, 2.33), At(48.85, 2.37),
                                     At(48.87, 2.40)};
const std::vector<TLatLng> kTriangle = {At(48.86, 2.31), At(48.875, 2.33), At(48.86, 2.35)};

void AddTestShapes(TWyShapesGroup& group) {
  auto* line = static_cast<TWyShapeLine*>(group.Add(nsLine, kTrack[0].Lat, kTrack[0].Lng));
  for (size_t i = 1; i < kTrack.size(); ++i) line->Add(kTrack[i].Lat, kTrack[i].Lng, 0);
  line->SetColor(0x0000FF);  // red
  auto* polygon =
      static_cast<TWyShapeLine*>(group.Add(nsPolygon, kTriangle[0].Lat, kTriangle[0].Lng));
  for (size_t i = 1; i < kTriangle.size(); ++i) polygon->Add(kTriangle[i].Lat, kTriangle[i].Lng, 0);
  group.ShapesToDraw();
}

// A renderer of its own over the loopback tiles, with a shape group drawn on
// its surface, the way a program without a window uses it.
struct TStandalone {
  TVuroduDavServer Server{0, TMapRenderer::PlaceholderColor()};
  TMapRenderer Renderer;
  THeadlessShapesHost Host;
  std::unique_ptr<TWyShapesGroup> Shapes;

  TStandalone(int w, int h, qreal dpr, bool withShapes) {
    Server.SetTileServer(tsOSM);
    Renderer.SetTileLayers(&Server, nullptr);
    Renderer.SetSize(w, h, dpr);
    Renderer.Viewport().SetZoom(kZoom);
    Renderer.Viewport().CenterOn(kLat, kLng);
    if (withShapes) {
      Shapes = std::make_unique<TWyShapesGroup>(&Renderer.Canvas(), &Host,
                                                &Renderer.Viewport().WorldInfo());
      AddTestShapes(*Shapes);
      Renderer.SetShapes(Shapes.get());
    }
  }
  ~TStandalone() { Renderer.SetShapes(nullptr); }

  // Composes until every visible tile has arrived.
  bool Settle() {
    return PumpUntil([&] {
      if (Server.ActiveDownloads() != 0) return false;
      Renderer.Compose(true);
      return Server.ActiveDownloads() == 0;
    });
  }
};

QImage Rgb(const QImage& image) {
  return image.convertToFormat(QImage::Format_RGB32);
}

class MapRendererTest : public maptest::TMapWindowTest {};

// The renderer alone draws the same pixels as the widget for the same view
// and shapes, at 1 and 2 device pixels per map pixel, with and without
// shapes.
TEST_F(MapRendererTest, FrameEqualsTheWidgetsFrame) {
  struct TCase {
    bool shapes;
  } cases[] = {{false}, {true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.shapes ? "with shapes" : "tiles only");
    TWyVuroduDav& map = MakeMap(480, 320);
    map.SetZoom(kZoom);
    map.setCenter(kLat, kLng);
    if (c.shapes) AddTestShapes(map.ShapesGroup());
    ASSERT_TRUE(PumpUntil([&] { return map.TilesSettled(); }));
    const QImage widget = Rgb(map.ScreenShot());

    TStandalone alone(480, 320, map.devicePixelRatioF(), c.shapes);
    ASSERT_TRUE(alone.Settle());
    const QImage picture = Rgb(alone.Renderer.Picture());
    ASSERT_EQ(picture.size(), widget.size());
    EXPECT_TRUE(picture == widget);
    // The frame shows the tiles (not only placeholders) and, with shapes,
    // the track's red.
    EXPECT_EQ(picture.pixel(2, 2) | 0xFF000000u, TileColor(static_cast<int>((2 - map.FX()) / 256),
                                                           static_cast<int>((2 - map.FY()) / 256)) |
                                                     0xFF000000u);
    bool red = false;
    for (int y = 0; y < picture.height() && !red; ++y)
      for (int x = 0; x < picture.width() && !red; ++x) red = picture.pixel(x, y) == 0xFFFF0000u;
    EXPECT_EQ(red, c.shapes);
    FWindow.reset();
  }
}

// A frame for a high-density device has its pixels, and the same picture
// scaled: the renderer does not depend on a screen.
TEST_F(MapRendererTest, DrawsAtAnyDevicePixelRatio) {
  TStandalone one(300, 200, 1.0, true);
  TStandalone two(300, 200, 2.0, true);
  ASSERT_TRUE(one.Settle());
  ASSERT_TRUE(two.Settle());
  const QImage a = one.Renderer.Picture();
  const QImage b = two.Renderer.Picture();
  EXPECT_EQ(a.size(), QSize(300, 200));
  EXPECT_EQ(b.size(), QSize(600, 400));
  EXPECT_EQ(b.devicePixelRatio(), 2.0);
  // Away from edges, the tile colours agree.
  EXPECT_EQ(Rgb(a).pixel(5, 5), Rgb(b).pixel(10, 10));
}

// The value of a "Name: value" line of pdfinfo's report.
std::string InfoValue(const std::string& report, const std::string& name) {
  const size_t at = report.find("\n" + name + ":");
  if (at == std::string::npos) return std::string();
  size_t from = at + name.size() + 2;
  while (from < report.size() && report[from] == ' ') ++from;
  return report.substr(from, report.find('\n', from) - from);
}

// Renderers on worker threads, each with its own view, tile layer and
// shapes, draw what one renderer draws on the window thread.
TEST_F(MapRendererTest, RenderersOnWorkerThreadsDrawTheSamePicture) {
  auto draw = [](double lat) {
    TVuroduDavServer tiles(0, TMapRenderer::PlaceholderColor());
    tiles.SetTileServer(tsOffline);
    TMapRenderer renderer;
    renderer.SetTileLayers(&tiles, nullptr);
    renderer.SetSize(320, 240, 1.0);
    renderer.Viewport().SetMinZoom(0);
    renderer.Viewport().SetZoom(4);
    renderer.Viewport().CenterOn(lat, kLng);
    THeadlessShapesHost host;
    TWyShapesGroup shapes(&renderer.Canvas(), &host, &renderer.Viewport().WorldInfo());
    shapes.getShapes("")->SetMinZoom(0);
    AddTestShapes(shapes);
    renderer.SetShapes(&shapes);
    renderer.Compose(true);
    QImage picture = Rgb(renderer.Picture());
    renderer.SetShapes(nullptr);
    return picture;
  };
  const QImage north = draw(kLat), south = draw(-kLat);
  ASSERT_NE(north, south);
  QImage results[4];
  std::vector<std::thread> workers;
  for (int i = 0; i < 4; ++i)
    workers.emplace_back([&, i] { results[i] = draw(i % 2 ? -kLat : kLat); });
  for (std::thread& worker : workers) worker.join();
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(results[i] == (i % 2 ? south : north)) << i;
}

class MapPictureFileTest : public ::testing::Test {
 protected:
  maptest::TTileFixture FTiles;
  QTemporaryDir FDir;
  std::string Path(const std::string& name) {
    return FDir.filePath(QString::fromStdString(name)).toStdString();
  }
};

TEST_F(MapPictureFileTest, KindFollowsTheExtension) {
  const struct {
    const char* name;
    TMapPictureKind kind;
  } cases[] = {{"a.pdf", mpkPdf}, {"A.PDF", mpkPdf}, {"b.svg", mpkSvg},    {"c.Svg", mpkSvg},
               {"d.png", mpkPng}, {"e", mpkPng},     {"f.pdf.png", mpkPng}};
  for (const auto& c : cases) EXPECT_EQ(MapPictureKindOf(c.name), c.kind) << c.name;
}

// A PDF page has the view's size in points (96 pixels per inch unless the
// resolution says otherwise; PDF pages come in whole points); rasterised back at that resolution it
// shows the tiles and the track where the frame has them.
TEST_F(MapPictureFileTest, PdfPageHasTheViewsSizeAndPicture) {
  if (!HaveTool("pdfinfo") || !HaveTool("pdftoppm")) GTEST_SKIP() << "poppler-utils missing";
  TStandalone alone(400, 300, 1.0, true);
  ASSERT_TRUE(alone.Settle());
  const QImage frame = Rgb(alone.Renderer.Picture());
  const struct {
    double dpi;
    const char* pageSize;
  } cases[] = {{96, "300 x 225 pts"}, {144, "200 x 150 pts"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dpi);
    const std::string pdf = Path("map.pdf");
    std::string error;
    ASSERT_TRUE(WriteMapPicture(alone.Renderer, pdf, c.dpi, error)) << error;
    std::string info;
    ASSERT_EQ(RunCommand("pdfinfo " + ShellQuote(pdf), info), 0) << info;
    EXPECT_EQ(InfoValue(info, "Pages"), "1") << info;
    EXPECT_EQ(InfoValue(info, "Page size"), c.pageSize) << info;
    std::string ignored;
    ASSERT_EQ(RunCommand("pdftoppm -png -singlefile -r " + std::to_string(int(c.dpi)) + " " +
                             ShellQuote(pdf) + " " + ShellQuote(Path("page")),
                         ignored),
              0);
    const QImage page = Rgb(QImage(QString::fromStdString(Path("page.png"))));
    ASSERT_EQ(page.size(), QSize(400, 300));
    // Tile colours inside tiles, away from the track and the attribution.
    int same = 0, total = 0;
    for (int y = 10; y < 280; y += 37)
      for (int x = 10; x < 390; x += 41) {
        ++total;
        const QColor a(frame.pixel(x, y)), b(page.pixel(x, y));
        if (std::abs(a.red() - b.red()) < 8 && std::abs(a.green() - b.green()) < 8 &&
            std::abs(a.blue() - b.blue()) < 8)
          ++same;
      }
    EXPECT_GT(same, total * 8 / 10);
  }
}

// The SVG is well-formed XML (a strict reader accepts it), the view's size,
// the tiles embedded as images and the shapes as vector paths, not pixels.
TEST_F(MapPictureFileTest, SvgIsStrictXmlWithShapesAsPaths) {
  if (!HaveTool("xmllint")) GTEST_SKIP() << "xmllint missing";
  TStandalone alone(400, 300, 1.0, true);
  ASSERT_TRUE(alone.Settle());
  const std::string svg = Path("map.svg");
  std::string error;
  ASSERT_TRUE(WriteMapPicture(alone.Renderer, svg, 96, error)) << error;
  std::string out;
  EXPECT_EQ(RunCommand("xmllint --noout " + ShellQuote(svg) + " 2>&1", out), 0) << out;
  QFile file(QString::fromStdString(svg));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const std::string text = file.readAll().toStdString();
  EXPECT_NE(text.find("viewBox=\"0 0 400 300\""), std::string::npos);
  EXPECT_NE(text.find("<image"), std::string::npos);
  // The track: a polyline stroked in its red.
  EXPECT_NE(text.find("stroke=\"#ff0000\""), std::string::npos);
  EXPECT_TRUE(text.find("<polyline") != std::string::npos ||
              text.find("<path") != std::string::npos);
  // The attribution as text.
  EXPECT_NE(text.find("OpenStreetMap"), std::string::npos);
}

TEST_F(MapPictureFileTest, UnwritablePlaceSaysWhy) {
  TStandalone alone(64, 64, 1.0, false);
  for (const char* name : {"no/such/folder/map.png", "no/such/folder/map.pdf"}) {
    std::string error;
    EXPECT_FALSE(WriteMapPicture(alone.Renderer, Path(name), 96, error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace wy

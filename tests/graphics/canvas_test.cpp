#include "graphics/canvas.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "graphics/system_colors.h"

namespace wy {
namespace {

std::vector<QPoint> Square(int left, int top, int right, int bottom) {
  return {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
}

void ExpectPixel(const QImage& image, int x, int y, int r, int g, int b) {
  const QRgb px = image.pixel(x, y);
  EXPECT_NEAR(qRed(px), r, 1) << "at " << x << "," << y;
  EXPECT_NEAR(qGreen(px), g, 1) << "at " << x << "," << y;
  EXPECT_NEAR(qBlue(px), b, 1) << "at " << x << "," << y;
}

// Lengths of the alternating runs (set, unset, set, ...) along row y,
// starting at the first set pixel; a pixel counts as set when it is not
// white.
std::vector<int> Runs(const QImage& image, int y) {
  std::vector<int> runs;
  int x = 0;
  while (x < image.width() && image.pixel(x, y) == qRgb(255, 255, 255)) ++x;
  bool set = true;
  int length = 0;
  for (; x < image.width(); ++x) {
    const bool here = image.pixel(x, y) != qRgb(255, 255, 255);
    if (here == set) {
      ++length;
    } else {
      runs.push_back(length);
      set = here;
      length = 1;
    }
  }
  return runs;  // the last, possibly cut run is left out
}

TEST(CanvasTest, OpacityToAlphaRoundsHalfToEvenAndClamps) {
  const struct {
    int opacity;
    int alpha;
  } cases[] = {{0, 0},    {10, 26},   {30, 76},   {50, 128},  {70, 178},
               {90, 230}, {100, 255}, {101, 255}, {250, 255}, {-20, 0}};
  for (const auto& c : cases) EXPECT_EQ(OpacityToAlpha(c.opacity), c.alpha) << c.opacity;
}

TEST(CanvasTest, AlphaBlendPolygonBlendsOverWhiteWithoutOutline) {
  TWyCanvas canvas;
  canvas.MutableBitmap().fill(Qt::white);
  canvas.Pen().setColor(Qt::black);
  canvas.AlphaBlendPolygon(Square(10, 10, 50, 50), 0xFF0000, 10);   // blue, 10 %
  canvas.AlphaBlendPolygon(Square(60, 10, 100, 50), 0x0000FF, 50);  // red, 50 %
  canvas.AlphaBlendPolygon(Square(110, 10, 150, 50), cl3DLight, 100);
  canvas.AlphaBlendPolygon(Square(160, 10, 200, 50), 0x0000FF, 300);  // clamped to opaque
  const QImage& image = canvas.Bitmap();
  ExpectPixel(image, 30, 30, 229, 229, 255);
  ExpectPixel(image, 80, 30, 255, 127, 127);
  ExpectPixel(image, 130, 30, 0xE3, 0xE3, 0xE3);
  ExpectPixel(image, 180, 30, 255, 0, 0);
  ExpectPixel(image, 5, 5, 255, 255, 255);
  // No outline in the pen's colour along the edges.
  for (int x = 9; x <= 51; ++x) {
    EXPECT_NE(image.pixel(x, 10), qRgb(0, 0, 0));
    EXPECT_NE(image.pixel(x, 50), qRgb(0, 0, 0));
  }
}

TEST(CanvasTest, BlendRectStaysInsideTheClip) {
  TWyCanvas canvas;
  canvas.MutableBitmap().fill(Qt::white);
  canvas.ClipToRect({0, 0, 20, 20});
  canvas.BlendRect({10, 10, 40, 40}, 0x0000FF, 255);
  const QImage& image = canvas.Bitmap();
  ExpectPixel(image, 15, 15, 255, 0, 0);
  ExpectPixel(image, 25, 25, 255, 255, 255);
  ExpectPixel(image, 5, 5, 255, 255, 255);
}

// A picture of every colour and alpha (premultiplied), so that blending
// over it exercises the whole arithmetic.
QImage Noise(int w, int h, unsigned seed) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  std::mt19937 random(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int a = static_cast<int>(random() % 256);
      const int r = static_cast<int>(random() % (a + 1));
      const int g = static_cast<int>(random() % (a + 1));
      const int b = static_cast<int>(random() % (a + 1));
      image.setPixel(x, y, qRgba(r, g, b, a));
    }
  return image;
}

// The translucent fill as it was first written: clip to the polygon, then
// stretch one premultiplied pixel (components times alpha / 255, truncated)
// over the clip's bounding box.
void ClipAndStretchPixel(QPainter& painter, const std::vector<QPoint>& points, TColor color,
                         uint8_t alpha) {
  painter.save();
  QPainterPath path;
  path.setFillRule(Qt::OddEvenFill);
  path.addPolygon(QPolygonF(QPolygon(QList<QPoint>(points.begin(), points.end()))));
  path.closeSubpath();
  painter.setClipPath(path, Qt::IntersectClip);
  const QRect box = painter.clipBoundingRect().toAlignedRect() &
                    QRect(0, 0, painter.device()->width(), painter.device()->height());
  if (!box.isEmpty()) {
    const TColor rgb = ResolveColor(color);
    const unsigned a = alpha;
    QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
    pixel.setPixel(0, 0,
                   qRgba(static_cast<int>((rgb & 0xFF) * a / 255),
                         static_cast<int>(((rgb >> 8) & 0xFF) * a / 255),
                         static_cast<int>(((rgb >> 16) & 0xFF) * a / 255), static_cast<int>(a)));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QRectF(box), pixel, QRectF(0, 0, 1, 1));
  }
  painter.restore();
}

// The direct fill gives the same pixels as the clip and stretch, for every
// opacity, over any picture, for crossed and concave outlines, under a clip.
TEST(CanvasTest, TranslucentFillGivesThePixelsOfAClippedBlend) {
  std::mt19937 random(3);
  std::uniform_int_distribution<int> coordinate(-40, 240);
  const TColor colors[] = {0x0000A0FF, 0x00FFFFFF, 0x00000000, 0x00123456, cl3DLight};
  for (int opacity : {1, 10, 30, 50, 70, 99, 100}) {
    for (bool clipped : {false, true}) {
      SCOPED_TRACE(opacity);
      SCOPED_TRACE(clipped);
      const QImage background = Noise(200, 200, static_cast<unsigned>(opacity));
      TWyCanvas canvas;
      canvas.SetSize(200, 200);
      canvas.MutableBitmap() = background;
      QImage expected = background;
      QPainter reference(&expected);
      if (clipped) {
        canvas.ClipToRect({30, 20, 170, 150});
        reference.setClipRect(QRect(30, 20, 140, 130));
      }
      for (int k = 0; k < 12; ++k) {
        std::vector<QPoint> points;
        const int n = 3 + k % 7;
        for (int i = 0; i < n; ++i) points.emplace_back(coordinate(random), coordinate(random));
        const TColor color = colors[k % 5];
        canvas.AlphaBlendPolygon(points, color, opacity);
        ClipAndStretchPixel(reference, points, color, OpacityToAlpha(opacity));
      }
      reference.end();
      EXPECT_EQ(canvas.Bitmap(), expected);
    }
  }
}

TEST(CanvasTest, PolygonOutsideTheClipChangesNeitherImageNorClip) {
  TWyCanvas canvas;
  canvas.MutableBitmap().fill(Qt::white);
  canvas.ClipToRect({0, 0, 20, 20});
  const QRect clip_before = canvas.ClipBox();
  const QImage before = canvas.Bitmap().copy();
  canvas.AlphaBlendPolygon(Square(50, 50, 80, 80), 0x0000FF, 100);
  EXPECT_EQ(canvas.Bitmap(), before);
  EXPECT_EQ(canvas.ClipBox(), clip_before);
  // The clip still works after the no-op.
  canvas.AlphaBlendPolygon(Square(0, 0, 100, 100), 0x0000FF, 100);
  ExpectPixel(canvas.Bitmap(), 10, 10, 255, 0, 0);
  ExpectPixel(canvas.Bitmap(), 30, 30, 255, 255, 255);
}

TEST(CanvasTest, ClipToPolygonLimitsDrawing) {
  TWyCanvas canvas;
  canvas.MutableBitmap().fill(Qt::white);
  // A triangle: left edge vertical, hypotenuse from (100,0) to (0,100).
  canvas.ClipToPolygon({{0, 0}, {100, 0}, {0, 100}});
  canvas.SetBrushColor(0x00FF00);  // green
  canvas.Pen().setStyle(Qt::NoPen);
  canvas.Rectangle(0, 0, 200, 200);
  ExpectPixel(canvas.Bitmap(), 10, 10, 0, 255, 0);
  ExpectPixel(canvas.Bitmap(), 90, 90, 255, 255, 255);
  ExpectPixel(canvas.Bitmap(), 150, 20, 255, 255, 255);

  // Saved and restored with the state; cleared on request.
  canvas.SaveState();
  canvas.ClipToRect({0, 0, 5, 5});
  EXPECT_EQ(canvas.ClipBox(), QRect(0, 0, 5, 5));
  canvas.RestoreState();
  EXPECT_EQ(canvas.ClipBox().width(), 100);
  canvas.ClearClip();
  canvas.Rectangle(0, 0, 200, 200);
  ExpectPixel(canvas.Bitmap(), 90, 90, 0, 255, 0);
}

TEST(CanvasTest, DashPatternsInPixels) {
  const struct {
    TPenStyle style;
    int w;
    std::array<int, 4> pattern;
  } cases[] = {{psDash, 3, {12, 6, 12, 6}},
               {psDot, 1, {0, 2, 0, 2}},
               {psDot, 4, {2, 8, 2, 8}},
               {psDashDot, 4, {2, 8, 16, 8}}};
  for (const auto& c : cases) {
    const auto pattern = DashPattern(c.style, c.w);
    ASSERT_TRUE(pattern.has_value());
    EXPECT_EQ(*pattern, c.pattern) << int(c.style) << " w=" << c.w;
  }
  EXPECT_FALSE(DashPattern(psSolid, 3).has_value());
  EXPECT_FALSE(DashPattern(psDashDotDot, 3).has_value());
  EXPECT_FALSE(DashPattern(psClear, 3).has_value());
}

TEST(CanvasTest, DashedLinesRepeatAtThePatternLengthInPixels) {
  // Round caps lengthen each dash by a pen width and shorten each gap by
  // the same, so the period is the place to check.
  const struct {
    TPenStyle style;
    int w;
    int period;  // in pixels of one full pattern
  } cases[] = {{psDash, 3, 18 * 2}, {psDashDot, 4, 34}, {psDash, 6, 36 * 2}};
  for (const auto& c : cases) {
    TWyCanvas canvas;
    canvas.SetWidth(400);
    canvas.MutableBitmap().fill(Qt::white);
    canvas.Poly(false, {{2, 20}, {398, 20}}, 2, c.w, 0x000000, c.style);
    const std::vector<int> runs = Runs(canvas.Bitmap(), 20);
    ASSERT_GE(runs.size(), 4u) << int(c.style);
    // Skip the first dash (it starts at the line's cap), then add up four
    // runs: one pattern of dash, gap, dash, gap.
    int sum = 0;
    for (int i = 1; i <= 4 && i < static_cast<int>(runs.size()); ++i) sum += runs[i];
    if (c.style == psDash) {
      EXPECT_NEAR(runs[1] + runs[2], c.period / 2, 1) << "w=" << c.w;
      EXPECT_NEAR(runs[2], 4 * c.w + c.w, 1) << "w=" << c.w;  // dash plus two half caps
    } else {
      EXPECT_NEAR(sum, c.period, 1);
    }
  }
}

TEST(CanvasTest, PolyWithOtherStylesKeepsPenStyle) {
  TWyCanvas canvas;
  canvas.MutableBitmap().fill(Qt::white);
  canvas.Pen().setStyle(Qt::SolidLine);
  for (TPenStyle style : {psDashDotDot, psClear, psSolid}) {
    canvas.Poly(false, {{0, 10}, {100, 10}}, 2, 5, 0x0000FF, style);
    EXPECT_EQ(canvas.Pen().style(), Qt::SolidLine);
    EXPECT_EQ(canvas.Pen().width(), 5);
    EXPECT_EQ(FromQColor(canvas.Pen().color()), 0x0000FFu);
  }
  ExpectPixel(canvas.Bitmap(), 50, 10, 255, 0, 0);

  // A dashed pen is used for one call only.
  canvas.Poly(false, {{0, 30}, {100, 30}}, 2, 3, 0x00FF00, psDash);
  EXPECT_EQ(canvas.Pen().style(), Qt::SolidLine);
  EXPECT_EQ(FromQColor(canvas.Pen().color()), 0x0000FFu);
  // Width 0 or less draws nothing for dashed styles.
  const QImage before = canvas.Bitmap().copy();
  canvas.Poly(false, {{0, 50}, {100, 50}}, 2, 0, 0x00FF00, psDash);
  EXPECT_EQ(canvas.Bitmap(), before);
}

TEST(CanvasTest, CountsBeyondThePointsAreClamped) {
  TWyCanvas canvas;
  canvas.MutableBitmap().fill(Qt::white);
  const std::vector<QPoint> line = {{0, 5}, {50, 5}};
  canvas.Polyline(line, 1000);
  canvas.PolyBezier({{0, 20}, {10, 30}, {40, 30}, {50, 20}, {60, 20}}, 99);
  canvas.Poly(true, line, 7, 2, 0, psDash);
  canvas.Polyline(line, -3);
  ExpectPixel(canvas.Bitmap(), 25, 5, 0, 0, 0);
}

TEST(CanvasTest, StarPointsInAHundredPixelSquare) {
  const auto points = StarPoints({0, 0, 100, 100});
  const QPoint expected[10] = {{50, 72}, {78, 93}, {67, 60}, {95, 39}, {60, 39},
                               {50, 6},  {39, 39}, {4, 39},  {32, 60}, {21, 93}};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(points[i], expected[i]) << i;

  // Offset rectangles move the star; a wide one is limited by its height.
  const auto moved = StarPoints({100, 200, 200, 300});
  for (int i = 0; i < 10; ++i) EXPECT_EQ(moved[i], expected[i] + QPoint(100, 200)) << i;
  const auto wide = StarPoints({0, 0, 400, 100});
  EXPECT_EQ(wide[5], QPoint(200, 4));  // r = 50, centre y 54.5

  TWyCanvas canvas;
  canvas.MutableBitmap().fill(Qt::white);
  canvas.SetBrushColor(0x0000FF);
  canvas.DrawStar({0, 0, 100, 100});
  ExpectPixel(canvas.Bitmap(), 50, 54, 255, 0, 0);
  ExpectPixel(canvas.Bitmap(), 5, 5, 255, 255, 255);
}

TEST(CanvasTest, PointToSegmentDistance) {
  const struct {
    double px, py, expected;
  } cases[] = {
      {5, 5, 5},   // above the middle
      {-3, 4, 5},  // beyond A: distance to A
      {13, 4, 5},  // beyond B: distance to B
      {0, 0, 0},   // on A
      {10, 0, 0},  // on B
      {7, -2, 2},  // below the segment
  };
  for (const auto& c : cases)
    EXPECT_NEAR(PointToSegmentDistance(0, 0, 10, 0, c.px, c.py), c.expected, 1e-9)
        << c.px << "," << c.py;
  EXPECT_NEAR(PointToSegmentDistance(0, 0, 3, 4, 3, 0), 2.4, 1e-9);  // slanted
  EXPECT_EQ(PointToSegmentDistance(2, 2, 2, 2, 5, 5), -1);
}

TEST(CanvasTest, TextMetricsAreAt96Dpi) {
  TWyCanvas canvas;
  EXPECT_EQ(canvas.Bitmap().dotsPerMeterX(), 3780);
  EXPECT_EQ(canvas.Bitmap().dotsPerMeterY(), 3780);
  EXPECT_EQ(canvas.Font().family(), QStringLiteral("DejaVu Sans"));

  // 12 points at 96 dpi are 16 pixels.
  canvas.Font().setPointSize(12);
  QFont pixels(QStringLiteral("DejaVu Sans"));
  pixels.setPixelSize(16);
  QImage reference(4, 4, QImage::Format_ARGB32_Premultiplied);
  reference.setDotsPerMeterX(3780);
  reference.setDotsPerMeterY(3780);
  const QFontMetrics metrics(pixels, &reference);
  EXPECT_EQ(canvas.TextHeight("Hg"), metrics.height());
  EXPECT_EQ(canvas.TextWidth("Hello, map"),
            metrics.horizontalAdvance(QStringLiteral("Hello, map")));
  EXPECT_GE(canvas.TextHeight("Hg"), 17);
  EXPECT_LE(canvas.TextHeight("Hg"), 21);

  // The same after a resize, which makes a new image.
  const int width = canvas.TextWidth("Hello, map");
  canvas.SetSize(50, 60);
  EXPECT_EQ(canvas.TextWidth("Hello, map"), width);
  EXPECT_EQ(canvas.TextWidth(""), 0);
}

TEST(CanvasTest, TextOutIsOpaqueWithABrushAndClippedInTextRect) {
  TWyCanvas canvas;
  canvas.MutableBitmap().fill(Qt::white);
  canvas.SetBrushColor(0x0000FF);
  canvas.TextOut(10, 10, "MMM");
  ExpectPixel(canvas.Bitmap(), 10, 10, 255, 0, 0);  // box filled at its top-left

  canvas.SetBrushStyle(bsClear);
  canvas.TextOut(10, 100, "MMM");
  ExpectPixel(canvas.Bitmap(), 10, 100, 255, 255, 255);

  // Text clipped to a rectangle leaves everything outside it untouched.
  canvas.MutableBitmap().fill(Qt::white);
  canvas.Font().setPointSize(20);
  canvas.TextRect({50, 50, 60, 60}, 40, 40, "MMMM");
  const QImage& image = canvas.Bitmap();
  bool inside = false;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const bool white = image.pixel(x, y) == qRgb(255, 255, 255);
      if (x >= 50 && x < 60 && y >= 50 && y < 60)
        inside = inside || !white;
      else
        ASSERT_TRUE(white) << x << "," << y;
    }
  EXPECT_TRUE(inside);
}

TEST(CanvasTest, SizeAndFontSaving) {
  TWyCanvas canvas;
  EXPECT_EQ(canvas.Width(), 320);
  EXPECT_EQ(canvas.Height(), 240);
  canvas.SetWidth(100);
  EXPECT_EQ(canvas.Height(), 240);
  EXPECT_EQ(canvas.Bitmap().size(), QSize(100, 240));
  canvas.SetHeight(0);
  canvas.Rectangle(0, 0, 10, 10);  // harmless on an empty surface
  EXPECT_EQ(canvas.Height(), 0);

  canvas.Font().setPointSize(20);
  canvas.SaveCanvas();
  canvas.Font().setPointSize(9);
  canvas.PenWidth(7);
  canvas.RestoreCanvas();
  EXPECT_EQ(canvas.Font().pointSize(), 20);
  EXPECT_EQ(canvas.Pen().width(), 7);  // only the font comes back
  EXPECT_EQ(canvas.Weight(), 7);
}

TEST(CanvasTest, DrawHtmlWithBlankTextDrawsNothing) {
  TWyCanvas canvas;
  TRect rect{10, 20, 100, 200};
  EXPECT_TRUE(canvas.DrawHTML(" \t\r\n", rect, 0, nullptr, nullptr));
  EXPECT_EQ(rect.Bottom, 20);
  EXPECT_EQ(rect.Right, 100);
}

TEST(CanvasTest, DrawAndStretchImages) {
  TWyCanvas canvas;
  canvas.MutableBitmap().fill(Qt::white);
  QImage red(4, 4, QImage::Format_ARGB32_Premultiplied);
  red.fill(qRgb(255, 0, 0));
  canvas.Draw(10, 10, red, 99, 99, 5, 5);  // size and origin are ignored
  canvas.StretchDraw({50, 50, 90, 70}, red);
  const QImage& image = canvas.Bitmap();
  ExpectPixel(image, 13, 13, 255, 0, 0);
  ExpectPixel(image, 14, 14, 255, 255, 255);
  ExpectPixel(image, 89, 69, 255, 0, 0);
  ExpectPixel(image, 90, 70, 255, 255, 255);
}

TEST(SystemColorsTest, ConvertsWithRedInTheLowByte) {
  EXPECT_EQ(ToQColor(0x00336699), QColor(0x99, 0x66, 0x33));
  EXPECT_EQ(ToQColor(cl3DLight), QColor(0xE3, 0xE3, 0xE3));
  EXPECT_EQ(ToQColor(clInfoBk), QColor(0xFF, 0xFF, 0xE1));
  EXPECT_EQ(FromQColor(QColor(0x11, 0x22, 0x33)), 0x332211u);
  EXPECT_EQ(ToQColor(0x0000FF, 128).alpha(), 128);
}

}  // namespace
}  // namespace wy

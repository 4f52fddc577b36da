// The stroke cache of the drawing surface: a polyline stroked again frame
// after frame is filled from the runs of pixels captured from the toolkit,
// and must give exactly the pixels the toolkit draws.

#include "graphics/stroke_cache.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "graphics/canvas.h"

namespace wy {
namespace {

constexpr int kSize = 160;

QImage Background(unsigned seed) {
  QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
  std::mt19937 random(seed);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x)
      image.setPixel(x, y, qRgb(random() % 256, random() % 256, random() % 256));
  return image;
}

struct TStroke {
  std::vector<QPoint> points;
  bool bezier;
  int width;
  TPenStyle style;
};

// One frame: the background, then the stroke.
void Frame(TWyCanvas& canvas, const QImage& background, const TStroke& s, TColor color) {
  canvas.MutableBitmap() = background;
  canvas.Poly(s.bezier, s.points, static_cast<int>(s.points.size()), s.width, color, s.style);
}

// Polylines of every kind, partly off the surface, stroked frame after
// frame (in another colour from the fourth frame on, as a hovered line is)
// on one surface, and each frame on a fresh surface that strokes it anew:
// the pictures are the same, and the later frames came from the cache.
TEST(StrokeCacheTest, RepeatedStrokesGiveTheToolkitsPixels) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int> coordinate(-30, kSize + 30);
  const TPenStyle styles[] = {psSolid, psDash, psDot, psDashDot, psDashDotDot};
  const QImage background = Background(1);
  int cases = 0;
  for (int width : {0, 1, 2, 3, 4, 7}) {
    for (TPenStyle style : styles) {
      for (bool bezier : {false, true}) {
        TStroke s{{}, bezier, width, style};
        const int count = bezier ? 3 * (1 + cases % 5) + 1 : 2 + (cases * 7) % 40;
        for (int i = 0; i < count; ++i)
          s.points.emplace_back(coordinate(random), coordinate(random));
        ++cases;
        SCOPED_TRACE(testing::Message()
                     << "width " << width << " style " << int(style) << (bezier ? " bezier" : ""));
        TWyCanvas kept;
        kept.SetSize(kSize, kSize);
        for (int frame = 0; frame < 5; ++frame) {
          const TColor color = frame < 3 ? 0x002040C0 : 0x0044CA55;
          Frame(kept, background, s, color);
          TWyCanvas fresh;
          fresh.SetSize(kSize, kSize);
          Frame(fresh, background, s, color);
          ASSERT_EQ(kept.Bitmap(), fresh.Bitmap()) << "frame " << frame;
        }
        // A dashed pen of width 0 draws nothing.
        const bool drawn = width > 0 || !DashPattern(style, width);
        EXPECT_EQ(kept.StrokeCacheHits(), drawn ? 4 : 0);
      }
    }
  }
}

// A clipped surface strokes every time; a resized one forgets what it
// knew.
TEST(StrokeCacheTest, ClipAndResize) {
  const QImage background = Background(2);
  const TStroke s{{{10, 10}, {150, 40}, {20, 120}, {140, 150}}, false, 5, psSolid};
  TWyCanvas canvas;
  canvas.SetSize(kSize, kSize);
  canvas.ClipToRect({20, 20, 100, 130});
  for (int frame = 0; frame < 3; ++frame) Frame(canvas, background, s, 0x000000FF);
  EXPECT_EQ(canvas.StrokeCacheHits(), 0);
  TWyCanvas fresh;
  fresh.SetSize(kSize, kSize);
  fresh.ClipToRect({20, 20, 100, 130});
  Frame(fresh, background, s, 0x000000FF);
  EXPECT_EQ(canvas.Bitmap(), fresh.Bitmap());

  canvas.ClearClip();
  for (int frame = 0; frame < 3; ++frame) Frame(canvas, background, s, 0x000000FF);
  EXPECT_EQ(canvas.StrokeCacheHits(), 2);
  canvas.SetSize(kSize / 2, kSize);
  const QImage half = background.copy(0, 0, kSize / 2, kSize);
  Frame(canvas, half, s, 0x000000FF);
  Frame(canvas, half, s, 0x000000FF);
  TWyCanvas narrow;
  narrow.SetSize(kSize / 2, kSize);
  Frame(narrow, half, s, 0x000000FF);
  EXPECT_EQ(canvas.Bitmap(), narrow.Bitmap());
}

}  // namespace
}  // namespace wy

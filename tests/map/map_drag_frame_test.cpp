// The frame a drag step composes: the tile image is moved in place and only
// the entering tiles are drawn, so every pixel must still show the tile that
// lies under it for the new offset, whichever way the pointer went.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <memory>
#include <string>

#include "map/map_control.h"
#include "map_test_support.h"

namespace wy {
namespace {

using maptest::PumpUntil;
using maptest::TileColor;
using maptest::TTileFixture;

constexpr int kWidth = 800;
constexpr int kHeight = 600;

class MapDragFrameTest : public maptest::TMapWindowTest {
 protected:
  void SetUp() override { MakeMap(kWidth, kHeight); }

  void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(FMap->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(FMap, &event);
  }

  // The first pixel of the frame (outside the attribution) that does not
  // show the tile under it; empty when every pixel does.
  std::string FirstWrongPixel() {
    const QImage& frame = FMap->ScreenShot();
    const QRect text = FMap->CopyrightRect();
    for (int y = 0; y < kHeight; ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
      const int64_t wy = y - FMap->FY();
      for (int x = 0; x < kWidth; ++x) {
        if (text.contains(x, y)) continue;
        const int64_t wx = x - FMap->FX();
        const QRgb want = TileColor(static_cast<int>(wx / 256), static_cast<int>(wy / 256));
        if ((line[x] | 0xFF000000u) != (want | 0xFF000000u))
          return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
      }
    }
    return std::string();
  }
};

TEST_F(MapDragFrameTest, EveryDirectionShowsEachTileAtItsNewPlace) {
  TWyVuroduDav& map = *FMap;
  // The tiles around the view are fetched first, so that the steps below
  // find every entering tile in the memory cache and compose the whole
  // frame at once.
  const TLatLng home = map.Center();
  for (const QPoint& off :
       {QPoint(-320, -320), QPoint(320, -320), QPoint(-320, 320), QPoint(320, 320), QPoint(0, 0)}) {
    const TLatLng c = map.FromXYToLatLng(kWidth / 2 + off.x(), kHeight / 2 + off.y());
    map.setCenter(c.Lat, c.Lng);
    ASSERT_TRUE(PumpUntil([&] { return FirstWrongPixel().empty(); })) << FirstWrongPixel();
  }
  map.setCenter(home.Lat, home.Lng);
  ASSERT_TRUE(PumpUntil([&] { return FirstWrongPixel().empty(); }));

  // Steps along one axis (a row shifted within itself, both ways), along
  // the other, and diagonals, ending near the start.
  const struct {
    int Dx, Dy;
  } steps[] = {
      {37, 0}, {-61, 0}, {1, 0},     {-1, 0},   {0, 45},   {0, -70},  {0, 1},
      {0, -1}, {23, 31}, {-40, -17}, {55, -29}, {-12, 48}, {130, 90}, {-133, -99},
  };
  QPoint at(kWidth / 2, kHeight / 2);
  Send(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  for (const auto& step : steps) {
    at += QPoint(step.Dx, step.Dy);
    const int64_t fx = map.FX(), fy = map.FY();
    Send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
    ASSERT_EQ(map.FX(), fx + step.Dx);
    ASSERT_EQ(map.FY(), fy + step.Dy);
    // No event ran in between: the step itself composed the frame.
    EXPECT_EQ(FirstWrongPixel(), "") << "step " << step.Dx << ", " << step.Dy;
  }

  // A jump larger than the view keeps nothing: placeholders first, then the
  // tiles as they arrive.
  at += QPoint(-(kWidth + 300), kHeight + 200);
  Send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
  Send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  EXPECT_TRUE(PumpUntil([&] { return FirstWrongPixel().empty(); })) << FirstWrongPixel();
}

}  // namespace
}  // namespace wy

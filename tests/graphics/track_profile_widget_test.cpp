#include "graphics/track_profile_widget.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <vector>

namespace wy {
namespace {

// n points 10 m apart due north, 1 s apart, elevation ele(i).
template <typename F>
TTrack Walk(int n, F ele) {
  TTrack t;
  for (int i = 0; i < n; ++i) t.Add(i * 10 / 110574.3886, 0, ele(i), 1000 + i);
  return t;
}

TEST(RoundTicks, StepsOfOneTwoOrFive) {
  struct Case {
    double low, high;
    int wanted;
    std::vector<double> ticks;
  };
  const std::vector<Case> cases = {
      {0, 10, 5, {0, 2, 4, 6, 8, 10}},
      {95, 1234, 4, {500, 1000}},
      {-3, 7, 5, {-2, 0, 2, 4, 6}},
      {0, 0.9, 3, {0, 0.5}},
      {1520, 1580, 6, {1520, 1530, 1540, 1550, 1560, 1570, 1580}},
      {5, 5, 3, {}},
  };
  for (const Case& c : cases) {
    const std::vector<double> got = RoundTicks(c.low, c.high, c.wanted);
    ASSERT_EQ(got.size(), c.ticks.size()) << c.low << " " << c.high;
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.ticks[i], 1e-9);
  }
}

class TrackProfileWidget : public ::testing::Test {
 protected:
  void SetUp() override {
    widget.resize(640, 220);
    widget.SetTrack(Walk(1001, [](int i) { return 100.0 + i * 0.1; }));
    widget.OnCursor = [this](TTrackProfileWidget*) { ++cursorEvents; };
    widget.OnSelection = [this](TTrackProfileWidget*) { ++selectionEvents; };
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    widget.activateWindow();
    widget.setFocus();
    widget.repaint();
  }
  QPoint At(size_t index) const {
    return QPoint(static_cast<int>(std::lround(widget.Profile().XOfIndex(index))),
                  widget.Profile().PlotRect().center().y());
  }
  TTrackProfileWidget widget;
  int cursorEvents = 0, selectionEvents = 0;
};

TEST_F(TrackProfileWidget, PointerMovesTheCursorAndDragSelects) {
  QTest::mouseMove(&widget, At(500));
  EXPECT_NEAR(widget.CursorIndex(), 500, 2);
  EXPECT_GE(cursorEvents, 1);
  QTest::mouseMove(&widget, QPoint(2, 100));  // left of the plot: the first point
  EXPECT_EQ(widget.CursorIndex(), 0);
  QTest::mouseMove(&widget, QPoint(widget.width() - 2, 100));
  EXPECT_EQ(widget.CursorIndex(), 1000);

  QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, At(200));
  QTest::mouseMove(&widget, At(400));
  QTest::mouseMove(&widget, At(600));
  EXPECT_EQ(selectionEvents, 0);  // reported once, at the release
  QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, At(600));
  EXPECT_EQ(selectionEvents, 1);
  const TTrackProfilePainter& p = widget.Profile();
  ASSERT_TRUE(p.HasSelection());
  EXPECT_NEAR(static_cast<double>(p.SelectionFirst()), 200, 2);
  EXPECT_NEAR(static_cast<double>(p.SelectionLast()), 600, 2);
  const TTrackStats& s = p.SelectionStatistics();
  EXPECT_NEAR(s.DistanceM, (p.SelectionLast() - p.SelectionFirst()) * 10.0, 0.01);
  EXPECT_NEAR(s.AscentM, (p.SelectionLast() - p.SelectionFirst()) * 0.1, 6);
  EXPECT_NEAR(s.DurationS, p.SelectionLast() - p.SelectionFirst(), 1e-9);

  // Dragging leftwards selects the same way; a click clears.
  QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, At(900));
  QTest::mouseMove(&widget, At(700));
  QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, At(700));
  EXPECT_NEAR(static_cast<double>(p.SelectionFirst()), 700, 2);
  EXPECT_NEAR(static_cast<double>(p.SelectionLast()), 900, 2);
  QTest::mouseClick(&widget, Qt::LeftButton, Qt::NoModifier, At(300));
  EXPECT_FALSE(p.HasSelection());
  EXPECT_EQ(selectionEvents, 3);
  EXPECT_NEAR(widget.CursorIndex(), 300, 2);
}

TEST_F(TrackProfileWidget, KeysMoveTheCursorAndSelect) {
  const long step = static_cast<long>(widget.Profile().PointsPerColumn());
  ASSERT_GE(step, 1);
  QTest::keyClick(&widget, Qt::Key_Home);
  EXPECT_EQ(widget.CursorIndex(), 0);
  QTest::keyClick(&widget, Qt::Key_Right);
  QTest::keyClick(&widget, Qt::Key_Right);
  EXPECT_EQ(widget.CursorIndex(), 2 * step);
  QTest::keyClick(&widget, Qt::Key_Left);
  EXPECT_EQ(widget.CursorIndex(), step);
  QTest::keyClick(&widget, Qt::Key_Left);
  QTest::keyClick(&widget, Qt::Key_Left);  // stays at the start
  EXPECT_EQ(widget.CursorIndex(), 0);
  for (int i = 0; i < 3; ++i) QTest::keyClick(&widget, Qt::Key_Right, Qt::ShiftModifier);
  ASSERT_TRUE(widget.Profile().HasSelection());
  EXPECT_EQ(widget.Profile().SelectionFirst(), 0u);
  EXPECT_EQ(widget.Profile().SelectionLast(), static_cast<size_t>(3 * step));
  QTest::keyClick(&widget, Qt::Key_Left, Qt::ShiftModifier);  // shrinks
  EXPECT_EQ(widget.Profile().SelectionLast(), static_cast<size_t>(2 * step));
  QTest::keyClick(&widget, Qt::Key_Escape);
  EXPECT_FALSE(widget.Profile().HasSelection());
  QTest::keyClick(&widget, Qt::Key_End);
  EXPECT_EQ(widget.CursorIndex(), 1000);
}

// The topmost row of a column of the picture where the curve (drawn in a
// pure green, maybe blended by antialiasing) shows; -1 for none.
int TopOfCurve(const QImage& image, int x) {
  for (int y = 0; y < image.height(); ++y) {
    const QColor c = image.pixelColor(x, y);
    if (c.green() - std::max(c.red(), c.blue()) > 40) return y;
  }
  return -1;
}

TEST(TrackProfilePainter, OnePointPeakSurvivesTheReductionAtAnyPixelDensity) {
  // 200000 points at 100 m, one at 500 m: far more points than columns.
  const size_t peak = 123457;
  TTrackProfilePainter profile;
  TTrack track;
  for (size_t i = 0; i < 200000; ++i) track.Add(i * 1e-5, 0, i == peak ? 500 : 100);
  profile.SetTrack(track);
  profile.SetColor(QColor(0, 160, 0));
  for (double dpr : {1.0, 2.0}) {
    SCOPED_TRACE(dpr);
    QImage image(static_cast<int>(800 * dpr), static_cast<int>(200 * dpr),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    QPainter painter(&image);
    profile.Paint(painter, QRect(0, 0, 800, 200), dpr);
    painter.end();
    const QRect plot = profile.PlotRect();
    const int peakX = static_cast<int>(profile.XOfIndex(peak) * dpr);
    // The peak reaches the top of the plot; a column away from it does not.
    int top = -1;
    for (int x = peakX - 1; x <= peakX + 1; ++x) {
      const int y = TopOfCurve(image, x);
      if (y >= 0 && (top < 0 || y < top)) top = y;
    }
    ASSERT_GE(top, 0);
    EXPECT_LT(top, (plot.top() + plot.height() / 4) * dpr);
    const int flat = TopOfCurve(image, static_cast<int>((plot.left() + 50) * dpr));
    EXPECT_GT(flat, (plot.top() + plot.height() * 3 / 4) * dpr);
  }
}

TEST(TrackProfilePainter, TimeAxisOnlyWithTimes) {
  TTrackProfilePainter profile;
  TTrack still;
  for (int i = 0; i < 10; ++i) still.Add(i * 1e-4, 0, 10);
  profile.SetTrack(still);
  profile.SetAxis(paTime);
  EXPECT_EQ(profile.Axis(), paDistance);
  // Time runs on while distance stands still (a stop): the time axis spreads
  // the points by time.
  TTrack stop;
  for (int i = 0; i < 10; ++i) stop.Add(i < 5 ? i * 1e-4 : 4e-4, 0, 10, 100 + i * 10);
  profile.SetTrack(stop);
  profile.SetAxis(paTime);
  EXPECT_EQ(profile.Axis(), paTime);
  QImage image(400, 150, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  profile.Paint(painter, image.rect(), 1);
  EXPECT_NEAR(profile.XOfIndex(9) - profile.XOfIndex(5), profile.PlotRect().width() * 4 / 9.0, 1);
  EXPECT_EQ(profile.IndexAtX(profile.XOfIndex(7)), 7);
}

}  // namespace
}  // namespace wy

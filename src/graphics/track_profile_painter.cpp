#include "graphics/track_profile_painter.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

#include "geo/track_speeds.h"
#include "geo/track_text.h"

namespace wy {

namespace {

constexpr int kLeftMargin = 56;
constexpr int kRightMargin = 14;
constexpr int kSpeedMargin = 58;
constexpr int kTopMargin = 24;
constexpr int kBottomMargin = 30;
constexpr float kNone = std::numeric_limits<float>::infinity();

const QColor kBackground(0xFF, 0xFF, 0xFF);
const QColor kGrid(0xE4, 0xE4, 0xE4);
const QColor kAxisText(0x50, 0x50, 0x50);
const QColor kSpeedColor(0x1E, 0x5A, 0xC8);
const QColor kSelectionColor(0x1E, 0x78, 0xFF, 48);
const QColor kCursorColor(0x20, 0x20, 0x20);

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// "1:30" for a time axis tick (hours:minutes), "45 s" below a minute.
QString TimeTick(double seconds) {
  char text[32];
  const long long s = std::llround(seconds);
  if (s < 60 && s > 0)
    std::snprintf(text, sizeof text, "%lld s", s);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 3600, s / 60 % 60);
  return QString::fromLatin1(text);
}

QString Number(double v, double step) {
  const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  return Q(FixedText(v, decimals));
}

// Time ticks: round minutes and hours.
std::vector<double> TimeTicks(double span, int wanted) {
  static const double steps[] = {10,   30,   60,    120,   300,   600,   900,   1800,
                                 3600, 7200, 10800, 21600, 43200, 86400, 172800};
  double step = steps[sizeof steps / sizeof steps[0] - 1];
  for (double s : steps)
    if (span / s <= std::max(1, wanted)) {
      step = s;
      break;
    }
  std::vector<double> ticks;
  for (double t = 0; t <= span + 1e-9; t += step) ticks.push_back(t);
  return ticks;
}

}  // namespace

std::vector<double> RoundTicks(double low, double high, int wanted) {
  std::vector<double> ticks;
  if (!(high > low) || wanted < 1) return ticks;
  const double rough = (high - low) / wanted;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power * 10;
  for (double m : {1.0, 2.0, 5.0})
    if (rough <= m * power) {
      step = m * power;
      break;
    }
  const double first = std::ceil(low / step - 1e-9) * step;
  for (double t = first; t <= high + step * 1e-9; t += step)
    ticks.push_back(std::fabs(t) < step * 1e-9 ? 0 : t);
  return ticks;
}

void TTrackProfilePainter::SetTrack(const TTrack& track) {
  FTrack = track;
  FAlong = TrackDistances(FTrack);
  FSpeed = TrackSpeeds(FTrack, FAlong);
  FStats = FTrack.Points.empty() ? TTrackStats()
                                 : RangeStatistics(FTrack, FAlong, 0, FTrack.Points.size() - 1);
  FHasEle = FStats.HasElevation;
  FEleMin = FHasEle ? FStats.MinEleM : 0;
  FEleMax = FHasEle ? FStats.MaxEleM : 0;
  FHasTime = FStats.HasTime && FStats.DurationS > 0;
  FTimeX.assign(FTrack.Points.size(), 0);
  double latest = -std::numeric_limits<double>::infinity(), x = 0;
  for (size_t i = 0; i < FTrack.Points.size(); ++i) {
    const TTrackPoint& p = FTrack.Points[i];
    if (p.HasTime() && p.Time > latest) {
      latest = p.Time;
      x = p.Time - FStats.Start;
    }
    FTimeX[i] = x;
  }
  FHasSpeed = false;
  FSpeedMax = 0;
  for (double v : FSpeed)
    if (!std::isnan(v)) {
      FHasSpeed = true;
      FSpeedMax = std::max(FSpeedMax, v);
    }
  FBlocks.assign((Count() + kBlock - 1) / kBlock, TColumn{kNone, -kNone, 0, 0});
  for (size_t i = 0; i < Count(); ++i) AddPoint(FBlocks[i / kBlock], i);
  if (!FHasTime) FAxis = paDistance;
  FCursor = -1;
  FHasSelection = false;
  FColumnsFor = -1;
  ++FTrackVersion;
}

void TTrackProfilePainter::SetAxis(TProfileAxis axis) {
  if (axis == paTime && !FHasTime) axis = paDistance;
  FAxis = axis;
}

void TTrackProfilePainter::SetCursor(long index) {
  FCursor = index < 0 || static_cast<size_t>(index) >= Count() ? -1 : index;
}

void TTrackProfilePainter::SetSelection(size_t first, size_t last) {
  if (Count() == 0) return;
  if (first > last) std::swap(first, last);
  last = std::min(last, Count() - 1);
  if (first > last) return;
  FHasSelection = true;
  FSelFirst = first;
  FSelLast = last;
  FSelStats = RangeStatistics(FTrack, FAlong, first, last);
}

void TTrackProfilePainter::ClearSelection() {
  FHasSelection = false;
}

double TTrackProfilePainter::XSpan() const {
  if (Count() == 0) return 1;
  const double span = FAxis == paTime ? FTimeX.back() : FAlong.back();
  return span > 0 ? span : 1;
}

double TTrackProfilePainter::YOfElevation(double e) const {
  const double bottom = FPlot.top() + FPlot.height();
  return FHigh > FLow ? bottom - (e - FLow) / (FHigh - FLow) * FPlot.height() : bottom;
}

double TTrackProfilePainter::XOfIndex(size_t index) const {
  if (index >= Count()) return FPlot.left();
  return FPlot.left() + XValue(index) / XSpan() * FPlot.width();
}

long TTrackProfilePainter::IndexAtX(double x) const {
  if (Count() == 0 || FPlot.width() <= 0) return -1;
  const double v = (x - FPlot.left()) / FPlot.width() * XSpan();
  const std::vector<double>& xs = FAxis == paTime ? FTimeX : FAlong;
  const size_t i = static_cast<size_t>(std::lower_bound(xs.begin(), xs.end(), v) - xs.begin());
  if (i >= xs.size()) return static_cast<long>(xs.size() - 1);
  if (i > 0 && v - xs[i - 1] <= xs[i] - v) return static_cast<long>(i - 1);
  return static_cast<long>(i);
}

size_t TTrackProfilePainter::PointsPerColumn() const {
  const int columns = std::max(1, static_cast<int>(std::lround(FPlot.width() * FDpr)));
  return std::max<size_t>(1, Count() / static_cast<size_t>(columns));
}

QString TTrackProfilePainter::CursorText() const {
  if (FCursor < 0) return QString();
  const size_t i = static_cast<size_t>(FCursor);
  std::string text = DistanceText(FAlong[i]);
  const TTrackPoint& p = FTrack.Points[i];
  if (p.HasEle()) text += "   " + ElevationText(p.Ele);
  if (FHasTime) text += "   " + DurationText(FTimeX[i]);
  if (!std::isnan(FSpeed[i])) text += "   " + SpeedText(FSpeed[i]);
  return Q(text);
}

void TTrackProfilePainter::AddPoint(TColumn& col, size_t i) const {
  const double e = FTrack.Points[i].Ele;
  if (e == e) {  // not NaN
    col.EleMin = std::min(col.EleMin, static_cast<float>(e));
    col.EleMax = std::max(col.EleMax, static_cast<float>(e));
  }
  const double v = FSpeed[i];
  if (v == v) {
    col.SpeedSum += static_cast<float>(v);
    ++col.SpeedCount;
  }
}

void TTrackProfilePainter::Decimate(int columns) {
  if (FColumnsFor == columns && FColumnsAxis == FAxis) return;
  FColumns.assign(static_cast<size_t>(columns), TColumn{kNone, -kNone, 0, 0});
  const double scale = columns / XSpan();
  const std::vector<double>& xs = FAxis == paTime ? FTimeX : FAlong;
  auto column = [&](size_t i) {
    const int c = static_cast<int>(xs[i] * scale);
    return static_cast<size_t>(c < 0 ? 0 : (c >= columns ? columns - 1 : c));
  };
  const size_t n = Count();
  if (n / static_cast<size_t>(columns) < 2 * kBlock) {
    for (size_t i = 0; i < n; ++i) AddPoint(FColumns[column(i)], i);
  } else {
    // Whole blocks inside one column bring their own extremes; the few
    // that straddle two columns go point by point.
    for (size_t b = 0; b < FBlocks.size(); ++b) {
      const size_t first = b * kBlock, last = std::min(n, first + kBlock) - 1;
      const size_t c = column(first);
      if (c == column(last)) {
        TColumn& col = FColumns[c];
        const TColumn& k = FBlocks[b];
        col.EleMin = std::min(col.EleMin, k.EleMin);
        col.EleMax = std::max(col.EleMax, k.EleMax);
        col.SpeedSum += k.SpeedSum;
        col.SpeedCount += k.SpeedCount;
      } else {
        for (size_t i = first; i <= last; ++i) AddPoint(FColumns[column(i)], i);
      }
    }
  }
  FColumnsFor = columns;
  FColumnsAxis = FAxis;
}

// Everything but the cursor and the line above the plot, which change as
// the pointer moves.
void TTrackProfilePainter::PaintStatic(QPainter& painter, const QRect& rect) {
  painter.save();
  painter.fillRect(rect, kBackground);
  QFont font = painter.font();
  font.setPixelSize(11);
  painter.setFont(font);
  const QFontMetrics metrics(font);
  const bool speedAxis = FShowSpeed && FHasSpeed;
  if (Count() == 0 || FPlot.width() < 8 || FPlot.height() < 8) {
    painter.setPen(kAxisText);
    painter.drawText(rect, Qt::AlignCenter, Count() == 0 ? "No track" : "");
    painter.restore();
    return;
  }
  const double plotLeft = FPlot.left(), plotRight = FPlot.left() + FPlot.width();
  const double plotTop = FPlot.top(), plotBottom = FPlot.top() + FPlot.height();
  const double span = XSpan();

  // Vertical scale: round ticks that enclose the elevations.
  double low = FEleMin, high = FEleMax;
  if (high - low < 10) {
    low -= 5;
    high += 5;
  }
  std::vector<double> yTicks = RoundTicks(low, high, std::max(3, FPlot.height() / 28));
  if (yTicks.size() >= 2) {
    const double step = yTicks[1] - yTicks[0];
    low = std::floor(low / step) * step;
    high = std::ceil(high / step) * step;
    yTicks = RoundTicks(low, high, std::max(3, FPlot.height() / 28));
  }
  const double yStep = yTicks.size() >= 2 ? yTicks[1] - yTicks[0] : 1;
  FLow = low;
  FHigh = high;
  auto yOf = [&](double e) { return YOfElevation(e); };
  auto xOf = [&](double v) { return plotLeft + v / span * FPlot.width(); };

  // Grid and labels.
  painter.setPen(QPen(kGrid, 0));
  if (FHasEle)
    for (double t : yTicks) painter.drawLine(QPointF(plotLeft, yOf(t)), QPointF(plotRight, yOf(t)));
  std::vector<double> xTicks;
  double xDivisor = 1;
  QString xUnit;
  if (FAxis == paTime) {
    xTicks = TimeTicks(span, std::max(2, FPlot.width() / 90));
    xUnit = "h:mm";
  } else {
    xDivisor = span >= 2000 ? 1000 : 1;
    xUnit = xDivisor > 1 ? "km" : "m";
    xTicks = RoundTicks(0, span / xDivisor, std::max(2, FPlot.width() / 90));
    for (double& t : xTicks) t *= xDivisor;
  }
  for (double t : xTicks) painter.drawLine(QPointF(xOf(t), plotTop), QPointF(xOf(t), plotBottom));
  painter.setPen(kAxisText);
  for (size_t k = 0; k < xTicks.size(); ++k) {
    const double t = xTicks[k];
    const QString label =
        FAxis == paTime
            ? TimeTick(t)
            : Number(t / xDivisor, xTicks.size() >= 2 ? (xTicks[1] - xTicks[0]) / xDivisor : 1);
    const int w = metrics.horizontalAdvance(label);
    painter.drawText(QPointF(xOf(t) - w / 2.0, plotBottom + metrics.ascent() + 4), label);
  }
  painter.drawText(
      QPointF(plotRight - metrics.horizontalAdvance(xUnit), plotBottom + 2 * metrics.height() + 2),
      xUnit);
  if (FHasEle) {
    for (double t : yTicks) {
      const QString label = Number(t, yStep);
      painter.drawText(QPointF(plotLeft - 6 - metrics.horizontalAdvance(label),
                               yOf(t) + metrics.ascent() / 2.0 - 1),
                       label);
    }
    painter.drawText(QPointF(rect.left() + 4, plotTop - 6), "m");
  } else {
    painter.drawText(FPlot, Qt::AlignCenter, "No elevation");
  }
  painter.setPen(QPen(kAxisText, 0));
  painter.drawLine(QPointF(plotLeft, plotBottom), QPointF(plotRight, plotBottom));
  painter.drawLine(QPointF(plotLeft, plotTop), QPointF(plotLeft, plotBottom));

  // Selection band under the curves.
  if (FHasSelection) {
    const double a = XOfIndex(FSelFirst), b = XOfIndex(FSelLast);
    painter.fillRect(QRectF(a, plotTop, std::max(1.0 / FDpr, b - a), FPlot.height()),
                     kSelectionColor);
  }

  // The curves, one minimum and maximum per device pixel column.
  const int columns = std::max(1, static_cast<int>(std::lround(FPlot.width() * FDpr)));
  Decimate(columns);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setClipRect(FPlot.adjusted(0, -2, 0, 2));
  // The elevation through each column's minimum and maximum.
  auto curve = [&](const std::function<double(double)>& y) {
    QPolygonF line;
    line.reserve(columns * 2);
    double previous = 0;
    for (int c = 0; c < columns; ++c) {
      const TColumn& col = FColumns[static_cast<size_t>(c)];
      const float lo = col.EleMin, hi = col.EleMax;
      if (lo > hi) continue;  // no point in this column
      const double x = plotLeft + (c + 0.5) / FDpr;
      const double ylo = y(lo), yhi = y(hi);
      if (lo == hi) {
        line << QPointF(x, ylo);
        previous = ylo;
      } else if (line.isEmpty() || std::fabs(previous - ylo) < std::fabs(previous - yhi)) {
        line << QPointF(x, ylo) << QPointF(x, yhi);
        previous = yhi;
      } else {
        line << QPointF(x, yhi) << QPointF(x, ylo);
        previous = ylo;
      }
    }
    return line;
  };
  if (FHasEle) {
    const QPolygonF line = curve(yOf);
    if (!line.isEmpty()) {
      QPolygonF area = line;
      area << QPointF(line.back().x(), plotBottom) << QPointF(line.front().x(), plotBottom);
      QColor fill = FColor;
      fill.setAlpha(70);
      // The area without antialiasing (its edge is under the line), the
      // line with it.
      painter.setRenderHint(QPainter::Antialiasing, false);
      painter.setPen(Qt::NoPen);
      painter.setBrush(fill);
      painter.drawPolygon(area);
      painter.setBrush(Qt::NoBrush);
      painter.setRenderHint(QPainter::Antialiasing, true);
      QPen pen(FColor, FDpr >= 1.5 ? 1.0 : 0.0);  // one device pixel at least
      painter.setPen(pen);
      painter.drawPolyline(line);
    }
  }
  double speedTop = 1;
  if (speedAxis) {
    const std::vector<double> ticks =
        RoundTicks(0, std::max(1.0, FSpeedMax * 3.6), std::max(2, FPlot.height() / 40));
    speedTop = ticks.size() >= 2
                   ? ticks.back() + (ticks.back() < FSpeedMax * 3.6 ? ticks[1] - ticks[0] : 0)
                   : 1;
    auto ySpeed = [&](double v) { return plotBottom - v * 3.6 / speedTop * FPlot.height(); };
    // The speed through each column's mean (its extremes are mostly the
    // receiver's noise).
    QPolygonF speedLine;
    speedLine.reserve(columns);
    for (int c = 0; c < columns; ++c) {
      const TColumn& col = FColumns[static_cast<size_t>(c)];
      if (col.SpeedCount > 0)
        speedLine << QPointF(plotLeft + (c + 0.5) / FDpr, ySpeed(col.SpeedSum / col.SpeedCount));
    }
    painter.setPen(QPen(kSpeedColor, FDpr >= 1.5 ? 1.0 : 0.0));
    painter.drawPolyline(speedLine);
    painter.setClipping(false);
    const double step = ticks.size() >= 2 ? ticks[1] - ticks[0] : 1;
    for (double t : ticks)
      painter.drawText(QPointF(plotRight + 6, ySpeed(t / 3.6) + metrics.ascent() / 2.0 - 1),
                       Number(t, step));
    painter.drawText(QPointF(plotRight + 6, plotTop - 6), "km/h");
  }
  painter.setClipping(false);
  painter.restore();
}

void TTrackProfilePainter::Paint(QPainter& painter, const QRect& rect, double dpr) {
  FDpr = dpr > 0 ? dpr : 1;
  const bool speedAxis = FShowSpeed && FHasSpeed;
  FPlot = rect.adjusted(kLeftMargin, kTopMargin, -(speedAxis ? kSpeedMargin : kRightMargin),
                        -kBottomMargin);
  // The still parts are drawn once into a picture of device pixels and
  // reused while only the cursor moves.
  const TCacheKey key{rect.size(),   FDpr,      FAxis,    speedAxis,    FColor.rgba(),
                      FHasSelection, FSelFirst, FSelLast, FTrackVersion};
  if (!(key == FCacheKey) || FCache.isNull()) {
    const QSize pixels(static_cast<int>(std::lround(rect.width() * FDpr)),
                       static_cast<int>(std::lround(rect.height() * FDpr)));
    if (FCache.size() != pixels) FCache = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    FCache.setDevicePixelRatio(FDpr);
    QPainter still(&FCache);
    still.setFont(painter.font());
    still.translate(-rect.topLeft());
    PaintStatic(still, rect);
    FCacheKey = key;
  }
  painter.drawImage(rect.topLeft(), FCache);
  if (Count() == 0 || FPlot.width() < 8 || FPlot.height() < 8) return;
  painter.save();
  QFont font = painter.font();
  font.setPixelSize(11);
  painter.setFont(font);
  const QFontMetrics metrics(font);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const double plotLeft = FPlot.left(), plotRight = FPlot.left() + FPlot.width();
  const double plotTop = FPlot.top(), plotBottom = FPlot.top() + FPlot.height();
  auto yOf = [&](double e) { return YOfElevation(e); };

  // The cursor.
  if (FCursor >= 0) {
    const double x = XOfIndex(static_cast<size_t>(FCursor));
    painter.setPen(QPen(kCursorColor, 1));
    painter.drawLine(QPointF(x, plotTop), QPointF(x, plotBottom));
    const TTrackPoint& p = FTrack.Points[static_cast<size_t>(FCursor)];
    if (p.HasEle()) {
      painter.setBrush(FColor);
      painter.drawEllipse(QPointF(x, yOf(p.Ele)), 3.5, 3.5);
      painter.setBrush(Qt::NoBrush);
    }
  }

  // The line above the plot: the cursor's point, else the selection's or
  // the whole track's figures.
  const TTrackStats& s = FHasSelection ? FSelStats : FStats;
  std::string head = FHasSelection ? "Selection: " : "";
  head += DistanceText(s.DistanceM);
  if (s.HasElevation)
    head += "   +" + ElevationText(s.AscentM) + " / -" + ElevationText(s.DescentM);
  if (s.HasTime && s.DurationS > 0) head += "   " + DurationText(s.DurationS);
  if (s.HasTime && !std::isnan(s.AvgSpeedMs)) head += "   " + SpeedText(s.AvgSpeedMs);
  painter.setPen(kAxisText);
  const QString cursorText = CursorText();
  const int cursorWidth = metrics.horizontalAdvance(cursorText);
  const QString headText = Q(head);
  if (cursorText.isEmpty() ||
      plotLeft + 16 + metrics.horizontalAdvance(headText) + 12 < plotRight - cursorWidth)
    painter.drawText(QPointF(plotLeft + 16, plotTop - 8), headText);
  if (!cursorText.isEmpty())
    painter.drawText(QPointF(plotRight - cursorWidth, plotTop - 8), cursorText);
  painter.restore();
}

}  // namespace wy

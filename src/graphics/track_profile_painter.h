#pragma once
// Draws the elevation profile of a recorded track with QPainter: elevation
// against distance (or time), axes with round ticks and units, the track's
// colour, optionally the speed as a second curve with its own axis on the
// right, a cursor at one point and a selected range of points.
//
// Long tracks are reduced to one minimum and one maximum per device pixel
// column before drawing (kept until the width, the axis or the track
// change), so a drawing costs what the columns cost, not the points.
// The same code draws the profile widget and the pictures of the command
// line. Window thread (or any one thread that owns the painter).

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>
#include <vector>

#include "geo/track.h"
#include "geo/track_statistics.h"

class QPainter;

namespace wy {

enum TProfileAxis : uint8_t { paDistance, paTime };

class TTrackProfilePainter {
 public:
  // The track is copied; the cursor and the selection are cleared.
  void SetTrack(const TTrack& track);
  const TTrack& Track() const { return FTrack; }
  const std::vector<double>& Along() const { return FAlong; }
  size_t Count() const { return FTrack.Points.size(); }
  bool HasElevation() const { return FHasEle; }
  bool HasTime() const { return FHasTime; }
  const TTrackStats& Statistics() const { return FStats; }

  // Time is taken only when the track has times.
  void SetAxis(TProfileAxis axis);
  TProfileAxis Axis() const { return FAxis; }
  void SetShowSpeed(bool on) { FShowSpeed = on; }
  bool ShowSpeed() const { return FShowSpeed; }
  void SetColor(const QColor& c) { FColor = c; }
  QColor Color() const { return FColor; }

  // -1: no cursor.
  void SetCursor(long index);
  long Cursor() const { return FCursor; }
  void SetSelection(size_t first, size_t last);
  void ClearSelection();
  bool HasSelection() const { return FHasSelection; }
  size_t SelectionFirst() const { return FSelFirst; }
  size_t SelectionLast() const { return FSelLast; }
  const TTrackStats& SelectionStatistics() const { return FSelStats; }

  // Draws into `rect` (logical pixels) of a device of pixel ratio `dpr`.
  void Paint(QPainter& painter, const QRect& rect, double dpr);

  // After Paint: the plotting area, the point nearest to a logical x, and
  // the x of a point.
  QRect PlotRect() const { return FPlot; }
  long IndexAtX(double x) const;
  double XOfIndex(size_t index) const;
  // The number of points one device pixel column holds (at least 1).
  size_t PointsPerColumn() const;
  // The text of the cursor's point ("4.27 km  1234 m  5.2 km/h").
  QString CursorText() const;

 private:
  // Elevation extremes and the speeds' sum of a pixel column (or block).
  struct TColumn {
    float EleMin, EleMax, SpeedSum;
    uint32_t SpeedCount;
  };
  struct TCacheKey {
    QSize Size;
    double Dpr = 0;
    TProfileAxis Axis = paDistance;
    bool Speed = false;
    QRgb Color = 0;
    bool Selection = false;
    size_t First = 0, Last = 0;
    uint64_t Version = 0;
    bool operator==(const TCacheKey& o) const {
      return Size == o.Size && Dpr == o.Dpr && Axis == o.Axis && Speed == o.Speed &&
             Color == o.Color && Selection == o.Selection && First == o.First && Last == o.Last &&
             Version == o.Version;
    }
  };
  void PaintStatic(QPainter& painter, const QRect& rect);
  double YOfElevation(double e) const;
  // Points per block of the extremes kept for long tracks.
  static constexpr size_t kBlock = 32;
  void AddPoint(TColumn& col, size_t i) const;
  void Decimate(int columns);
  double XValue(size_t i) const { return FAxis == paTime ? FTimeX[i] : FAlong[i]; }
  double XSpan() const;

  TTrack FTrack;
  std::vector<double> FAlong;  // metres along
  std::vector<double> FTimeX;  // seconds since the start, never decreasing
  std::vector<double> FSpeed;  // metres per second
  bool FHasEle = false, FHasTime = false, FHasSpeed = false;
  double FEleMin = 0, FEleMax = 0, FSpeedMax = 0;
  TTrackStats FStats;
  TProfileAxis FAxis = paDistance;
  bool FShowSpeed = false;
  QColor FColor = QColor(0xFF, 0x48, 0x48);
  long FCursor = -1;
  bool FHasSelection = false;
  size_t FSelFirst = 0, FSelLast = 0;
  TTrackStats FSelStats;
  // The reduced columns and what they were made for.
  std::vector<TColumn> FColumns;
  std::vector<TColumn> FBlocks;  // the extremes of each kBlock points
  int FColumnsFor = -1;
  TProfileAxis FColumnsAxis = paDistance;
  QRect FPlot;
  double FDpr = 1;
  double FLow = 0, FHigh = 1;  // the elevations at the bottom and top of the plot
  uint64_t FTrackVersion = 0;
  QImage FCache;  // the still parts
  TCacheKey FCacheKey;
};

// Round tick values from `low` to `high` about `wanted` apart: steps of 1,
// 2 or 5 times a power of ten.
std::vector<double> RoundTicks(double low, double high, int wanted);

}  // namespace wy

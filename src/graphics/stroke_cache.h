// TStrokeCache: the pixels of the polylines a surface strokes, kept from one
// frame to the next.
//
// Stroking a wide pen along a long polyline is the toolkit's costliest
// operation, and a map strokes the same polylines frame after frame (a
// track does not move while tiles arrive, markers animate or the pointer
// hovers). The pixels an opaque pen covers depend only on the points and
// the pen's geometry (width, style, caps, joins, dashes), not on its
// colour: the cache lets the toolkit stroke a polyline into a mask once,
// keeps the runs of covered pixels, and fills those runs with the pen's
// colour when the same polyline is stroked again. The pixels are exactly
// those the toolkit draws, since they are the toolkit's own.
//
// A polyline is taken into the cache when it is stroked a second time (a
// line that changes every frame never pays for a capture), only onto an
// image of 32-bit pixels without a clip, with an opaque solid pen. The
// cache holds at most kMaxBytes of points and runs, least recently used
// first out. Window thread only.
#pragma once

#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QPoint>
#include <QSize>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace wy {

// The cubic Bezier chain through `points` (a start point, then three points
// per segment; an incomplete last segment is left out).
QPainterPath BezierChain(const QPoint* points, int count);

class TStrokeCache {
 public:
  static constexpr size_t kMaxBytes = size_t{16} << 20;

  // Fills the pixels of the polyline (a Bezier chain when `bezier`) through
  // `points[0 .. count)` stroked with `pen` into `target` when they are
  // known; false when the caller must stroke it itself (the first time, or
  // when the cache does not apply). `target` must not be clipped.
  bool Draw(QImage& target, const QPen& pen, const QPoint* points, int count, bool bezier);
  void Clear();

  // Strokes served from the cache, and polylines captured (diagnostics and
  // tests).
  int64_t Hits() const { return FHits; }
  int64_t Captures() const { return FCaptures; }

 private:
  struct TSpan {
    int32_t Y;
    int32_t X;
    int32_t Length;
  };
  struct TEntry {
    std::vector<QPoint> Points;
    bool Bezier = false;
    QPen Geometry;  // the pen with its colour set to black
    bool Captured = false;
    std::vector<TSpan> Spans;
    uint64_t LastUse = 0;
    size_t Bytes() const {
      return Points.size() * sizeof(QPoint) + Spans.size() * sizeof(TSpan) + sizeof(TEntry);
    }
  };

  // Strokes the polyline into the mask (the target's size, so that the
  // toolkit clips and rounds exactly as on the target) and keeps its runs.
  void Capture(TEntry& entry);
  // The 32-bit pixel the toolkit writes for an opaque pen colour.
  QRgb PixelOf(const QColor& color);
  void Evict();

  QSize FSize;         // of the target the entries were captured for
  qreal FScale = 1.0;  // and its device pixel ratio
  std::unordered_multimap<uint64_t, TEntry> FEntries;
  size_t FBytes = 0;
  uint64_t FClock = 0;
  QImage FMask;  // all zero between captures
  std::unordered_map<QRgb, QRgb> FPixels;
  int64_t FHits = 0;
  int64_t FCaptures = 0;
};

}  // namespace wy

#include "graphics/stroke_cache.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace wy {

namespace {

uint64_t HashPoints(const QPoint* points, int count, bool bezier) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ (static_cast<uint64_t>(count) << 1) ^ (bezier ? 1 : 0);
  for (int i = 0; i < count; ++i) {
    uint64_t v;
    std::memcpy(&v, &points[i], sizeof v);
    h = (h ^ v) * 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
  }
  return h;
}

bool SamePoints(const std::vector<QPoint>& kept, const QPoint* points, int count) {
  return kept.size() == static_cast<size_t>(count) &&
         std::memcmp(kept.data(), points, sizeof(QPoint) * static_cast<size_t>(count)) == 0;
}

// The pen covers the same pixels whatever its colour.
QPen Geometry(const QPen& pen) {
  QPen geometry = pen;
  geometry.setColor(Qt::black);
  return geometry;
}

bool Applies(const QImage& target, const QPen& pen, int count, bool bezier) {
  if (count < (bezier ? 4 : 2)) return false;
  if (target.format() != QImage::Format_ARGB32_Premultiplied &&
      target.format() != QImage::Format_RGB32)
    return false;
  return pen.style() != Qt::NoPen && pen.brush().style() == Qt::SolidPattern &&
         pen.color().alpha() == 255 && pen.brush().transform().isIdentity();
}

}  // namespace

QPainterPath BezierChain(const QPoint* points, int count) {
  QPainterPath path;
  if (count < 4) return path;
  path.moveTo(QPointF(points[0]));
  for (int s = 0; s < (count - 1) / 3; ++s) {
    const int i = 1 + 3 * s;
    path.cubicTo(QPointF(points[i]), QPointF(points[i + 1]), QPointF(points[i + 2]));
  }
  return path;
}

bool TStrokeCache::Draw(QImage& target, const QPen& pen, const QPoint* points, int count,
                        bool bezier) {
  if (!Applies(target, pen, count, bezier)) return false;
  if (target.size() != FSize || target.devicePixelRatio() != FScale) {
    Clear();
    FSize = target.size();
    FScale = target.devicePixelRatio();
  }
  const QPen geometry = Geometry(pen);
  const uint64_t key = HashPoints(points, count, bezier);
  TEntry* entry = nullptr;
  const auto range = FEntries.equal_range(key);
  for (auto it = range.first; it != range.second && !entry; ++it) {
    TEntry& e = it->second;
    if (e.Bezier == bezier && e.Geometry == geometry && SamePoints(e.Points, points, count))
      entry = &e;
  }
  if (!entry) {
    // First stroke: remembered only; the caller strokes it.
    TEntry e;
    e.Points.assign(points, points + count);
    e.Bezier = bezier;
    e.Geometry = geometry;
    e.LastUse = ++FClock;
    FBytes += e.Bytes();
    FEntries.emplace(key, std::move(e));
    Evict();
    return false;
  }
  entry->LastUse = ++FClock;
  if (!entry->Captured) {
    const size_t before = entry->Bytes();
    Capture(*entry);
    FBytes += entry->Bytes() - before;
    ++FCaptures;
  }
  const QRgb pixel = PixelOf(pen.color());
  uchar* bits = target.bits();
  const qsizetype stride = target.bytesPerLine();
  for (const TSpan& span : entry->Spans)
    std::fill_n(reinterpret_cast<QRgb*>(bits + span.Y * stride) + span.X, span.Length, pixel);
  ++FHits;
  Evict();
  return true;
}

void TStrokeCache::Clear() {
  FEntries.clear();
  FBytes = 0;
  FMask = QImage();
}

void TStrokeCache::Capture(TEntry& entry) {
  entry.Captured = true;
  entry.Spans.clear();
  if (FMask.size() != FSize) {
    FMask = QImage(FSize, QImage::Format_Alpha8);
    if (FMask.isNull()) return;
    FMask.fill(0);
    // Drawn in the target's units, so the mask gets the target's pixels.
    FMask.setDevicePixelRatio(FScale);
  }
  // A box around the points wide enough for any join, cap or dash of the
  // pen; the stroke is clipped to it so that nothing of it is left in the
  // mask outside the part that is read back.
  int64_t minX = INT64_MAX, minY = INT64_MAX, maxX = INT64_MIN, maxY = INT64_MIN;
  for (const QPoint& p : entry.Points) {
    minX = std::min<int64_t>(minX, p.x());
    maxX = std::max<int64_t>(maxX, p.x());
    minY = std::min<int64_t>(minY, p.y());
    maxY = std::max<int64_t>(maxY, p.y());
  }
  const double width = std::max(1.0, entry.Geometry.widthF());
  const int64_t margin =
      static_cast<int64_t>(std::ceil(width * std::max(2.0, entry.Geometry.miterLimit()))) + 4;
  // The box in mask pixels (the points are in the target's units).
  const auto down = [this](int64_t v) { return static_cast<int64_t>(std::floor(v * FScale)); };
  const auto up = [this](int64_t v) { return static_cast<int64_t>(std::ceil(v * FScale)); };
  const int64_t left = std::max<int64_t>(0, down(minX - margin));
  const int64_t top = std::max<int64_t>(0, down(minY - margin));
  const int64_t right = std::min<int64_t>(FMask.width() - 1, up(maxX + margin));
  const int64_t bottom = std::min<int64_t>(FMask.height() - 1, up(maxY + margin));
  if (left > right || top > bottom) return;
  const QRect box(QPoint(static_cast<int>(left), static_cast<int>(top)),
                  QPoint(static_cast<int>(right), static_cast<int>(bottom)));
  {
    QPainter p(&FMask);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setClipRect(
        QRectF(box.x() / FScale, box.y() / FScale, box.width() / FScale, box.height() / FScale));
    QPen pen = entry.Geometry;
    pen.setColor(Qt::white);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const int count = static_cast<int>(entry.Points.size());
    if (entry.Bezier)
      p.drawPath(BezierChain(entry.Points.data(), count));
    else
      p.drawPolyline(entry.Points.data(), count);
  }
  for (int y = box.top(); y <= box.bottom(); ++y) {
    uchar* row = FMask.scanLine(y);
    int x = box.left();
    while (x <= box.right()) {
      if (row[x] == 0) {
        ++x;
        continue;
      }
      const int start = x;
      while (x <= box.right() && row[x] != 0) ++x;
      entry.Spans.push_back(TSpan{y, start, x - start});
    }
    std::memset(row + box.left(), 0, static_cast<size_t>(box.width()));
  }
  entry.Spans.shrink_to_fit();
}

QRgb TStrokeCache::PixelOf(const QColor& color) {
  const QRgb key = color.rgba();
  const auto found = FPixels.find(key);
  if (found != FPixels.end()) return found->second;
  if (FPixels.size() >= 256) FPixels.clear();
  QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
  probe.fill(0);
  {
    QPainter p(&probe);
    p.fillRect(QRect(0, 0, 1, 1), color);
  }
  const QRgb pixel = reinterpret_cast<const QRgb*>(probe.constScanLine(0))[0];
  FPixels.emplace(key, pixel);
  return pixel;
}

void TStrokeCache::Evict() {
  while (FBytes > kMaxBytes && FEntries.size() > 1) {
    auto oldest = FEntries.begin();
    for (auto it = FEntries.begin(); it != FEntries.end(); ++it)
      if (it->second.LastUse < oldest->second.LastUse) oldest = it;
    FBytes -= oldest->second.Bytes();
    FEntries.erase(oldest);
  }
}

}  // namespace wy

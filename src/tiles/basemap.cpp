#include "tiles/basemap.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/log.h"
#include "tiles/basemap_data.h"

namespace wy {

namespace {

constexpr int kSide = 256;
// Drawing reaches this many pixels beyond the tile, so that lines and fills
// end outside it and neighbouring tiles join without seams.
constexpr double kMargin = 2.0;
// A point closer than this (in pixels, both axes added) to the last one
// kept adds nothing visible at this zoom and is skipped.
constexpr double kMinStep = 0.5;
constexpr double kMaxLatitude = 85.0511287798066;
constexpr double kPi = 3.14159265358979323846;

const QColor kCoastColour(0x6F, 0x9F, 0xBB);
const QColor kBorderColour(0x9E, 0x87, 0xA8);

// Sequential reader of the file; every read checks the remaining bytes.
class TReader {
 public:
  TReader(const uint8_t* data, size_t size) : FData(data), FEnd(data + size) {}

  bool Bytes(void* out, size_t n) {
    if (static_cast<size_t>(FEnd - FData) < n) return false;
    std::memcpy(out, FData, n);
    FData += n;
    return true;
  }
  bool Double(double& value) {
    uint8_t raw[8];
    if (!Bytes(raw, 8)) return false;
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | raw[i];
    std::memcpy(&value, &bits, sizeof value);
    return std::isfinite(value);
  }
  bool Varint(uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (FData == FEnd) return false;
      const uint8_t byte = *FData++;
      value |= uint64_t(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) return true;
    }
    return false;
  }
  bool Zigzag(int64_t& value) {
    uint64_t raw;
    if (!Varint(raw)) return false;
    value = (raw & 1) ? -static_cast<int64_t>(raw >> 1) - 1 : static_cast<int64_t>(raw >> 1);
    return true;
  }
  // A count that the remaining bytes can hold (each item takes at least
  // minBytes), so a damaged count cannot ask for a huge allocation.
  bool Count(uint64_t& value, size_t minBytes) {
    return Varint(value) && value <= static_cast<uint64_t>(FEnd - FData) / minBytes;
  }
  bool AtEnd() const { return FData == FEnd; }

 private:
  const uint8_t* FData;
  const uint8_t* FEnd;
};

struct TTransform {
  double Sx, Sy, Tx, Ty;
};

double MercatorY(double latitude) {
  const double phi = std::clamp(latitude, -kMaxLatitude, kMaxLatitude) * kPi / 180.0;
  return (1.0 - std::log(std::tan(phi) + 1.0 / std::cos(phi)) / kPi) / 2.0;
}

// Reads one line of points into the arrays and its part.
bool ReadLine(TReader& reader, const TTransform& t, std::vector<float>& xs, std::vector<float>& ys,
              TBasemap::TPart& part) {
  uint64_t count;
  if (!reader.Count(count, 2)) return false;
  part.Begin = static_cast<uint32_t>(xs.size());
  part.MinX = part.MinY = 1.0f;
  part.MaxX = part.MaxY = 0.0f;
  int64_t qx = 0, qy = 0;
  for (uint64_t i = 0; i < count; ++i) {
    int64_t dx, dy;
    if (!reader.Zigzag(dx) || !reader.Zigzag(dy)) return false;
    qx += dx;
    qy += dy;
    const double longitude = std::clamp(qx * t.Sx + t.Tx, -180.0, 180.0);
    const float x = static_cast<float>((longitude + 180.0) / 360.0);
    const float y = static_cast<float>(MercatorY(qy * t.Sy + t.Ty));
    xs.push_back(x);
    ys.push_back(y);
    part.MinX = std::min(part.MinX, x);
    part.MaxX = std::max(part.MaxX, x);
    part.MinY = std::min(part.MinY, y);
    part.MaxY = std::max(part.MaxY, y);
  }
  part.End = static_cast<uint32_t>(xs.size());
  return true;
}

bool ReadLines(TReader& reader, const TTransform& t, std::vector<float>& xs, std::vector<float>& ys,
               std::vector<TBasemap::TPart>& parts) {
  uint64_t count;
  if (!reader.Count(count, 1)) return false;
  for (uint64_t i = 0; i < count; ++i) {
    TBasemap::TPart part;
    if (!ReadLine(reader, t, xs, ys, part)) return false;
    if (part.End - part.Begin >= 2) parts.push_back(part);
  }
  return true;
}

// The tile's window in world coordinates, with the margin, and the scale
// from world to tile pixels.
struct TTileView {
  double Scale;                   // pixels per world unit
  double Left, Top;               // world coordinates of the tile's pixel (0, 0)
  double MinX, MinY, MaxX, MaxY;  // world box the tile (with margin) covers
  double MinStep = kMinStep;      // in pixels; grows with the pixels per map pixel

  bool Meets(const TBasemap::TPart& part) const {
    return part.MaxX >= MinX && part.MinX <= MaxX && part.MaxY >= MinY && part.MinY <= MaxY;
  }
  bool Holds(const TBasemap::TPart& part) const {
    return part.MinX >= MinX && part.MaxX <= MaxX && part.MinY >= MinY && part.MaxY <= MaxY;
  }
};

// Points of a part in tile pixels, without those too close to the last one
// kept (the last point of the part is always kept).
void PixelPoints(const TTileView& view, const float* xs, const float* ys, const TBasemap::TPart& p,
                 std::vector<QPointF>& out) {
  out.clear();
  for (uint32_t i = p.Begin; i < p.End; ++i) {
    const QPointF point((xs[i] - view.Left) * view.Scale, (ys[i] - view.Top) * view.Scale);
    if (!out.empty() && i + 1 < p.End &&
        std::abs(point.x() - out.back().x()) + std::abs(point.y() - out.back().y()) < view.MinStep)
      continue;
    out.push_back(point);
  }
}

// Clips a closed ring to the box [lo, hi] on both axes (Sutherland-Hodgman,
// one edge at a time). Concave rings may gain edges along the box; they lie
// in the margin, outside the tile.
void ClipRing(std::vector<QPointF>& ring, std::vector<QPointF>& scratch, double lo, double hi) {
  for (int edge = 0; edge < 4 && !ring.empty(); ++edge) {
    const bool vertical = edge < 2;  // x = bound
    const double bound = (edge % 2 == 0) ? lo : hi;
    auto inside = [&](const QPointF& p) {
      const double v = vertical ? p.x() : p.y();
      return edge % 2 == 0 ? v >= bound : v <= bound;
    };
    auto cross = [&](const QPointF& a, const QPointF& b) {
      const double av = vertical ? a.x() : a.y();
      const double bv = vertical ? b.x() : b.y();
      const double f = (bound - av) / (bv - av);
      return vertical ? QPointF(bound, a.y() + f * (b.y() - a.y()))
                      : QPointF(a.x() + f * (b.x() - a.x()), bound);
    };
    scratch.clear();
    for (size_t i = 0; i < ring.size(); ++i) {
      const QPointF& current = ring[i];
      const QPointF& previous = ring[(i + ring.size() - 1) % ring.size()];
      const bool in = inside(current);
      if (in != inside(previous)) scratch.push_back(cross(previous, current));
      if (in) scratch.push_back(current);
    }
    ring.swap(scratch);
  }
}

// Adds the parts of a line inside the box [lo, hi] to the path (each
// segment clipped by Liang-Barsky; a gap starts a new subpath).
void AddClippedLine(const std::vector<QPointF>& line, double lo, double hi, QPainterPath& path) {
  bool open = false;
  QPointF last;
  for (size_t i = 1; i < line.size(); ++i) {
    QPointF a = line[i - 1];
    QPointF b = line[i];
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    double t0 = 0.0, t1 = 1.0;
    bool visible = true;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - lo, hi - a.x(), a.y() - lo, hi - a.y()};
    for (int k = 0; k < 4 && visible; ++k) {
      if (p[k] == 0.0) {
        if (q[k] < 0.0) visible = false;
        continue;
      }
      const double r = q[k] / p[k];
      if (p[k] < 0.0) {
        if (r > t1)
          visible = false;
        else if (r > t0)
          t0 = r;
      } else {
        if (r < t0)
          visible = false;
        else if (r < t1)
          t1 = r;
      }
    }
    if (!visible) {
      open = false;
      continue;
    }
    const QPointF start(a.x() + t0 * dx, a.y() + t0 * dy);
    const QPointF end(a.x() + t1 * dx, a.y() + t1 * dy);
    if (!open || start != last) path.moveTo(start);
    path.lineTo(end);
    last = end;
    // A segment cut at its end leaves the box: the next one starts anew.
    open = t1 >= 1.0;
  }
}

void StrokeLines(QPainter& painter, const TTileView& view, int side, const float* xs,
                 const float* ys, const std::vector<TBasemap::TPart>& parts, const QPen& pen,
                 std::vector<QPointF>& points) {
  QPainterPath path;
  for (const TBasemap::TPart& part : parts) {
    if (!view.Meets(part)) continue;
    PixelPoints(view, xs, ys, part, points);
    if (points.size() < 2) continue;
    AddClippedLine(points, -kMargin, side + kMargin, path);
  }
  if (path.isEmpty()) return;
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(path);
}

}  // namespace

bool TBasemap::Load(const uint8_t* data, size_t size) {
  FX.clear();
  FY.clear();
  FLand.clear();
  FCoasts.clear();
  FBorders.clear();
  TReader reader(data, size);
  char magic[4];
  uint8_t version = 0;
  TTransform t{};
  bool ok = reader.Bytes(magic, 4) && std::memcmp(magic, "WYBM", 4) == 0 &&
            reader.Bytes(&version, 1) && version == 1 && reader.Double(t.Sx) &&
            reader.Double(t.Sy) && reader.Double(t.Tx) && reader.Double(t.Ty);
  uint64_t polygons = 0;
  ok = ok && reader.Count(polygons, 1);
  for (uint64_t i = 0; ok && i < polygons; ++i) {
    uint64_t rings;
    ok = reader.Count(rings, 1);
    for (uint64_t r = 0; ok && r < rings; ++r) {
      TPart part;
      ok = ReadLine(reader, t, FX, FY, part);
      if (ok && part.End - part.Begin >= 3) FLand.push_back(part);
    }
  }
  ok = ok && ReadLines(reader, t, FX, FY, FCoasts) && ReadLines(reader, t, FX, FY, FBorders) &&
       reader.AtEnd();
  if (!ok) {
    *this = TBasemap();
    return false;
  }
  return true;
}

void TBasemap::DrawTile(int x, int y, int z, QImage& image, int scale) const {
  scale = std::clamp(scale, 1, 4);
  const int side = kSide * scale;
  if (image.width() != side || image.height() != side || image.format() != QImage::Format_RGB32)
    image = QImage(side, side, QImage::Format_RGB32);
  // Painters draw it over 256 map pixels. It is drawn here in its own
  // pixels (a scaling painter would be many times slower at filling).
  image.setDevicePixelRatio(1);
  image.fill(QColor::fromRgba(kBasemapSea));
  struct TDensity {
    QImage& Image;
    int Scale;
    ~TDensity() { Image.setDevicePixelRatio(Scale); }
  } density{image, scale};
  const double tiles = std::ldexp(1.0, std::clamp(z, 0, 30));
  if (x < 0 || y < 0 || x >= tiles || y >= tiles || Empty()) return;

  TTileView view;
  view.Scale = side * tiles;
  // As many points as a tile of 256 pixels: a denser tile shows the same
  // detail of the map, only sharper.
  view.MinStep = kMinStep * scale;
  view.Left = x / tiles;
  view.Top = y / tiles;
  const double margin = kMargin / view.Scale;
  view.MinX = view.Left - margin;
  view.MinY = view.Top - margin;
  view.MaxX = (x + 1) / tiles + margin;
  view.MaxY = (y + 1) / tiles + margin;

  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);

  // Land: every ring in one path; holes (lakes, inland seas) are rings
  // inside rings, which the odd-even rule leaves empty.
  std::vector<QPointF> points, scratch;
  QPainterPath land;
  land.setFillRule(Qt::OddEvenFill);
  for (const TPart& ring : FLand) {
    if (!view.Meets(ring)) continue;
    PixelPoints(view, FX.data(), FY.data(), ring, points);
    if (!view.Holds(ring)) ClipRing(points, scratch, -kMargin, side + kMargin);
    if (points.size() < 3) continue;
    land.addPolygon(QPolygonF(QVector<QPointF>(points.begin(), points.end())));
    land.closeSubpath();
  }
  if (!land.isEmpty()) painter.fillPath(land, QColor::fromRgba(kBasemapLand));

  // Thin lines that thicken a little as the map grows.
  // Lines of the smallest zooms, where there are the most of them, stay
  // within one pixel on a denser tile too: the toolkit draws those many
  // times faster than wider ones.
  const double width = z < 5 ? std::min(0.6 * scale, 1.0) : (z < 8 ? 0.9 : 1.2) * scale;
  QPen border(kBorderColour, width);
  border.setCapStyle(Qt::RoundCap);
  border.setJoinStyle(Qt::RoundJoin);
  StrokeLines(painter, view, side, FX.data(), FY.data(), FBorders, border, points);
  QPen coast(kCoastColour, width);
  coast.setCapStyle(Qt::RoundCap);
  coast.setJoinStyle(Qt::RoundJoin);
  StrokeLines(painter, view, side, FX.data(), FY.data(), FCoasts, coast, points);
}

const TBasemap& TBasemap::World() {
  static const TBasemap world = [] {
    TBasemap map;
    if (!map.Load(kBasemapData, kBasemapDataSize))
      LogError("tiles", "the built-in world map is damaged; offline tiles show only sea");
    return map;
  }();
  return world;
}

}  // namespace wy

#include "tiles/vector_render.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace wy {

namespace {

constexpr double kTileSide = 256;
constexpr size_t kMaxLabels = 400;

// Tile coordinates to map pixels of the image.
struct TMapping {
  double K = 1;
  double Dx = 0, Dy = 0;
  QPointF operator()(const TVectorPoint& p) const { return QPointF(p.X * K - Dx, p.Y * K - Dy); }
};

TMapping MappingFor(const TVectorLayer& layer, const TTileWindow& window) {
  TMapping m;
  m.K = kTileSide * std::ldexp(1.0, window.Depth) / layer.Extent;
  m.Dx = window.SubX * kTileSide;
  m.Dy = window.SubY * kTileSide;
  return m;
}

// False when the feature lies wholly outside the image (with a margin for
// wide lines).
bool Visible(const TVectorFeature& f, const TMapping& m, double margin) {
  if (f.Points.empty()) return false;
  int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
  for (const TVectorPoint& p : f.Points) {
    x0 = std::min(x0, p.X);
    y0 = std::min(y0, p.Y);
    x1 = std::max(x1, p.X);
    y1 = std::max(y1, p.Y);
  }
  const QPointF a = m(TVectorPoint{x0, y0}), b = m(TVectorPoint{x1, y1});
  return b.x() >= -margin && b.y() >= -margin && a.x() <= kTileSide + margin &&
         a.y() <= kTileSide + margin;
}

QPainterPath PathOf(const TVectorFeature& f, const TMapping& m, bool close) {
  QPainterPath path;
  // Holes wind against their outer ring, and valid parts never overlap:
  // the even-odd rule (the faster one) fills them alike.
  path.setFillRule(Qt::OddEvenFill);
  for (const TVectorPart& part : f.Parts) {
    if (part.Count == 0) continue;
    const TVectorPoint* p = &f.Points[part.Begin];
    path.moveTo(m(p[0]));
    for (uint32_t i = 1; i < part.Count; ++i) path.lineTo(m(p[i]));
    if (close) path.closeSubpath();
  }
  return path;
}

QColor WithOpacity(QColor color, double opacity) {
  color.setAlphaF(static_cast<float>(std::clamp(color.alphaF() * opacity, 0.0, 1.0)));
  return color;
}

// Layer-wide values are evaluated once; per-feature ones for each feature.
struct TEval {
  TStyleContext Layer;
  TStyleContext Feature;
  const TStyleContext& For(const TStyleValue& v) const { return v.PerFeature() ? Feature : Layer; }
};

QFont FontFor(const std::vector<std::string>& names, double size) {
  QFont font(QStringLiteral("DejaVu Sans"));
  const std::string name = names.empty() ? std::string() : names.front();
  if (name.find("Bold") != std::string::npos) font.setBold(true);
  if (name.find("Italic") != std::string::npos) font.setItalic(true);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
  return font;
}

// Words into lines no wider than `width` pixels.
QStringList WrapLines(const QString& text, const QFontMetricsF& metrics, double width) {
  QStringList lines;
  QString line;
  for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
    const QString longer = line.isEmpty() ? word : line + ' ' + word;
    if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
      lines << line;
      line = word;
    } else {
      line = longer;
    }
  }
  if (!line.isEmpty()) lines << line;
  return lines;
}

struct TLabel {
  QPainterPath Text;  // glyph outlines, centred on the origin
  QPointF At;
  double Angle = 0;
  QRectF Box;  // collision box in image pixels
  QColor Color, Halo;
  double HaloWidth = 0;
  double SortKey = 0;
  int Order = 0;  // the layer's priority: higher first
  size_t Sequence = 0;
  // Where the label must stay whole (a line label: the tile of its road);
  // null: anywhere.
  QRectF Home;
};

// How far from the tile a neighbour's label may stand and still matter.
constexpr double kNeighbourMargin = 128;

QPainterPath TextPath(const QString& text, const QFont& font, double maxWidth, bool wrap) {
  const QFontMetricsF metrics(font);
  const QStringList lines = wrap ? WrapLines(text, metrics, maxWidth) : QStringList{text};
  QPainterPath path;
  const double lineHeight = metrics.height();
  const double top = -lineHeight * lines.size() / 2 + metrics.ascent();
  for (int i = 0; i < lines.size(); ++i) {
    const double width = metrics.horizontalAdvance(lines[i]);
    path.addText(QPointF(-width / 2, top + i * lineHeight), font, lines[i]);
  }
  return path;
}

// Cuts segment a-b to `clip` (Liang-Barsky); false when it misses it.
bool ClipToRect(QPointF& a, QPointF& b, const QRectF& clip) {
  double t0 = 0, t1 = 1;
  const double dx = b.x() - a.x(), dy = b.y() - a.y();
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x() - clip.left(), clip.right() - a.x(), a.y() - clip.top(),
                       clip.bottom() - a.y()};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  const QPointF start = a;
  a = start + QPointF(dx * t0, dy * t0);
  b = start + QPointF(dx * t1, dy * t1);
  return true;
}

// The middle of the longest straight piece of a line within the tile long
// enough for the text, and its direction, kept readable (never upside
// down).
bool LinePlace(const TVectorFeature& f, const TMapping& m, const QRectF& clip, double need,
               QPointF& at, double& angle) {
  double best = 0;
  for (const TVectorPart& part : f.Parts) {
    for (uint32_t i = 1; i < part.Count; ++i) {
      QPointF a = m(f.Points[part.Begin + i - 1]), b = m(f.Points[part.Begin + i]);
      if (!ClipToRect(a, b, clip)) continue;
      const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
      if (length <= best || length < need) continue;
      best = length;
      at = (a + b) / 2;
      angle = std::atan2(b.y() - a.y(), b.x() - a.x()) * 180 / M_PI;
      if (angle > 90) angle -= 180;
      if (angle < -90) angle += 180;
    }
  }
  return best > 0;
}

// `home`: the rect of the tile the features belong to, in this tile's
// pixels; a neighbour's features far from this tile are skipped.
void CollectLabels(const TStyleLayer& style, int order, const TVectorLayer& layer,
                   const TMapping& m, const QRectF& home, TEval& eval,
                   std::vector<TLabel>& labels) {
  const bool alongLine = style.SymbolPlacement.Text(eval.Layer) == "line";
  const bool neighbour = home.topLeft() != QPointF(0, 0);
  const QRectF near(-kNeighbourMargin, -kNeighbourMargin, kTileSide + 2 * kNeighbourMargin,
                    kTileSide + 2 * kNeighbourMargin);
  for (const TVectorFeature& feature : layer.Features) {
    if (feature.Type == vgUnknown || feature.Points.empty()) continue;
    if (neighbour && (feature.Type == vgPoint ? !near.contains(m(feature.Points.front()))
                                              : !Visible(feature, m, kNeighbourMargin)))
      continue;
    eval.Feature.Feature = &feature;
    if (!StyleFilterMatches(style.Filter, eval.Feature)) continue;
    std::string text = style.TextField.Text(eval.For(style.TextField));
    if (text.empty()) continue;
    QString label = QString::fromStdString(text);
    const std::string transform = style.TextTransform.Text(eval.For(style.TextTransform));
    if (transform == "uppercase") label = label.toUpper();
    if (transform == "lowercase") label = label.toLower();
    const double size = style.TextSize.Number(eval.For(style.TextSize), 16);
    if (size <= 0) continue;
    const QFont font = FontFor(style.TextFont.Strings(eval.For(style.TextFont)), size);
    TLabel out;
    if (alongLine) {
      if (feature.Type != vgLine) continue;
      out.Text = TextPath(label, font, 0, false);
      const double width = out.Text.boundingRect().width();
      const QRectF clip = home.isNull() ? QRectF(0, 0, kTileSide, kTileSide) : home;
      if (!LinePlace(feature, m, clip, width + size, out.At, out.Angle)) continue;
      out.Home = clip;
    } else {
      const double maxWidth = style.TextMaxWidth.Number(eval.For(style.TextMaxWidth), 10) * size;
      out.Text = TextPath(label, font, maxWidth, true);
      if (feature.Type == vgPoint) {
        out.At = m(feature.Points.front());
      } else {
        const QRectF box = PathOf(feature, m, feature.Type == vgPolygon).boundingRect();
        out.At = box.center();
      }
      const std::vector<double> offset = style.TextOffset.Numbers(eval.For(style.TextOffset));
      if (offset.size() == 2) out.At += QPointF(offset[0] * size, offset[1] * size);
    }
    QTransform place;
    place.translate(out.At.x(), out.At.y());
    place.rotate(out.Angle);
    const double halo = style.TextHaloWidth.Number(eval.For(style.TextHaloWidth), 0);
    out.Box =
        place.mapRect(out.Text.boundingRect()).adjusted(-halo - 1, -halo - 1, halo + 1, halo + 1);
    const double opacity = style.TextOpacity.Number(eval.For(style.TextOpacity), 1);
    out.Color = WithOpacity(style.TextColor.Color(eval.For(style.TextColor), Qt::black), opacity);
    out.Halo = WithOpacity(
        style.TextHaloColor.Color(eval.For(style.TextHaloColor), Qt::transparent), opacity);
    out.HaloWidth = halo;
    out.SortKey = style.SymbolSortKey.Number(eval.For(style.SymbolSortKey), 0);
    out.Order = order;
    out.Sequence = labels.size();
    labels.push_back(std::move(out));
  }
}

void DrawLabels(QPainter& painter, std::vector<TLabel>& labels, bool crossEdges) {
  // One order for every tile that sees the same labels: positions differ
  // between neighbours by one shift, which keeps their order.
  std::stable_sort(labels.begin(), labels.end(), [](const TLabel& a, const TLabel& b) {
    if (a.Order != b.Order) return a.Order > b.Order;
    if (a.SortKey != b.SortKey) return a.SortKey < b.SortKey;
    if (a.At.y() != b.At.y()) return a.At.y() < b.At.y();
    return a.At.x() < b.At.x();
  });
  const QRectF tile(0, 0, kTileSide, kTileSide);
  std::vector<QRectF> placed;
  for (const TLabel& label : labels) {
    if (placed.size() >= kMaxLabels) break;
    if (!label.Home.isNull() ? !label.Home.contains(label.Box)
                             : !crossEdges && !tile.contains(label.Box))
      continue;
    bool free = true;
    for (const QRectF& other : placed)
      if (other.intersects(label.Box)) {
        free = false;
        break;
      }
    if (!free) continue;
    placed.push_back(label.Box);
    if (!tile.intersects(label.Box)) continue;
    painter.save();
    painter.translate(label.At);
    painter.rotate(label.Angle);
    if (label.HaloWidth > 0 && label.Halo.alpha() > 0) {
      painter.strokePath(label.Text, QPen(label.Halo, label.HaloWidth * 2, Qt::SolidLine,
                                          Qt::RoundCap, Qt::RoundJoin));
    }
    painter.fillPath(label.Text, label.Color);
    painter.restore();
  }
}

Qt::PenCapStyle CapOf(const std::string& text) {
  if (text == "round") return Qt::RoundCap;
  if (text == "square") return Qt::SquareCap;
  return Qt::FlatCap;
}

Qt::PenJoinStyle JoinOf(const std::string& text) {
  if (text == "round") return Qt::RoundJoin;
  if (text == "bevel") return Qt::BevelJoin;
  return Qt::MiterJoin;
}

// The pens and brushes of one feature (or of every feature of a layer
// whose values read no feature).
struct TPaint {
  bool Draw = true;
  QColor Fill;
  bool Outline = false;
  QColor OutlineColor;
  QPen Pen;
  double Radius = 0;
};

TPaint Resolve(const TStyleLayer& style, const TEval& eval) {
  TPaint p;
  if (style.Type == slFill) {
    const double opacity = style.FillOpacity.Number(eval.For(style.FillOpacity), 1);
    p.Fill = WithOpacity(style.FillColor.Color(eval.For(style.FillColor), Qt::black), opacity);
    p.Outline = style.FillOutlineColor.IsSet();
    if (p.Outline)
      p.OutlineColor = WithOpacity(
          style.FillOutlineColor.Color(eval.For(style.FillOutlineColor), p.Fill), opacity);
  } else if (style.Type == slLine) {
    const double width = style.LineWidth.Number(eval.For(style.LineWidth), 1);
    p.Draw = width > 0;
    const double opacity = style.LineOpacity.Number(eval.For(style.LineOpacity), 1);
    p.Pen = QPen(WithOpacity(style.LineColor.Color(eval.For(style.LineColor), Qt::black), opacity),
                 width);
    p.Pen.setCapStyle(CapOf(style.LineCap.Text(eval.For(style.LineCap))));
    p.Pen.setJoinStyle(JoinOf(style.LineJoin.Text(eval.For(style.LineJoin))));
    if (style.LineDashArray.IsSet()) {
      QVector<qreal> dashes;
      for (double d : style.LineDashArray.Numbers(eval.For(style.LineDashArray)))
        dashes << std::max(d, 0.01);
      if (dashes.size() >= 2 && dashes.size() % 2 == 0) p.Pen.setDashPattern(dashes);
    }
  } else if (style.Type == slCircle) {
    p.Radius = style.CircleRadius.Number(eval.For(style.CircleRadius), 5);
    const double opacity = style.CircleOpacity.Number(eval.For(style.CircleOpacity), 1);
    p.Fill = WithOpacity(style.CircleColor.Color(eval.For(style.CircleColor), Qt::black), opacity);
    const double stroke = style.CircleStrokeWidth.Number(eval.For(style.CircleStrokeWidth), 0);
    p.Pen = stroke > 0
                ? QPen(style.CircleStrokeColor.Color(eval.For(style.CircleStrokeColor), Qt::black),
                       stroke)
                : QPen(Qt::NoPen);
  }
  return p;
}

bool PaintPerFeature(const TStyleLayer& s) {
  for (const TStyleValue* v :
       {&s.FillColor, &s.FillOpacity, &s.FillOutlineColor, &s.LineColor, &s.LineWidth,
        &s.LineOpacity, &s.LineDashArray, &s.LineCap, &s.LineJoin, &s.CircleColor, &s.CircleRadius,
        &s.CircleOpacity, &s.CircleStrokeColor, &s.CircleStrokeWidth})
    if (v->PerFeature()) return true;
  return false;
}

void DrawFeatures(QPainter& painter, const TStyleLayer& style, const TVectorLayer& layer,
                  const TMapping& m, TEval& eval) {
  const bool perFeature = PaintPerFeature(style);
  const TPaint shared = Resolve(style, eval);
  if (!perFeature && !shared.Draw) return;
  for (const TVectorFeature& feature : layer.Features) {
    if (feature.Type == vgUnknown) continue;
    if (style.Type == slFill && feature.Type != vgPolygon) continue;
    if (style.Type == slLine && feature.Type == vgPoint) continue;
    if (style.Type == slCircle && feature.Type != vgPoint) continue;
    eval.Feature.Feature = &feature;
    if (!style.Filter.is_null() && !StyleFilterMatches(style.Filter, eval.Feature)) continue;
    const TPaint own = perFeature ? Resolve(style, eval) : TPaint();
    const TPaint& p = perFeature ? own : shared;
    if (!p.Draw) continue;
    if (style.Type == slFill) {
      if (!Visible(feature, m, 1)) continue;
      const QPainterPath path = PathOf(feature, m, true);
      painter.fillPath(path, p.Fill);
      if (p.Outline) painter.strokePath(path, QPen(p.OutlineColor, 1));
    } else if (style.Type == slLine) {
      if (!Visible(feature, m, p.Pen.widthF())) continue;
      painter.strokePath(PathOf(feature, m, feature.Type == vgPolygon), p.Pen);
    } else if (style.Type == slCircle) {
      painter.setBrush(p.Fill);
      painter.setPen(p.Pen);
      for (const TVectorPoint& pt : feature.Points) painter.drawEllipse(m(pt), p.Radius, p.Radius);
    }
  }
}

}  // namespace

QImage DrawVectorTile(const TVectorStyle& style, const TVectorTile& tile, int z,
                      const TTileWindow& window, const TVectorDrawOptions& options,
                      const std::vector<TNeighbourTile>& neighbours) {
  const int scale = std::clamp(options.Scale, 1, 4);
  QImage image(static_cast<int>(kTileSide) * scale, static_cast<int>(kTileSide) * scale,
               QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return image;
  image.fill(Qt::transparent);
  image.setDevicePixelRatio(scale);
  QPainter painter(&image);
  DrawVectorTileInto(painter, style, tile, z, window, options, neighbours);
  painter.end();
  return image;
}

void DrawVectorTileInto(QPainter& painter, const TVectorStyle& style, const TVectorTile& tile,
                        int z, const TTileWindow& window, const TVectorDrawOptions& options,
                        const std::vector<TNeighbourTile>& neighbours) {
  painter.setRenderHint(QPainter::Antialiasing);
  const double zoom = z - 1;  // the style's zoom (512-pixel tiles)
  std::vector<TLabel> labels;
  const auto& layers = style.Layers();
  for (size_t i = 0; i < layers.size(); ++i) {
    const TStyleLayer& s = layers[i];
    if (!s.Visible || zoom < s.MinZoom || zoom >= s.MaxZoom) continue;
    if (options.LabelsOnly && s.Type != slSymbol) continue;
    TEval eval;
    eval.Layer.Zoom = zoom;
    if (s.Type == slBackground) {
      const double opacity = s.BackgroundOpacity.Number(eval.Layer, 1);
      painter.fillRect(QRectF(0, 0, kTileSide, kTileSide),
                       WithOpacity(s.BackgroundColor.Color(eval.Layer, Qt::black), opacity));
      continue;
    }
    const TVectorLayer* layer = tile.Layer(s.SourceLayer);
    if (!layer) continue;
    eval.Feature = eval.Layer;
    eval.Feature.Layer = layer;
    const TMapping m = MappingFor(*layer, window);
    if (s.Type == slSymbol) {
      if (!options.Labels) continue;
      const QRectF own(0, 0, kTileSide, kTileSide);
      CollectLabels(s, static_cast<int>(i), *layer, m, options.LabelsCrossEdges ? QRectF() : own,
                    eval, labels);
      for (const TNeighbourTile& n : neighbours) {
        const TVectorLayer* other = n.Tile ? n.Tile->Layer(s.SourceLayer) : nullptr;
        if (!other) continue;
        TEval near;
        near.Layer.Zoom = zoom;
        near.Feature = near.Layer;
        near.Feature.Layer = other;
        TMapping shifted = MappingFor(*other, n.Window);
        shifted.Dx -= n.Dx * kTileSide;
        shifted.Dy -= n.Dy * kTileSide;
        CollectLabels(s, static_cast<int>(i), *other, shifted,
                      QRectF(n.Dx * kTileSide, n.Dy * kTileSide, kTileSide, kTileSide), near,
                      labels);
      }
      continue;
    }
    DrawFeatures(painter, s, *layer, m, eval);
  }
  // With the neighbours' labels at hand, a point label may cross the edge:
  // the neighbour places it alike and draws its other part.
  if (!labels.empty()) DrawLabels(painter, labels, options.LabelsCrossEdges || !neighbours.empty());
}

}  // namespace wy

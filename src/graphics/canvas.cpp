#include "graphics/canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "graphics/html_text.h"
#include "graphics/stroke_cache.h"
#include "graphics/system_colors.h"

namespace wy {

namespace {

// 96 dots per inch.
constexpr int kDotsPerMeter = 3780;
constexpr double kPi = 3.14159265358979323846;

QPolygon ToQPolygon(const std::vector<QPoint>& points) {
  return QPolygon(QList<QPoint>(points.begin(), points.end()));
}

QString ToQString(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int ClampCount(const std::vector<QPoint>& points, int count) {
  return std::clamp(count, 0, static_cast<int>(points.size()));
}

// The colour premultiplied by alpha as the blend routine of the desktop
// toolkit expects it: each component times alpha divided by 255, truncated
// (the colour resolved from a system colour first).
QRgb PremultipliedPixel(TColor color, uint8_t alpha) {
  const TColor rgb = ResolveColor(color);
  const unsigned a = alpha;
  return qRgba(static_cast<int>((rgb & 0xFF) * a / 255),
               static_cast<int>(((rgb >> 8) & 0xFF) * a / 255),
               static_cast<int>(((rgb >> 16) & 0xFF) * a / 255), static_cast<int>(a));
}

// A brush whose fill blends exactly the premultiplied `pixel` over what is
// there. A solid colour fills fastest, but the toolkit premultiplies a
// colour its own way: the colour is tried once on a pixel, and where it
// does not give `pixel`, a one-pixel texture of `pixel` itself is used.
// Window thread only (one cache per thread).
const QBrush& BlendBrush(QRgb pixel) {
  thread_local std::unordered_map<QRgb, QBrush> brushes;
  const auto found = brushes.find(pixel);
  if (found != brushes.end()) return found->second;
  if (brushes.size() >= 1024) brushes.clear();
  QBrush brush(QColor::fromRgba(qUnpremultiply(pixel)));
  QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
  probe.fill(0);
  {
    QPainter p(&probe);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(QRect(0, 0, 1, 1), brush);
  }
  if (probe.pixel(0, 0) != pixel) {
    QImage texture(1, 1, QImage::Format_ARGB32_Premultiplied);
    reinterpret_cast<QRgb*>(texture.scanLine(0))[0] = pixel;
    brush = QBrush(texture);
  }
  return brushes.emplace(pixel, brush).first->second;
}

// Blends a constant premultiplied colour over `box`, within the painter's
// current clip.
void BlendBox(QPainter& painter, const QRect& box, TColor color, uint8_t alpha) {
  QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
  reinterpret_cast<QRgb*>(pixel.scanLine(0))[0] = PremultipliedPixel(color, alpha);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QRectF(box), pixel, QRectF(0, 0, 1, 1));
}

// The painter's device in its drawing units (an image's pixels divided by
// its device pixel ratio).
QRect DeviceRect(const QPainter& painter) {
  const QPaintDevice* device = painter.device();
  if (!device) return QRect();
  const qreal dpr = std::max<qreal>(device->devicePixelRatio(), 1.0);
  return QRectF(0, 0, device->width() / dpr, device->height() / dpr).toAlignedRect();
}

QRect ToQRect(const TRect& r) {
  // Normalised, exclusive right and bottom.
  const int left = std::min(r.Left, r.Right);
  const int top = std::min(r.Top, r.Bottom);
  return QRect(left, top, std::max(r.Left, r.Right) - left, std::max(r.Top, r.Bottom) - top);
}

}  // namespace

Qt::BrushStyle ToQtBrushStyle(TBrushStyle style) {
  switch (style) {
    case bsSolid:
      return Qt::SolidPattern;
    case bsClear:
      return Qt::NoBrush;
    case bsHorizontal:
      return Qt::HorPattern;
    case bsVertical:
      return Qt::VerPattern;
    case bsFDiagonal:
      return Qt::FDiagPattern;
    case bsBDiagonal:
      return Qt::BDiagPattern;
    case bsCross:
      return Qt::CrossPattern;
    case bsDiagCross:
      return Qt::DiagCrossPattern;
  }
  return Qt::SolidPattern;
}

Qt::PenStyle ToQtPenStyle(TPenStyle style) {
  switch (style) {
    case psSolid:
      return Qt::SolidLine;
    case psDash:
      return Qt::DashLine;
    case psDot:
      return Qt::DotLine;
    case psDashDot:
      return Qt::DashDotLine;
    case psDashDotDot:
      return Qt::DashDotDotLine;
    case psClear:
      return Qt::NoPen;
    case psInsideFrame:
      return Qt::SolidLine;
  }
  return Qt::SolidLine;
}

uint8_t OpacityToAlpha(int opacity) {
  // Values above 100 would give an alpha beyond 255.
  opacity = std::clamp(opacity, 0, 100);
  return static_cast<uint8_t>(std::nearbyint(opacity * 255 / 100.0));
}

double PointToSegmentDistance(double a, double b, double c, double d, double e, double f) {
  const double l2 = (a - c) * (a - c) + (b - d) * (b - d);
  if (l2 < 1e-12) return -1;
  // Position of the projection of P, measured from B towards A.
  const double t = ((f - d) * (b - d) + (e - c) * (a - c)) / l2;
  if (t < 1e-6 || t > 1) {
    const double to_b = (e - c) * (e - c) + (f - d) * (f - d);
    const double to_a = (e - a) * (e - a) + (f - b) * (f - b);
    return std::sqrt(std::min(to_a, to_b));
  }
  const double x = c + t * (a - c);
  const double y = d + t * (b - d);
  return std::sqrt((e - x) * (e - x) + (f - y) * (f - y));
}

std::array<QPoint, 10> StarPoints(const TRect& rect) {
  const double r = std::min((rect.Right - rect.Left) * 0.48, (rect.Bottom - rect.Top) * 0.5);
  // The star reaches higher above its centre than below, so the centre
  // sits below the middle.
  const double cx = (rect.Left + rect.Right) / 2.0;
  const double cy = (rect.Top + 1.2 * rect.Bottom) / 2.2;
  std::array<QPoint, 10> out;
  for (int i = 0; i < 10; ++i) {
    const double angle = i * kPi / 5;
    const double k = (i % 2) ? 1.0 : 0.384;
    out[i] = QPoint(static_cast<int>(std::trunc(std::sin(angle) * r * k + cx)),
                    static_cast<int>(std::trunc(std::cos(angle) * r * k + cy)));
  }
  return out;
}

std::optional<std::array<int, 4>> DashPattern(TPenStyle style, int w) {
  const int half = w / 2;
  switch (style) {
    case psDash:
      return std::array<int, 4>{4 * w, 2 * w, 4 * w, 2 * w};
    case psDot:
      return std::array<int, 4>{half, 2 * w, half, 2 * w};
    case psDashDot:
      return std::array<int, 4>{half, 2 * w, 4 * w, 2 * w};
    default:
      return std::nullopt;
  }
}

// The polygon is filled directly with a brush that blends the same
// premultiplied pixel as a blend of the polygon's bounding box through a
// clip of the polygon would: the same pixels, without building a clip for
// every polygon.
void AlphaBlendPolygon(QPainter& painter, const std::vector<QPoint>& points, TColor color,
                       uint8_t alpha) {
  if (points.empty() || alpha == 0 || !painter.isActive()) return;
  const QPen pen = painter.pen();
  const QBrush brush = painter.brush();
  const QPainter::CompositionMode mode = painter.compositionMode();
  const QPointF origin = painter.brushOrigin();
  painter.setPen(Qt::NoPen);
  painter.setBrush(BlendBrush(PremultipliedPixel(color, alpha)));
  painter.setBrushOrigin(0, 0);
  if (mode != QPainter::CompositionMode_SourceOver)
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.drawPolygon(points.data(), static_cast<int>(points.size()), Qt::OddEvenFill);
  if (mode != QPainter::CompositionMode_SourceOver) painter.setCompositionMode(mode);
  painter.setBrushOrigin(origin);
  painter.setBrush(brush);
  painter.setPen(pen);
}

// ---------------------------------------------------------------------------
// TWyCanvas

TWyCanvas::TWyCanvas()
    : FBitmap(320, 240, QImage::Format_ARGB32_Premultiplied),
      pen_(QColor(Qt::black), 1),
      brush_(QColor(Qt::white)) {
  FBitmap.setDotsPerMeterX(kDotsPerMeter);
  FBitmap.setDotsPerMeterY(kDotsPerMeter);
  FBitmap.fill(Qt::white);
  font_.setFamily(QStringLiteral("DejaVu Sans"));
  font_.setPointSize(8);
  FFont = font_;
}

TWyCanvas::~TWyCanvas() {
  EndPaint();
}

void TWyCanvas::EndPaint() {
  if (painter_) {
    painter_->end();
    painter_.reset();
  }
}

void TWyCanvas::DrawOnto(QPainter* painter) {
  EndPaint();
  if (external_) external_->restore();
  external_ = painter;
  if (external_) {
    external_->save();
    ApplyClip();
  }
}

QPainter* TWyCanvas::BarePainter() {
  if (external_) return external_;
  if (!painter_) {
    if (FBitmap.isNull()) return nullptr;
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(&FBitmap)) return nullptr;
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter_ = std::move(painter);
    pen_applied_ = brush_applied_ = font_applied_ = false;
    ApplyClip();
  }
  return painter_.get();
}

// Handing the painter a font is costly (it resolves the font for the device
// every time), so pen, brush and font are handed over only when they differ
// from what it was last given. Copies share their data until one of them
// changes, so an unchanged attribute compares by pointer.
QPainter* TWyCanvas::Painter() {
  QPainter* p = BarePainter();
  if (!p) return nullptr;
  if (!pen_applied_ || !(pen_ == applied_pen_)) {
    p->setPen(pen_);
    applied_pen_ = pen_;
    pen_applied_ = true;
  }
  if (!brush_applied_ || !(brush_ == applied_brush_)) {
    p->setBrush(brush_);
    applied_brush_ = brush_;
    brush_applied_ = true;
  }
  if (!font_applied_ || !(font_ == applied_font_) ||
      font_.resolveMask() != applied_font_.resolveMask()) {
    p->setFont(font_);
    applied_font_ = font_;
    font_applied_ = true;
  }
  return p;
}

void TWyCanvas::ApplyClip() {
  if (external_) {
    // The caller's own clip (its page or view) stays in force.
    external_->restore();
    external_->save();
    external_->setRenderHint(QPainter::Antialiasing, false);
    if (clip_) external_->setClipRegion(*clip_, Qt::IntersectClip);
    pen_applied_ = brush_applied_ = font_applied_ = false;
    return;
  }
  if (!painter_) return;
  if (clip_)
    painter_->setClipRegion(*clip_);
  else
    painter_->setClipping(false);
}

const QImage& TWyCanvas::Bitmap() {
  EndPaint();
  return FBitmap;
}

QImage& TWyCanvas::MutableBitmap() {
  EndPaint();
  return FBitmap;
}

void TWyCanvas::SetSize(int width, int height) {
  EndPaint();
  FWidth = std::max(width, 0);
  FHeight = std::max(height, 0);
  // A zero-sized surface keeps a one-pixel image so that drawing stays
  // harmless.
  const qreal dpr = FDevicePixelRatio;
  FBitmap = QImage(static_cast<int>(std::ceil(std::max(FWidth, 1) * dpr)),
                   static_cast<int>(std::ceil(std::max(FHeight, 1) * dpr)),
                   QImage::Format_ARGB32_Premultiplied);
  strokes_.reset();
  // Painters on the image scale by this themselves.
  FBitmap.setDevicePixelRatio(dpr);
  FBitmap.setDotsPerMeterX(kDotsPerMeter);
  FBitmap.setDotsPerMeterY(kDotsPerMeter);
  if (!FBitmap.isNull()) FBitmap.fill(Qt::white);
}

void TWyCanvas::SetDevicePixelRatio(qreal value) {
  const qreal dpr = std::isfinite(value) ? std::max<qreal>(value, 1.0) : 1.0;
  if (dpr == FDevicePixelRatio) return;
  FDevicePixelRatio = dpr;
  SetSize(FWidth, FHeight);
}

void TWyCanvas::SetWidth(int value) {
  SetSize(value, FHeight);
}
void TWyCanvas::SetHeight(int value) {
  SetSize(FWidth, value);
}

void TWyCanvas::SetPenColor(TColor color) {
  pen_.setColor(ToQColor(color));
}
void TWyCanvas::SetBrushColor(TColor color) {
  brush_.setColor(ToQColor(color));
}
TColor TWyCanvas::BrushColor() const {
  return FromQColor(brush_.color());
}
void TWyCanvas::SetBrushStyle(TBrushStyle style) {
  brush_.setStyle(ToQtBrushStyle(style));
}
void TWyCanvas::SetPenStyle(TPenStyle style) {
  pen_.setStyle(ToQtPenStyle(style));
}

void TWyCanvas::PenWidth(int value) {
  pen_.setWidth(std::max(value, 0));
  FWeight = value;
}

void TWyCanvas::SaveCanvas() {
  FFont = font_;
}
void TWyCanvas::RestoreCanvas() {
  font_ = FFont;
}

void TWyCanvas::SaveState() {
  states_.push_back(TState{pen_, brush_, font_, font_color_, clip_, pen_pos_});
}

void TWyCanvas::RestoreState() {
  if (states_.empty()) return;
  TState& s = states_.back();
  pen_ = s.pen;
  brush_ = s.brush;
  font_ = s.font;
  font_color_ = s.font_color;
  clip_ = std::move(s.clip);
  pen_pos_ = s.pen_pos;
  states_.pop_back();
  ApplyClip();
}

void TWyCanvas::ClipToPolygon(const std::vector<QPoint>& points) {
  const QRegion region(ToQPolygon(points), Qt::OddEvenFill);
  clip_ = clip_ ? clip_->intersected(region) : region;
  ApplyClip();
}

void TWyCanvas::ClipToRect(const TRect& rect) {
  const QRegion region(ToQRect(rect));
  clip_ = clip_ ? clip_->intersected(region) : region;
  ApplyClip();
}

void TWyCanvas::ClearClip() {
  clip_.reset();
  ApplyClip();
}

QRect TWyCanvas::ClipBox() const {
  const QRect all(0, 0, std::max(FWidth, 1), std::max(FHeight, 1));
  return clip_ ? clip_->boundingRect() & all : all;
}

void TWyCanvas::Ellipse(int x, int y, int x1, int y1) {
  if (QPainter* p = Painter()) p->drawEllipse(QRect(x, y, x1 - x - 1, y1 - y - 1));
}

// Strokes repeated from an earlier frame come from the stroke cache (the
// same pixels, without stroking again); see stroke_cache.h.
bool TWyCanvas::DrawKnownStroke(const std::vector<QPoint>& points, int count, bool bezier) {
  if (clip_ || FBitmap.isNull() || external_) return false;
  if (!strokes_) strokes_ = std::make_unique<TStrokeCache>();
  return strokes_->Draw(FBitmap, pen_, points.data(), count, bezier);
}

void TWyCanvas::Polyline(const std::vector<QPoint>& points, int count) {
  const int n = ClampCount(points, count);
  if (n < 2) return;
  if (DrawKnownStroke(points, n, false)) return;
  if (QPainter* p = Painter()) p->drawPolyline(points.data(), n);
}

void TWyCanvas::PolyBezier(const std::vector<QPoint>& points, int count) {
  const int n = ClampCount(points, count);
  if (n < 4) return;
  if (DrawKnownStroke(points, n, true)) return;
  if (QPainter* p = Painter()) {
    p->setBrush(Qt::NoBrush);
    brush_applied_ = false;
    p->drawPath(BezierChain(points.data(), n));
  }
}

int64_t TWyCanvas::StrokeCacheHits() const {
  return strokes_ ? strokes_->Hits() : 0;
}

void TWyCanvas::Poly(bool bezier, const std::vector<QPoint>& points, int count, int width,
                     TColor color, TPenStyle style) {
  const auto pattern = DashPattern(style, width);
  if (!pattern) {
    // Other styles keep the pen's style and change its width and colour.
    pen_.setWidth(std::max(width, 0));
    pen_.setColor(ToQColor(color));
    if (bezier)
      PolyBezier(points, count);
    else
      Polyline(points, count);
    return;
  }
  if (width <= 0) return;
  // Qt counts dashes in pen widths; a zero-length dash stays a round dot.
  QList<qreal> dashes;
  for (int v : *pattern) dashes.append(v > 0 ? static_cast<qreal>(v) / width : 1e-3);
  QPen dashed(QBrush(ToQColor(color)), width, Qt::CustomDashLine, Qt::RoundCap, Qt::RoundJoin);
  dashed.setDashPattern(dashes);
  const QPen saved = pen_;
  pen_ = dashed;
  if (bezier)
    PolyBezier(points, count);
  else
    Polyline(points, count);
  pen_ = saved;
}

void TWyCanvas::Polygon(const std::vector<QPoint>& points) {
  if (points.empty()) return;
  if (QPainter* p = Painter())
    p->drawPolygon(points.data(), static_cast<int>(points.size()), Qt::OddEvenFill);
}

void TWyCanvas::AlphaBlendPolygon(const std::vector<QPoint>& points, TColor color, int opacity) {
  if (QPainter* p = Painter()) wy::AlphaBlendPolygon(*p, points, color, OpacityToAlpha(opacity));
}

void TWyCanvas::Rectangle(int x, int y, int x1, int y1) {
  if (QPainter* p = Painter()) p->drawRect(QRect(x, y, x1 - x - 1, y1 - y - 1));
}

void TWyCanvas::RoundRect(int x, int y, int x1, int y1, int rx, int ry) {
  if (QPainter* p = Painter())
    p->drawRoundedRect(QRectF(QRect(x, y, x1 - x - 1, y1 - y - 1)), rx / 2., ry / 2.);
}

void TWyCanvas::DrawStar(const TRect& rect) {
  const auto corners = StarPoints(rect);
  Polygon(std::vector<QPoint>(corners.begin(), corners.end()));
}

void TWyCanvas::moveto(int x, int y) {
  pen_pos_ = QPoint(x, y);
}

void TWyCanvas::lineto(int x, int y) {
  const QPoint to(x, y);
  if (QPainter* p = Painter()) p->drawLine(pen_pos_, to);
  pen_pos_ = to;
}

void TWyCanvas::TextOut(int x, int y, const std::string& text) {
  QPainter* p = Painter();
  if (!p) return;
  const QString s = ToQString(text);
  const QFontMetrics metrics(font_, &FBitmap);
  // With a brush the text is opaque: its box is filled first.
  if (brush_.style() != Qt::NoBrush)
    p->fillRect(QRect(x, y, metrics.horizontalAdvance(s), metrics.height()), brush_);
  p->setPen(ToQColor(font_color_));
  pen_applied_ = false;
  p->drawText(x, y + metrics.ascent(), s);
}

void TWyCanvas::TextRect(TRect rect, int x, int y, const std::string& text) {
  QPainter* p = Painter();
  if (!p) return;
  const QRect box = ToQRect(rect);
  const QFontMetrics metrics(font_, &FBitmap);
  p->save();
  p->setClipRect(box, Qt::IntersectClip);
  if (brush_.style() != Qt::NoBrush) p->fillRect(box, brush_);
  p->setPen(ToQColor(font_color_));
  p->drawText(x, y + metrics.ascent(), ToQString(text));
  p->restore();
}

int TWyCanvas::TextHeight(const std::string&) {
  // The line height of the font, whatever the text (as the desktop toolkit
  // measures it).
  return QFontMetrics(font_, &FBitmap).height();
}

int TWyCanvas::TextWidth(const std::string& value) {
  return QFontMetrics(font_, &FBitmap).horizontalAdvance(ToQString(value));
}

// Images need neither pen, brush nor font.
void TWyCanvas::Draw(int x, int y, const QImage& graphic, int, int, int, int) {
  if (graphic.isNull()) return;
  if (QPainter* p = BarePainter()) p->drawImage(x, y, graphic);
}

void TWyCanvas::StretchDraw(const TRect& rect, const QImage& graphic) {
  if (graphic.isNull()) return;
  if (QPainter* p = BarePainter()) p->drawImage(ToQRect(rect), graphic);
}

void TWyCanvas::BlendRect(const TRect& rect, TColor color, uint8_t alpha) {
  QPainter* p = Painter();
  if (!p) return;
  p->save();
  p->setClipRect(ToQRect(rect), Qt::IntersectClip);
  const QRect box = p->clipBoundingRect().toAlignedRect() & DeviceRect(*p);
  if (!box.isEmpty()) BlendBox(*p, box, color, alpha);
  p->restore();
}

bool TWyCanvas::DrawHTML(const std::string& html, TRect& rect, uint32_t flags,
                         const TGetDrawGraphic& get_draw_graphic,
                         const TGetAreaAnchor& get_area_anchor) {
  // Single line spacing, both indents 10 pixels.
  return DrawHTMLText(*this, html, rect, flags, 1.0, 10, 10, get_draw_graphic, get_area_anchor);
}

}  // namespace wy

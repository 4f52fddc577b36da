// TWyCanvas: the drawing surface every shape draws on.
//
// It owns an off-screen image (premultiplied ARGB, 96 dpi so that font sizes
// in points give the same pixels as on a desktop) and offers a small fixed
// set of virtual drawing operations; a different surface can be substituted
// by overriding them. Rectangles follow the desktop convention: the right and
// bottom edges are excluded. Window thread only.
#pragma once

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "geo/text_convert.h"

class QPainter;

namespace wy {

class TStrokeCache;

// A rectangle with exclusive right and bottom edges.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
};

// Pen styles as stored by the shapes (ordinals are persisted).
enum TPenStyle : uint8_t {
  psSolid,
  psDash,
  psDot,
  psDashDot,
  psDashDotDot,
  psClear,
  psInsideFrame
};

// Brush styles as stored by the shapes (ordinals are persisted).
enum TBrushStyle : uint8_t {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};

Qt::BrushStyle ToQtBrushStyle(TBrushStyle style);
Qt::PenStyle ToQtPenStyle(TPenStyle style);

// Image callback of the HTML layout: with x = y = -1 a size query (set `gfx`
// and, where known, l = width and h = height); otherwise called just before
// drawing at (x, y) with size (l, h). A null `gfx` means there is no image.
// The pointer does not own the image.
using TGetDrawGraphic = std::function<void(const std::string& filename, const QImage*& gfx, int x,
                                           int y, int& l, int& h)>;
// Receives the rectangle (left, top, width, height) covered by a link and
// its target.
using TGetAreaAnchor = std::function<void(int x, int y, int l, int h, const std::string& anchor)>;

// Opacity in percent (clamped to 0..100) to alpha 0..255, rounded half to
// even: 50 gives 128, 30 gives 76.
uint8_t OpacityToAlpha(int opacity);

// Distance from P(e, f) to the segment A(a, b)-B(c, d); -1 when A and B
// coincide.
double PointToSegmentDistance(double a, double b, double c, double d, double e, double f);

// The ten corners of the five-pointed star fitted into `rect` (outer tips at
// odd indexes, index 5 the upper tip).
std::array<QPoint, 10> StarPoints(const TRect& rect);

// The four-entry dash pattern in pixels (dash, gap, dash, gap) for psDash,
// psDot and psDashDot at width w; nullopt for the other styles.
std::optional<std::array<int, 4>> DashPattern(TPenStyle style, int w);

// Fills the polygon (odd-even rule, no outline) with `color` at `alpha`
// blended over what is there, within the painter's current clip. The
// painter's state, clip included, is unchanged afterwards.
void AlphaBlendPolygon(QPainter& painter, const std::vector<QPoint>& points, TColor color,
                       uint8_t alpha);

class TWyCanvas {
 public:
  TWyCanvas();
  virtual ~TWyCanvas();
  TWyCanvas(const TWyCanvas&) = delete;
  TWyCanvas& operator=(const TWyCanvas&) = delete;

  // The image; any drawing in progress is finished first.
  const QImage& Bitmap();
  // Direct access for filling and copying into the surface (also finishes
  // drawing in progress).
  QImage& MutableBitmap();

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Resizing keeps the other dimension; the new image starts white.
  void SetWidth(int value);
  void SetHeight(int value);
  void SetSize(int width, int height);
  // Device pixels per drawing unit (2 on a typical high-density screen).
  // Width and Height, every coordinate and pen width stay in drawing units;
  // the image holds Width x Height units at this many pixels each, so that
  // lines and text are drawn at the screen's full sharpness. A change
  // makes a new, white image. Values below 1 count as 1.
  qreal DevicePixelRatio() const { return FDevicePixelRatio; }
  void SetDevicePixelRatio(qreal value);

  // Current pen, brush and font; changes apply to the next operation.
  QPen& Pen() { return pen_; }
  QBrush& Brush() { return brush_; }
  QFont& Font() { return font_; }
  void SetPen(const QPen& pen) { pen_ = pen; }
  void SetBrush(const QBrush& brush) { brush_ = brush; }
  void SetFont(const QFont& font) { font_ = font; }
  TColor FontColor() const { return font_color_; }
  void SetFontColor(TColor color) { font_color_ = color; }

  // TColor conveniences (system colours resolved).
  void SetPenColor(TColor color);
  void SetBrushColor(TColor color);
  TColor BrushColor() const;
  void SetBrushStyle(TBrushStyle style);
  void SetPenStyle(TPenStyle style);

  // Pen width, remembered in Weight().
  void PenWidth(int value);
  int Weight() const { return FWeight; }

  // Saves / restores the font only.
  void SaveCanvas();
  void RestoreCanvas();

  // Whole drawing state (pen, brush, font, font colour, clip, current
  // point), nestable.
  void SaveState();
  void RestoreState();

  // Clip: intersect with a polygon (odd-even rule) or rectangle; clear.
  void ClipToPolygon(const std::vector<QPoint>& points);
  void ClipToRect(const TRect& rect);
  void ClearClip();
  bool HasClip() const { return clip_.has_value(); }
  // Bounding box of the clip (the whole image when there is none).
  QRect ClipBox() const;

  virtual void Ellipse(int x, int y, int x1, int y1);
  virtual void Polyline(const std::vector<QPoint>& points, int count);
  virtual void PolyBezier(const std::vector<QPoint>& points, int count);
  virtual void Poly(bool bezier, const std::vector<QPoint>& points, int count, int width,
                    TColor color, TPenStyle style);
  virtual void Polygon(const std::vector<QPoint>& points);
  virtual void AlphaBlendPolygon(const std::vector<QPoint>& points, TColor color, int opacity);
  virtual void Rectangle(int x, int y, int x1, int y1);
  virtual void RoundRect(int x, int y, int x1, int y1, int rx, int ry);
  virtual void DrawStar(const TRect& rect);
  virtual void moveto(int x, int y);
  virtual void lineto(int x, int y);
  virtual void TextOut(int x, int y, const std::string& text);
  virtual void TextRect(TRect rect, int x, int y, const std::string& text);
  virtual int TextHeight(const std::string& value);
  virtual int TextWidth(const std::string& value);
  virtual void Draw(int x, int y, const QImage& graphic, int w = 0, int h = 0, int origin_x = 0,
                    int origin_y = 0);
  virtual bool DrawHTML(const std::string& html, TRect& rect, uint32_t flags,
                        const TGetDrawGraphic& get_draw_graphic,
                        const TGetAreaAnchor& get_area_anchor);

  // Draws the image scaled into the rectangle.
  void StretchDraw(const TRect& rect, const QImage& graphic);
  // Blends `color` at `alpha` over the rectangle, within the clip.
  void BlendRect(const TRect& rect, TColor color, uint8_t alpha);

  // Draws onto `painter` (a printer, a PDF or SVG page, a widget) instead of
  // the image until called with null: lines, shapes and text reach it as
  // vectors, in the same drawing units. The painter's state is saved here
  // and restored by the null call; the image is left as it was.
  void DrawOnto(QPainter* painter);

  QPoint PenPos() const { return pen_pos_; }
  // Strokes served from the stroke cache so far (diagnostics and tests).
  int64_t StrokeCacheHits() const;

 protected:
  // The painter on the image with the current pen, brush, font and clip
  // applied; null when the image could not be allocated. Code that changes
  // the painter's pen, brush or font directly marks them as not applied.
  QPainter* Painter();
  // The same with only the clip applied.
  QPainter* BarePainter();
  // Ends the painter so the image can be read or replaced.
  void EndPaint();

 private:
  struct TState {
    QPen pen;
    QBrush brush;
    QFont font;
    TColor font_color;
    std::optional<QRegion> clip;
    QPoint pen_pos;
  };

  void ApplyClip();
  // Fills a stroke known from an earlier frame with the current pen; false
  // when it must be stroked.
  bool DrawKnownStroke(const std::vector<QPoint>& points, int count, bool bezier);

  QImage FBitmap;
  QFont FFont;
  int FWeight = 0;
  int FWidth = 320;
  int FHeight = 240;
  qreal FDevicePixelRatio = 1.0;

  QPen pen_;
  QBrush brush_;
  QFont font_;
  TColor font_color_ = 0;
  std::optional<QRegion> clip_;
  QPoint pen_pos_;
  std::vector<TState> states_;
  std::unique_ptr<QPainter> painter_;
  // The caller's painter while DrawOnto is in force (not owned).
  QPainter* external_ = nullptr;
  std::unique_ptr<TStrokeCache> strokes_;
  // What the painter was last given.
  QPen applied_pen_;
  QBrush applied_brush_;
  QFont applied_font_;
  bool pen_applied_ = false;
  bool brush_applied_ = false;
  bool font_applied_ = false;
};

}  // namespace wy

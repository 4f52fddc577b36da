#include "map/map_renderer.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "geo/global_lock.h"
#include "graphics/canvas.h"
#include "graphics/system_colors.h"
#include "map/detail/map_tile_frame.h"
#include "platform/log.h"
#include "shapes/shapes_group.h"
#include "tiles/tile_server.h"

namespace wy {

namespace {

constexpr TColor kAttributionColor = 0x808080;
// A light veil behind the attribution keeps it readable over dark imagery.
const QColor kAttributionVeil(255, 255, 255, 150);
// From this many device pixels per map pixel on, tiles come at twice the
// density (a screen at 1.25 draws ordinary tiles slightly enlarged; one at
// 1.5 or more would blur them visibly).
constexpr qreal kDenseTilesFrom = 1.5;

void SetScale(TVuroduDavServer* layer, int scale) {
  if (layer && layer->TileScale() != scale) layer->SetTileScale(scale);
}

}  // namespace

TMapRenderer::TMapRenderer()
    : FTiles(std::make_unique<TMapTileFrame>(PlaceholderColor())),
      FCanvas(std::make_unique<TWyCanvas>()) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSize(8);
  FCanvas->SetFont(font);
  SetSize(kTileSize, kTileSize, 1.0);
}

TMapRenderer::~TMapRenderer() = default;

TDisplayMapTiles& TMapRenderer::TileGrid() {
  return FTiles->Grid();
}

QColor TMapRenderer::PlaceholderColor() {
  return ToQColor(cl3DLight);
}

int TMapRenderer::TileScaleFor(qreal devicePixelRatio) {
  return devicePixelRatio >= kDenseTilesFrom ? 2 : 1;
}

void TMapRenderer::SetTileLayers(TVuroduDavServer* base, TVuroduDavServer* overlay) {
  FBase = base;
  FOverlay = overlay;
  SetScale(FBase, TileScaleFor(FDevicePixelRatio));
  SetScale(FOverlay, TileScaleFor(FDevicePixelRatio));
  ClearTiles();
}

void TMapRenderer::SetSize(int width, int height, qreal devicePixelRatio) {
  const int w = std::max(1, width);
  const int h = std::max(1, height);
  const qreal dpr = std::max<qreal>(1.0, devicePixelRatio);
  if (dpr != FDevicePixelRatio) {
    FDevicePixelRatio = dpr;
    FAttribution = QImage();
    SetScale(FBase, TileScaleFor(dpr));
    SetScale(FOverlay, TileScaleFor(dpr));
  }
  FCanvas->SetDevicePixelRatio(dpr);
  FCanvas->SetSize(w, h);
  FTiles->Resize(w, h);
  FViewport.SetSize(width, height);
}

void TMapRenderer::ClearTiles() {
  FTiles->Clear();
}

void TMapRenderer::ShiftTiles(int64_t dx, int64_t dy) {
  FTiles->Shift(dx, dy);
}

bool TMapRenderer::TileArrived(int x, int y, bool ok) {
  return FTiles->TileArrived(x, y, ok);
}

bool TMapRenderer::FetchTile(int64_t tx, int64_t ty, TTileImages& images) {
  if (tx < 0 || ty < 0 || tx >= FViewport.TilesPerSide() || ty >= FViewport.TilesPerSide() ||
      !FBase) {
    // Outside the world: the placeholder colour, never stale pixels.
    images.Outside = true;
    return false;
  }
  const int x = static_cast<int>(tx), y = static_cast<int>(ty), z = FViewport.Zoom();
  images.Base = FBase->GetTile(x, y, z);
  const bool real = FBase->TileOK();
  if (FOverlay) {
    const QImage& overlay = FOverlay->GetTile(x, y, z);
    // Only real overlay images are drawn, never its placeholder.
    if (FOverlay->TileOK()) images.Overlay = overlay;
  }
  return real;
}

void TMapRenderer::FetchTiles() {
  // The tile layers have locks of their own (a tile may come from a file):
  // the process-wide map lock is held for the shapes only.
  FTiles->Fetch(FViewport.X0(), FViewport.Y0(),
                [this](int64_t tx, int64_t ty, TTileImages& i) { return FetchTile(tx, ty, i); });
}

bool TMapRenderer::AnyShapes() const {
  if (!FShapes) return false;
  for (const TWyShapes* group : FShapes->Groups())
    if (group->Visible() && !group->DrawList().empty()) return true;
  return false;
}

void TMapRenderer::DrawShapes() {
  try {
    FShapes->Draw();
  } catch (const std::exception& e) {
    // A drawing error ends this frame's shapes; the next frame tries again.
    LogWarning("map", std::string("drawing the shapes: ") + e.what());
  }
}

bool TMapRenderer::Compose(bool withShapes) {
  try {
    FetchTiles();
    TGlobalMapLockGuard lock(GlobalMapLock());
    FFrameHasShapes = withShapes && AnyShapes();
    if (FFrameHasShapes) {
      // The shapes need a surface: the tiles go onto it first. Without
      // shapes the tiles go straight to the painter.
      {
        QPainter painter(&FCanvas->MutableBitmap());
        FTiles->Draw(painter, QRect(0, 0, Width(), Height()));
      }
      DrawShapes();
      FCanvas->Bitmap();  // finishes the drawing
    }
    LayOutAttribution();
  } catch (const std::exception& e) {
    LogError("map", std::string("composing the frame: ") + e.what());
    return false;
  }
  ++FComposeCount;
  return true;
}

void TMapRenderer::LayOutAttribution() {
  const std::string text = FBase ? FBase->TileServerInfo().CopyRight : std::string();
  if (!FShowAttribution || text.empty()) {
    FAttributionRect = QRect();
    return;
  }
  if (text != FAttributionText || FAttribution.isNull()) {
    // Laid out with the drawing surface's font and metrics, once per text.
    FAttributionText = text;
    const int w = FCanvas->TextWidth(text);
    const int h = FCanvas->TextHeight(text);
    const qreal dpr = FDevicePixelRatio;
    FAttribution = QImage(static_cast<int>(std::ceil(std::max(w, 1) * dpr)),
                          static_cast<int>(std::ceil(std::max(h, 1) * dpr)),
                          QImage::Format_ARGB32_Premultiplied);
    FAttribution.setDevicePixelRatio(dpr);
    FAttribution.fill(kAttributionVeil);
    QPainter painter(&FAttribution);
    const QFontMetrics metrics(FCanvas->Font(), &FAttribution);
    painter.setFont(FCanvas->Font());
    painter.setPen(ToQColor(kAttributionColor));
    painter.drawText(0, metrics.ascent(), QString::fromStdString(text));
  }
  // Bottom right, 4 pixels from the right edge.
  const QSize size = FAttribution.deviceIndependentSize().toSize();
  FAttributionRect =
      QRect(Width() - size.width() - 4, Height() - size.height(), size.width(), size.height());
}

void TMapRenderer::Paint(QPainter& painter, const QRect& area) {
  if (FFrameHasShapes) {
    // The frame is opaque: copied, not blended, pixel for pixel.
    const QPainter::CompositionMode mode = painter.compositionMode();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const QImage& frame = FCanvas->Bitmap();
    const qreal dpr = frame.devicePixelRatio();
    painter.drawImage(
        QRectF(area), frame,
        QRectF(area.x() * dpr, area.y() * dpr, area.width() * dpr, area.height() * dpr));
    painter.setCompositionMode(mode);
  } else {
    FTiles->Draw(painter, area);
  }
  if (FAttributionRect.intersects(area))
    painter.drawImage(FAttributionRect.topLeft(), FAttribution);
}

QImage TMapRenderer::Picture() {
  QImage picture;
  if (FFrameHasShapes) {
    picture = FCanvas->Bitmap().copy();
  } else {
    const qreal dpr = FDevicePixelRatio;
    picture = QImage(static_cast<int>(std::ceil(Width() * dpr)),
                     static_cast<int>(std::ceil(Height() * dpr)), QImage::Format_RGB32);
    picture.setDevicePixelRatio(dpr);
    QPainter painter(&picture);
    FTiles->Draw(painter, QRect(0, 0, Width(), Height()));
  }
  if (!FAttributionRect.isEmpty()) {
    QPainter painter(&picture);
    painter.drawImage(FAttributionRect.topLeft(), FAttribution);
  }
  return picture;
}

void TMapRenderer::PaintVector(QPainter& painter) {
  FetchTiles();
  const QRect all(0, 0, Width(), Height());
  painter.save();
  painter.setClipRect(all);
  FTiles->Draw(painter, all);
  {
    TGlobalMapLockGuard lock(GlobalMapLock());
    if (AnyShapes()) {
      FCanvas->DrawOnto(&painter);
      DrawShapes();
      FCanvas->DrawOnto(nullptr);
    }
  }
  LayOutAttribution();
  if (!FAttributionRect.isEmpty()) {
    const QFontMetrics metrics(FCanvas->Font(), &FCanvas->MutableBitmap());
    painter.fillRect(FAttributionRect, kAttributionVeil);
    painter.setFont(FCanvas->Font());
    painter.setPen(ToQColor(kAttributionColor));
    painter.drawText(FAttributionRect.x(), FAttributionRect.y() + metrics.ascent(),
                     QString::fromStdString(FAttributionText));
  }
  painter.restore();
}

}  // namespace wy

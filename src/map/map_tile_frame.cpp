#include "map/detail/map_tile_frame.h"

#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace wy {

TMapTileFrame::TMapTileFrame(QColor placeholder) : FPlaceholder(placeholder) {
  Resize(kTileSize, kTileSize);
}

void TMapTileFrame::Resize(int width, int height) {
  const int w = std::max(1, width);
  const int h = std::max(1, height);
  FImage = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
  FImage.fill(FPlaceholder);
  FGrid.setSize(w / kTileSize + 2, h / kTileSize + 2);
}

void TMapTileFrame::Clear() {
  FGrid.Clear();
  FImage.fill(FPlaceholder);
}

void TMapTileFrame::Shift(int64_t dx, int64_t dy) {
  FGrid.ScrollTo(dx, dy);
  if (dx != 0 || dy != 0) MovePixels(dx, dy);
}

void TMapTileFrame::MovePixels(int64_t dx, int64_t dy) {
  // Row by row in an order that never overwrites a row before it was read:
  // no copy of the whole image on every step.
  const int w = FImage.width();
  const int h = FImage.height();
  const int sx = static_cast<int>(std::clamp<int64_t>(dx, -w, w));
  const int sy = static_cast<int>(std::clamp<int64_t>(dy, -h, h));
  const int keptW = w - std::abs(sx);
  const int keptH = h - std::abs(sy);
  if (keptW > 0 && keptH > 0 && FImage.depth() == 32) {
    uchar* bits = FImage.bits();
    const qsizetype stride = FImage.bytesPerLine();
    const int from = std::max(-sx, 0);
    const int to = std::max(sx, 0);
    for (int k = 0; k < keptH; ++k) {
      const int row = sy > 0 ? h - 1 - k : k;  // destination row
      const auto* source = reinterpret_cast<const uint32_t*>(bits + (row - sy) * stride) + from;
      auto* target = reinterpret_cast<uint32_t*>(bits + row * stride) + to;
      // Within one row (sy == 0) the ranges overlap.
      if (to > from)
        std::copy_backward(source, source + keptW, target + keptW);
      else
        std::copy(source, source + keptW, target);
    }
  }
  QPainter painter(&FImage);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  if (sy != 0) painter.fillRect(QRect(0, sy > 0 ? 0 : h + sy, w, std::abs(sy)), FPlaceholder);
  if (sx != 0 && keptH > 0)
    painter.fillRect(QRect(sx > 0 ? 0 : w + sx, std::max(sy, 0), std::abs(sx), keptH),
                     FPlaceholder);
}

void TMapTileFrame::Render(int64_t x0, int64_t y0, const TDrawTile& draw) {
  FGrid.setX(static_cast<int>(-x0 / kTileSize));
  FGrid.setY(static_cast<int>(-y0 / kTileSize));
  QPainter painter(&FImage);
  const int gx = FGrid.x();
  const int gy = FGrid.y();
  for (int i = FGrid.Width() - 1; i >= 0; --i) {
    for (int j = FGrid.Height() - 1; j >= 0; --j) {
      if (FGrid.Cell(i, j) == tcsDrawn) continue;
      const bool final = draw(int64_t(gx) + i, int64_t(gy) + j, painter);
      // The state is read again: a tile found in the memory cache reports
      // itself while it is fetched. Only a tile whose real image was drawn
      // is final; a placeholder (an image that did not decode after all)
      // is drawn again next time.
      if (final && FGrid.Cell(i, j) == tcsArrived) FGrid.SetCell(i, j, tcsDrawn);
    }
  }
}

bool TMapTileFrame::TileArrived(int x, int y, bool ok) {
  const int64_t c = int64_t(x) - FGrid.x();
  const int64_t r = int64_t(y) - FGrid.y();
  if (c < 0 || r < 0 || c >= FGrid.Width() || r >= FGrid.Height()) return false;
  if (!ok) {
    FGrid.setTile(x, y, tcsToDraw);
    return true;
  }
  if (FGrid.getTile(x, y) != tcsToDraw) return false;
  FGrid.setTile(x, y, tcsArrived);
  return true;
}

}  // namespace wy

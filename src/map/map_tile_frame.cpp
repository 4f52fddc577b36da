#include "map/detail/map_tile_frame.h"

#include <QPainter>
#include <algorithm>

namespace wy {

namespace {

// The tile under view pixel 0 for a world origin at view pixel v (floor).
int64_t FirstTile(int64_t v) {
  constexpr int64_t size = TMapTileFrame::kTileSize;
  return v <= 0 ? -v / size : -((v + size - 1) / size);
}

int Saturated(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

TMapTileFrame::TMapTileFrame(QColor placeholder) : FPlaceholder(placeholder) {
  Resize(kTileSize, kTileSize);
}

void TMapTileFrame::Resize(int width, int height) {
  const int w = std::max(1, width);
  const int h = std::max(1, height);
  FGrid.setSize(w / kTileSize + 2, h / kTileSize + 2);
  FCells.assign(static_cast<size_t>(FGrid.Width()) * FGrid.Height(), TTileImages{});
}

void TMapTileFrame::Place(int64_t x0, int64_t y0) {
  FGrid.setX(Saturated(FirstTile(x0)));
  FGrid.setY(Saturated(FirstTile(y0)));
}

void TMapTileFrame::Fetch(int64_t x0, int64_t y0, const TFetchTile& fetch) {
  Place(x0, y0);
  FX0 = x0;
  FY0 = y0;
  const int64_t gx = FGrid.x();
  const int64_t gy = FGrid.y();
  for (int i = 0; i < FGrid.Width(); ++i) {
    for (int j = 0; j < FGrid.Height(); ++j) {
      TTileImages& cell = FCells[static_cast<size_t>(i) * FGrid.Height() + j];
      cell = TTileImages{};
      const bool final = fetch(gx + i, gy + j, cell);
      // The state is read again: a tile found in the memory cache reports
      // itself while it is fetched. Only a tile whose real image came is
      // final; a placeholder (an image that did not decode after all) is
      // fetched again next time.
      if (final && FGrid.Cell(i, j) == tcsArrived) FGrid.SetCell(i, j, tcsDrawn);
    }
  }
}

void TMapTileFrame::Draw(QPainter& painter, const QRect& area) const {
  const int64_t gx = FGrid.x();
  const int64_t gy = FGrid.y();
  for (int i = 0; i < FGrid.Width(); ++i) {
    const int64_t left = (gx + i) * kTileSize + FX0;
    if (left >= area.x() + int64_t(area.width()) || left + kTileSize <= area.x()) continue;
    for (int j = 0; j < FGrid.Height(); ++j) {
      const int64_t top = (gy + j) * kTileSize + FY0;
      if (top >= area.y() + int64_t(area.height()) || top + kTileSize <= area.y()) continue;
      const TTileImages& cell = FCells[static_cast<size_t>(i) * FGrid.Height() + j];
      const QRect place(Saturated(left), Saturated(top), kTileSize, kTileSize);
      // What a translucent tile does not cover shows the placeholder,
      // never what was there before.
      if (cell.Outside || cell.Base.isNull() || cell.Base.hasAlphaChannel())
        painter.fillRect(place, FPlaceholder);
      if (!cell.Base.isNull()) painter.drawImage(place.topLeft(), cell.Base);
      if (!cell.Overlay.isNull()) painter.drawImage(place.topLeft(), cell.Overlay);
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

#pragma once
// TMapTileFrame: the tiles of the visible area composed into one image, and
// the grid of tile states that says which of them must be drawn again. A
// render draws only the cells that ask for it; a drag moves the composed
// pixels in place and leaves only the entering tiles to draw. Window thread
// only.

#include <QColor>
#include <QImage>
#include <cstdint>
#include <functional>

#include "map/display_map_tiles.h"

class QPainter;

namespace wy {

class TMapTileFrame {
 public:
  static constexpr int kTileSize = 256;

  explicit TMapTileFrame(QColor placeholder);

  // New image and grid for a width x height view, all placeholder.
  void Resize(int width, int height);
  // Every cell is drawn again; what no tile covers shows the placeholder.
  void Clear();
  // Moves the composed tiles by (dx, dy) pixels in place (what the move
  // uncovers gets the placeholder colour) and shifts the grid's states.
  void Shift(int64_t dx, int64_t dy);

  // Draws tile (tx, ty) at its place; true when it was drawn with its final
  // image.
  using TDrawTile = std::function<bool(int64_t tx, int64_t ty, QPainter& painter)>;
  // Places the grid for a view whose world pixel (0, 0) is at (x0, y0) and
  // draws every cell that is not final.
  void Render(int64_t x0, int64_t y0, const TDrawTile& draw);

  // A tile's image arrived (ok) or failed. True when the tile is in view and
  // a render should draw it.
  bool TileArrived(int x, int y, bool ok);

  const QImage& Image() const { return FImage; }
  QColor Placeholder() const { return FPlaceholder; }
  TDisplayMapTiles& Grid() { return FGrid; }

 private:
  void MovePixels(int64_t dx, int64_t dy);

  QColor FPlaceholder;
  QImage FImage;
  TDisplayMapTiles FGrid;
};

}  // namespace wy

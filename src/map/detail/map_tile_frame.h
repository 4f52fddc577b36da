#pragma once
// TMapTileFrame: the tiles of the visible area: the grid of tile states
// (which tile arrived, which was drawn with its final image) and the images
// of the visible cells. A render fetches every cell's image (shared image
// data, no pixel copies) and the frame draws them straight onto whatever
// the picture goes to: the screen, or the drawing surface under the shapes.
// No composed image of the tiles is kept, so a drag step costs one pass over
// the visible tiles. Window thread only.

#include <QColor>
#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>
#include <vector>

#include "map/display_map_tiles.h"

class QPainter;

namespace wy {

// What one cell shows.
struct TTileImages {
  QImage Base;
  // Drawn over the base when not null.
  QImage Overlay;
  // Outside the world: the placeholder colour.
  bool Outside = false;
};

class TMapTileFrame {
 public:
  static constexpr int kTileSize = 256;

  explicit TMapTileFrame(QColor placeholder);

  // A grid for a width x height view, every cell to be drawn.
  void Resize(int width, int height);
  // Every cell is fetched and drawn again.
  void Clear() { FGrid.Clear(); }
  // The view moved by (dx, dy) pixels: the states follow the tiles.
  void Shift(int64_t dx, int64_t dy) { FGrid.ScrollTo(dx, dy); }
  // Places the grid for a view whose world pixel (0, 0) is at (x0, y0):
  // its first cell holds the tile under the view's top-left pixel.
  void Place(int64_t x0, int64_t y0);

  // Fills the images of tile (tx, ty); true when the base is its final
  // image.
  using TFetchTile = std::function<bool(int64_t tx, int64_t ty, TTileImages& images)>;
  // Places the grid and fetches every cell; a cell whose arrived image was
  // fetched becomes final.
  void Fetch(int64_t x0, int64_t y0, const TFetchTile& fetch);
  // Draws the fetched cells that meet `area` (view pixels) at their place.
  void Draw(QPainter& painter, const QRect& area) const;

  // A tile's image arrived (ok) or failed. True when the tile is in view and
  // a render should draw it.
  bool TileArrived(int x, int y, bool ok);

  TDisplayMapTiles& Grid() { return FGrid; }

 private:
  QColor FPlaceholder;
  TDisplayMapTiles FGrid;
  // Per cell, column-major like the grid, for the view placed at (FX0, FY0).
  std::vector<TTileImages> FCells;
  int64_t FX0 = 0;
  int64_t FY0 = 0;
};

}  // namespace wy

#pragma once
// Drawing a decoded vector tile with a style into a raster tile image, so
// that the rest of the map (caches, frames, screenshots) handles vector
// tiles as it handles images.
//
// Labels are placed per tile: collision boxes keep them from overlapping,
// the style's later symbol layers (drawn on top) are placed first, and
// within a layer a lower symbol-sort-key goes first. Given the eight tiles
// around, their labels near the tile take part too, all in one order, so a
// point label crossing the edge is placed alike by both tiles and each
// draws its part; a road name stays whole within its own tile. Without
// them, a label that would cross the tile's edge is left out: no label is
// ever cut in half.

#include <QImage>

class QPainter;
#include <cstdint>
#include <vector>

#include "tiles/vector_style.h"
#include "tiles/vector_tile.h"

namespace wy {

// Which part of the decoded tile fills the image: the whole tile (Depth 0),
// or for zoom levels past the source's deepest tiles the sub-tile
// (SubX, SubY) at Depth levels below it.
struct TTileWindow {
  int Depth = 0;
  uint32_t SubX = 0;
  uint32_t SubY = 0;
};

// A tile next to the one drawn, Dx and Dy tiles away (-1 to 1), shown
// through Window as the drawn tile is.
struct TNeighbourTile {
  const TVectorTile* Tile = nullptr;
  TTileWindow Window;
  int Dx = 0;
  int Dy = 0;
};

struct TVectorDrawOptions {
  int Scale = 1;  // device pixels per map pixel: the image is 256 * Scale wide
  bool Labels = true;
  // Only the symbol layers (labels over an image drawn otherwise).
  bool LabelsOnly = false;
  // For tiles that carry their neighbours' labels too (anchors outside
  // the tile): labels are placed over the whole neighbourhood in one order
  // and drawn where they reach into the tile, so a label crossing the edge
  // shows in both tiles. Without it, such labels are left out.
  bool LabelsCrossEdges = false;
};

// The image of map tile zoom `z` drawn from `tile`: 256 * Scale pixels
// square, its device pixel ratio Scale.
QImage DrawVectorTile(const TVectorStyle& style, const TVectorTile& tile, int z,
                      const TTileWindow& window, const TVectorDrawOptions& options,
                      const std::vector<TNeighbourTile>& neighbours = {});

// As above, onto a painter whose coordinates are the tile's 256 map pixels.
void DrawVectorTileInto(QPainter& painter, const TVectorStyle& style, const TVectorTile& tile,
                        int z, const TTileWindow& window, const TVectorDrawOptions& options,
                        const std::vector<TNeighbourTile>& neighbours = {});

}  // namespace wy

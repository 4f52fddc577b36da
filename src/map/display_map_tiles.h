#pragma once
// TDisplayMapTiles: one state byte per tile position visible in the map,
// telling the painter which tiles still need drawing (TTileCellState).
// Window thread only (tile arrivals reach the map on the window thread).

#include <cstdint>
#include <vector>

namespace wy {

enum TTileCellState : uint8_t {
  // The tile must be drawn again on the next full paint (its image may
  // still be loading).
  tcsToDraw = 0,
  // Its image arrived since it was last drawn; the next full paint draws it
  // and, once the real image was drawn, marks it tcsDrawn.
  tcsArrived = 1,
  // Drawn with its final image; full paints skip it.
  tcsDrawn = 255,
};

class TDisplayMapTiles {
 public:
  // A new grid is 10 x 10, all tcsToDraw, enabled.
  TDisplayMapTiles();

  // Resizes to w columns and h rows and clears every cell.
  void setSize(int w, int h);
  // State of tile (x, y): cell (x - x(), y - y()); 0 outside the grid.
  uint8_t getTile(int x, int y) const;
  // Outside the grid nothing happens.
  void setTile(int x, int y, uint8_t tile);
  void Clear();
  // Shifts the states after the view moved by (x, y) pixels; the side that
  // enters the view always ends at 0. Does nothing while disabled.
  void ScrollTo(int64_t x, int64_t y);

  int x() const { return FX; }
  void setX(int v) { FX = v; }
  int y() const { return FY; }
  void setY(int v) { FY = v; }
  bool Enabled() const { return FEnabled; }
  void setEnabled(bool v) { FEnabled = v; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Cell [column][row] by grid index (no origin applied); 0 outside.
  uint8_t Cell(int column, int row) const;
  void SetCell(int column, int row, uint8_t value);

 private:
  std::vector<uint8_t> FDisplay;  // column-major: [column * FHeight + row]
  int FX = 0;
  int FY = 0;
  int FWidth = 0;
  int FHeight = 0;
  bool FEnabled = true;
};

}  // namespace wy

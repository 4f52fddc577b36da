#include "map/display_map_tiles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace wy {

TDisplayMapTiles::TDisplayMapTiles() {
  setSize(10, 10);
}

void TDisplayMapTiles::setSize(int w, int h) {
  FWidth = std::max(0, w);
  FHeight = std::max(0, h);
  FDisplay.assign(static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight), 0);
}

uint8_t TDisplayMapTiles::Cell(int column, int row) const {
  if (column < 0 || row < 0 || column >= FWidth || row >= FHeight) return 0;
  return FDisplay[static_cast<size_t>(column) * FHeight + row];
}

void TDisplayMapTiles::SetCell(int column, int row, uint8_t value) {
  if (column < 0 || row < 0 || column >= FWidth || row >= FHeight) return;
  FDisplay[static_cast<size_t>(column) * FHeight + row] = value;
}

uint8_t TDisplayMapTiles::getTile(int x, int y) const {
  return Cell(static_cast<int>(int64_t(x) - FX), static_cast<int>(int64_t(y) - FY));
}

void TDisplayMapTiles::setTile(int x, int y, uint8_t tile) {
  const int64_t c = int64_t(x) - FX;
  const int64_t r = int64_t(y) - FY;
  if (c < 0 || r < 0 || c >= FWidth || r >= FHeight) return;
  SetCell(static_cast<int>(c), static_cast<int>(r), tile);
}

void TDisplayMapTiles::Clear() {
  std::fill(FDisplay.begin(), FDisplay.end(), 0);
}

namespace {

// Cells to shift for a move of v pixels: ceil(v / 256) + 1, then one more
// for a positive move and two more (negated) for a negative one. Saturated
// far beyond any grid size so huge offsets cannot overflow.
int64_t ShiftOf(int64_t v) {
  const int64_t limit = int64_t(1) << 40;
  v = std::clamp(v, -limit, limit);
  int64_t s = static_cast<int64_t>(std::ceil(static_cast<double>(v) / 256.0)) + 1;
  if (v < 0) return -(std::llabs(s) + 2);
  return s + 1;
}

}  // namespace

void TDisplayMapTiles::ScrollTo(int64_t x, int64_t y) {
  if (!FEnabled) return;
  const int64_t sx = ShiftOf(x);
  const int64_t sy = ShiftOf(y);
  std::vector<uint8_t> next(FDisplay.size(), 0);
  auto copy = [&](int64_t dx, int64_t dy) {
    for (int i = 0; i < FWidth; ++i) {
      for (int j = 0; j < FHeight; ++j) {
        const int64_t ti = i + dx;
        const int64_t tj = j + dy;
        if (ti < 0 || tj < 0 || ti >= FWidth || tj >= FHeight) continue;
        next[static_cast<size_t>(ti) * FHeight + static_cast<size_t>(tj)] =
            FDisplay[static_cast<size_t>(i) * FHeight + j];
      }
    }
  };
  // Passes in this order; a later pass overwrites what an earlier one wrote.
  if (x == 0) copy(0, sy);
  if (sy > 0 && sx > 0) copy(sx, sy);
  if (sy > 0 && sx < 0) copy(sx, sy);
  if (sy < 0 && sx > 0) copy(sx, sy);
  if (sy < 0 && sx < 0) copy(sx, sy);
  if (y == 0) copy(sx, 0);
  FDisplay.swap(next);
}

}  // namespace wy

#include "map/display_map_tiles.h"

#include <gtest/gtest.h>

#include <string>

namespace wy {
namespace {

// Columns as strings of 'F' (255), '0' and other digits, row by row.
std::string Dump(const TDisplayMapTiles& g) {
  std::string s;
  for (int j = 0; j < g.Height(); ++j) {
    for (int i = 0; i < g.Width(); ++i) {
      const uint8_t v = g.Cell(i, j);
      s += v == 255 ? 'F' : static_cast<char>('0' + v);
    }
    s += '|';
  }
  return s;
}

TDisplayMapTiles Filled(int w, int h, uint8_t v) {
  TDisplayMapTiles g;
  g.setSize(w, h);
  for (int i = 0; i < w; ++i)
    for (int j = 0; j < h; ++j) g.SetCell(i, j, v);
  return g;
}

TEST(DisplayMapTilesTest, ScrollToShiftsByTheDocumentedCellCounts) {
  struct Case {
    int64_t x, y;
    std::string expected;
  };
  const Case cases[] = {
      // sx(10) = 3 on a 5 x 4 grid: columns 0-2 enter the view.
      {10, 0, "000FF|000FF|000FF|000FF|"},
      // sx(-10) = -3: columns 2-4 enter the view.
      {-10, 0, "FF000|FF000|FF000|FF000|"},
      // A vertical move of 1 pixel shifts three rows (sy(1) = 3).
      {0, 1, "00000|00000|00000|FFFFF|"},
      {0, -1, "FFFFF|00000|00000|00000|"},
      // Real map offsets empty the grid.
      {-2097662, -1537176, "00000|00000|00000|00000|"},
      {int64_t(1) << 50, -(int64_t(1) << 50), "00000|00000|00000|00000|"},
  };
  for (const Case& c : cases) {
    TDisplayMapTiles g = Filled(5, 4, 255);
    g.ScrollTo(c.x, c.y);
    EXPECT_EQ(Dump(g), c.expected) << c.x << "," << c.y;
  }
}

TEST(DisplayMapTilesTest, ScrollToWithXZeroLetsTheLastPassWin) {
  // x = 0: pass 1 copies [i][j] to [i][j+2]; pass 6 (y = 0 too) then copies
  // [i][j] to [i+2][j], overwriting what pass 1 wrote in columns 2-4.
  TDisplayMapTiles g;
  g.setSize(5, 4);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 4; ++j) g.SetCell(i, j, static_cast<uint8_t>(i + 1));
  g.ScrollTo(0, 0);
  EXPECT_EQ(Dump(g), "00123|00123|12123|12123|");
}

TEST(DisplayMapTilesTest, DisabledGridAndAddressing) {
  TDisplayMapTiles g = Filled(5, 4, 255);
  g.setEnabled(false);
  g.ScrollTo(10, 0);
  EXPECT_EQ(Dump(g), "FFFFF|FFFFF|FFFFF|FFFFF|");

  g.setX(100);
  g.setY(200);
  EXPECT_EQ(g.getTile(100, 200), 255);
  EXPECT_EQ(g.getTile(99, 200), 0);  // outside
  g.setTile(104, 203, 1);
  g.setTile(105, 203, 1);  // outside: ignored
  EXPECT_EQ(g.Cell(4, 3), 1);
  g.setSize(3, 2);
  EXPECT_EQ(Dump(g), "000|000|");
}

}  // namespace
}  // namespace wy

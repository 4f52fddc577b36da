#pragma once
// Lines and polygons placed by screen pixels of the test viewport.

#include <string>
#include <vector>

#include "shapes/shape_line.h"
#include "shapes_fixture.h"

namespace wy {
namespace shapes_test {

class TLineFixture : public TShapesTest {
 protected:
  // A coordinate that projects to the screen pixel (x, y).
  TLatLng LatLngAt(int x, int y) const {
    TLatLng c;
    World.XYToLatLng(x, y, c.Lat, c.Lng);
    return c;
  }
  // Latitude, longitude pairs of screen pixels.
  std::vector<double> PathAt(const std::vector<QPoint>& pixels) const {
    std::vector<double> path;
    for (const QPoint& p : pixels) {
      const TLatLng c = LatLngAt(p.x(), p.y());
      path.push_back(c.Lat);
      path.push_back(c.Lng);
    }
    return path;
  }
  // A line or polygon through the given latitude, longitude pairs.
  TWyShapeLine* LineThrough(const std::vector<double>& path, const std::string& group = "",
                            TNativeShape kind = nsLine) {
    auto* line = static_cast<TWyShapeLine*>(Registry->Add(kind, path[0], path[1], group));
    line->SetPath(path);
    return line;
  }
  TWyShapeLine* LineOnScreen(const std::vector<QPoint>& pixels, const std::string& group = "") {
    return LineThrough(PathAt(pixels), group);
  }
  TWyShapePolygone* PolygonOnScreen(const std::vector<QPoint>& pixels,
                                    const std::string& group = "") {
    return static_cast<TWyShapePolygone*>(LineThrough(PathAt(pixels), group, nsPolygon));
  }
};

}  // namespace shapes_test
}  // namespace wy

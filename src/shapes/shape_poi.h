#pragma once
// TWyShapePOI: a point of interest, a small figure centred on its point,
// sized in screen pixels or in metres on the ground. For now every figure
// is drawn as a filled ellipse of the POI's box.

#include <cstdint>

#include "geo/enums.h"
#include "shapes/shape.h"

namespace wy {

class TWyShapePOI : public TWyShape {
 public:
  explicit TWyShapePOI(TWyShapeList* owner);

  void Draw() override;
  // The box of the last drawing, every edge included.
  bool IsHover(int32_t iX, int32_t iY) override;

  TPOIShape POIShape() const { return FPoiShape; }
  void SetPOIShape(TPOIShape v);
  TPOIUnit POIUnit() const { return FUnit; }
  void SetPOIUnit(TPOIUnit v) { FUnit = v; }
  int32_t PixelWidth() const { return FPixelWidth; }
  int32_t PixelHeight() const { return FPixelHeight; }

 private:
  TPOIUnit FUnit = puPixel;
  int32_t FPixelWidth = 0;
  int32_t FPixelHeight = 0;
  TPOIShape FPoiShape = poiEllipse;
};

}  // namespace wy

#pragma once
// TWyShapePOI: a point of interest, a small figure centred on its point.
//
// The figure is an ellipse, a five-pointed star, a rectangle, a triangle
// with its apex on the point and its base on the bottom edge of the box, or
// whatever the application draws (poiOwnerDraw: the POI's OnOwnerDraw, else
// the list's). Width and Height are screen pixels (puPixel) or metres on
// the ground (puMeter); in metres the pixel size is recomputed at every
// drawing from the current zoom and latitude, so the figure grows and
// shrinks with the map. While hovered, brush and pen take HoverColor.
//
// After drawing a figure other than an owner-drawn one, the POI's
// OnAfterDraw (else the list's) runs. The surface's font is the same after
// the drawing as before, even when a handler throws.

#include <cstdint>

#include "geo/enums.h"
#include "shapes/shape.h"

namespace wy {

class TWyShapePOI : public TWyShape {
 public:
  explicit TWyShapePOI(TWyShapeList* owner);

  void Draw() override;
  // The record of the shape text format (shape_text_records.cpp).
  std::string GetToTxt() override;
  // A waypoint, a Placemark, a Point Feature (shape_export.cpp).
  void WriteGpx(TGpxWriter& out) override;
  void WriteKml(TKmlWriter& out, int32_t index) override;
  void WriteGeoJson(TGeoJsonWriter& out) override;
  // The box of the last drawing, every edge included.
  bool IsHover(int32_t iX, int32_t iY) override;

  TPOIShape POIShape() const { return FPoiShape; }
  void SetPOIShape(TPOIShape v);
  TPOIUnit POIUnit() const { return FUnit; }
  void SetPOIUnit(TPOIUnit v) { FUnit = v; }
  // The size in pixels of the last drawing (or of the last ComputePixelSize).
  int32_t PixelWidth() const { return FPixelWidth; }
  int32_t PixelHeight() const { return FPixelHeight; }
  // Projects the point and computes the pixel size and the box for the
  // current viewport, as a drawing does.
  void ComputePixelSize();

 protected:
  void FromTxt(const TWyParamParser& parser) override;

 private:
  TPOIUnit FUnit = puPixel;
  int32_t FPixelWidth = 0;
  int32_t FPixelHeight = 0;
  TPOIShape FPoiShape = poiEllipse;
};

}  // namespace wy

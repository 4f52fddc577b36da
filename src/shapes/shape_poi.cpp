#include "shapes/shape_poi.h"

#include <cmath>

#include "geo/geodesy.h"
#include "shapes/shape_list.h"

namespace wy {

TWyShapePOI::TWyShapePOI(TWyShapeList* owner) : TWyShape(owner) {
  FRotation = true;
  FW = 32;
  FH = 32;
  if (owner) _id = owner->NextId();
}

void TWyShapePOI::SetPOIShape(TPOIShape v) {
  FPoiShape = v;
  Update();
}

void TWyShapePOI::Draw() {
  if (!FWorldInfo || !FWyCanvas) return;
  FWorldInfo->LatLngToXY(FLat, FLng, FX, FY);
  if (FUnit == puMeter) {
    // Metres on the ground: project the points FH metres north and FW
    // metres east of the centre.
    double lat = 0, lng = 0;
    int32_t x = 0, y = 0;
    LatLonFromDistanceBearing(FLat, FLng, 0, FH, lat, lng);
    FWorldInfo->LatLngToXY(lat, lng, x, y);
    FPixelHeight = std::abs(FY - y);
    LatLonFromDistanceBearing(FLat, FLng, 90, FW, lat, lng);
    FWorldInfo->LatLngToXY(lat, lng, x, y);
    FPixelWidth = std::abs(FX - x);
  } else {
    FPixelWidth = FW;
    FPixelHeight = FH;
  }
  FLeft = FX - FPixelWidth / 2;
  FTop = FY - FPixelHeight / 2;
  TWyCanvas& c = *FWyCanvas;
  c.PenWidth(1);
  c.Pen().setStyle(Qt::SolidLine);
  c.Brush().setStyle(Qt::SolidPattern);
  c.SetBrushColor(FHover ? FHoverColor : FCOlor);
  c.SetPenColor(FHover ? FHoverColor : FBorderColor);
  TRect rect{FLeft, FTop, FLeft + FPixelWidth, FTop + FPixelHeight};
  c.Ellipse(rect.Left, rect.Top, rect.Right, rect.Bottom);
  const TOnDrawShape handler =
      OnAfterDraw ? OnAfterDraw : (FParentList ? FParentList->OnAfterDraw : TOnDrawShape());
  if (handler) handler(c, rect, this);
}

bool TWyShapePOI::IsHover(int32_t iX, int32_t iY) {
  FXHover = iX - FLeft;
  FYHover = iY - FTop;
  return FLeft <= iX && iX <= FLeft + FPixelWidth && FTop <= iY && iY <= FTop + FPixelHeight;
}

}  // namespace wy

#include "shapes/shape_poi.h"

#include <cmath>
#include <cstdlib>

#include "geo/geodesy.h"
#include "geo/world_info.h"
#include "shapes/shape_list.h"

namespace wy {

namespace {

// Whole pixels between two world-pixel coordinates, rounded (not the
// difference of two rounded positions, which may be one pixel off either way).
int32_t PixelSpan(double a, double b) {
  const double span = std::fabs(a - b);
  if (!(span < 1e9)) return 1000000000;  // far beyond any screen, NaN included
  return static_cast<int32_t>(std::lround(span));
}

}  // namespace

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

void TWyShapePOI::ComputePixelSize() {
  if (!FWorldInfo) return;
  ProjectPosition();
  if (FUnit == puMeter) {
    // Metres on the ground: the points FH metres due north and FW metres
    // due east of the centre, measured in world pixels at the current zoom.
    const uint8_t zoom = FWorldInfo->Zoom();
    double cx = 0, cy = 0, x = 0, y = 0, lat = 0, lng = 0;
    LatLngToWorldPixel(zoom, FLat, FLng, cx, cy);
    LatLonFromDistanceBearing(FLat, FLng, 0, FH, lat, lng);
    LatLngToWorldPixel(zoom, lat, lng, x, y);
    FPixelHeight = PixelSpan(cy, y);
    LatLonFromDistanceBearing(FLat, FLng, 90, FW, lat, lng);
    LatLngToWorldPixel(zoom, lat, lng, x, y);
    FPixelWidth = PixelSpan(cx, x);
  } else {
    FPixelWidth = FW;
    FPixelHeight = FH;
  }
  FLeft = FX - FPixelWidth / 2;
  FTop = FY - FPixelHeight / 2;
}

void TWyShapePOI::Draw() {
  if (!FWorldInfo || !FWyCanvas) return;
  ComputePixelSize();
  TWyCanvas& c = *FWyCanvas;
  TCanvasFontScope font(c);
  c.PenWidth(1);
  c.Pen().setStyle(Qt::SolidLine);
  c.Brush().setStyle(Qt::SolidPattern);
  c.SetBrushColor(FHover ? FHoverColor : FCOlor);
  c.SetPenColor(FHover ? FHoverColor : FBorderColor);
  TRect rect{FLeft, FTop, FLeft + FPixelWidth, FTop + FPixelHeight};
  switch (FPoiShape) {
    case poiStar:
      c.DrawStar(rect);
      break;
    case poiRect:
      c.Rectangle(rect.Left, rect.Top, rect.Right, rect.Bottom);
      break;
    case poiTriangle:
      c.Polygon({{FX, FY}, {rect.Right, rect.Bottom}, {rect.Left, rect.Bottom}});
      break;
    case poiOwnerDraw: {
      // Copies: the handler may replace itself or the list's.
      const TOnDrawShape handler =
          OnOwnerDraw ? OnOwnerDraw : (FParentList ? FParentList->OnOwnerDraw : TOnDrawShape());
      if (handler) handler(c, rect, this);
      return;
    }
    case poiEllipse:
    default:
      c.Ellipse(rect.Left, rect.Top, rect.Right, rect.Bottom);
      break;
  }
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

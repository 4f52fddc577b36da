#include "shapes/shape_line.h"

#include <algorithm>

#include "shapes/shape_list.h"
#include "shapes/shapes_group.h"

namespace wy {

TWyShapeLine::TWyShapeLine(TWyShapeList* owner) : TWyShape(owner) {
  if (owner) _id = owner->NextId();
  TWyShapes* group = Group();
  TWyShapesGroup* registry = Registry();
  if (group && registry) {
    FNameShapes = group->Name() + "_line_" + std::to_string(_id);
    FLineShapes = registry->getShapes(FNameShapes);
    FLineShapes->SetSerialize(false);
  }
}

TWyShapeLine::~TWyShapeLine() {
  FReady = false;
  FPoints.clear();
  TWyShapesGroup* registry = Registry();
  if (FLineShapes && registry && !registry->Destroying()) FLineShapes->Clear();
}

void TWyShapeLine::Update() {
  getBounds();
  TWyShape::Update();
}

void TWyShapeLine::PathEdited() {
  FDistance = 0;
  FArea = 0;
  FPathModified = true;
  Update();
}

int32_t TWyShapeLine::Add(double Lat, double Lng, double Alt) {
  FPoints.push_back(std::make_unique<TWyPointLine>(Lat, Lng, Alt));
  const int32_t index = Count() - 1;
  PathEdited();
  return index;
}

void TWyShapeLine::Insert(int32_t index, double Lat, double Lng, double Alt) {
  index = std::max(0, std::min(index, Count()));
  FPoints.insert(FPoints.begin() + index, std::make_unique<TWyPointLine>(Lat, Lng, Alt));
  PathEdited();
}

void TWyShapeLine::Delete(int32_t index) {
  if (index < 0 || index >= Count()) return;
  FPoints.erase(FPoints.begin() + index);
  PathEdited();
}

void TWyShapeLine::Clear() {
  FPoints.clear();
  if (FLineShapes) FLineShapes->Clear();
  PathEdited();
}

TWyPointLine* TWyShapeLine::getPoints(int32_t index) const {
  if (index < 0 || index >= Count()) throw EShapeAssertion("TWyShapeLine.getPoints");
  return FPoints[index].get();
}

void TWyShapeLine::SetWeight(uint8_t v) {
  FWeight = v;
  Update();
}

void TWyShapeLine::SetLineType(TWyLineType v) {
  if (v == FLineType) return;
  FLineType = v;
  Update();
}

void TWyShapeLine::SetPenStyle(TPenStyle v) {
  if (v == FPenStyle) return;
  FPenStyle = v;
  Update();
}

void TWyShapeLine::SetEditable(bool value) {
  FEditable = value;
  Update();
}

void TWyShapeLine::getBounds() {
  if (FPoints.empty() || !FReady) return;
  if (FPoints.size() == 1) {
    FLat = FPoints[0]->Lat();
    FLng = FPoints[0]->Lng();
  } else {
    FLatSW = FLatNE = FPoints[0]->Lat();
    FLngSW = FLngNE = FPoints[0]->Lng();
    for (const auto& p : FPoints) {
      FLatSW = std::min(FLatSW, p->Lat());
      FLatNE = std::max(FLatNE, p->Lat());
      FLngSW = std::min(FLngSW, p->Lng());
      FLngNE = std::max(FLngNE, p->Lng());
    }
    FLat = (FLatSW + FLatNE) / 2;
    FLng = (FLngSW + FLngNE) / 2;
  }
  ProjectPoints();
}

void TWyShapeLine::ProjectPoints() {
  if (!FReady || !FWorldInfo) return;
  if (FXYPoints.size() != FPoints.size()) FXYPoints.resize(FPoints.size());
  int32_t minX = 0, minY = 0, maxX = 0, maxY = 0;
  for (size_t i = 0; i < FPoints.size(); ++i) {
    int32_t x = 0, y = 0;
    FWorldInfo->LatLngToXY(FPoints[i]->Lat(), FPoints[i]->Lng(), x, y);
    FXYPoints[i] = QPoint(x, y);
    minX = std::min(minX, x);
    minY = std::min(minY, y);
    maxX = std::max(maxX, x);
    maxY = std::max(maxY, y);
  }
  FX = minX;
  FY = minY;
  FW = maxX - minX;
  FH = maxY - minY;
}

void TWyShapeLine::PathChanged() {
  FDistance = 0;
  FArea = 0;
  getBounds();
  FPathModified = false;
  if (OnShapePathChange) {
    const TNotifyEvent handler = OnShapePathChange;
    handler(this);
  } else if (TWyShapesGroup* registry = Registry()) {
    if (registry->OnShapePathChange) {
      const TNotifyEvent handler = registry->OnShapePathChange;
      handler(this);
    }
  }
}

void TWyShapeLine::SetPosition(double dLat, double dLng) {
  if (!FReady) return;
  const bool editable = FEditable;
  FEditable = false;
  const double dy = dLat - FLat;
  const double dx = dLng - FLng;
  for (auto& p : FPoints) {
    p->SetLat(p->Lat() + dy);
    p->SetLng(p->Lng() + dx);
    p->SetAlt(kNoAltitude);
  }
  FEditable = editable;
  FPathModified = true;
  Update();
}

bool TWyShapeLine::IsHover(int32_t iX, int32_t iY) {
  FHOverSeg = -1;
  if (!TWyShape::IsHover(iX, iY)) return false;
  for (size_t i = 0; i + 1 < FXYPoints.size(); ++i) {
    const QPoint& a = FXYPoints[i];
    const QPoint& b = FXYPoints[i + 1];
    const double d = PointToSegmentDistance(a.x(), a.y(), b.x(), b.y(), iX, iY);
    if (d >= 0 && d <= FWeight) {
      FHOverSeg = static_cast<int32_t>(i + 1);
      return true;
    }
  }
  return false;
}

bool TWyShapeLine::ShowOnMap() {
  if (!GetVisible() || !FWorldInfo || FPoints.empty()) return false;
  return FLatNE >= FWorldInfo->SouthWestLatitude() && FLatSW <= FWorldInfo->NorthEastLatitude() &&
         FLngNE >= FWorldInfo->SouthWestLongitude() && FLngSW <= FWorldInfo->NorthEastLongitude();
}

void TWyShapeLine::Draw() {
  if (!FWyCanvas) return;
  FWyCanvas->Poly(FLineType == ltBezier, FXYPoints, static_cast<int>(FXYPoints.size()), FWeight,
                  FHover ? FHoverColor : FCOlor, FPenStyle);
  TWyShape::Draw();
}

// ---- polygons

TWyShapePolygone::TWyShapePolygone(TWyShapeList* owner) : TWyShapeLine(owner) {
  FOpacity = 50;
  FCOlor = 0x000000FF;
  FHoverColor = 0x00008000;
  if (owner) _id = owner->NextId();
}

void TWyShapePolygone::SetFillColor(TColor v) {
  FFillColor = v;
  Update();
}

void TWyShapePolygone::SetStyle(TBrushStyle v) {
  FPolygoneStyle = v;
  Update();
}

// Opaque: outline and fill in one go. Translucent: the fill is blended
// first, then the outline (and a hatch) is drawn over it.
void TWyShapePolygone::Draw() {
  if (!FWyCanvas || FXYPoints.empty()) return;
  TWyCanvas& c = *FWyCanvas;
  const TColor brush = FHover ? FHoverColor : FFillColor;
  c.PenWidth(FWeight);
  c.Pen().setStyle(Qt::SolidLine);
  c.SetPenColor(FCOlor);
  c.SetBrushColor(brush);
  if (FOpacity >= 100) {
    c.SetBrushStyle(FPolygoneStyle);
    c.Polygon(FXYPoints);
  } else {
    c.AlphaBlendPolygon(FXYPoints, brush, FOpacity);
    c.SetBrushStyle(FPolygoneStyle == bsSolid ? bsClear : FPolygoneStyle);
    c.Polygon(FXYPoints);
  }
  c.SetBrushStyle(bsSolid);
  TWyShape::Draw();
}

bool TWyShapePolygone::IsHover(int32_t iX, int32_t iY) {
  FHOverSeg = -1;
  FXHover = iX - FLeft;
  FYHover = iY - FTop;
  const size_t n = FXYPoints.size();
  if (n < 3) return false;
  bool inside = false;
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const QPoint& pi = FXYPoints[i];
    const QPoint& pj = FXYPoints[j];
    if ((pi.y() <= iY && iY < pj.y()) || (pj.y() <= iY && iY < pi.y())) {
      const double x =
          pi.x() + static_cast<double>(pj.x() - pi.x()) * (iY - pi.y()) / (pj.y() - pi.y());
      if (iX < x) inside = !inside;
    }
  }
  if (inside) {
    for (size_t i = 0; i + 1 < n; ++i) {
      const double d = PointToSegmentDistance(FXYPoints[i].x(), FXYPoints[i].y(),
                                              FXYPoints[i + 1].x(), FXYPoints[i + 1].y(), iX, iY);
      if (d >= 0 && d <= FWeight) {
        FHOverSeg = static_cast<int32_t>(i + 1);
        break;
      }
    }
  }
  return inside;
}

}  // namespace wy

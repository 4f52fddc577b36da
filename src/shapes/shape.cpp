#include "shapes/shape.h"

#include <vector>

#include "geo/global_lock.h"
#include "platform/ascii.h"
#include "shapes/animation.h"
#include "shapes/screen_projection.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_list.h"
#include "shapes/shapes_group.h"

namespace wy {

std::string LowerAZ(const std::string& text) {
  return AsciiLower(text);
}

TWyShape::TWyShape(TWyShapeList* owner) : FParentList(owner) {
  FBorderColor = DarkerColor(FCOlor, 32);
  FHoverBorder = DarkerColor(FHoverColor, 32);
  if (TWyShapesGroup* registry = Registry()) FWyCanvas = registry->Canvas();
}

TWyShape::~TWyShape() {
  if (FWyAnimationShape) {
    TWyShapes* group = Group();
    if (group && FInAnimList) {
      TGlobalMapLockGuard lock(GlobalMapLock());
      group->RemoveAnimated(this);
    }
    FWyAnimationShape.reset();
  }
  if (FOwnItem) delete FItem;
  FItem = nullptr;
  FLife.reset();
}

std::weak_ptr<char> TWyShape::LifeToken() const {
  if (!FLife) FLife = std::make_shared<char>(0);
  return FLife;
}

TWyShapes* TWyShape::Group() const {
  return FParentList ? FParentList->Parent() : nullptr;
}

TWyShapesGroup* TWyShape::Registry() const {
  TWyShapes* group = Group();
  return group ? group->Owner() : nullptr;
}

void TWyShape::SetColor(TColor value) {
  FCOlor = value;
  FBorderColor = DarkerColor(value, 32);
  Update();
}

void TWyShape::SetHoverColor(TColor value) {
  FHoverColor = value;
  FHoverBorder = DarkerColor(value, 32);
  Update();
}

void TWyShape::SetVisible(bool value) {
  // A shape that leaves the map must be painted away: the change counts as
  // visible when the shape was shown before it or is shown after it.
  const bool wasShown = FVisible && value != FVisible && ShowOnMap();
  FVisible = value;
  if (wasShown)
    if (TWyShapes* group = Group()) group->SetModified(true);
  Update();
}

bool TWyShape::GetVisible() const {
  if (!FVisible) return false;
  TWyShapes* group = Group();
  if (!group || !FWorldInfo) return true;
  if (!FParentList->Visible()) return false;
  const uint8_t zoom = FWorldInfo->Zoom();
  if (group->MinZoom() != 0 && zoom < group->MinZoom()) return false;
  if (group->MaxZoom() != 0 && zoom > group->MaxZoom()) return false;
  return true;
}

void TWyShape::SetZIndex(int32_t value) {
  FZindex = value;
  Update();
}

bool TWyShape::GetClickable() const {
  TWyShapes* group = Group();
  return FClickable && (!group || group->Clickable());
}

void TWyShape::MarkModified() {
  TWyShapes* group = Group();
  if (group && !group->Modified()) group->SetModified(ShowOnMap());
}

void TWyShape::Update() {
  TWyShapes* group = Group();
  if (!group) return;
  MarkModified();
  group->DoUpdate(this);
}

void TWyShape::Draw() {
  if (!OnAfterDraw || !FWyCanvas) return;
  TRect rect{FX, FY, FX + FW, FY + FH};
  const TOnDrawShape handler = OnAfterDraw;  // the handler may replace itself
  handler(*FWyCanvas, rect, this);
}

bool TWyShape::HandleClick(int32_t, int32_t) {
  return false;
}

// The move event is raised only for a finished shape (not while its list
// builds it), away from latitude or longitude 0, when the shape is not being
// dragged and its group is not inside an update. A cancelled move restores
// the old position. Otherwise the registry asks for a repaint unless the
// group is inside an update; the draw list picks the new position up at its
// next rebuild.
void TWyShape::SetPosition(double dLat, double dLng) {
  const double oldLat = FLat;
  const double oldLng = FLng;
  FLat = dLat;
  FLng = dLng;
  TWyShapes* group = Group();
  if (!group) return;
  if (FReady && dLat != 0 && dLng != 0 && group->ShapeDrag() != this && group->UpdateCount() == 0 &&
      group->OnMove) {
    bool cancel = false;
    const std::weak_ptr<char> life = LifeToken();
    const TOnShapeMove handler = group->OnMove;
    handler(group, this, cancel);
    if (life.expired()) return;  // the handler freed the shape
    if (cancel) {
      FLat = oldLat;
      FLng = oldLng;
      return;
    }
  }
  group = Group();
  if (!group) return;
  MarkModified();
  if (group->UpdateCount() == 0) group->Owner()->RequestRepaint();
}

bool TWyShape::IsHover(int32_t iX, int32_t iY) {
  FXHover = iX - FLeft;
  FYHover = iY - FTop;
  return FLeft <= iX && iX <= FLeft + FW && FTop <= iY && iY <= FTop + FH;
}

bool TWyShape::isHit(int32_t x, int32_t y) {
  const bool r = IsHover(x, y);
  if (r != FHit) {
    FHit = r;
    Update();
  }
  return r;
}

bool TWyShape::ShowOnMap() {
  return GetVisible() && Contains(FLat, FLng);
}

void TWyShape::Remove() {
  if (TWyShapesGroup* registry = Registry()) {
    if (registry->ShapeHover() == this) registry->SetShapeHover(nullptr);
    if (registry->ShapeDrag() == this) registry->SetShapeDrag(nullptr);
  }
  if (FParentList) FParentList->Delete(IndexOf());
}

int32_t TWyShape::IndexOf() const {
  return FParentList ? FParentList->IndexOf(this) : _id;
}

bool TWyShape::Contains(double dLat, double dLng) const {
  return FWorldInfo && FWorldInfo->ContainsLatLng(dLat, dLng);
}

void TWyShape::ShowHint() {
  TWyShapesGroup* registry = Registry();
  TWyShapeInfoWindow* hint = registry ? registry->HintWindow() : nullptr;
  if (!hint) return;
  hint->SetPosition(FLat, FLng);
  hint->SetContent(FHint);
  hint->SetYAnchor(-(FH + 10));
  hint->SetVisible(true);
  auto hide = std::make_unique<TWyAnimationAutoHide>();
  hide->SetMaxTiming(2000);
  hint->SetAnimation(std::move(hide));
}

void TWyShape::HideHint() {
  TWyShapesGroup* registry = Registry();
  if (TWyShapeInfoWindow* hint = registry ? registry->HintWindow() : nullptr)
    hint->SetVisible(false);
}

// Three filled ellipses sharing their top-left corner: a dark 12 x 12 disc,
// a white 10 x 10 one and the 8 x 8 ball in the shape's colour, which gives
// a shaded ball whose bottom centre stands on the point.
void TWyShape::ProjectPosition() {
  if (!FWorldInfo) return;
  // NaN never compares equal: such a position is projected every time.
  if (!(FLat == FProjectedLat && FLng == FProjectedLng)) {
    LatLngToWorldPixel(0, FLat, FLng, FWorld0X, FWorld0Y);
    FProjectedLat = FLat;
    FProjectedLng = FLng;
  }
  ScreenPixel(*FWorldInfo, FWorld0X, FWorld0Y, FX, FY);
}

void TWyShape::DrawDefaultMarker() {
  ProjectPosition();
  FW = 12;
  FH = 12;
  FXAnchor = 6;
  FYAnchor = 12;
  FLeft = FX - 6;
  FTop = FY - 12;
  if (!FWyCanvas) return;
  TWyCanvas& c = *FWyCanvas;
  c.PenWidth(1);
  c.Pen().setStyle(Qt::SolidLine);
  c.Brush().setStyle(Qt::SolidPattern);
  c.SetPenColor(0x414141);
  c.SetBrushColor(0x616161);
  c.Ellipse(FLeft, FTop, FLeft + 12, FTop + 12);
  c.SetPenColor(0xDFDFDF);
  c.SetBrushColor(0xFFFFFF);
  c.Ellipse(FLeft, FTop, FLeft + 10, FTop + 10);
  c.SetPenColor(FHover ? FHoverBorder : FBorderColor);
  c.SetBrushColor(FHover ? FHoverColor : FCOlor);
  c.Ellipse(FLeft, FTop, FLeft + 8, FTop + 8);
}

std::string TWyShape::Address() {
  if (FAddress.empty()) {
    TWyShapesGroup* registry = Registry();
    if (registry && registry->GeoLocalise())
      FAddress = registry->GeoLocalise()->ReverseGeocode(FLat, FLng);
  }
  return FAddress;
}

double TWyShape::Altitude() {
  if (FAlt == kNoAltitude) {
    TWyShapesGroup* registry = Registry();
    if (registry && registry->GeoLocalise()) {
      std::vector<double> altitudes;
      if (registry->GeoLocalise()->Elevations({TLatLng{FLng, FLat}}, altitudes) &&
          altitudes.size() == 1)
        FAlt = altitudes[0];
    }
  }
  return FAlt;
}

// The waiting bar of a loading marker draws itself through OnAfterDraw, so
// replacing that animation also removes the hook. The old animation is
// freed before the new one is stored, except when it is the very object
// handed in.
void TWyShape::SetAnimation(std::unique_ptr<TWyAnimationShape> value) {
  if (value && value.get() == FWyAnimationShape.get()) {
    value.release();  // already ours: nothing to free, nothing to change
    return;
  }
  if (dynamic_cast<TWyAnimationGraphicWait*>(FWyAnimationShape.get())) OnAfterDraw = nullptr;
  FWyAnimationShape = std::move(value);
  TWyShapes* group = Group();
  TGlobalMapLockGuard lock(GlobalMapLock());
  if (FWyAnimationShape) {
    FWyAnimationShape->SetShape(this);
    if (group && !FInAnimList) {
      group->AddAnimated(this);
      FInAnimList = true;
    }
  } else if (group && FInAnimList) {
    group->RemoveAnimated(this);
    FInAnimList = false;
  }
}

void TWyShape::SetName(const std::string& value) {
  if (!FParentList) {
    FName = value;
    return;
  }
  if (!value.empty() && FParentList->NameTaken(value)) return;
  if (!FName.empty()) FParentList->UnindexName(FName, this);
  if (!value.empty()) FParentList->IndexName(value, this);
  FName = value;
}

void TWyShape::SetItem(TObject* value) {
  if (FOwnItem && value != FItem) delete FItem;
  FItem = value;
}

bool TWyShape::Serialize() const {
  TWyShapes* group = Group();
  return FSerialize && (!group || group->Serialize());
}

void TWyShape::SetOpacity(uint8_t v) {
  FOpacity = v;
  Update();
}

void TWyShape::SetRotation(bool v) {
  if (v == FRotation) return;
  FRotation = v;
  Update();
}

}  // namespace wy

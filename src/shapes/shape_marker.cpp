#include "shapes/shape_marker.h"

#include "shapes/animation.h"
#include "shapes/shape_list.h"
#include "shapes/shapes_group.h"
#include "tiles/graphic_pool.h"

namespace wy {

namespace {

// The waiting bar is drawn through OnAfterDraw. The hook looks the
// animation up on the shape at each call, so it never outlives it.
void DrawWaitingBar(TWyCanvas& canvas, TRect& rect, TWyShape* item) {
  if (auto* wait = dynamic_cast<TWyAnimationGraphicWait*>(item ? item->Animation() : nullptr))
    wait->DrawAnimation(canvas, rect, item);
}

}  // namespace

TWyShapeMarker::TWyShapeMarker(TWyShapeList* owner) : TWyShape(owner) {
  FRotation = true;
  FXAnchor = 16;
  FYAnchor = 32;
  FW = 32;
  FH = 32;
  if (owner) _id = owner->NextId();
}

void TWyShapeMarker::SetOriginX(int32_t v) {
  if (v == FOriginX) return;
  FOriginX = v;
  Update();
}

void TWyShapeMarker::SetOriginY(int32_t v) {
  if (v == FOriginy) return;
  FOriginy = v;
  Update();
}

void TWyShapeMarker::EnterPinBox() {
  if (FPinBox) return;
  FSavedW = FW;
  FSavedH = FH;
  FSavedXAnchor = FXAnchor;
  FSavedYAnchor = FYAnchor;
  FPinBox = true;
}

void TWyShapeMarker::LeavePinBox() {
  if (!FPinBox) return;
  FPinBox = false;
  if (FW == 12 && FH == 12 && FXAnchor == 6 && FYAnchor == 12) {
    FW = FSavedW;
    FH = FSavedH;
    FXAnchor = FSavedXAnchor;
    FYAnchor = FSavedYAnchor;
  }
}

void TWyShapeMarker::StopWaiting() {
  if (dynamic_cast<TWyAnimationGraphicWait*>(Animation())) SetAnimation(nullptr);
}

void TWyShapeMarker::Draw() {
  TWyShapesGroup* registry = Registry();
  if (!registry || !FWyCanvas) return;
  ProjectPosition();

  enum { kNothing, kGraphic, kIcon, kPin } what = kPin;
  // An icon the pool gave up on shows the marker's fallback (the list's
  // icon or the pin) instead of nothing.
  TThreadGraphicPool* pool = registry->GraphicPool();
  const bool iconLost = FGraphic.isNull() && !FFilename.empty() && pool && pool->GaveUp(FFilename);
  if (FGraphic.isNull() && !FFilename.empty() && !iconLost) {
    // Waiting: ask the pool again; nothing but the hook is drawn this frame.
    const std::weak_ptr<char> life = LifeToken();
    SetFilename(FFilename);
    if (life.expired()) return;
    what = kNothing;
  } else if (!FGraphic.isNull()) {
    what = kGraphic;
  } else if (FIcon >= 0 && FIcon < static_cast<int32_t>(registry->Icons().size())) {
    what = kIcon;
  }

  if (what == kPin) {
    EnterPinBox();
    DrawDefaultMarker();
  } else {
    LeavePinBox();
    FLeft = FX - FXAnchor;
    FTop = FY - FYAnchor;
    if (what == kGraphic)
      FWyCanvas->Draw(FLeft, FTop, FGraphic, FW, FH, FOriginX, FOriginy);
    else if (what == kIcon)
      static_cast<TWyShapeMarkerList*>(FParentList)->DrawIcon(FLeft, FTop, FIcon);
  }
  if (OnAfterDraw) {
    TRect rect{FLeft, FTop, FLeft + FW, FTop + FH};
    const TOnDrawShape handler = OnAfterDraw;
    handler(*FWyCanvas, rect, this);
  }
}

// 1. The same address with a graphic already there: nothing.
// 2. Otherwise the address is stored, the graphic dropped, the box back to
//    32 x 32. An empty address ends any waiting bar (the marker shows its
//    icon or the pin).
// 3. The pool's graphic, if it has it; otherwise the address is queued and,
//    unless the marker already has an animation or WaitAnimation is off,
//    the waiting bar starts (replacing the application's OnAfterDraw).
// 4. When the graphic is there and the waiting bar ran, the bar goes and
//    the map is asked for one more repaint.
void TWyShapeMarker::SetFilename(const std::string& value) {
  if (value == FFilename && !FGraphic.isNull()) return;
  FFilename = value;
  FGraphic = QImage();
  LeavePinBox();
  FW = 32;
  FH = 32;
  if (value.empty()) {
    StopWaiting();
    return;
  }
  TWyShapesGroup* registry = Registry();
  if (!registry) return;
  FGraphic = registry->GetGraphic(value);
  if (FGraphic.isNull()) {
    if (!Animation() && FWaitAnimation) {
      SetAnimation(std::make_unique<TWyAnimationGraphicWait>(0));
      OnAfterDraw = DrawWaitingBar;
    }
    return;
  }
  if (dynamic_cast<TWyAnimationGraphicWait*>(Animation())) {
    OnAfterDraw = nullptr;
    SetAnimation(nullptr);
  }
  registry->RequestRepaint();
}

// ---- the marker list's icons

void TWyShapeMarkerList::DrawIcon(int32_t Left, int32_t Top, int32_t idIcon) {
  TWyShapesGroup* registry = FParent ? FParent->Owner() : nullptr;
  if (!registry || !registry->Canvas()) return;
  const std::vector<QImage>& icons = registry->Icons();
  if (idIcon < 0 || idIcon >= static_cast<int32_t>(icons.size())) return;
  registry->Canvas()->Draw(Left, Top, icons[idIcon]);
}

int32_t TWyShapeMarkerList::IndexOfFilename(const std::string& filename) const {
  const std::string wanted = LowerAZ(filename);
  for (int32_t i = 0; i < Count(); ++i)
    if (LowerAZ(Items(i)->Filename()) == wanted) return i;
  return -1;
}

}  // namespace wy

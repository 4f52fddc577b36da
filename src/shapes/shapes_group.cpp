#include "shapes/shapes_group.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "geo/flag_scope.h"
#include "geo/global_lock.h"
#include "platform/log.h"
#include "platform/tick.h"
#include "shapes/animation.h"
#include "shapes/shape_conversion.h"
#include "shapes/shape.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_line.h"
#include "shapes/shape_marker.h"
#include "shapes/shape_poi.h"

namespace wy {

namespace {

bool IsBlank(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || (c > 0 && c < ' ');
  });
}

}  // namespace

// ===========================================================================
// TWyShapes

TWyShapes::TWyShapes(TWyShapesGroup* owner, TNotifyEvent EvtUpdate, TWyWorldInfo* World)
    : OnUpdate(std::move(EvtUpdate)), FOwner(owner), FWorld(World) {
  FInfoWindows = std::make_unique<TWyShapeInfoWindowList>(this, World);
  FPois = std::make_unique<TWyShapePOIList>(this, World);
  FMarkers = std::make_unique<TWyShapeMarkerList>(this, World);
  FLines = std::make_unique<TWyShapeLineList>(this, World);
  FPolys = std::make_unique<TWyShapePolygoneList>(this, World);
}

TWyShapes::~TWyShapes() {
  // A background load stops first: its download is cut, its worker joined
  // and its result dropped.
  FConversion.reset();
  // The lists go first, while the draw and animation lists they clean up
  // still exist.
  ++FBeginUpdate;
  FInfoWindows.reset();
  FPois.reset();
  FMarkers.reset();
  FLines.reset();
  FPolys.reset();
  FShapesDraw.clear();
  FShapesAnim.clear();
}

void TWyShapes::Clear() {
  BeginUpdate();
  FInfoWindows->Clear();
  FPois->Clear();
  FMarkers->Clear();
  FLines->Clear();
  if (FInDraw) {
    std::fill(FShapesDraw.begin(), FShapesDraw.end(), nullptr);
    FDrawHasHoles = true;
  } else {
    FShapesDraw.clear();
  }
  {
    TGlobalMapLockGuard lock(GlobalMapLock());
    for (TWyShape* shape : FShapesAnim) shape->FInAnimList = false;
    FShapesAnim.clear();
  }
  FPolys->Clear();
  FModified = true;
  EndUpdate();
}

void TWyShapes::UnionBounds() {
  FLatSW = FPois->SouthWestLatitude();
  FLngSW = FPois->SouthWestLongitude();
  FLatNE = FPois->NorthEastLatitude();
  FLngNE = FPois->NorthEastLongitude();
  for (const TWyShapeList* list : {static_cast<const TWyShapeList*>(FMarkers.get()),
                                   static_cast<const TWyShapeList*>(FLines.get()),
                                   static_cast<const TWyShapeList*>(FPolys.get())}) {
    FLatNE = std::max(FLatNE, list->NorthEastLatitude());
    FLngNE = std::max(FLngNE, list->NorthEastLongitude());
    FLatSW = std::min(FLatSW, list->SouthWestLatitude());
    FLngSW = std::min(FLngSW, list->SouthWestLongitude());
  }
}

void TWyShapes::getBounds() {
  FPois->ComputeBounds();
  FMarkers->ComputeBounds();
  FLines->ComputeBounds();
  FPolys->ComputeBounds();
  UnionBounds();
}

void TWyShapes::EndUpdate() {
  --FBeginUpdate;
  if (FBeginUpdate <= 0) {
    FBeginUpdate = 0;
    DoUpdate(this);
  }
}

void TWyShapes::DoUpdate(TObject* sender) {
  if (FBeginUpdate > 0) return;
  if (auto* line = dynamic_cast<TWyShapeLine*>(sender))
    if (line->PathModified() && line->Ready()) line->PathChanged();
  if (FOwner && FOwner->Parent()) {
    BuildDrawList();
    if (FModified) FOwner->RequestRepaint();
  }
  FModified = false;
}

int32_t TWyShapes::BuildDrawList() {
  if (FInDraw || FBeginUpdate > 0) return 0;
  FInfoWindows->ComputeBounds();
  FPois->ComputeBounds();
  FMarkers->ComputeBounds();
  FLines->ComputeBounds();
  FPolys->ComputeBounds();
  UnionBounds();

  FShapesDraw.clear();
  FDrawHasHoles = false;
  ++FRebuilds;
  if (FisLoading) return 0;
  std::vector<std::pair<float, TWyShape*>> keyed;
  for (const TWyShapeList* list : {static_cast<const TWyShapeList*>(FPois.get()),
                                   static_cast<const TWyShapeList*>(FMarkers.get()),
                                   static_cast<const TWyShapeList*>(FLines.get()),
                                   static_cast<const TWyShapeList*>(FPolys.get()),
                                   static_cast<const TWyShapeList*>(FInfoWindows.get())}) {
    for (const auto& shape : list->FList) {
      if (!shape->ShowOnMap()) continue;
      // Single precision on purpose: the order of near keys depends on it.
      const float key = static_cast<float>(shape->ZIndex()) +
                        static_cast<float>(shape->Id()) / 1000.0f +
                        (shape->Draggable() ? 0.1f : 0.0f);
      keyed.emplace_back(key, shape.get());
    }
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  FShapesDraw.reserve(keyed.size());
  for (const auto& entry : keyed) FShapesDraw.push_back(entry.second);
  return static_cast<int32_t>(FShapesDraw.size());
}

void TWyShapes::Draw() {
  if (FBeginUpdate > 0 || FInDraw) return;
  if (FShapesDraw.empty()) return;
  {
    TFlagScope drawing(FInDraw);
    TGlobalMapLockGuard lock(GlobalMapLock());
    // By index: a handler may free shapes, which only nulls their entries
    // while the group draws.
    try {
      for (size_t i = 0; i < FShapesDraw.size(); ++i)
        if (TWyShape* shape = FShapesDraw[i]) shape->Draw();
    } catch (...) {
      // A failing shape ends this group's frame; the next frame tries again.
      LogCaughtException(llWarning, "shapes", "drawing the group \"" + FName + "\"");
    }
  }
  if (FDrawHasHoles) {
    FShapesDraw.erase(std::remove(FShapesDraw.begin(), FShapesDraw.end(), nullptr),
                      FShapesDraw.end());
    FDrawHasHoles = false;
  }
}

TWyShape* TWyShapes::HitTest(int32_t x, int32_t y) {
  if (FBeginUpdate > 0) return nullptr;
  // A snapshot: some kinds' hit tests notify changes, which rebuild the
  // draw list.
  const std::vector<TWyShape*> candidates = FShapesDraw;
  TWyShape* topmost = nullptr;
  for (size_t i = candidates.size(); i-- > 0;) {
    TWyShape* shape = candidates[i];
    if (!shape || !shape->IsHover(x, y)) continue;
    if (shape->Clickable()) return shape;
    if (!topmost) topmost = shape;
  }
  return topmost;
}

TWyShape* TWyShapes::ShapeByHover(int32_t x, int32_t y) {
  if (FBeginUpdate > 0) return nullptr;
  TWyShape* hit = HitTest(x, y);
  SetShapeHover(hit);
  return hit;
}

void TWyShapes::SetShapeHover(TWyShape* value) {
  if (value == FShapeHover) return;
  TWyShape* previous = FShapeHover;
  FShapeHover = value;
  TWyShapeInfoWindow* hint = FOwner ? FOwner->HintWindow() : nullptr;
  if (previous) {
    if (hint) hint->SetVisible(false);
    previous->FHover = false;
  }
  if (value) {
    value->FHover = true;
    if (hint && FShowHint && !IsBlank(value->Hint()) && value != FShapeDrag &&
        !dynamic_cast<TWyShapeInfoWindow*>(value)) {
      hint->SetPosition(value->Latitude(), value->Longitude());
      hint->SetContent(value->Hint());
      hint->SetYAnchor(-(value->Height() + 10));
      // Above every other group.
      if (TWyShapes* hintGroup = FOwner->HintShapes()) {
        int32_t top = INT32_MIN;
        for (TWyShapes* group : FOwner->Groups())
          if (group != hintGroup) top = std::max(top, group->Zindex());
        if (top != INT32_MIN && top < INT32_MAX) hintGroup->SetZindex(top + 1);
      }
      hint->SetVisible(true);
      auto hide = std::make_unique<TWyAnimationAutoHide>();
      hide->SetMaxTiming(2000);
      hint->SetAnimation(std::move(hide));
    }
  }
  DoUpdate(this);
}

void TWyShapes::SetMaxZoom(uint8_t v) {
  if (v == FMaxZoom) return;
  FMaxZoom = v;
  FModified = true;
  DoUpdate(this);
}

void TWyShapes::SetMinZoom(uint8_t v) {
  if (v == FMinZoom) return;
  FMinZoom = v;
  FModified = true;
  DoUpdate(this);
}

void TWyShapes::SetZindex(int32_t v) {
  if (v == FZIndex) return;
  FZIndex = v;
  if (FOwner) FOwner->UpdateZIndexShapes();
  FModified = true;
  DoUpdate(this);
}

void TWyShapes::SetVisible(bool v) {
  FVisible = v;
  FModified = true;
  DoUpdate(this);
}

void TWyShapes::SetLoading(bool v) {
  if (v == FisLoading) return;
  FisLoading = v;
  FModified = true;
  DoUpdate(this);
}

void TWyShapes::UnlinkRefs(TWyShape* shape) {
  if (TWyShapesGroup* registry = FOwner) {
    if (!registry->FDestroying) {
      if (registry->FShapeHover == shape) registry->SetShapeHover(nullptr);
      if (registry->FShapeDrag == shape) registry->SetShapeDrag(nullptr);
    }
    if (registry->FShapeHover == shape) registry->FShapeHover = nullptr;
    if (registry->FShapeDrag == shape) registry->FShapeDrag = nullptr;
    if (registry->FHintWindow == shape) registry->FHintWindow = nullptr;
  }
  if (FShapeHover == shape) FShapeHover = nullptr;
  if (FShapeDrag == shape) FShapeDrag = nullptr;
}

void TWyShapes::Unlink(TWyShape* shape) {
  if (!shape) return;
  UnlinkRefs(shape);
  auto it = std::find(FShapesDraw.begin(), FShapesDraw.end(), shape);
  if (it != FShapesDraw.end()) {
    if (FInDraw) {
      *it = nullptr;
      FDrawHasHoles = true;
    } else {
      FShapesDraw.erase(it);
    }
  }
  if (shape->FInAnimList) {
    TGlobalMapLockGuard lock(GlobalMapLock());
    RemoveAnimated(shape);
  }
}

void TWyShapes::UnlinkAll(const std::vector<std::unique_ptr<TWyShape>>& shapes) {
  // One pass over the draw and animation lists for the whole batch: freeing
  // a list of n shapes one Unlink at a time would cost n searches of them.
  if (shapes.empty()) return;
  std::unordered_set<const TWyShape*> doomed;
  doomed.reserve(shapes.size());
  bool animated = false;
  for (const auto& shape : shapes) {
    UnlinkRefs(shape.get());
    doomed.insert(shape.get());
    animated = animated || shape->FInAnimList;
  }
  if (FInDraw) {
    for (TWyShape*& entry : FShapesDraw)
      if (entry && doomed.count(entry)) {
        entry = nullptr;
        FDrawHasHoles = true;
      }
  } else {
    FShapesDraw.erase(std::remove_if(FShapesDraw.begin(), FShapesDraw.end(),
                                     [&](TWyShape* entry) { return doomed.count(entry) > 0; }),
                      FShapesDraw.end());
  }
  if (animated) {
    TGlobalMapLockGuard lock(GlobalMapLock());
    FShapesAnim.erase(std::remove_if(FShapesAnim.begin(), FShapesAnim.end(),
                                     [&](TWyShape* entry) { return doomed.count(entry) > 0; }),
                      FShapesAnim.end());
    for (const auto& shape : shapes) shape->FInAnimList = false;
  }
}

void TWyShapes::AddAnimated(TWyShape* shape) {
  FShapesAnim.push_back(shape);
}

void TWyShapes::RemoveAnimated(TWyShape* shape) {
  auto it = std::find(FShapesAnim.begin(), FShapesAnim.end(), shape);
  if (it != FShapesAnim.end()) FShapesAnim.erase(it);
  shape->FInAnimList = false;
}

// ===========================================================================
// TWyShapesGroup

TWyShapesGroup::TWyShapesGroup(TWyCanvas* Canvas, TWyShapesHost* Parent, TWyWorldInfo* World,
                               TNotifyEvent EvtUpdate, TNotifyEvent EvtLoad, TOnShapeMove EvtMove)
    : FWyCanvas(Canvas),
      FParent(Parent),
      FParentFast(Parent),
      FWorld(World),
      FEvent(std::move(EvtUpdate)),
      FOnLoad(std::move(EvtLoad)),
      FOnMove(std::move(EvtMove)) {
  NewGroup("");
  UpdateZIndexShapes();
  FGraphicPool =
      AttachGraphicPool([this](TThreadGraphicPool&) { GraphicPoolNotify(); }, FSharedToken);
  FHintShapes = getShapes("_hint_");
  FHintShapes->SetSerialize(false);
  TWyShapeInfoWindowList* windows = FHintShapes->InfoWindows();
  FHintWindow = windows->Items(windows->Add(0, 0, ""));
  FHintWindow->SetCloseButton(false);
  FHintWindow->SetContentFlags(TWyShapeInfoWindow::ckqAlignCenter);
  FHintWindow->SetColor(0x00DCF5F5);
  FHintWindow->SetStyle(iwsRectangle);
  FHintWindow->SetZIndex(10000);
  // Hidden until a hint is shown: an empty box at (0, 0) helps nobody.
  FHintWindow->SetVisible(false);
  FHintShapes->SetZindex(10000);
}

TWyShapesGroup::~TWyShapesGroup() {
  SetParent(nullptr);
  // No listener runs once this returns.
  UseGraphicPoolNone();
  FDestroying = true;
  TGlobalMapLockGuard lock(GlobalMapLock());
  std::lock_guard<std::recursive_mutex> guard(FListLock);
  FZIndexShapes.clear();
  for (auto& group : FGroups) group.reset();
  FGroups.clear();
  FByName.clear();
  FHintShapes = nullptr;
  FHintWindow = nullptr;
}

void TWyShapesGroup::UseGraphicPoolNone() {
  if (FOwnPool) {
    FOwnPool->Detach(FOwnPoolListener);
    FOwnPool = nullptr;
    FOwnPoolListener = 0;
  }
  if (FSharedToken != 0) DetachGraphicPool(FSharedToken);
  FGraphicPool = nullptr;
}

void TWyShapesGroup::UseGraphicPool(TThreadGraphicPool* pool) {
  UseGraphicPoolNone();
  auto listener = [this](TThreadGraphicPool&) { GraphicPoolNotify(); };
  if (pool) {
    FOwnPool = pool;
    FOwnPoolListener = pool->Attach(listener);
    FGraphicPool = pool;
  } else {
    FGraphicPool = AttachGraphicPool(listener, FSharedToken);
  }
}

TWyShapes* TWyShapesGroup::NewGroup(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(FListLock);
  auto group = std::make_unique<TWyShapes>(this, FEvent, FWorld);
  group->FName = name;
  group->OnLoad = FOnLoad;
  group->OnMove = FOnMove;
  TWyShapes* result = group.get();
  FGroups.push_back(std::move(group));
  FByName[name] = result;
  return result;
}

TWyShapes* TWyShapesGroup::getShapes(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(FListLock);
  const std::string key = LowerAZ(name);
  auto it = FByName.find(key);
  if (it != FByName.end()) return it->second;
  TWyShapes* group = NewGroup(key);
  UpdateZIndexShapes();
  return group;
}

std::vector<TWyShapes*> TWyShapesGroup::Groups() const {
  std::lock_guard<std::recursive_mutex> guard(FListLock);
  std::vector<TWyShapes*> groups;
  groups.reserve(FGroups.size());
  for (const auto& group : FGroups)
    if (group) groups.push_back(group.get());
  return groups;
}

TWyShape* TWyShapesGroup::Add(TNativeShape Shape, double Lat, double Lng,
                              const std::string& GroupName) {
  TWyShapes* group = getShapes(GroupName);
  switch (Shape) {
    case nsPoi:
      return group->Pois()->Items(group->Pois()->Add(Lat, Lng));
    case nsMarker:
      return group->Markers()->Items(group->Markers()->Add(Lat, Lng));
    case nsPolygon:
      return group->Polygones()->Items(group->Polygones()->Add(Lat, Lng));
    default:
      return group->Lines()->Items(group->Lines()->Add(Lat, Lng));
  }
}

void TWyShapesGroup::Remove(TWyShape* Shape) {
  if (!Shape) return;
  if (FShapeHover == Shape) SetShapeHover(nullptr);
  if (FShapeDrag == Shape) SetShapeDrag(nullptr);
  if (TWyShapeList* list = Shape->ParentList()) list->Delete(list->IndexOf(Shape));
}

void TWyShapesGroup::UpdateZIndexShapes() {
  if (FInDraw) {
    FZOrderStale = true;
    return;
  }
  FZOrderStale = false;
  FZIndexShapes = Groups();
  std::stable_sort(
      FZIndexShapes.begin(), FZIndexShapes.end(),
      [](const TWyShapes* a, const TWyShapes* b) { return a->Zindex() < b->Zindex(); });
}

void TWyShapesGroup::ShapesToDraw() {
  if (FInDraw) return;
  int32_t count = 0;
  for (TWyShapes* group : Groups())
    if (group->Visible()) count += group->BuildDrawList();
  FDrawCount = count;
}

void TWyShapesGroup::Draw() {
  if (FInDraw) throw EShapeAssertion("TWyShapesGroup.Draw");
  // Every change of a group's z-index and every new group rebuild the
  // order at once, except while drawing.
  if (FZOrderStale) UpdateZIndexShapes();
  TFlagScope drawing(FInDraw);
  TGlobalMapLockGuard lock(GlobalMapLock());
  // The order stays as it is while drawing, and groups live as long as the
  // registry: no copy of it is needed.
  for (TWyShapes* group : FZIndexShapes)
    if (group->Visible()) group->Draw();
}

TWyShape* TWyShapesGroup::ShapeByHover(int32_t iX, int32_t iY) {
  if (FInDraw) return nullptr;
  TWyShape* found = nullptr;
  TWyShapes* winner = nullptr;
  const std::vector<TWyShapes*> order = FZIndexShapes;
  // The topmost group with a clickable shape there wins; when no group has
  // one, the topmost group with any shape there.
  for (size_t i = order.size(); i-- > 0;) {
    if (!order[i]->Visible()) continue;
    TWyShape* hit = order[i]->HitTest(iX, iY);
    if (!hit) continue;
    if (hit->Clickable()) {
      found = hit;
      winner = order[i];
      break;
    }
    if (!found) {
      found = hit;
      winner = order[i];
    }
  }
  // Only the winning group keeps a hovered shape: a shape of a lower group
  // under the winner must not keep its hover colour. The others let go
  // first, so that hiding their hint does not hide the one the winner may
  // show. Groups inside an update are left as they are.
  for (TWyShapes* group : order)
    if (group != winner && group->UpdateCount() == 0 && group->ShapeHover())
      group->SetShapeHover(nullptr);
  if (winner) winner->SetShapeHover(found);
  // An auxiliary shape (a wall, a handle) stands for the shape it belongs to.
  if (found && !found->Serialize())
    if (auto* owner = dynamic_cast<TWyShape*>(found->Item())) found = owner;
  FShapeHover = found;
  return found;
}

bool TWyShapesGroup::HandledClick(TWyShape* sender, int32_t _x, int32_t _y) {
  return sender && sender->Clickable() && sender->HandleClick(_x, _y);
}

void TWyShapesGroup::BeginUpdate() {
  const std::vector<TWyShapes*> groups = Groups();
  for (size_t i = groups.size(); i-- > 0;) groups[i]->BeginUpdate();
}

void TWyShapesGroup::EndUpdate() {
  const std::vector<TWyShapes*> groups = Groups();
  for (size_t i = groups.size(); i-- > 0;) groups[i]->EndUpdate();
}

bool TWyShapesGroup::isBeginUpdate() const {
  for (TWyShapes* group : Groups())
    if (group->UpdateCount() > 0) return true;
  return false;
}

void TWyShapesGroup::PreLoadGraphic(const std::string& Filename) {
  if (FGraphicPool) FGraphicPool->Add(Filename);
}

QImage TWyShapesGroup::GetGraphic(const std::string& Filename) {
  return FGraphicPool ? FGraphicPool->GetGraphic(Filename) : QImage();
}

TWyShapesHost* TWyShapesGroup::Parent() const {
  return FParentFast.load(std::memory_order_acquire);
}

void TWyShapesGroup::SetParent(TWyShapesHost* value) {
  std::lock_guard<std::mutex> guard(FParentLock);
  FParent = value;
  FParentFast.store(value, std::memory_order_release);
}

void TWyShapesGroup::RequestRepaint() {
  std::lock_guard<std::mutex> guard(FParentLock);
  if (FParent) FParent->RequestRepaint();
}

// Runs on the pool's thread. The pool is shared by every map of the
// process, so a registry without a parent window simply ignores the news;
// leaving the pool (and stopping it when this was its last user) is the
// destructor's business.
void TWyShapesGroup::GraphicPoolNotify() {
  RequestRepaint();
}

void TWyShapesGroup::SetShapeHover(TWyShape* value) {
  if (value == FShapeHover) return;
  if (FShapeHover && FShapeHover->Group()) FShapeHover->Group()->SetShapeHover(nullptr);
  FShapeHover = value;
  if (value && value->Group()) value->Group()->SetShapeHover(value);
}

void TWyShapesGroup::SetShapeDrag(TWyShape* value) {
  if (value == FShapeDrag) return;
  if (FShapeDrag && FShapeDrag->Group()) FShapeDrag->Group()->SetShapeDrag(nullptr);
  FShapeDrag = value;
  if (value && value->Group()) value->Group()->SetShapeDrag(value);
}

int32_t TWyShapesGroup::AnimationShapesCount() {
  int32_t count = 0;
  TGlobalMapLockGuard lock(GlobalMapLock());
  for (TWyShapes* group : FZIndexShapes)
    if (group->Visible()) count += static_cast<int32_t>(group->FShapesAnim.size());
  return count;
}

// One tick. The animated shapes of the visible groups are taken as a
// snapshot (highest group first, last animated shape first); each step runs
// under GlobalMapLock, but the application's handlers run after it is
// released, and everything a handler may have freed or replaced is checked
// before it is touched again. An animation that ends is removed from its
// shape only if the shape still holds it (an end handler may have started
// a new one).
void TWyShapesGroup::AnimationShapes() {
  if (FInDraw || AnimationShapesCount() == 0) return;
  const uint32_t now = TickCount();
  struct TStep {
    std::weak_ptr<char> ShapeLife;
    std::weak_ptr<char> AnimLife;
    TWyShape* Shape;
    TWyAnimationShape* Anim;
  };
  std::vector<TStep> steps;
  BeginUpdate();
  {
    TGlobalMapLockGuard lock(GlobalMapLock());
    UpdateZIndexShapes();
    for (size_t g = FZIndexShapes.size(); g-- > 0;) {
      TWyShapes* group = FZIndexShapes[g];
      if (!group->Visible()) continue;
      for (size_t i = group->FShapesAnim.size(); i-- > 0;) {
        TWyShape* shape = group->FShapesAnim[i];
        if (TWyAnimationShape* anim = shape->Animation())
          steps.push_back({shape->LifeToken(), anim->LifeToken(), shape, anim});
      }
    }
  }
  for (const TStep& step : steps) {
    TNotifyEvent onAnimation;
    TNotifyEvent onEnd;
    bool ended = false;
    {
      TGlobalMapLockGuard lock(GlobalMapLock());
      if (step.ShapeLife.expired() || step.AnimLife.expired()) continue;
      if (step.Shape->Animation() != step.Anim) continue;
      TWyAnimationShape* anim = step.Anim;
      if (TickElapsed(now, anim->LastTick()) <= anim->Timing()) continue;
      anim->Animate();
      anim->SetLastTick(now);
      if (anim->MaxAnimation() != 0) {
        anim->SetMaxAnimation(anim->MaxAnimation() - 1);
        ended = anim->MaxAnimation() == 0;
      }
      onAnimation = anim->OnAnimation;
      if (ended) onEnd = anim->OnEndAnimation;
    }
    if (onAnimation && !step.ShapeLife.expired()) onAnimation(step.Shape);
    if (!ended) continue;
    if (onEnd && !step.ShapeLife.expired()) onEnd(step.Shape);
    if (!step.ShapeLife.expired() && !step.AnimLife.expired() &&
        step.Shape->Animation() == step.Anim)
      step.Shape->SetAnimation(nullptr);
  }
  EndUpdate();
}

}  // namespace wy

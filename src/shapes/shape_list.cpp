#include "shapes/shape_list.h"

#include <algorithm>

#include "geo/geodesy.h"
#include "shapes/shape.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_line.h"
#include "shapes/shape_marker.h"
#include "shapes/shape_poi.h"
#include "shapes/shapes_group.h"

namespace wy {

TWyShapeList::TWyShapeList(TWyShapes* ParentShapes, TWyWorldInfo* dWorld)
    : FParent(ParentShapes), FWorldInfo(dWorld) {}

TWyShapeList::~TWyShapeList() {
  // Free the shapes while the list is still whole: their destructors look
  // the group up through it.
  if (FParent) FParent->UnlinkAll(FList);
  while (!FList.empty()) {
    const int32_t last = Count() - 1;
    std::unique_ptr<TWyShape> doomed = std::move(FList[last]);
    FList.pop_back();
    doomed.reset();
  }
  FNames.clear();
}

TWyShape* TWyShapeList::ShapeByName(const std::string& name) const {
  auto it = FNames.find(LowerAZ(name));
  return it == FNames.end() ? nullptr : it->second;
}

void TWyShapeList::Delete(int32_t index) {
  if (index < 0 || index >= Count()) return;
  TWyShape* shape = FList[index].get();
  if (FParent) FParent->Unlink(shape);
  if (!shape->FName.empty()) UnindexName(shape->FName, shape);
  std::unique_ptr<TWyShape> doomed = std::move(FList[index]);
  FList.erase(FList.begin() + index);
  --FCount;
  doomed.reset();
  Update();
  getBounds();
}

void TWyShapeList::Update() {
  if (FParent) FParent->DoUpdate(this);
}

void TWyShapeList::Clear() {
  // Unlink everything first, then free: a destructor may look at the
  // group, which must not list a shape that is already gone.
  if (FParent) FParent->UnlinkAll(FList);
  FNames.clear();
  std::vector<std::unique_ptr<TWyShape>> doomed;
  doomed.swap(FList);
  FCount = 0;
  Fid = 0;
  doomed.clear();
  Update();
}

void TWyShapeList::ViewportBounds() {
  if (!FWorldInfo) return;
  FLatNE = FWorldInfo->NorthEastLatitude();
  FLngNE = FWorldInfo->NorthEastLongitude();
  FLatSW = FWorldInfo->SouthWestLatitude();
  FLngSW = FWorldInfo->SouthWestLongitude();
}

// Point lists: the viewport when empty; around a single shape, the box of a
// 0.5 km circle (whether it is visible or not); otherwise the box of the
// visible shapes, or the viewport when none is visible.
void TWyShapeList::ComputeBounds() {
  ViewportBounds();
  if (FList.empty()) return;
  if (FList.size() == 1) {
    boundingCoordinates(FList[0]->FLat, FList[0]->FLng, 0.5, FLatSW, FLngSW, FLatNE, FLngNE);
    return;
  }
  bool first = true;
  for (auto& shape : FList) {
    if (!shape->GetVisible()) continue;
    if (first) {
      FLatSW = FLatNE = shape->FLat;
      FLngSW = FLngNE = shape->FLng;
      first = false;
      continue;
    }
    FLatSW = std::min(FLatSW, shape->FLat);
    FLatNE = std::max(FLatNE, shape->FLat);
    FLngSW = std::min(FLngSW, shape->FLng);
    FLngNE = std::max(FLngNE, shape->FLng);
  }
}

void TWyShapeList::getBounds() {
  ComputeBounds();
  if (FParent) FParent->UnionBounds();
}

TWyShape* TWyShapeList::Items(int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return FList[index].get();
}

int32_t TWyShapeList::IndexOf(const TWyShape* item) const {
  for (size_t i = 0; i < FList.size(); ++i)
    if (FList[i].get() == item) return static_cast<int32_t>(i);
  return -1;
}

int32_t TWyShapeList::AddItem(std::unique_ptr<TWyShape> value) {
  if (!value) return -1;
  TWyShape* shape = value.get();
  shape->FParentList = this;
  if (!shape->FWorldInfo) shape->FWorldInfo = FWorldInfo;
  FList.push_back(std::move(value));
  FCount = Count() - 1;
  if (!shape->FName.empty() && !NameTaken(shape->FName)) IndexName(shape->FName, shape);
  return FCount;
}

TWyShape* TWyShapeList::ShapeByLatLng(double Lat, double Lng) const {
  for (size_t i = FList.size(); i-- > 0;)
    if (FList[i]->FLat == Lat && FList[i]->FLng == Lng) return FList[i].get();
  return nullptr;
}

bool TWyShapeList::Visible() const {
  return FVisible && (!FParent || FParent->Visible());
}

void TWyShapeList::SetVisible(bool value) {
  FVisible = value;
  Update();
}

void TWyShapeList::PlaceNew(TWyShape& shape, double lat, double lng) {
  shape.SetPosition(lat, lng);
}

int32_t TWyShapeList::AddShape(double lat, double lng) {
  std::unique_ptr<TWyShape> created = NewShape();
  TWyShape* shape = created.get();
  shape->FReady = false;
  shape->FParentList = this;
  shape->FWorldInfo = FWorldInfo;
  FList.push_back(std::move(created));
  FCount = Count() - 1;
  // No application handler runs while the shape is not ready, so the shape
  // stays where it was appended.
  PlaceNew(*shape, lat, lng);
  shape->FReady = true;
  const int32_t index = FCount;
  Update();
  return index;
}

bool TWyShapeList::NameTaken(const std::string& name) const {
  return FNames.count(LowerAZ(name)) != 0;
}

void TWyShapeList::IndexName(const std::string& name, TWyShape* shape) {
  FNames.emplace(LowerAZ(name), shape);
}

void TWyShapeList::UnindexName(const std::string& name, const TWyShape* shape) {
  auto it = FNames.find(LowerAZ(name));
  if (it != FNames.end() && it->second == shape) FNames.erase(it);
}

// ---- POIs

std::unique_ptr<TWyShape> TWyShapePOIList::NewShape() {
  return std::make_unique<TWyShapePOI>(this);
}

TWyShapePOI* TWyShapePOIList::Items(int32_t index) const {
  return static_cast<TWyShapePOI*>(TWyShapeList::Items(index));
}

void TWyShapePOIList::Draw() {
  for (int32_t i = 0; i < Count(); ++i) FList[i]->Draw();
}

// ---- markers (drawing of icons in shape_marker.cpp)

std::unique_ptr<TWyShape> TWyShapeMarkerList::NewShape() {
  return std::make_unique<TWyShapeMarker>(this);
}

TWyShapeMarker* TWyShapeMarkerList::Items(int32_t index) const {
  return static_cast<TWyShapeMarker*>(TWyShapeList::Items(index));
}

void TWyShapeMarkerList::Draw() {
  for (int32_t i = 0; i < Count(); ++i) FList[i]->Draw();
}

// ---- lines and polygons

std::unique_ptr<TWyShape> TWyShapeLineList::NewShape() {
  return std::make_unique<TWyShapeLine>(this);
}

TWyShapeLine* TWyShapeLineList::Items(int32_t index) const {
  return static_cast<TWyShapeLine*>(TWyShapeList::Items(index));
}

void TWyShapeLineList::Draw() {
  for (int32_t i = 0; i < Count(); ++i) FList[i]->Draw();
}

void TWyShapeLineList::PlaceNew(TWyShape& shape, double lat, double lng) {
  static_cast<TWyShapeLine&>(shape).Add(lat, lng, 0);
}

// Each line's own bounds first (which projects its points); the list's
// bounds hold all of them. An empty list takes the viewport.
void TWyShapeLineList::ComputeBounds() {
  ViewportBounds();
  if (FList.empty()) return;
  bool first = true;
  for (auto& item : FList) {
    auto* line = static_cast<TWyShapeLine*>(item.get());
    line->getBounds();
    if (line->Count() == 0) continue;
    if (first) {
      FLatSW = line->SouthWestLatitude();
      FLngSW = line->SouthWestLongitude();
      FLatNE = line->NorthEastLatitude();
      FLngNE = line->NorthEastLongitude();
      first = false;
      continue;
    }
    FLatSW = std::min(FLatSW, line->SouthWestLatitude());
    FLngSW = std::min(FLngSW, line->SouthWestLongitude());
    FLatNE = std::max(FLatNE, line->NorthEastLatitude());
    FLngNE = std::max(FLngNE, line->NorthEastLongitude());
  }
}

std::unique_ptr<TWyShape> TWyShapePolygoneList::NewShape() {
  return std::make_unique<TWyShapePolygone>(this);
}

TWyShapePolygone* TWyShapePolygoneList::Items(int32_t index) const {
  return static_cast<TWyShapePolygone*>(TWyShapeList::Items(index));
}

// ---- info windows

std::unique_ptr<TWyShape> TWyShapeInfoWindowList::NewShape() {
  return std::make_unique<TWyShapeInfoWindow>(this);
}

int32_t TWyShapeInfoWindowList::Add(double dLatitude, double dLongitude, const std::string& Value) {
  FPendingContent = Value;
  const int32_t index = AddShape(dLatitude, dLongitude);
  FPendingContent.clear();
  return index;
}

void TWyShapeInfoWindowList::PlaceNew(TWyShape& shape, double lat, double lng) {
  shape.SetPosition(lat, lng);
  static_cast<TWyShapeInfoWindow&>(shape).SetContent(FPendingContent);
}

TWyShapeInfoWindow* TWyShapeInfoWindowList::Items(int32_t index) const {
  return static_cast<TWyShapeInfoWindow*>(TWyShapeList::Items(index));
}

void TWyShapeInfoWindowList::Draw() {
  for (int32_t i = 0; i < Count(); ++i) FList[i]->Draw();
}

// Info windows keep no bounds of their own: each recomputes its screen box.
void TWyShapeInfoWindowList::ComputeBounds() {
  for (auto& window : FList) window->getBounds();
}

}  // namespace wy

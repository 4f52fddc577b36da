#include "map/native_layer.h"

#include "map/detail/fire_event.h"
#include "map/map_control.h"
#include "shapes/shape.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

// The map sends its shape messages (click, right click) with the shape as
// sender, so the layer's handlers get the shape itself.
TWyShape* AsShape(void* sender) {
  return static_cast<TWyShape*>(sender);
}

}  // namespace

TWyNativeLayer::TWyNativeLayer(TVuroduDavControl* _FMap, const std::string& Name) : FMap(_FMap) {
  if (!_FMap) return;
  FObserver = std::make_unique<TVuroduDavObserver>();
  FObserver->SetMinZoom(0);
  FObserver->SetMaxZoom(23);
  FObserver->OnMapEndMove = [this](void* s) { MapEndMove(s); };
  FObserver->OnMapShapeClick = [this](void* s) { ShapeClick(s); };
  FObserver->OnMapShapeRightClick = [this](void* s) { ShapeRightClick(s); };
  FObserver->OnMapMouseMove = [this](void* s) { MouseMove(s); };
  FObserver->OnMapMouseClick = [this](void* s) { MouseClick(s); };
  FShapes = _FMap->ShapesGroup().getShapes(Name);
  FShapes->SetVisible(false);
}

TWyNativeLayer::~TWyNativeLayer() {
  if (MapAlive()) FMap->Detach(FObserver.get());
}

bool TWyNativeLayer::MapAlive() const {
  return FMap && FObserver && !FObserver->MapFree();
}

TVuroduDavControl* TWyNativeLayer::Map() const {
  return MapAlive() ? FMap.data() : nullptr;
}

TWyShapes* TWyNativeLayer::Shapes() const {
  return MapAlive() ? FShapes : nullptr;
}

bool TWyNativeLayer::Visible() const {
  return MapAlive() && FShapes->Visible();
}

void TWyNativeLayer::SetVisible(bool value) {
  if (!MapAlive()) return;
  FShapes->SetVisible(value);
  if (value) {
    FMap->Attach(FObserver.get());
  } else {
    FMap->Detach(FObserver.get());
  }
}

uint8_t TWyNativeLayer::MinZoom() const {
  return FObserver ? FObserver->MinZoom() : 0;
}
void TWyNativeLayer::SetMinZoom(uint8_t value) {
  if (FObserver) FObserver->SetMinZoom(value);
}
uint8_t TWyNativeLayer::MaxZoom() const {
  return FObserver ? FObserver->MaxZoom() : 23;
}
void TWyNativeLayer::SetMaxZoom(uint8_t value) {
  if (FObserver) FObserver->SetMaxZoom(value);
}

void TWyNativeLayer::MapEndMove(void*) {}

void TWyNativeLayer::ShapeClick(void* Sender) {
  Fire(OnShapeClick, this, AsShape(Sender));
}

void TWyNativeLayer::ShapeRightClick(void* Sender) {
  Fire(OnShapeRightClick, this, AsShape(Sender));
}

void TWyNativeLayer::MouseMove(void*) {}

void TWyNativeLayer::MouseClick(void*) {}

}  // namespace wy

#pragma once
// TWyNativeLayer: the base of layers that put their own shapes on a map and
// follow it (for example a photo layer that asks a service for what lies in
// the view after every move). A layer owns an observer and uses one named
// shape group of the map; the group stays with the map when the layer goes.
//
// A new layer is hidden and deaf: its group is invisible and its observer
// is not attached until Visible is set to true. Subclasses override the
// virtual reactions and call the base SetVisible when they override it.
//
// The layer keeps a guarded pointer to the map, so it may outlive the map
// whether it was visible (told by omMapFree) or hidden (the pointer is
// cleared when the widget goes). Window thread only.

#include <QPointer>
#include <cstdint>
#include <memory>
#include <string>

#include <functional>
#include "geo/object.h"
#include "map/map_observer.h"
#include "shapes/shape_types.h"

namespace wy {

class TVuroduDavControl;
class TWyShapes;
class TWyShape;

class TWyNativeLayer : public TObject {
 public:
  using TOnShapeMouseEvent = std::function<void(TObject* Sender, TWyShape* Item)>;
  using TNotifyEvent = std::function<void(TObject* Sender)>;

  // With a null map nothing is set up (the layer stays inert).
  TWyNativeLayer(TVuroduDavControl* _FMap, const std::string& Name);
  ~TWyNativeLayer() override;
  TWyNativeLayer(const TWyNativeLayer&) = delete;
  TWyNativeLayer& operator=(const TWyNativeLayer&) = delete;

  // The map while it exists, else null.
  TVuroduDavControl* Map() const;
  // The layer's group, null without a map or once the map is gone.
  TWyShapes* Shapes() const;
  // The group's visibility; false without a map.
  bool Visible() const;
  // Shows or hides the group and attaches or detaches the observer.
  virtual void SetVisible(bool value);
  uint8_t MinZoom() const;
  void SetMinZoom(uint8_t value);
  uint8_t MaxZoom() const;
  void SetMaxZoom(uint8_t value);

  TOnShapeMouseEvent OnShapeClick;
  TOnShapeMouseEvent OnShapeRightClick;
  TNotifyEvent OnMouseClick;  // for subclasses
  TNotifyEvent OnMouseMove;   // for subclasses

 protected:
  // Reactions to the map, called through the observer.
  virtual void MapEndMove(void* Sender);
  // Raises OnShapeClick(layer, shape) when the sender is a shape.
  virtual void ShapeClick(void* Sender);
  virtual void ShapeRightClick(void* Sender);
  virtual void MouseMove(void* Sender);
  virtual void MouseClick(void* Sender);

 private:
  bool MapAlive() const;

  QPointer<TVuroduDavControl> FMap;
  TWyShapes* FShapes = nullptr;  // kept by the map's registry
  std::unique_ptr<TVuroduDavObserver> FObserver;
};

}  // namespace wy

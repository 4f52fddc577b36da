#pragma once
// TMapInputHandler: the map's pointer, wheel and key input as one state
// machine. The widget hands it Qt's events; through the map's interface for
// it (map_input_target.h) it moves the map, drags shapes, routes hover,
// clicks and double clicks to the shapes or the map's events, zooms with the
// wheel and pans and zooms with the keys. Window thread only.
//
//   idle --press--> pressed (or dragging-shape when the press takes a
//                   draggable shape)
//   pressed --move, left button--> dragging-map, or held when the shape
//                   under the pointer could be dragged but was not taken
//                   (the map does not move under it for the rest of the
//                   press)
//   any --release--> idle
//
// Qt reports a double click as press, release, double-click, release: the
// double click runs its own step and then stands for the second press,
// whose release raises no mouse-up and no click (the double click pending).

#include <QPoint>
#include <cstdint>

#include "geo/world_info.h"

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

namespace wy {

class TMapInputTarget;
class TWyShape;

enum TPointerState : uint8_t {
  ptIdle,
  ptPressed,
  ptDraggingMap,
  ptDraggingShape,
  ptHeld,
};

class TMapInputHandler {
 public:
  explicit TMapInputHandler(TMapInputTarget& map) : FMap(map) {}

  void Press(QMouseEvent* event);
  void Move(QMouseEvent* event);
  void Release(QMouseEvent* event);
  void DoubleClick(QMouseEvent* event);
  // True when the wheel event went to the map (the pointer strictly inside).
  // Steps add up, a level per 120 units of angle, so the many small steps
  // of a touchpad make one level per 120 as a mouse's notch does.
  bool Wheel(QWheelEvent* event);
  // True when the key panned or zoomed the map.
  bool Key(QKeyEvent* event);

  TPointerState State() const { return FState; }
  // A button is down on the map (any state but idle).
  bool ButtonDown() const { return FState != ptIdle; }
  // The pointer's coordinate and world pixel, updated on every move.
  TLatLng MouseLatLng() const { return FMouseLatLng; }
  double WorldX() const { return FWorldX; }
  double WorldY() const { return FWorldY; }
  // The position of the last press (drag origin of a double click).
  QPoint LastPress() const { return FLast; }

 private:
  void PressAt(const QPoint& at);
  void HoverMove(const QPoint& at);
  void HoverMoveShapes(const QPoint& at);
  void DragMap(const QPoint& at);
  void DragShape(TWyShape* shape, const QPoint& at);
  void EndDrags(TPointerState state, const QPoint& at);
  void ReleaseClick(int button, const QPoint& at, const TLatLng& c);

  TMapInputTarget& FMap;
  TPointerState FState = ptIdle;
  // The press under way is the second of a double click.
  bool FDoubleClickPending = false;
  QPoint FDown;  // where the button went down
  QPoint FLast;  // last position the map followed
  TLatLng FMouseLatLng;
  double FWorldX = 0;
  double FWorldY = 0;
  // Wheel angle not yet turned into a level (under 120 either way).
  int FWheelRest = 0;
  // The pointer is over the attribution's link.
  bool FOverLink = false;
};

}  // namespace wy

#pragma once
// TMapInputTarget: what the input handler may do to the map it serves. The
// map implements it; the handler never reaches into the map's state.

#include <QPoint>
#include <QPointF>
#include <QSize>
#include <Qt>
#include <cstdint>
#include <string>

#include "geo/world_info.h"
#include "shapes/shape_types.h"

class QRect;

namespace wy {

class TMapViewport;
class TObject;
class TWyShape;
class TWyShapesGroup;

// Pointer events of the map itself (on empty map).
enum TMapPointerEvent : uint8_t {
  mpeDown,
  mpeUp,
  mpeMove,
  mpeClick,
  mpeRightClick,
  mpeDoubleClick,
  mpeDragStart,
  mpeDrag,
  mpeDragEnd,
};

// The map's own handlers of shape events (a shape's own handler comes
// first).
enum TMapShapeEvent : uint8_t {
  mseDown,
  mseUp,
  mseClick,
  mseRightClick,
  mseDoubleClick,
  mseOver,
  mseOut,
};

class TMapInputTarget {
 public:
  virtual ~TMapInputTarget() = default;

  // --- Options and state
  virtual bool Draggable() const = 0;
  virtual bool DblClickZoom() const = 0;
  virtual bool MouseWheelZoom() const = 0;
  virtual bool ZoomAtPointer() const = 0;
  // The map is going away: input is ignored.
  virtual bool Closing() const = 0;

  // --- The view
  // Conversions between view pixels and coordinates.
  virtual TMapViewport& View() = 0;
  // Size of the view in its own pixels.
  virtual QSize ViewSize() const = 0;
  virtual uint8_t Zoom() const = 0;
  // A drag step: the view moves by (dx, dy) pixels.
  virtual void ShiftView(int64_t dx, int64_t dy) = 0;
  // The release of a map drag: the last stretch, then everything drawn.
  virtual void EndMapDrag(int64_t dx, int64_t dy) = 0;
  virtual void SetZoom(uint8_t value) = 0;
  // A zoom that keeps the point under the view pixel in place.
  virtual void ZoomAbout(uint8_t value, const QPoint& at) = 0;
  virtual void CenterOn(double Lat, double Lng) = 0;
  // One step of an animated pan towards the coordinate.
  virtual void StepTowards(double Lat, double Lng) = 0;
  // Observers and shapes are told the view stopped moving.
  virtual void MoveEnded() = 0;
  // The frame is composed again and shown at once.
  virtual void Redraw() = 0;

  // --- Shapes and the screen
  virtual TWyShapesGroup& Shapes() = 0;
  // The pointer's shape over the view.
  virtual void SetPointer(Qt::CursorShape shape) = 0;
  // The box (view pixels) is shown again at the next paint.
  virtual void Update(const QRect& box) = 0;
  // A screen position in view pixels.
  virtual QPoint FromGlobal(const QPointF& global) const = 0;
  // The page the attribution links to under a view pixel; empty when none.
  virtual std::string AttributionLinkAt(const QPoint& at) const = 0;

  // --- Events
  // The sender the map's events name.
  virtual TObject* Sender() = 0;
  virtual void NotifyObservers(uint32_t msg, void* item = nullptr) = 0;
  // Raises the map's pointer event; the coordinate is unused by the drag
  // events. False when the application has no handler for it.
  virtual bool FireMapEvent(TMapPointerEvent kind, const TLatLng& at) = 0;
  // The map's handler of a shape event (empty when none).
  virtual const TOnShapeMouseEvent& MapShapeHandler(TMapShapeEvent kind) const = 0;
  virtual const TOnShapeMove& MapShapeDragHandler() const = 0;
  // Raises the map's shape-drag-end event for the shape.
  virtual void FireShapeDragEnd(TWyShape* shape) = 0;
  // A click on the attribution's link.
  virtual void FireAttributionClick(const std::string& url) = 0;
};

}  // namespace wy

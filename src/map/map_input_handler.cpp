#include "map/detail/map_input_handler.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "map/detail/fire_event.h"
#include "map/detail/map_input_target.h"
#include "map/map_observer.h"
#include "map/map_viewport.h"
#include "platform/map_messages.h"
#include "shapes/shape.h"
#include "shapes/shape_line.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

// A press and release closer than this on both axes is a click.
constexpr int kClickDistance = 5;
// While the pointer drags a shape this close to an edge, the map scrolls.
constexpr int kEdgeScroll = 32;
// Wheel angle (eighths of a degree) of one notch of a common mouse wheel:
// one zoom level.
constexpr int kWheelLevel = 120;

QRect BoxOf(const TWyShape* s) {
  return QRect(s->Left(), s->Top(), s->Width() + 1, s->Height() + 1);
}

}  // namespace

// --- Press ----------------------------------------------------------------------

void TMapInputHandler::Press(QMouseEvent* event) {
  FDoubleClickPending = false;
  PressAt(event->position().toPoint());
}

void TMapInputHandler::PressAt(const QPoint& at) {
  FState = ptPressed;
  FLast = at;
  FDown = at;
  TWyShapesGroup& shapes = FMap.Shapes();
  TWyShape* s = shapes.ShapeHover();
  if (s && s->Clickable()) {
    if (s->Draggable()) shapes.SetShapeDrag(s);
    if (shapes.ShapeDrag() == s) FState = ptDraggingShape;
    FireOwnOrMap(s->OnShapeMouseDown, FMap.MapShapeHandler(mseDown), FMap.Sender(), s);
    return;
  }
  const TLatLng c = FMap.View().FromXYToLatLng(at.x(), at.y());
  FMap.FireMapEvent(mpeDown, c);
}

// --- Move -----------------------------------------------------------------------

void TMapInputHandler::Move(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  FMouseLatLng = FMap.View().FromXYToLatLng(at.x(), at.y());
  FMap.View().XYToWorld(at.x(), at.y(), FWorldX, FWorldY);
  if (event->buttons() == Qt::NoButton) {
    HoverMove(at);
    return;
  }
  if (FState == ptIdle) return;
  // The registry may have let go of the dragged shape (a handler freed it).
  if (TWyShape* d = FMap.Shapes().ShapeDrag()) {
    FState = ptDraggingShape;
    DragShape(d, at);
  } else if (FState != ptHeld && FMap.Draggable() && (event->buttons() & Qt::LeftButton)) {
    DragMap(at);
  }
}

void TMapInputHandler::HoverMove(const QPoint& at) {
  HoverMoveShapes(at);
  // The attribution lies over everything: over its link the pointer is a
  // hand, and leaving it gives the pointer back to what is under it.
  const bool overLink = !FMap.AttributionLinkAt(at).empty();
  if (overLink)
    FMap.SetPointer(Qt::PointingHandCursor);
  else if (FOverLink && !FMap.Shapes().ShapeHover())
    FMap.SetPointer(Qt::ArrowCursor);
  FOverLink = overLink;
}

void TMapInputHandler::HoverMoveShapes(const QPoint& at) {
  TWyShapesGroup& shapes = FMap.Shapes();
  TWyShape* old = shapes.ShapeHover();
  std::weak_ptr<char> oldLife;
  if (old) oldLife = old->LifeToken();
  TWyShape* s = shapes.ShapeByHover(at.x(), at.y());
  if (old && s != old && !oldLife.expired()) {
    FMap.SetPointer(Qt::ArrowCursor);
    FMap.Update(BoxOf(old));
    Fire(FMap.MapShapeHandler(mseOut), FMap.Sender(), old);
    if (!oldLife.expired()) FMap.NotifyObservers(omShapeMouseOut, old);
    // The handler may have changed what is under the pointer.
    s = shapes.ShapeHover();
  }
  if (s) {
    const std::weak_ptr<char> life = s->LifeToken();
    FMap.SetPointer(s->isHit(at.x(), at.y()) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    FMap.Update(BoxOf(s));
    Fire(FMap.MapShapeHandler(mseOver), FMap.Sender(), s);
    if (!life.expired()) FMap.NotifyObservers(omShapeMouseOver, s);
    return;
  }
  FMap.FireMapEvent(mpeMove, FMouseLatLng);
  FMap.NotifyObservers(omMapMouseMove);
}

void TMapInputHandler::DragMap(const QPoint& at) {
  // The whole step is applied, however far the pointer jumped.
  const int64_t dx = at.x() - FLast.x();
  const int64_t dy = at.y() - FLast.y();
  FLast = at;
  FMap.ShiftView(dx, dy);
  if (FState == ptDraggingMap) {
    FMap.FireMapEvent(mpeDrag, TLatLng{});
    return;
  }
  // A press on a shape that could be dragged but was not taken by the
  // shapes (its group is not clickable, say) does not drag the map for the
  // rest of this press.
  TWyShape* h = FMap.Shapes().ShapeHover();
  if (h && h->Draggable() && h->Clickable()) {
    FState = ptHeld;
    return;
  }
  FState = ptDraggingMap;
  FMap.FireMapEvent(mpeDragStart, TLatLng{});
}

void TMapInputHandler::DragShape(TWyShape* d, const QPoint& at) {
  TWyShapesGroup& shapes = FMap.Shapes();
  const std::weak_ptr<char> life = d->LifeToken();
  d->HideHint();
  bool cancel = false;
  FireOwnOrMap(d->OnShapeDrag, FMap.MapShapeDragHandler(), FMap.Sender(), d, cancel);
  // Observers are told about the shape under the pointer (the dragged one
  // unless a handler removed it).
  FMap.NotifyObservers(omShapeDrag, shapes.ShapeHover());
  if (cancel || life.expired() || shapes.ShapeDrag() != d) return;
  d->SetPosition(FMouseLatLng.Lat, FMouseLatLng.Lng);
  if (life.expired()) return;
  const bool nearEdge = !(kEdgeScroll < at.x() && at.x() < FMap.ViewSize().width() - kEdgeScroll &&
                          kEdgeScroll < at.y() && at.y() < FMap.ViewSize().height() - kEdgeScroll);
  if (nearEdge) {
    FMap.StepTowards(FMouseLatLng.Lat, FMouseLatLng.Lng);
    FMap.MoveEnded();
  } else {
    // The shape follows the pointer at once rather than at the next timer
    // render.
    FMap.Redraw();
  }
}

// --- Release --------------------------------------------------------------------

void TMapInputHandler::EndDrags(TPointerState state, const QPoint& at) {
  TWyShapesGroup& shapes = FMap.Shapes();
  if (TWyShape* d = shapes.ShapeDrag()) {
    if (!Fire(d->OnShapeDragEnd, static_cast<TObject*>(d))) FMap.FireShapeDragEnd(d);
    FMap.NotifyObservers(omShapeDragEnd, shapes.ShapeHover());
    shapes.SetShapeDrag(nullptr);
  }
  if (state == ptDraggingMap) {
    // The last stretch since the last move, then everything is drawn again.
    const int64_t dx = at.x() - FLast.x();
    const int64_t dy = at.y() - FLast.y();
    FLast = at;
    FMap.EndMapDrag(dx, dy);
    // A drag ends even when this release closes a double click; otherwise
    // the next gesture would continue a drag that never ended.
    FMap.FireMapEvent(mpeDragEnd, TLatLng{});
    FMap.MoveEnded();
  }
}

void TMapInputHandler::Release(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const TPointerState state = FState;
  // Idle before the drags end: the last frame of a drag draws every shape.
  FState = ptIdle;
  EndDrags(state, at);
  if (FDoubleClickPending) {
    FDoubleClickPending = false;
    return;
  }
  TWyShapesGroup& shapes = FMap.Shapes();
  const TLatLng c = FMap.View().FromXYToLatLng(at.x(), at.y());
  if (TWyShape* s = shapes.ShapeHover()) {
    FireOwnOrMap(s->OnShapeMouseUp, FMap.MapShapeHandler(mseUp), FMap.Sender(), s);
  } else {
    FMap.FireMapEvent(mpeUp, c);
  }
  const bool click = state != ptIdle && std::abs(FDown.x() - at.x()) < kClickDistance &&
                     std::abs(FDown.y() - at.y()) < kClickDistance;
  if (click) ReleaseClick(event->button(), at, c);
}

void TMapInputHandler::ReleaseClick(int button, const QPoint& at, const TLatLng& c) {
  TWyShapesGroup& shapes = FMap.Shapes();
  TObject* self = FMap.Sender();
  if (button == Qt::LeftButton) {
    // A click on the attribution's link (pressed and released on it).
    const std::string link = FMap.AttributionLinkAt(at);
    if (!link.empty() && FMap.AttributionLinkAt(FDown) == link) {
      FMap.FireAttributionClick(link);
      return;
    }
    if (shapes.HandledClick(shapes.ShapeHover(), at.x(), at.y())) return;
    TWyShape* s = shapes.ShapeHover();
    // A shape that is not clickable lets the click through to the map, as
    // it does for the right button (an area drawn under the pointer must not
    // make the map deaf).
    if (!s || !s->Clickable()) {
      FMap.NotifyObservers(omMapMouseClick);
      FMap.FireMapEvent(mpeClick, c);
      return;
    }
    const std::weak_ptr<char> life = s->LifeToken();
    s->HideHint();
    FMap.NotifyObservers(omShapeClick, s);
    if (life.expired()) return;
    if (Fire(s->OnShapeClick, self, s)) return;
    if (!FMap.MapShapeHandler(mseClick)) return;
    if (s->Serialize()) {
      Fire(FMap.MapShapeHandler(mseClick), self, s);
    } else if (auto* item = dynamic_cast<TWyShape*>(s->Item())) {
      // A helper shape (a label, a wall) stands for the shape it belongs to;
      // an application object that is not a shape raises nothing.
      Fire(FMap.MapShapeHandler(mseClick), self, item);
    }
  } else if (button == Qt::RightButton) {
    TWyShape* s = shapes.ShapeHover();
    if (s && s->Clickable()) {
      const std::weak_ptr<char> life = s->LifeToken();
      FMap.NotifyObservers(omShapeRightClick, s);
      if (life.expired()) return;
      if (s->OnShapeRightClick) {
        // A helper shape's own handler runs only when it stands for
        // something.
        if (s->Serialize() || s->Item()) Fire(s->OnShapeRightClick, self, s);
      } else {
        Fire(FMap.MapShapeHandler(mseRightClick), self, s);
      }
    } else {
      FMap.FireMapEvent(mpeRightClick, c);
    }
  }
}

// --- Double click ---------------------------------------------------------------

void TMapInputHandler::DoubleClick(QMouseEvent* event) {
  // The coordinate of the first press, which is where the pointer was
  // double-clicked.
  const TLatLng c = FMap.View().FromXYToLatLng(FLast.x(), FLast.y());
  TWyShape* s = FMap.Shapes().ShapeHover();
  if (s && s->Clickable()) {
    const std::weak_ptr<char> life = s->LifeToken();
    auto* line = dynamic_cast<TWyShapeLine*>(s);
    if (line && line->Editable() && line->HoverPoint() >= 0) {
      // A double click on a segment of an editable line adds a point there.
      line->Insert(line->HoverPoint(), c.Lat, c.Lng, TWyShape::kNoAltitude);
    } else {
      FireOwnOrMap(s->OnShapeDblClick, FMap.MapShapeHandler(mseDoubleClick), FMap.Sender(), s);
    }
    if (!life.expired()) FMap.NotifyObservers(omShapeDblClick, s);
  } else {
    if (FMap.DblClickZoom()) {
      FMap.SetZoom(FMap.Zoom() + 1);
      FMap.CenterOn(c.Lat, c.Lng);
    }
    FMap.FireMapEvent(mpeDoubleClick, c);
  }
  // Qt sends no second press: the double click stands for it.
  PressAt(event->position().toPoint());
  FDoubleClickPending = true;
}

// --- Wheel ----------------------------------------------------------------------

bool TMapInputHandler::Wheel(QWheelEvent* event) {
  if (!FMap.MouseWheelZoom() || FMap.Closing()) return false;
  const int delta = event->angleDelta().y();
  // Horizontal and touchpad-only events carry no vertical step.
  if (delta == 0) return false;
  const QPoint at = FMap.FromGlobal(event->globalPosition());
  if (!(0 < at.x() && at.x() < FMap.ViewSize().width() && 0 < at.y() &&
        at.y() < FMap.ViewSize().height()))
    return false;
  // A turn the other way starts afresh: what was left of the other way
  // would swallow the first part of the new turn.
  if ((FWheelRest > 0 && delta < 0) || (FWheelRest < 0 && delta > 0)) FWheelRest = 0;
  FWheelRest += delta;
  const int levels = FWheelRest / kWheelLevel;
  if (levels == 0) return true;
  FWheelRest -= levels * kWheelLevel;
  const int zoom = std::clamp(int(FMap.Zoom()) + levels, 0, int(TMapViewport::kHighestZoom));
  if (FMap.ZoomAtPointer())
    FMap.ZoomAbout(static_cast<uint8_t>(zoom), at);
  else
    FMap.SetZoom(static_cast<uint8_t>(zoom));
  return true;
}

// --- Keys -----------------------------------------------------------------------

bool TMapInputHandler::Key(QKeyEvent* event) {
  if (FMap.Closing()) return false;
  // Keys with Ctrl, Alt or Meta belong to the application's shortcuts; Shift
  // is allowed, + being a shifted key on many keyboards.
  const Qt::KeyboardModifiers other = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
  if (event->modifiers() & other) return false;
  const int key = event->key();
  if (key == Qt::Key_Plus || key == Qt::Key_Equal) {
    FMap.SetZoom(FMap.Zoom() + 1);
    return true;
  }
  if (key == Qt::Key_Minus) {
    if (FMap.Zoom() > 0) FMap.SetZoom(FMap.Zoom() - 1);
    return true;
  }
  int dx = 0, dy = 0;
  // A quarter of the view: far enough to get somewhere, near enough to keep
  // three quarters of what was shown in sight.
  const int stepX = std::max(1, FMap.ViewSize().width() / 4);
  const int stepY = std::max(1, FMap.ViewSize().height() / 4);
  switch (key) {
    case Qt::Key_Left:
      dx = stepX;
      break;
    case Qt::Key_Right:
      dx = -stepX;
      break;
    case Qt::Key_Up:
      dy = stepY;
      break;
    case Qt::Key_Down:
      dy = -stepY;
      break;
    default:
      return false;
  }
  if (!FMap.Draggable()) return false;
  FMap.ShiftView(dx, dy);
  FMap.MoveEnded();
  return true;
}

}  // namespace wy

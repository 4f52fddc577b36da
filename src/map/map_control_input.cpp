#include "map/detail/map_control_input.h"
#include "map/detail/map_control_private.h"

#include "map/detail/fire_event.h"
#include "shapes/shape.h"
#include "shapes/shapes_group.h"

namespace wy {

bool TVuroduDavControl::TInputTarget::Draggable() const {
  return FMap.Draggable();
}

bool TVuroduDavControl::TInputTarget::DblClickZoom() const {
  return FMap.DblClickZoom();
}

bool TVuroduDavControl::TInputTarget::MouseWheelZoom() const {
  return FMap.MouseWheelZoom();
}

bool TVuroduDavControl::TInputTarget::ZoomAtPointer() const {
  return FMap.ZoomAtPointer();
}

bool TVuroduDavControl::TInputTarget::Closing() const {
  return FMap.FD->FDestroying;
}

TMapViewport& TVuroduDavControl::TInputTarget::View() {
  return FMap.FD->FViewport;
}

QSize TVuroduDavControl::TInputTarget::ViewSize() const {
  return FMap.size();
}

uint8_t TVuroduDavControl::TInputTarget::Zoom() const {
  return FMap.Zoom();
}

void TVuroduDavControl::TInputTarget::ShiftView(int64_t dx, int64_t dy) {
  FMap.FD->ShiftView(dx, dy);
}

void TVuroduDavControl::TInputTarget::EndMapDrag(int64_t dx, int64_t dy) {
  FMap.FD->EndMapDrag(dx, dy);
}

void TVuroduDavControl::TInputTarget::SetZoom(uint8_t value) {
  FMap.SetZoom(value);
}

void TVuroduDavControl::TInputTarget::ZoomAbout(uint8_t value, const QPoint& at) {
  FMap.FD->ZoomAbout(value, at);
}

void TVuroduDavControl::TInputTarget::CenterOn(double Lat, double Lng) {
  FMap.FD->CenterOn(Lat, Lng);
}

void TVuroduDavControl::TInputTarget::StepTowards(double Lat, double Lng) {
  FMap.FD->StepTowards(Lat, Lng);
}

void TVuroduDavControl::TInputTarget::MoveEnded() {
  FMap.FD->MoveEnded();
}

void TVuroduDavControl::TInputTarget::Redraw() {
  FMap.FD->Invalidate();
  FMap.RedrawMap(false);
}

TWyShapesGroup& TVuroduDavControl::TInputTarget::Shapes() {
  return *FMap.FD->FShapesGroup;
}

void TVuroduDavControl::TInputTarget::SetPointer(Qt::CursorShape shape) {
  FMap.setCursor(shape);
}

void TVuroduDavControl::TInputTarget::Update(const QRect& box) {
  FMap.update(box);
}

QPoint TVuroduDavControl::TInputTarget::FromGlobal(const QPointF& global) const {
  return FMap.mapFromGlobal(global).toPoint();
}

std::string TVuroduDavControl::TInputTarget::AttributionLinkAt(const QPoint& at) const {
  return FMap.AttributionLinkAt(at);
}

TObject* TVuroduDavControl::TInputTarget::Sender() {
  return &FMap;
}

void TVuroduDavControl::TInputTarget::NotifyObservers(uint32_t msg, void* item) {
  FMap.NotifyObservers(msg, item);
}

bool TVuroduDavControl::TInputTarget::FireMapEvent(TMapPointerEvent kind, const TLatLng& at) {
  TVuroduDavControl* self = &FMap;
  switch (kind) {
    case mpeDown:
      return Fire(FMap.OnMapMouseDown, self, at.Lat, at.Lng);
    case mpeUp:
      return Fire(FMap.OnMapMouseUp, self, at.Lat, at.Lng);
    case mpeMove:
      return Fire(FMap.OnMapMouseMove, self, at.Lat, at.Lng);
    case mpeClick:
      return Fire(FMap.OnMapClick, self, at.Lat, at.Lng);
    case mpeRightClick:
      return Fire(FMap.OnMapRightClick, self, at.Lat, at.Lng);
    case mpeDoubleClick:
      return Fire(FMap.OnMapDblClick, self, at.Lat, at.Lng);
    case mpeDragStart:
      return Fire(FMap.OnMapDragStart, self);
    case mpeDrag:
      return Fire(FMap.OnMapDrag, self);
    case mpeDragEnd:
      return Fire(FMap.OnMapDragEnd, self);
  }
  return false;
}

const TOnShapeMouseEvent& TVuroduDavControl::TInputTarget::MapShapeHandler(
    TMapShapeEvent kind) const {
  switch (kind) {
    case mseDown:
      return FMap.OnShapeMouseDown;
    case mseUp:
      return FMap.OnShapeMouseup;
    case mseClick:
      return FMap.OnShapeClick;
    case mseRightClick:
      return FMap.OnShapeRightClick;
    case mseDoubleClick:
      return FMap.OnShapeDblClick;
    case mseOver:
      return FMap.OnShapeMouseOver;
    case mseOut:
      break;
  }
  return FMap.OnShapeMouseOut;
}

const TOnShapeMove& TVuroduDavControl::TInputTarget::MapShapeDragHandler() const {
  return FMap.OnShapeDrag;
}

void TVuroduDavControl::TInputTarget::FireShapeDragEnd(TWyShape* shape) {
  Fire(FMap.OnShapeDragEnd, static_cast<TObject*>(shape));
}

void TVuroduDavControl::TInputTarget::FireAttributionClick(const std::string& url) {
  Fire(FMap.OnAttributionClick, &FMap, url);
}

}  // namespace wy

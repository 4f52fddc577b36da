#pragma once
// The map as its input handler sees it: TMapInputTarget carried out by the
// map widget's own operations and events.

#include "map/detail/map_input_target.h"
#include "map/map_control.h"

namespace wy {

class TVuroduDavControl::TInputTarget : public TMapInputTarget {
 public:
  explicit TInputTarget(TVuroduDavControl& map) : FMap(map) {}

  bool Draggable() const override;
  bool DblClickZoom() const override;
  bool MouseWheelZoom() const override;
  bool ZoomAtPointer() const override;
  bool Closing() const override;

  TMapViewport& View() override;
  QSize ViewSize() const override;
  uint8_t Zoom() const override;
  void ShiftView(int64_t dx, int64_t dy) override;
  void EndMapDrag(int64_t dx, int64_t dy) override;
  void SetZoom(uint8_t value) override;
  void ZoomAbout(uint8_t value, const QPoint& at) override;
  void CenterOn(double Lat, double Lng) override;
  void StepTowards(double Lat, double Lng) override;
  void MoveEnded() override;
  void Redraw() override;

  TWyShapesGroup& Shapes() override;
  void SetPointer(Qt::CursorShape shape) override;
  void Update(const QRect& box) override;
  QPoint FromGlobal(const QPointF& global) const override;
  std::string AttributionLinkAt(const QPoint& at) const override;

  TObject* Sender() override;
  void NotifyObservers(uint32_t msg, void* item) override;
  bool FireMapEvent(TMapPointerEvent kind, const TLatLng& at) override;
  const TOnShapeMouseEvent& MapShapeHandler(TMapShapeEvent kind) const override;
  const TOnShapeMove& MapShapeDragHandler() const override;
  void FireShapeDragEnd(TWyShape* shape) override;
  void FireAttributionClick(const std::string& url) override;

 private:
  TVuroduDavControl& FMap;
};

}  // namespace wy

// The map's properties: what the interface reads and sets of its state.
#include "map/detail/map_control_private.h"

namespace wy {

double TVuroduDavControl::Latitude() const {
  return FD->FViewport.Latitude();
}

double TVuroduDavControl::Longitude() const {
  return FD->FViewport.Longitude();
}

uint8_t TVuroduDavControl::Zoom() const {
  return FD->FViewport.Zoom();
}

uint8_t TVuroduDavControl::MinZoom() const {
  return FD->FViewport.MinZoom();
}

uint8_t TVuroduDavControl::MaxZoom() const {
  return FD->FViewport.MaxZoom();
}

double TVuroduDavControl::NorthEastLatitude() const {
  return FD->FViewport.WorldInfo().NorthEastLatitude();
}

double TVuroduDavControl::NorthEastLongitude() const {
  return FD->FViewport.WorldInfo().NorthEastLongitude();
}

double TVuroduDavControl::SouthWestLatitude() const {
  return FD->FViewport.WorldInfo().SouthWestLatitude();
}

double TVuroduDavControl::SouthWestLongitude() const {
  return FD->FViewport.WorldInfo().SouthWestLongitude();
}

TWyWorldInfo& TVuroduDavControl::WorldInfo() {
  return FD->FViewport.WorldInfo();
}

const TMapViewport& TVuroduDavControl::Viewport() const {
  return FD->FViewport;
}

TVuroduDavServer* TVuroduDavControl::OverlayServer() {
  return FD->FOverlayServer.get();
}

bool TVuroduDavControl::ShowCopyrightTile() const {
  return FD->FShowCopyrightTile;
}

TWyShapesGroup& TVuroduDavControl::ShapesGroup() {
  return *FD->FShapesGroup;
}

TWyGeoLocalise* TVuroduDavControl::GeoLocalise() const {
  return FD->FGeoLocalise;
}

bool TVuroduDavControl::TrafficLayer() const {
  return FD->FTraffic;
}

bool TVuroduDavControl::PanoramioLayer() const {
  return FD->FPanoramio;
}

TWyTrafficLayer* TVuroduDavControl::TrafficLayerObject() const {
  return FD->FTrafficLayer.get();
}

TWyNativePanoramioLayer* TVuroduDavControl::NativePanoramioLayer() const {
  return FD->FNativePanoramioLayer.get();
}

bool TVuroduDavControl::Draggable() const {
  return FD->FDraggable;
}

void TVuroduDavControl::SetDraggable(bool v) {
  FD->FDraggable = v;
}

bool TVuroduDavControl::DblClickZoom() const {
  return FD->FDblClickZoom;
}

void TVuroduDavControl::SetDblClickZoom(bool v) {
  FD->FDblClickZoom = v;
}

bool TVuroduDavControl::MouseWheelZoom() const {
  return FD->FMouseWheelZoom;
}

void TVuroduDavControl::SetMouseWheelZoom(bool v) {
  FD->FMouseWheelZoom = v;
}

bool TVuroduDavControl::ZoomAtPointer() const {
  return FD->FZoomAtPointer;
}

void TVuroduDavControl::SetZoomAtPointer(bool v) {
  FD->FZoomAtPointer = v;
}

TMapControls& TVuroduDavControl::Controls() {
  return *FD->FControls;
}

bool TVuroduDavControl::AntiFreezeOnLoad() const {
  return FD->FAntiFreezeOnLoad;
}

void TVuroduDavControl::SetAntiFreezeOnLoad(bool v) {
  FD->FAntiFreezeOnLoad = v;
}

int64_t TVuroduDavControl::FX() const {
  return FD->FViewport.X0();
}

int64_t TVuroduDavControl::FY() const {
  return FD->FViewport.Y0();
}

TMapRenderer& TVuroduDavControl::Renderer() {
  return *FD->FRenderer;
}

TVuroduDavServer& TVuroduDavControl::MapServer() {
  return *FD->FMapServer;
}

int TVuroduDavControl::RenderCount() const {
  return FD->FRenderCount;
}

bool TVuroduDavControl::LimitBoxHit() const {
  return FD->FViewport.LimitBoxHit();
}

void TVuroduDavControl::TPrivate::Invalidate() {
  Valide_Map = false;
}

}  // namespace wy

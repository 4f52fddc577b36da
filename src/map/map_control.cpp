#include "map/map_control.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QShowEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "geo/flag_scope.h"
#include "geo/geodesy.h"
#include "geo/global_lock.h"
#include "geo/text_convert.h"
#include "geo/threaded_timer.h"
#include "graphics/canvas.h"
#include "graphics/system_colors.h"
#include "map/detail/fire_event.h"
#include "map/detail/geo_services_adapter.h"
#include "map/detail/map_control_input.h"
#include "map/detail/map_control_private.h"
#include "map/detail/map_input_handler.h"
#include "map/detail/repaint_scheduler.h"
#include "map/map_controls.h"
#include "map/map_renderer.h"
#include "map/native_panoramio_layer.h"
#include "map/traffic_layer.h"
#include "platform/log.h"
#include "platform/map_messages.h"
#include "platform/tick.h"
#include "services/geo_localise.h"
#include "shapes/shape.h"
#include "shapes/shapes_group.h"
#include "tiles/tile_server.h"

namespace wy {

namespace {

constexpr int kTileSize = TMapRenderer::kTileSize;
constexpr uint32_t kTimerIntervalMs = 20;
constexpr uint16_t kDefaultCacheSize = 256;
// Short pans animate; this many steps at most, then the map jumps.
constexpr int kMaxPanSteps = 100;
constexpr double kPanAnimateKm = 0.5;
// Above this many shapes on screen, a map drag draws only the tiles.
constexpr int32_t kMaxShapesWhileDragging = 4000;

}  // namespace

// The map as the shapes see it: repaint requests go to the map's mailbox
// (any thread; dropped once the map is gone), events name the map.
class TVuroduDavControl::TShapesHost : public TWyShapesHost {
 public:
  TShapesHost(TVuroduDavControl* map, uint64_t target) : FMap(map), FTarget(target) {}
  void RequestRepaint() override { PostMapMessage(FTarget, WM_MAPREPAINT); }
  TObject* EventSender() override { return FMap; }
  // The group is handed over as a number and looked up again on arrival.
  void GroupLoaded(TWyShapes* group) override {
    PostMapMessage(FTarget, WM_MAPGROUPLOADED, reinterpret_cast<intptr_t>(group));
  }

 private:
  TVuroduDavControl* FMap;
  const uint64_t FTarget;
};

TVuroduDavControl::TPrivate::TPrivate(TVuroduDavControl& map)
    : FOwner(map),
      FRenderer(std::make_unique<TMapRenderer>()),
      FViewport(FRenderer->Viewport()),
      FRepaint(std::make_unique<TRepaintScheduler>()) {}

TVuroduDavControl::TPrivate::~TPrivate() = default;

TVuroduDavControl::TVuroduDavControl(QWidget* parent)
    : QWidget(parent), FD(std::make_unique<TPrivate>(*this)) {
  FD->FInputTarget = std::make_unique<TInputTarget>(*this);
  FD->FInput = std::make_unique<TMapInputHandler>(*FD->FInputTarget);
  FD->FControls = std::make_unique<TMapControls>(*this);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);

  FD->FMailbox = std::make_unique<TMessageMailbox>(
      [this](uint32_t msg, intptr_t wParam, intptr_t) { FD->HandleMessage(msg, wParam); });
  FD->FMapServer =
      std::make_unique<TVuroduDavServer>(FD->FMailbox->Target(), TMapRenderer::PlaceholderColor());
  FD->FMapServer->SetCacheSize(kDefaultCacheSize);
  FD->FMapServer->SetTileServer(tsOSM);
  // A tile the server cannot deliver shows the built-in world map meanwhile.
  FD->FMapServer->SetStandIn(true);
  FD->FMapServer->OnLoadTile = [this](int x, int y, int z, int t) { TileLoaded(x, y, z, t); };
  FD->FRenderer->SetTileLayers(FD->FMapServer.get(), nullptr);
  FD->FShapesHost = std::make_unique<TShapesHost>(this, FD->FMailbox->Target());
  FD->FShapesGroup = std::make_unique<TWyShapesGroup>(
      &FD->FRenderer->Canvas(), FD->FShapesHost.get(), &FD->FViewport.WorldInfo(),
      wy::TNotifyEvent{}, wy::TNotifyEvent{},
      [this](TObject* sender, TWyShape* item, bool& cancel) {
        Fire(OnShapeMove, sender, item, cancel);
      });
  FD->FShapesGroup->OnHotSpot = [this](TObject* sender, const std::string& url) {
    Fire(OnHotSpot, sender, url);
    SetUrl(url);
  };
  FD->FRenderer->SetShapes(FD->FShapesGroup.get());
  FD->InstallShapeRelays();
  FD->FThreadedTimer = std::make_unique<TThreadedTimer>(true, kTimerIntervalMs, true);
  FD->FThreadedTimer->OnTimer = [this](TThreadedTimer*) { TimerTick(); };

  // Until it is laid out the control is 256 x 256; the first show centres
  // it again at its real size.
  resize(kTileSize, kTileSize);
  FD->ResizeSurfaces();
  FD->CenterOn(Latitude(), Longitude());
}

TVuroduDavControl::~TVuroduDavControl() {
  FD->FDraw = false;
  FD->FDestroying = true;
  *FD->FRoutesAlive = false;
  if (FD->FParentForm) FD->FParentForm->removeEventFilter(this);
  // The layers let go of the map and stop their requests first.
  FD->FNativePanoramioLayer.reset();
  FD->FTrafficLayer.reset();
  // The shapes stop asking for repaints and stop drawing.
  if (FD->FShapesGroup) FD->FShapesGroup->SetParent(nullptr);
  NotifyObservers(omMapFree);
  FD->FObservers.clear();
  // No posted message reaches this object any more.
  FD->FMailbox.reset();
  if (FD->FThreadedTimer) {
    FD->FThreadedTimer->OnTimer = nullptr;
    FD->FThreadedTimer->doTermine();
    FD->FThreadedTimer.reset();  // joins
  }
  if (FD->FOverlayServer) {
    FD->FOverlayServer->OnLoadTile = nullptr;
    FD->FOverlayServer->SetCancel(true);
    FD->FOverlayServer.reset();
  }
  if (FD->FMapServer) {
    FD->FMapServer->OnLoadTile = nullptr;
    FD->FMapServer->SetCancel(true);  // aborts and joins downloads; no lock held here
    FD->FMapServer.reset();
  }
  // The shapes go before the surface they draw on.
  if (FD->FRenderer) FD->FRenderer->SetShapes(nullptr);
  FD->FShapesGroup.reset();
}

// --- Viewport ---------------------------------------------------------------

void TVuroduDavControl::SetLatitude(double value) {
  FD->CenterOn(value, Center().Lng);
}

void TVuroduDavControl::SetLongitude(double value) {
  FD->CenterOn(Center().Lat, value);
}

TLatLng TVuroduDavControl::Center() {
  FD->SyncSize();
  return FD->FViewport.Center();
}

void TVuroduDavControl::SetCenter(const TLatLng& value) {
  FD->CenterOn(value.Lat, value.Lng);
}

void TVuroduDavControl::setCenter(double Lat, double Lng) {
  FD->CenterOn(Lat, Lng);
}

TLatLng TVuroduDavControl::FromXYToLatLng(int64_t X, int64_t Y) {
  FD->SyncSize();
  return FD->FViewport.FromXYToLatLng(X, Y);
}

void TVuroduDavControl::TPrivate::ViewMoved() {
  // Every tile is drawn again after a centring, whatever the offset was.
  ClearTiles();
}

void TVuroduDavControl::TPrivate::CenterOn(double Lat, double Lng) {
  SyncSize();
  if (FViewport.CenterOn(Lat, Lng)) ApplyView(vcCentre);
}

void TVuroduDavControl::TPrivate::ApplyView(TViewChange change) {
  // A drag step keeps the tiles already drawn; any other change draws every
  // tile again.
  if (change != vcShift) ViewMoved();
  ViewChanged();
  if (!FDraw) return;
  FOwner.RedrawMap(false);
  FOwner.NotifyObservers(omMapMove);
  Fire(FOwner.OnMapMove, &FOwner, FOwner.Latitude(), FOwner.Longitude());
  if (change != vcZoom) return;
  MoveEnded();
  Fire(FOwner.OnChangeMapZoom, &FOwner);
}

void TVuroduDavControl::TPrivate::ViewChanged() {
  FControls->ViewChanged();
  if (!FDraw) return;
  const bool outOfBounds = FViewport.LimitBoxHit();
  FShapesGroup->ShapesToDraw();
  FOwner.NotifyObservers(omMapBounds);
  FOwner.NotifyObservers(omMapEndMove);
  FShapesGroup->MapEndMove();
  PostMapMessage(FOwner.MessageTarget(), WM_MAPBOUNDS);
  if (outOfBounds) {
    // The view crossed the limit box: pulled back inside it (silently, as
    // Bounds does), and the application told.
    const TWyWorldInfo& w = FViewport.WorldInfo();
    FOwner.Bounds(w.NorthEastLatitude(), w.NorthEastLongitude(), w.SouthWestLatitude(),
               w.SouthWestLongitude());
    Fire(FOwner.OnOutOfBounds, &FOwner);
  }
}

void TVuroduDavControl::TPrivate::MoveEnded() {
  FOwner.NotifyObservers(omMapEndMove);
  FShapesGroup->MapEndMove();
}

void TVuroduDavControl::SetZoom(uint8_t value) {
  FD->SyncSize();
  if (FD->FViewport.SetZoom(value)) FD->ZoomApplied();
}

void TVuroduDavControl::TPrivate::ZoomApplied() {
  ApplyView(vcZoom);
}

void TVuroduDavControl::TPrivate::ZoomAbout(uint8_t value, const QPoint& at) {
  SyncSize();
  if (FViewport.ZoomAbout(value, at.x(), at.y())) ZoomApplied();
}

bool TVuroduDavControl::ShowZoomButtons() const {
  return FD->FControls->ZoomButtons();
}

void TVuroduDavControl::SetShowZoomButtons(bool v) {
  FD->FControls->SetZoomButtons(v);
}

bool TVuroduDavControl::ShowScaleBar() const {
  return FD->FControls->ScaleBar();
}

void TVuroduDavControl::SetShowScaleBar(bool v) {
  FD->FControls->SetScaleBar(v);
}

void TVuroduDavControl::SetMinZoom(uint8_t value) {
  const uint8_t zoom = Zoom();
  if (FD->FViewport.SetMinZoom(value) && Zoom() != zoom) FD->ZoomApplied();
}

void TVuroduDavControl::SetMaxZoom(uint8_t value) {
  const uint8_t zoom = Zoom();
  if (FD->FViewport.SetMaxZoom(value) && Zoom() != zoom) FD->ZoomApplied();
}

void TVuroduDavControl::Bounds(double NELat, double NELng, double SWLat, double SWLng) {
  // Silent: no render and no notification; the shapes the new view shows
  // are listed for the next frame.
  FD->SyncSize();
  FD->FViewport.ZoomInOnBox({NELat, NELng, SWLat, SWLng});
  FD->ViewMoved();
  // The on-map controls show the new view all the same.
  FD->FControls->ViewChanged();
  if (FD->FDraw) FD->FShapesGroup->ShapesToDraw();
}

void TVuroduDavControl::fitBounds(double NELat, double NELng, double SWLat, double SWLng) {
  FD->SyncSize();
  FD->FViewport.FitBox({NELat, NELng, SWLat, SWLng});
  FD->ViewMoved();
  FD->FControls->ViewChanged();
  if (!FD->FDraw) return;
  FD->FShapesGroup->ShapesToDraw();
  RedrawMap(false);
  NotifyObservers(omMapEndMove);
}

void TVuroduDavControl::fitBoundsRadius(double dLat, double dLng, double dRadiusKm) {
  double latSW = 0, lngSW = 0, latNE = 0, lngNE = 0;
  wy::boundingCoordinates(dLat, dLng, dRadiusKm, latSW, lngSW, latNE, lngNE);
  fitBounds(latNE, lngNE, latSW, lngSW);
}

bool TVuroduDavControl::fitShapes(TWyShapes* group) {
  bool any = false;
  double north = 0, east = 0, south = 0, west = 0;
  auto take = [&](TWyShapes* g) {
    TWyShapeList* lists[] = {g->Pois(), g->Markers(), g->Lines(), g->Polygones()};
    for (TWyShapeList* list : lists) {
      if (list->Count() == 0) continue;
      list->ComputeBounds();
      north = any ? std::max(north, list->NorthEastLatitude()) : list->NorthEastLatitude();
      east = any ? std::max(east, list->NorthEastLongitude()) : list->NorthEastLongitude();
      south = any ? std::min(south, list->SouthWestLatitude()) : list->SouthWestLatitude();
      west = any ? std::min(west, list->SouthWestLongitude()) : list->SouthWestLongitude();
      any = true;
    }
  };
  if (group) {
    take(group);
  } else {
    for (TWyShapes* g : ShapesGroup().Groups())
      if (g->Serialize()) take(g);
  }
  if (any) fitBounds(north, east, south, west);
  return any;
}

void TVuroduDavControl::BoundingBox(double NELat, double NELng, double SWLat, double SWLng) {
  const double lat = Latitude();
  const double lng = Longitude();
  FD->FViewport.SetLimitBox({NELat, NELng, SWLat, SWLng});
  Bounds(NELat, NELng, SWLat, SWLng);
  setCenter(lat, lng);
}

void TVuroduDavControl::TPrivate::StepTowards(double Lat, double Lng) {
  const TLatLng next = FViewport.StepTowards(Lat, Lng);
  FOwner.setCenter(next.Lat, next.Lng);
}

void TVuroduDavControl::PanTo(double Lat, double Lng) {
  if (!std::isfinite(Lat) || !std::isfinite(Lng)) return;
  if (wy::DistanceFrom(Latitude(), Longitude(), Lat, Lng) < kPanAnimateKm) {
    // A target the view cannot reach (outside the limit box or beyond the
    // projection's limit) would never be contained: stop when the centre no
    // longer moves or after a bounded number of steps.
    for (int step = 0; step < kMaxPanSteps && !WorldInfo().ContainsLatLng(Lat, Lng); ++step) {
      const int64_t fx = FX(), fy = FY();
      FD->StepTowards(Lat, Lng);
      if (FX() == fx && FY() == fy) break;
    }
  }
  setCenter(Lat, Lng);
}

void TVuroduDavControl::TPrivate::ShiftView(int64_t dx, int64_t dy) {
  // The tile states move with the tiles: the tiles already drawn stay final.
  FRenderer->ShiftTiles(dx, dy);
  FViewport.Shift(dx, dy);
  ApplyView(vcShift);
}

void TVuroduDavControl::TPrivate::EndMapDrag(int64_t dx, int64_t dy) {
  FViewport.Shift(dx, dy);
  ClearTiles();
  ViewChanged();
  FOwner.RedrawMap(false);
  // Shapes were left out while the map was dragged: draw them now.
  if (FShapesGroup->DrawCount() >= kMaxShapesWhileDragging)
    PostMapMessage(FOwner.MessageTarget(), WM_MAPREPAINT);
}

TLatLng TVuroduDavControl::MouseLatLng() const {
  return FD->FInput->MouseLatLng();
}

double TVuroduDavControl::WorldX() const {
  return FD->FInput->WorldX();
}

double TVuroduDavControl::WorldY() const {
  return FD->FInput->WorldY();
}

uint64_t TVuroduDavControl::MessageTarget() const {
  return FD->FMailbox ? FD->FMailbox->Target() : 0;
}

// --- Rendering ---------------------------------------------------------------

std::string TVuroduDavControl::AttributionLinkAt(const QPoint& at) const {
  if (!OnAttributionClick || !CopyrightRect().contains(at)) return std::string();
  return FD->FMapServer->TileServerInfo().CopyRightUrl;
}

void TVuroduDavControl::SetShowCopyrightTile(bool value) {
  if (value == FD->FShowCopyrightTile) return;
  FD->FShowCopyrightTile = value;
  FD->Valide_Map = false;
  RedrawMap(false);
}

TDisplayMapTiles& TVuroduDavControl::DisplayMapTiles() {
  return FD->FRenderer->TileGrid();
}

QRect TVuroduDavControl::CopyrightRect() const {
  return FD->FRenderer->AttributionRect();
}

int TVuroduDavControl::PendingRepaints() const {
  return FD->FRepaint->Pending();
}

void TVuroduDavControl::TPrivate::ClearTiles() {
  FRenderer->ClearTiles();
  Valide_Map = false;
}

void TVuroduDavControl::TPrivate::ResizeSurfaces() {
  // The frame has the screen's pixels; everything is laid out in the
  // widget's own units.
  FRenderer->SetSize(FOwner.width(), FOwner.height(), FOwner.devicePixelRatioF());
  FScreenShotRender = -1;
  Valide_Map = false;
}

void TVuroduDavControl::TPrivate::SyncSize() {
  // A hidden widget gets its resize event only when it is shown; its
  // geometry counts at once.
  if (FViewport.Width() != FOwner.width() || FViewport.Height() != FOwner.height())
    FViewport.SetSize(FOwner.width(), FOwner.height());
}

bool TVuroduDavControl::TPrivate::CanRender() const {
  return !FDestroying && FDraw && !inPaint && FOwner.isVisible();
}

void TVuroduDavControl::RedrawMap(bool fast) {
  if (!FD->CanRender()) return;
  if (!fast) FD->RenderFrame();
  repaint();
}

bool TVuroduDavControl::TPrivate::DrawShapesNow() const {
  if (!FInput->ButtonDown()) return true;
  return FShapesGroup->DrawCount() < kMaxShapesWhileDragging ||
         FShapesGroup->ShapeHover() != nullptr;
}

void TVuroduDavControl::TPrivate::RenderFrame() {
  // Cleared however the frame ends, so that a failing render never stops
  // rendering for good.
  TFlagScope painting(inPaint);
  FRenderer->SetShowAttribution(FShowCopyrightTile);
  // A failed frame is given up; the next render tries again.
  Valide_Map = FRenderer->Compose(DrawShapesNow());
  if (Valide_Map) ++FRenderCount;
}

const QImage& TVuroduDavControl::ScreenShot() {
  if (FD->FScreenShotRender != FD->FRenderCount) {
    FD->FScreenShot = FD->FRenderer->Picture();
    FD->FScreenShotRender = FD->FRenderCount;
  }
  return FD->FScreenShot;
}

void TVuroduDavControl::paintEvent(QPaintEvent* event) {
  if (FD->FDestroying) return;
  // Moved to a screen of another pixel density: the frame follows.
  if (std::max<qreal>(1.0, devicePixelRatioF()) != FD->FRenderer->DevicePixelRatio())
    FD->ResizeSurfaces();
  if (!FD->Valide_Map && FD->CanRender()) FD->RenderFrame();
  QPainter painter(this);
  FD->FRenderer->Paint(painter, event->rect());
}

void TVuroduDavControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (FD->FDestroying) return;
  // FX, FY stay: the top-left corner of the view stays put.
  FD->ResizeSurfaces();
  FD->ViewChanged();
  if (FD->FDraw) RedrawMap(false);
  NotifyObservers(omMapResize);
  NotifyObservers(omMapEndMove);
}

void TVuroduDavControl::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (FD->FDestroying) return;
  // The window may have changed since the last show.
  FD->HookParentForm();
  if (FD->FLoaded) return;
  // First show: drawing starts, and the centre and zoom set so far are
  // applied at the real size.
  FD->FLoaded = true;
  FD->FRepaint->Reset();
  FD->FDraw = true;
  if (FD->FRenderer->Canvas().Width() != std::max(1, width()) ||
      FD->FRenderer->Canvas().Height() != std::max(1, height()))
    FD->ResizeSurfaces();
  FD->FThreadedTimer->Start();
  FD->CenterOn(Latitude(), Longitude());
  NotifyObservers(omMapResize);
  NotifyObservers(omMapEndMove);
}

// --- Input ------------------------------------------------------------------------

void TVuroduDavControl::mousePressEvent(QMouseEvent* event) {
  FD->FInput->Press(event);
  QWidget::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
}

void TVuroduDavControl::mouseMoveEvent(QMouseEvent* event) {
  FD->FInput->Move(event);
  QWidget::mouseMoveEvent(event);
}

void TVuroduDavControl::mouseReleaseEvent(QMouseEvent* event) {
  FD->FInput->Release(event);
  QWidget::mouseReleaseEvent(event);
}

void TVuroduDavControl::mouseDoubleClickEvent(QMouseEvent* event) {
  FD->FInput->DoubleClick(event);
  setFocus(Qt::MouseFocusReason);
}

void TVuroduDavControl::wheelEvent(QWheelEvent* event) {
  if (FD->FInput->Wheel(event)) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TVuroduDavControl::keyPressEvent(QKeyEvent* event) {
  if (FD->FInput->Key(event)) {
    event->accept();
  } else {
    QWidget::keyPressEvent(event);
  }
}

bool TVuroduDavControl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FD->FParentForm && event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (FD->FInput->Wheel(wheel)) {
      wheel->accept();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TVuroduDavControl::TPrivate::HookParentForm() {
  QWidget* form = FOwner.window();
  if (form == &FOwner || form == FParentForm) return;
  if (FParentForm) FParentForm->removeEventFilter(&FOwner);
  FParentForm = form;
  FParentForm->installEventFilter(&FOwner);
}

// --- Tiles and the repaint cycle ------------------------------------------------

void TVuroduDavControl::TileLoaded(int x, int y, int /*z*/, int t) {
  if (FD->FDestroying) return;
  if (!FD->FRenderer->TileArrived(x, y, t != 0)) return;
  // A tile the render itself found in a cache is drawn by that render:
  // asking for another one would only redraw the same frame. (A missing
  // tile still asks, so that the next render tries it again.)
  if (FD->inPaint && t != 0) return;
  PostMapMessage(MessageTarget(), WM_MAPREPAINT);
}

void TVuroduDavControl::TPrivate::HandleMessage(uint32_t msg, intptr_t wParam) {
  if (FDestroying) return;
  switch (msg) {
    case WM_MAPREPAINT:
      FRepaint->Request();
      break;
    case WM_MAPBOUNDS:
      Fire(FOwner.OnChangeMapBounds, &FOwner);
      break;
    case WM_MAPGROUPLOADED:
      GroupLoaded(wParam);
      break;
    default:
      break;
  }
}

void TVuroduDavControl::TimerTick() {
  if (FD->FDestroying || !FD->FDraw) return;
  const uint32_t now = FD->FRepaint->Now();
  WorldInfo().SetTick(now);
  if (!FD->FRepaint->Step(now)) return;
  FD->FShapesGroup->AnimationShapes();
  NotifyObservers(omMapAnimation);
  if (FD->FRepaint->TakeRequests()) RedrawMap(false);
}

// --- Shapes -------------------------------------------------------------------

TWyShapes* TVuroduDavControl::Shapes() {
  return FD->FShapesGroup->getShapes("");
}

TWyShape* TVuroduDavControl::Add(TNativeShape Shape, double Lat, double Lng,
                                 const std::string& GroupName) {
  return FD->FShapesGroup->Add(Shape, Lat, Lng, GroupName);
}

void TVuroduDavControl::Remove(TWyShape* Shape) {
  if (Shape) FD->FShapesGroup->Remove(Shape);
}

void TVuroduDavControl::PreLoadGraphic(const std::string& Filename) {
  FD->FShapesGroup->PreLoadGraphic(Filename);
}

void TVuroduDavControl::BeginUpdate() {
  FD->FShapesGroup->BeginUpdate();
}

void TVuroduDavControl::EndUpdate() {
  FD->FShapesGroup->EndUpdate();
}

// --- Observers ------------------------------------------------------------------

void TVuroduDavControl::Attach(TVuroduDavObserver* Observer) {
  if (!Observer) return;
  if (std::find(FD->FObservers.begin(), FD->FObservers.end(), Observer) == FD->FObservers.end())
    FD->FObservers.push_back(Observer);
}

void TVuroduDavControl::Detach(TVuroduDavObserver* Observer) {
  auto it = std::find(FD->FObservers.begin(), FD->FObservers.end(), Observer);
  if (it != FD->FObservers.end()) FD->FObservers.erase(it);
}

void TVuroduDavControl::NotifyObservers(uint32_t msg, void* item) {
  // A handler may attach or detach (and free) observers: walk a snapshot and
  // skip those no longer attached.
  const std::vector<TVuroduDavObserver*> snapshot = FD->FObservers;
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
    TVuroduDavObserver* o = *it;
    if (std::find(FD->FObservers.begin(), FD->FObservers.end(), o) == FD->FObservers.end())
      continue;
    if (o->MinZoom() <= Zoom() && Zoom() <= o->MaxZoom()) o->Send(msg, item);
  }
}

}  // namespace wy

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
#include "map/detail/map_input_handler.h"
#include "map/detail/map_tile_frame.h"
#include "map/detail/repaint_scheduler.h"
#include "map/map_controls.h"
#include "map/native_panoramio_layer.h"
#include "map/traffic_layer.h"
#include "platform/log.h"
#include "platform/map_messages.h"
#include "platform/tick.h"
#include "services/geo_localise.h"
#include "shapes/shape.h"
#include "shapes/shapes_group.h"
#include "tiles/local_tile_source.h"
#include "tiles/tile_server.h"

namespace wy {

namespace {

constexpr int kTileSize = TMapTileFrame::kTileSize;
constexpr uint32_t kTimerIntervalMs = 20;
constexpr uint16_t kDefaultCacheSize = 256;
// Short pans animate; this many steps at most, then the map jumps.
constexpr int kMaxPanSteps = 100;
constexpr double kPanAnimateKm = 0.5;
constexpr TColor kCopyrightColor = 0x808080;
// Above this many shapes on screen, a map drag draws only the tiles.
constexpr int32_t kMaxShapesWhileDragging = 4000;

QColor PlaceholderColor() {
  return ToQColor(cl3DLight);
}

// From this many device pixels per map pixel on, tiles come at twice the
// density (a screen at 1.25 draws ordinary tiles slightly enlarged; one at
// 1.5 or more would blur them visibly).
constexpr qreal kDenseTilesFrom = 1.5;

int TileScaleFor(qreal devicePixelRatio) {
  return devicePixelRatio >= kDenseTilesFrom ? 2 : 1;
}

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

TVuroduDavControl::TVuroduDavControl(QWidget* parent)
    : QWidget(parent),
      FTileFrame(std::make_unique<TMapTileFrame>(PlaceholderColor())),
      FRepaint(std::make_unique<TRepaintScheduler>()),
      FInput(std::make_unique<TMapInputHandler>(*this)),
      FControls(std::make_unique<TMapControls>(*this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);

  FWyCanvas = std::make_unique<TWyCanvas>();
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSize(8);
  FWyCanvas->SetFont(font);

  FMailbox = std::make_unique<TMessageMailbox>(
      [this](uint32_t msg, intptr_t wParam, intptr_t) { HandleMessage(msg, wParam); });
  FMapServer = std::make_unique<TVuroduDavServer>(FMailbox->Target(), PlaceholderColor());
  FMapServer->SetCacheSize(kDefaultCacheSize);
  FMapServer->SetTileServer(tsOSM);
  // A tile the server cannot deliver shows the built-in world map meanwhile.
  FMapServer->SetStandIn(true);
  FMapServer->OnLoadTile = [this](int x, int y, int z, int t) { TileLoaded(x, y, z, t); };
  FShapesHost = std::make_unique<TShapesHost>(this, FMailbox->Target());
  FShapesGroup = std::make_unique<TWyShapesGroup>(
      FWyCanvas.get(), FShapesHost.get(), &FViewport.WorldInfo(), wy::TNotifyEvent{},
      wy::TNotifyEvent{}, [this](TObject* sender, TWyShape* item, bool& cancel) {
        Fire(OnShapeMove, sender, item, cancel);
      });
  FShapesGroup->OnHotSpot = [this](TObject* sender, const std::string& url) {
    Fire(OnHotSpot, sender, url);
    SetUrl(url);
  };
  InstallShapeRelays();
  FThreadedTimer = std::make_unique<TThreadedTimer>(true, kTimerIntervalMs, true);
  FThreadedTimer->OnTimer = [this](TThreadedTimer*) { TimerTick(); };

  // Until it is laid out the control is 256 x 256; the first show centres
  // it again at its real size.
  resize(kTileSize, kTileSize);
  ResizeSurfaces();
  CenterOn(Latitude(), Longitude());
}

TVuroduDavControl::~TVuroduDavControl() {
  FDraw = false;
  FDestroying = true;
  *FRoutesAlive = false;
  if (FParentForm) FParentForm->removeEventFilter(this);
  // The layers let go of the map and stop their requests first.
  FNativePanoramioLayer.reset();
  FTrafficLayer.reset();
  // The shapes stop asking for repaints and stop drawing.
  if (FShapesGroup) FShapesGroup->SetParent(nullptr);
  NotifyObservers(omMapFree);
  FObservers.clear();
  // No posted message reaches this object any more.
  FMailbox.reset();
  if (FThreadedTimer) {
    FThreadedTimer->OnTimer = nullptr;
    FThreadedTimer->doTermine();
    FThreadedTimer.reset();  // joins
  }
  if (FOverlayServer) {
    FOverlayServer->OnLoadTile = nullptr;
    FOverlayServer->SetCancel(true);
    FOverlayServer.reset();
  }
  if (FMapServer) {
    FMapServer->OnLoadTile = nullptr;
    FMapServer->SetCancel(true);  // aborts and joins downloads; no lock held here
    FMapServer.reset();
  }
  // The shapes go before the surface they draw on.
  FShapesGroup.reset();
}

// --- Viewport ---------------------------------------------------------------

void TVuroduDavControl::SetLatitude(double value) {
  CenterOn(value, Center().Lng);
}

void TVuroduDavControl::SetLongitude(double value) {
  CenterOn(Center().Lat, value);
}

TLatLng TVuroduDavControl::Center() {
  SyncSize();
  return FViewport.Center();
}

void TVuroduDavControl::SetCenter(const TLatLng& value) {
  CenterOn(value.Lat, value.Lng);
}

void TVuroduDavControl::setCenter(double Lat, double Lng) {
  CenterOn(Lat, Lng);
}

TLatLng TVuroduDavControl::FromXYToLatLng(int64_t X, int64_t Y) {
  SyncSize();
  return FViewport.FromXYToLatLng(X, Y);
}

void TVuroduDavControl::ViewMoved() {
  // Every tile is drawn again after a centring, whatever the offset was.
  ClearTiles();
}

void TVuroduDavControl::CenterOn(double Lat, double Lng) {
  SyncSize();
  if (!FViewport.CenterOn(Lat, Lng)) return;
  ViewMoved();
  ViewChanged();
  if (FDraw) {
    RedrawMap(false);
    NotifyObservers(omMapMove);
    Fire(OnMapMove, this, Latitude(), Longitude());
  }
}

void TVuroduDavControl::ViewChanged() {
  FControls->ViewChanged();
  if (!FDraw) return;
  const bool outOfBounds = FViewport.LimitBoxHit();
  FShapesGroup->ShapesToDraw();
  NotifyObservers(omMapBounds);
  NotifyObservers(omMapEndMove);
  FShapesGroup->MapEndMove();
  PostMapMessage(MessageTarget(), WM_MAPBOUNDS);
  if (outOfBounds) {
    // The view crossed the limit box: pulled back inside it (silently, as
    // Bounds does), and the application told.
    const TWyWorldInfo& w = FViewport.WorldInfo();
    Bounds(w.NorthEastLatitude(), w.NorthEastLongitude(), w.SouthWestLatitude(),
           w.SouthWestLongitude());
    Fire(OnOutOfBounds, this);
  }
}

void TVuroduDavControl::MoveEnded() {
  NotifyObservers(omMapEndMove);
  FShapesGroup->MapEndMove();
}

void TVuroduDavControl::SetZoom(uint8_t value) {
  SyncSize();
  if (FViewport.SetZoom(value)) ZoomApplied();
}

void TVuroduDavControl::ZoomApplied() {
  ViewMoved();
  ViewChanged();
  if (!FDraw) return;
  RedrawMap(false);
  NotifyObservers(omMapMove);
  Fire(OnMapMove, this, Latitude(), Longitude());
  MoveEnded();
  Fire(OnChangeMapZoom, this);
}

void TVuroduDavControl::ZoomAbout(uint8_t value, const QPoint& at) {
  SyncSize();
  if (FViewport.ZoomAbout(value, at.x(), at.y())) ZoomApplied();
}

bool TVuroduDavControl::ShowZoomButtons() const {
  return FControls->ZoomButtons();
}

void TVuroduDavControl::SetShowZoomButtons(bool v) {
  FControls->SetZoomButtons(v);
}

bool TVuroduDavControl::ShowScaleBar() const {
  return FControls->ScaleBar();
}

void TVuroduDavControl::SetShowScaleBar(bool v) {
  FControls->SetScaleBar(v);
}

void TVuroduDavControl::SetMinZoom(uint8_t value) {
  const uint8_t zoom = Zoom();
  if (FViewport.SetMinZoom(value) && Zoom() != zoom) ZoomApplied();
}

void TVuroduDavControl::SetMaxZoom(uint8_t value) {
  const uint8_t zoom = Zoom();
  if (FViewport.SetMaxZoom(value) && Zoom() != zoom) ZoomApplied();
}

void TVuroduDavControl::Bounds(double NELat, double NELng, double SWLat, double SWLng) {
  // Silent: no render and no notification; the shapes the new view shows
  // are listed for the next frame.
  SyncSize();
  FViewport.ZoomInOnBox({NELat, NELng, SWLat, SWLng});
  ViewMoved();
  if (FDraw) FShapesGroup->ShapesToDraw();
}

void TVuroduDavControl::fitBounds(double NELat, double NELng, double SWLat, double SWLng) {
  SyncSize();
  FViewport.FitBox({NELat, NELng, SWLat, SWLng});
  ViewMoved();
  if (!FDraw) return;
  FShapesGroup->ShapesToDraw();
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
  FViewport.SetLimitBox({NELat, NELng, SWLat, SWLng});
  Bounds(NELat, NELng, SWLat, SWLng);
  setCenter(lat, lng);
}

void TVuroduDavControl::StepTowards(double Lat, double Lng) {
  const TLatLng next = FViewport.StepTowards(Lat, Lng);
  setCenter(next.Lat, next.Lng);
}

void TVuroduDavControl::PanTo(double Lat, double Lng) {
  if (!std::isfinite(Lat) || !std::isfinite(Lng)) return;
  if (wy::DistanceFrom(Latitude(), Longitude(), Lat, Lng) < kPanAnimateKm) {
    // A target the view cannot reach (outside the limit box or beyond the
    // projection's limit) would never be contained: stop when the centre no
    // longer moves or after a bounded number of steps.
    for (int step = 0; step < kMaxPanSteps && !WorldInfo().ContainsLatLng(Lat, Lng); ++step) {
      const int64_t fx = FX(), fy = FY();
      StepTowards(Lat, Lng);
      if (FX() == fx && FY() == fy) break;
    }
  }
  setCenter(Lat, Lng);
}

void TVuroduDavControl::ShiftView(int64_t dx, int64_t dy) {
  // The tile states move with the tiles: the tiles already drawn stay final.
  FTileFrame->Shift(dx, dy);
  FViewport.Shift(dx, dy);
  ViewChanged();
  if (FDraw) {
    RedrawMap(false);
    NotifyObservers(omMapMove);
    Fire(OnMapMove, this, Latitude(), Longitude());
  }
}

void TVuroduDavControl::EndMapDrag(int64_t dx, int64_t dy) {
  FViewport.Shift(dx, dy);
  ClearTiles();
  ViewChanged();
  RedrawMap(false);
  // Shapes were left out while the map was dragged: draw them now.
  if (FShapesGroup->DrawCount() >= kMaxShapesWhileDragging)
    PostMapMessage(MessageTarget(), WM_MAPREPAINT);
}

TLatLng TVuroduDavControl::MouseLatLng() const {
  return FInput->MouseLatLng();
}

double TVuroduDavControl::WorldX() const {
  return FInput->WorldX();
}

double TVuroduDavControl::WorldY() const {
  return FInput->WorldY();
}

// --- Tile service -------------------------------------------------------------

TTileServer TVuroduDavControl::TileServer() const {
  return FMapServer->TileServer();
}

void TVuroduDavControl::SetTileServer(TTileServer value) {
  FMapServer->SetTileServer(value);
  TileSourceChanged();
}

void TVuroduDavControl::TileSourceChanged() {
  const TTileServerInfo& info = FMapServer->TileServerInfo();
  SetMinZoom(info.MinZoom);
  SetMaxZoom(info.MaxZoom);
  ClearTiles();
  RedrawMap(false);
  NotifyObservers(omMapTileServer);
}

TTileServerInfo& TVuroduDavControl::TileServerInfo() {
  return FMapServer->TileServerInfo();
}

bool TVuroduDavControl::SetLocalTiles(const std::string& path, std::string& error) {
  if (!UseLocalTileSource(path, FMapServer->TileServerInfo(), error)) return false;
  // The service's tiles in memory are not this source's.
  FMapServer->ClearCache();
  TileSourceChanged();
  return true;
}

uint16_t TVuroduDavControl::CacheSize() const {
  return FMapServer->CacheSize();
}

void TVuroduDavControl::SetCacheSize(uint16_t value) {
  FMapServer->SetCacheSize(value);
}

uint8_t TVuroduDavControl::MaxThreadTile() const {
  return FMapServer->MaxThreadTile();
}

void TVuroduDavControl::SetMaxThreadTile(uint8_t value) {
  FMapServer->SetMaxThreadTile(std::max<uint8_t>(value, 2));
}

std::string TVuroduDavControl::LocalCache() const {
  return FMapServer->LocalCache();
}

void TVuroduDavControl::SetLocalCache(const std::string& value) {
  FMapServer->SetLocalCache(value);
  if (FOverlayServer) FOverlayServer->SetLocalCache(value);
  if (FGeoLocalise && FGeoLocalise->LocalCache().empty()) FGeoLocalise->SetLocalCache(value);
}

void TVuroduDavControl::AddOverlayTiles(TOnMapServerTilePath getOverlayTiles,
                                        const std::string& Name, uint8_t MaxZoom, uint8_t MinZoom) {
  RemoveOverlayTiles();
  auto server = std::make_unique<TVuroduDavServer>(MessageTarget(), PlaceholderColor());
  server->SetCacheSize(kDefaultCacheSize);
  TTileServerInfo& info = server->TileServerInfo();
  info.MinZoom = MinZoom;
  info.MaxZoom = MaxZoom;
  info.GetTileFilename = std::move(getOverlayTiles);
  info.SetTileFormat(stPng);
  info.Name = Name;
  server->SetLocalCache(FMapServer->LocalCache());
  server->SetTileScale(FMapServer->TileScale());
  server->OnLoadTile = [this](int x, int y, int z, int t) { TileLoaded(x, y, z, t); };
  FOverlayServer = std::move(server);
  ClearTiles();
  RedrawMap(false);
}

void TVuroduDavControl::RemoveOverlayTiles() {
  if (!FOverlayServer) return;
  // Out of use before it is cancelled: cancelling waits for its downloads,
  // and nothing may start new ones meanwhile.
  std::unique_ptr<TVuroduDavServer> server = std::move(FOverlayServer);
  server->OnLoadTile = nullptr;
  server->SetCancel(true);
  server.reset();
  ClearTiles();
  RedrawMap(false);
}

uint64_t TVuroduDavControl::MessageTarget() const {
  return FMailbox ? FMailbox->Target() : 0;
}

// --- Rendering ---------------------------------------------------------------

std::string TVuroduDavControl::AttributionLinkAt(const QPoint& at) const {
  if (!OnAttributionClick || !FCopyrightRect.contains(at)) return std::string();
  return FMapServer->TileServerInfo().CopyRightUrl;
}

void TVuroduDavControl::SetShowCopyrightTile(bool value) {
  if (value == FShowCopyrightTile) return;
  FShowCopyrightTile = value;
  Valide_Map = false;
  RedrawMap(false);
}

TDisplayMapTiles& TVuroduDavControl::DisplayMapTiles() {
  return FTileFrame->Grid();
}

int TVuroduDavControl::PendingRepaints() const {
  return FRepaint->Pending();
}

void TVuroduDavControl::ClearTiles() {
  FTileFrame->Clear();
  Valide_Map = false;
}

void TVuroduDavControl::ResizeSurfaces() {
  const int w = std::max(1, width());
  const int h = std::max(1, height());
  // The frame has the screen's pixels; everything is laid out in the
  // widget's own units.
  const qreal dpr = std::max<qreal>(1.0, devicePixelRatioF());
  if (dpr != FDevicePixelRatio) {
    FDevicePixelRatio = dpr;
    FCopyright = QImage();
    const int scale = TileScaleFor(dpr);
    FMapServer->SetTileScale(scale);
    if (FOverlayServer) FOverlayServer->SetTileScale(scale);
  }
  FWyCanvas->SetDevicePixelRatio(dpr);
  FWyCanvas->SetSize(w, h);
  FTileFrame->Resize(w, h);
  FScreenShotRender = -1;
  FViewport.SetSize(width(), height());
  Valide_Map = false;
}

void TVuroduDavControl::SyncSize() {
  // A hidden widget gets its resize event only when it is shown; its
  // geometry counts at once.
  if (FViewport.Width() != width() || FViewport.Height() != height())
    FViewport.SetSize(width(), height());
}

bool TVuroduDavControl::CanRender() const {
  return !FDestroying && FDraw && !inPaint && isVisible();
}

void TVuroduDavControl::RedrawMap(bool fast) {
  if (!CanRender()) return;
  if (!fast) RenderFrame();
  repaint();
}

bool TVuroduDavControl::FetchTile(int64_t tx, int64_t ty, TTileImages& images) {
  if (tx < 0 || ty < 0 || tx >= FViewport.TilesPerSide() || ty >= FViewport.TilesPerSide()) {
    // Outside the world: the placeholder colour, never stale pixels.
    images.Outside = true;
    return false;
  }
  const int x = static_cast<int>(tx), y = static_cast<int>(ty), z = static_cast<int>(Zoom());
  images.Base = FMapServer->GetTile(x, y, z);
  const bool real = FMapServer->TileOK();
  if (FOverlayServer) {
    const QImage& overlay = FOverlayServer->GetTile(x, y, z);
    // Only real overlay images are drawn, never its placeholder.
    if (FOverlayServer->TileOK()) images.Overlay = overlay;
  }
  return real;
}

bool TVuroduDavControl::ShapesToCompose() const {
  if (!DrawShapesNow()) return false;
  for (const TWyShapes* group : FShapesGroup->Groups())
    if (group->Visible() && !group->DrawList().empty()) return true;
  return false;
}

bool TVuroduDavControl::DrawShapesNow() const {
  if (!FInput->ButtonDown()) return true;
  return FShapesGroup->DrawCount() < kMaxShapesWhileDragging ||
         FShapesGroup->ShapeHover() != nullptr;
}

void TVuroduDavControl::RenderFrame() {
  try {
    ComposeFrame();
  } catch (const std::exception& e) {
    // The frame is given up; the next render tries again.
    Valide_Map = false;
    LogError("map", std::string("TVuroduDavControl.RenderFrame: ") + e.what());
  }
}

void TVuroduDavControl::ComposeFrame() {
  // Cleared however the frame ends, so that a failing render never stops
  // rendering for good.
  TFlagScope painting(inPaint);
  // The tile server has locks of its own (a tile may come from a file):
  // the process-wide map lock is held for the shapes only.
  FTileFrame->Fetch(FX(), FY(), [this](int64_t tx, int64_t ty, TTileImages& images) {
    return FetchTile(tx, ty, images);
  });
  TGlobalMapLockGuard lock(GlobalMapLock());
  FFrameHasShapes = ShapesToCompose();
  if (FFrameHasShapes) {
    // The shapes need a surface: the tiles go onto it first. Without
    // shapes the tiles go straight to the screen when it is painted.
    {
      QPainter painter(&FWyCanvas->MutableBitmap());
      FTileFrame->Draw(painter, QRect(0, 0, width(), height()));
    }
    try {
      FShapesGroup->Draw();
    } catch (const std::exception& e) {
      // A drawing error ends this frame's shapes; the next frame tries again.
      LogWarning("map", std::string("drawing the shapes: ") + e.what());
    }
    FWyCanvas->Bitmap();  // finishes the drawing
  }
  UpdateAttribution();
  Valide_Map = true;
  ++FRenderCount;
}

void TVuroduDavControl::UpdateAttribution() {
  const std::string& text = FMapServer->TileServerInfo().CopyRight;
  if (!FShowCopyrightTile || text.empty()) {
    FCopyrightRect = QRect();
    return;
  }
  if (text != FCopyrightText || FCopyright.isNull()) {
    // Laid out with the drawing surface's font and metrics, once per text.
    FCopyrightText = text;
    const int w = FWyCanvas->TextWidth(text);
    const int h = FWyCanvas->TextHeight(text);
    const qreal dpr = FDevicePixelRatio;
    FCopyright = QImage(static_cast<int>(std::ceil(std::max(w, 1) * dpr)),
                        static_cast<int>(std::ceil(std::max(h, 1) * dpr)),
                        QImage::Format_ARGB32_Premultiplied);
    FCopyright.setDevicePixelRatio(dpr);
    // A light veil behind the text keeps it readable over dark imagery.
    FCopyright.fill(QColor(255, 255, 255, 150));
    QPainter painter(&FCopyright);
    const QFontMetrics metrics(FWyCanvas->Font(), &FCopyright);
    painter.setFont(FWyCanvas->Font());
    painter.setPen(ToQColor(kCopyrightColor));
    painter.drawText(0, metrics.ascent(), QString::fromStdString(text));
  }
  // Bottom right, 4 pixels from the right edge.
  const QSize size = FCopyright.deviceIndependentSize().toSize();
  FCopyrightRect =
      QRect(width() - size.width() - 4, height() - size.height(), size.width(), size.height());
}

const QImage& TVuroduDavControl::ScreenShot() {
  if (FScreenShotRender != FRenderCount) {
    if (FFrameHasShapes) {
      FScreenShot = FWyCanvas->Bitmap().copy();
    } else {
      const qreal dpr = FDevicePixelRatio;
      FScreenShot =
          QImage(static_cast<int>(std::ceil(std::max(1, width()) * dpr)),
                 static_cast<int>(std::ceil(std::max(1, height()) * dpr)), QImage::Format_RGB32);
      FScreenShot.setDevicePixelRatio(dpr);
      QPainter painter(&FScreenShot);
      FTileFrame->Draw(painter, QRect(0, 0, width(), height()));
    }
    if (!FCopyrightRect.isEmpty()) {
      QPainter painter(&FScreenShot);
      painter.drawImage(FCopyrightRect.topLeft(), FCopyright);
    }
    FScreenShotRender = FRenderCount;
  }
  return FScreenShot;
}

void TVuroduDavControl::paintEvent(QPaintEvent* event) {
  if (FDestroying) return;
  // Moved to a screen of another pixel density: the frame follows.
  if (std::max<qreal>(1.0, devicePixelRatioF()) != FDevicePixelRatio) ResizeSurfaces();
  if (!Valide_Map && CanRender()) RenderFrame();
  const QRect area = event->rect();
  if (FFrameHasShapes) {
    QPainter painter(this);
    // The frame is opaque: copied, not blended, pixel for pixel.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const QImage& frame = FWyCanvas->Bitmap();
    const qreal dpr = frame.devicePixelRatio();
    painter.drawImage(
        QRectF(area), frame,
        QRectF(area.x() * dpr, area.y() * dpr, area.width() * dpr, area.height() * dpr));
  } else {
    QPainter painter(this);
    FTileFrame->Draw(painter, area);
  }
  if (FCopyrightRect.intersects(area)) {
    QPainter painter(this);
    painter.drawImage(FCopyrightRect.topLeft(), FCopyright);
  }
}

void TVuroduDavControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (FDestroying) return;
  // FX, FY stay: the top-left corner of the view stays put.
  ResizeSurfaces();
  ViewChanged();
  if (FDraw) RedrawMap(false);
  NotifyObservers(omMapResize);
  NotifyObservers(omMapEndMove);
}

void TVuroduDavControl::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (FDestroying) return;
  // The window may have changed since the last show.
  HookParentForm();
  if (FLoaded) return;
  // First show: drawing starts, and the centre and zoom set so far are
  // applied at the real size.
  FLoaded = true;
  FRepaint->Reset();
  FDraw = true;
  if (FWyCanvas->Width() != std::max(1, width()) || FWyCanvas->Height() != std::max(1, height()))
    ResizeSurfaces();
  FThreadedTimer->Start();
  CenterOn(Latitude(), Longitude());
  NotifyObservers(omMapResize);
  NotifyObservers(omMapEndMove);
}

// --- Input ------------------------------------------------------------------------

void TVuroduDavControl::mousePressEvent(QMouseEvent* event) {
  FInput->Press(event);
  QWidget::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
}

void TVuroduDavControl::mouseMoveEvent(QMouseEvent* event) {
  FInput->Move(event);
  QWidget::mouseMoveEvent(event);
}

void TVuroduDavControl::mouseReleaseEvent(QMouseEvent* event) {
  FInput->Release(event);
  QWidget::mouseReleaseEvent(event);
}

void TVuroduDavControl::mouseDoubleClickEvent(QMouseEvent* event) {
  FInput->DoubleClick(event);
  setFocus(Qt::MouseFocusReason);
}

void TVuroduDavControl::wheelEvent(QWheelEvent* event) {
  if (FInput->Wheel(event)) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TVuroduDavControl::keyPressEvent(QKeyEvent* event) {
  if (FInput->Key(event)) {
    event->accept();
  } else {
    QWidget::keyPressEvent(event);
  }
}

bool TVuroduDavControl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FParentForm && event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (FInput->Wheel(wheel)) {
      wheel->accept();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TVuroduDavControl::HookParentForm() {
  QWidget* form = window();
  if (form == this || form == FParentForm) return;
  if (FParentForm) FParentForm->removeEventFilter(this);
  FParentForm = form;
  FParentForm->installEventFilter(this);
}

// --- Tiles and the repaint cycle ------------------------------------------------

void TVuroduDavControl::TileLoaded(int x, int y, int /*z*/, int t) {
  if (FDestroying) return;
  if (!FTileFrame->TileArrived(x, y, t != 0)) return;
  // A tile the render itself found in a cache is drawn by that render:
  // asking for another one would only redraw the same frame. (A missing
  // tile still asks, so that the next render tries it again.)
  if (inPaint && t != 0) return;
  PostMapMessage(MessageTarget(), WM_MAPREPAINT);
}

void TVuroduDavControl::HandleMessage(uint32_t msg, intptr_t wParam) {
  if (FDestroying) return;
  switch (msg) {
    case WM_MAPREPAINT:
      FRepaint->Request();
      break;
    case WM_MAPBOUNDS:
      Fire(OnChangeMapBounds, this);
      break;
    case WM_MAPGROUPLOADED:
      GroupLoaded(wParam);
      break;
    default:
      break;
  }
}

void TVuroduDavControl::TimerTick() {
  if (FDestroying || !FDraw) return;
  const uint32_t now = FRepaint->Now();
  WorldInfo().SetTick(now);
  if (!FRepaint->Step(now)) return;
  FShapesGroup->AnimationShapes();
  NotifyObservers(omMapAnimation);
  if (FRepaint->TakeRequests()) RedrawMap(false);
}

// --- Shapes -------------------------------------------------------------------

TWyShapes* TVuroduDavControl::Shapes() {
  return FShapesGroup->getShapes("");
}

TWyShape* TVuroduDavControl::Add(TNativeShape Shape, double Lat, double Lng,
                                 const std::string& GroupName) {
  return FShapesGroup->Add(Shape, Lat, Lng, GroupName);
}

void TVuroduDavControl::Remove(TWyShape* Shape) {
  if (Shape) FShapesGroup->Remove(Shape);
}

void TVuroduDavControl::PreLoadGraphic(const std::string& Filename) {
  FShapesGroup->PreLoadGraphic(Filename);
}

void TVuroduDavControl::BeginUpdate() {
  FShapesGroup->BeginUpdate();
}

void TVuroduDavControl::EndUpdate() {
  FShapesGroup->EndUpdate();
}

// --- Observers ------------------------------------------------------------------

void TVuroduDavControl::Attach(TVuroduDavObserver* Observer) {
  if (!Observer) return;
  if (std::find(FObservers.begin(), FObservers.end(), Observer) == FObservers.end())
    FObservers.push_back(Observer);
}

void TVuroduDavControl::Detach(TVuroduDavObserver* Observer) {
  auto it = std::find(FObservers.begin(), FObservers.end(), Observer);
  if (it != FObservers.end()) FObservers.erase(it);
}

void TVuroduDavControl::NotifyObservers(uint32_t msg, void* item) {
  // A handler may attach or detach (and free) observers: walk a snapshot and
  // skip those no longer attached.
  const std::vector<TVuroduDavObserver*> snapshot = FObservers;
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
    TVuroduDavObserver* o = *it;
    if (std::find(FObservers.begin(), FObservers.end(), o) == FObservers.end()) continue;
    if (o->MinZoom() <= Zoom() && Zoom() <= o->MaxZoom()) o->Send(msg, item);
  }
}

}  // namespace wy

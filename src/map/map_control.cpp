#include "map/map_control.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QShowEvent>
#include <QWheelEvent>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "geo/geodesy.h"
#include "geo/global_lock.h"
#include "geo/query_value.h"
#include "geo/settings.h"
#include "geo/text_convert.h"
#include "geo/threaded_timer.h"
#include "graphics/canvas.h"
#include "graphics/system_colors.h"
#include "map/geo_services_adapter.h"
#include "platform/map_messages.h"
#include "platform/open_url.h"
#include "platform/tick.h"
#include "services/geo_localise.h"
#include "shapes/shape.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_line.h"
#include "shapes/shapes_group.h"
#include "tiles/tile_server.h"

namespace wy {

namespace {

constexpr int kTileSize = 256;
constexpr uint32_t kTimerIntervalMs = 20;
constexpr uint16_t kDefaultCacheSize = 256;
// Short pans animate; this many steps at most, then the map jumps.
constexpr int kMaxPanSteps = 100;
constexpr double kPanAnimateKm = 0.5;
constexpr TColor kCopyrightColor = 0x808080;
// A press and release closer than this on both axes is a click.
constexpr int kClickDistance = 5;
// While the pointer drags a shape this close to an edge, the map scrolls.
constexpr int kEdgeScroll = 32;
// Above this many shapes on screen, a map drag draws only the tiles.
constexpr int32_t kMaxShapesWhileDragging = 4000;

// Calls an event through a copy of it: the handler may free the object that
// holds the event (a shape deleting itself from its own click handler).
template <typename F, typename... A>
bool Fire(const F& event, A&&... args) {
  if (!event) return false;
  F copy = event;
  copy(std::forward<A>(args)...);
  return true;
}

// A shape's own handler if it has one, else the map's.
template <typename F, typename... A>
void FireOwnOrMap(const F& own, const F& map, A&&... args) {
  if (!Fire(own, args...)) Fire(map, args...);
}

// A coordinate of a navigation address: a decimal number written with "."
// (or one ","), nothing else.
bool ReadUrlNumber(std::string text, double& value) {
  const auto comma = text.find(',');
  if (comma != std::string::npos) text[comma] = '.';
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const auto r = std::from_chars(first, last, value);
  return r.ec == std::errc() && r.ptr == last && std::isfinite(value);
}

QColor PlaceholderColor() {
  return ToQColor(cl3DLight);
}

// Nearest integer (halves to even) of a world pixel, kept far from the
// int64 limits.
int64_t RoundPixel(double v) {
  const double limit = 1e15;
  return static_cast<int64_t>(std::nearbyint(std::clamp(v, -limit, limit)));
}

}  // namespace

// The map as the shapes see it: repaint requests go to the map's mailbox
// (any thread; dropped once the map is gone), events name the map.
class TVuroduDavControl::TShapesHost : public TWyShapesHost {
 public:
  TShapesHost(TVuroduDavControl* map, uint64_t target) : FMap(map), FTarget(target) {}
  void RequestRepaint() override { PostMapMessage(FTarget, WM_MAPREPAINT); }
  TObject* EventSender() override { return FMap; }

 private:
  TVuroduDavControl* FMap;
  const uint64_t FTarget;
};

TVuroduDavControl::TVuroduDavControl(QWidget* parent)
    : QWidget(parent), FWorldInfo(std::make_unique<TWyWorldInfo>()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);

  FWorldInfo->SetZoom(FZoom);
  FWyCanvas = std::make_unique<TWyCanvas>();
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSize(8);
  FWyCanvas->SetFont(font);

  FMailbox = std::make_unique<TMessageMailbox>(
      [this](uint32_t msg, intptr_t, intptr_t) { HandleMessage(msg); });
  FMapServer = std::make_unique<TVuroduDavServer>(FMailbox->Target(), PlaceholderColor());
  FMapServer->SetCacheSize(kDefaultCacheSize);
  FMapServer->SetTileServer(tsOSM);
  FMapServer->OnLoadTile = [this](int x, int y, int z, int t) { TileLoaded(x, y, z, t); };
  FShapesHost = std::make_unique<TShapesHost>(this, FMailbox->Target());
  FShapesGroup = std::make_unique<TWyShapesGroup>(
      FWyCanvas.get(), FShapesHost.get(), FWorldInfo.get(), wy::TNotifyEvent{}, wy::TNotifyEvent{},
      [this](TObject* sender, TWyShape* item, bool& cancel) {
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
  CenterOn(FLatitude, Flongitude);
}

TVuroduDavControl::~TVuroduDavControl() {
  FDraw = false;
  FDestroying = true;
  if (FParentForm) FParentForm->removeEventFilter(this);
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
  return FromXYToLatLng(width() / 2, height() / 2);
}

void TVuroduDavControl::SetCenter(const TLatLng& value) {
  CenterOn(value.Lat, value.Lng);
}

void TVuroduDavControl::setCenter(double Lat, double Lng) {
  CenterOn(Lat, Lng);
}

void TVuroduDavControl::CenterOn(double Lat, double Lng) {
  if (!std::isfinite(Lat) || !std::isfinite(Lng)) return;
  FLatitude = Lat;
  Flongitude = Lng;
  // The projection has no value at the poles: project at its limit.
  const double lat = std::clamp(Lat, -cLatitudeLimit, cLatitudeLimit);
  double x = 0, y = 0;
  LatLngToWorldPixel(FZoom, lat, Lng, x, y);
  FX_ = width() / 2 - RoundPixel(x);
  FY_ = height() / 2 - RoundPixel(y);
  // Every tile is drawn again after a centring, whatever the offset was;
  // a drag step disables the grid to keep the tiles it shifted.
  if (FDisplayMapTiles.Enabled()) ClearTiles();
  Valide_Map = false;
  UpdateBounds();
  if (FDraw) {
    RedrawMap(false);
    NotifyObservers(omMapMove);
    if (OnMapMove) OnMapMove(this, FLatitude, Flongitude);
  }
}

void TVuroduDavControl::UpdateBounds() {
  Flag_LimitBox = false;
  const TLatLng ne = FromXYToLatLng(width(), 0);
  const TLatLng sw = FromXYToLatLng(0, height());
  const bool outOfBounds = Flag_LimitBox;
  FWorldInfo->SetNorthEastLatitude(ne.Lat);
  FWorldInfo->SetNorthEastLongitude(ne.Lng);
  FWorldInfo->SetSouthWestLatitude(sw.Lat);
  FWorldInfo->SetSouthWestLongitude(sw.Lng);
  FWorldInfo->SetLeft(SaturateToInt32(static_cast<double>(-FX_)));
  FWorldInfo->SetTop(SaturateToInt32(static_cast<double>(-FY_)));
  FWorldInfo->SetWidth(width());
  FWorldInfo->SetHeight(height());
  FWorldInfo->SetZoom(FZoom);
  if (!FDraw) return;
  FShapesGroup->ShapesToDraw();
  NotifyObservers(omMapBounds);
  NotifyObservers(omMapEndMove);
  FShapesGroup->MapEndMove();
  PostMapMessage(MessageTarget(), WM_MAPBOUNDS);
  if (outOfBounds) {
    Bounds(ne.Lat, ne.Lng, sw.Lat, sw.Lng);
    if (OnOutOfBounds) OnOutOfBounds(this);
  }
}

void TVuroduDavControl::XYToWorld(int64_t X, int64_t Y, double& wx, double& wy) const {
  const double size = WorldSize(FZoom);
  wx = std::clamp(static_cast<double>(X - FX_), 0.0, size);
  wy = std::clamp(static_cast<double>(Y - FY_), 0.0, size);
}

void TVuroduDavControl::ClampToLimitBox(TLatLng& value) {
  if (value.Lat > _max_Latitude) {
    value.Lat = _max_Latitude;
    Flag_LimitBox = true;
  } else if (value.Lat < _min_Latitude) {
    value.Lat = _min_Latitude;
    Flag_LimitBox = true;
  }
  if (value.Lng > _max_longitude) {
    value.Lng = _max_longitude;
    Flag_LimitBox = true;
  } else if (value.Lng < _min_longitude) {
    value.Lng = _min_longitude;
    Flag_LimitBox = true;
  }
}

TLatLng TVuroduDavControl::FromXYToLatLng(int64_t X, int64_t Y) {
  double wx = 0, wy = 0;
  XYToWorld(X, Y, wx, wy);
  TLatLng result;
  WorldPixelToLatLng(FZoom, wx, wy, result.Lat, result.Lng);
  ClampToLimitBox(result);
  return result;
}

void TVuroduDavControl::ApplyZoom(uint8_t value) {
  FZoom = value;
  FWorldInfo->SetZoom(value);
  maxOfZoom = int64_t(1) << value;
}

void TVuroduDavControl::SetZoom(uint8_t value) {
  if (value == FZoom) return;
  const TLatLng c = Center();
  uint8_t z = value;
  if (z < FMinZoom) z = FMinZoom;
  if (z > FMaxZoom) z = FMaxZoom;
  ApplyZoom(z);
  CenterOn(c.Lat, c.Lng);
  if (FDraw) {
    NotifyObservers(omMapEndMove);
    FShapesGroup->MapEndMove();
    if (OnChangeMapZoom) OnChangeMapZoom(this);
  }
}

void TVuroduDavControl::SetMinZoom(uint8_t value) {
  if (value == FMinZoom) return;
  FMinZoom = value;
  if (FZoom < FMinZoom) SetZoom(FMinZoom);
}

void TVuroduDavControl::SetMaxZoom(uint8_t value) {
  if (value > kHighestZoom || value == FMaxZoom) return;
  FMaxZoom = value;
  if (FZoom > FMaxZoom) SetZoom(FMaxZoom);
}

bool TVuroduDavControl::BoxVisible(double NELat, double NELng, double SWLat, double SWLng) const {
  const TWyWorldInfo& w = *FWorldInfo;
  return w.ContainsLatLng(NELat, SWLng) && w.ContainsLatLng(NELat, NELng) &&
         w.ContainsLatLng(SWLat, NELng) && w.ContainsLatLng(SWLat, SWLng);
}

void TVuroduDavControl::Bounds(double NELat, double NELng, double SWLat, double SWLng) {
  const bool draw = FDraw;
  FDraw = false;
  CenterOn((NELat - SWLat) / 2 + SWLat, (NELng - SWLng) / 2 + SWLng);
  while (BoxVisible(NELat, NELng, SWLat, SWLng) && FZoom < FMaxZoom) SetZoom(FZoom + 1);
  FDraw = draw;
}

void TVuroduDavControl::fitBounds(double NELat, double NELng, double SWLat, double SWLng) {
  const bool draw = FDraw;
  FDraw = false;
  CenterOn((NELat - SWLat) / 2 + SWLat, (NELng - SWLng) / 2 + SWLng);
  while (!BoxVisible(NELat, NELng, SWLat, SWLng) && FZoom > FMinZoom) SetZoom(FZoom - 1);
  FDraw = draw;
  if (FDraw) {
    RedrawMap(false);
    NotifyObservers(omMapEndMove);
  }
}

void TVuroduDavControl::fitBoundsRadius(double dLat, double dLng, double dRadiusKm) {
  double latSW = 0, lngSW = 0, latNE = 0, lngNE = 0;
  boundingCoordinates(dLat, dLng, dRadiusKm, latSW, lngSW, latNE, lngNE);
  fitBounds(latNE, lngNE, latSW, lngSW);
}

void TVuroduDavControl::BoundingBox(double NELat, double NELng, double SWLat, double SWLng) {
  const double lat = FLatitude;
  const double lng = Flongitude;
  _max_Latitude = NELat;
  _max_longitude = NELng;
  _min_Latitude = SWLat;
  _min_longitude = SWLng;
  Bounds(_max_Latitude, _max_longitude, _min_Latitude, _min_longitude);
  setCenter(lat, lng);
}

void TVuroduDavControl::StepTowards(double Lat, double Lng) {
  const double dLat = std::fabs(FLatitude - Lat);
  const double dLng = std::fabs(Flongitude - Lng);
  const double spanLat = FWorldInfo->NorthEastLatitude() - FWorldInfo->SouthWestLatitude();
  const double spanLng = FWorldInfo->NorthEastLongitude() - FWorldInfo->SouthWestLongitude();
  if (dLat >= spanLat || dLng >= spanLng) {
    setCenter(Lat, Lng);
    return;
  }
  const double lat = FLatitude > Lat ? FLatitude - dLat / 10 : FLatitude + dLat / 10;
  const double lng = Flongitude > Lng ? Flongitude - dLng / 10 : Flongitude + dLng / 10;
  setCenter(lat, lng);
}

void TVuroduDavControl::PanTo(double Lat, double Lng) {
  if (!std::isfinite(Lat) || !std::isfinite(Lng)) return;
  if (DistanceFrom(FLatitude, Flongitude, Lat, Lng) < kPanAnimateKm) {
    // A target the view cannot reach (outside the limit box or beyond the
    // projection's limit) would never be contained: stop when the centre no
    // longer moves or after a bounded number of steps.
    for (int step = 0; step < kMaxPanSteps && !FWorldInfo->ContainsLatLng(Lat, Lng); ++step) {
      const int64_t fx = FX_, fy = FY_;
      StepTowards(Lat, Lng);
      if (FX_ == fx && FY_ == fy) break;
    }
  }
  setCenter(Lat, Lng);
}

// --- Tile service -------------------------------------------------------------

TTileServer TVuroduDavControl::TileServer() const {
  return FMapServer->TileServer();
}

void TVuroduDavControl::SetTileServer(TTileServer value) {
  FMapServer->SetTileServer(value);
  const TTileServerInfo& info = FMapServer->TileServerInfo();
  SetMinZoom(info.MinZoom);
  SetMaxZoom(info.MaxZoom);
  ClearTiles();
  Valide_Map = false;
  RedrawMap(false);
  NotifyObservers(omMapTileServer);
}

TTileServerInfo& TVuroduDavControl::TileServerInfo() {
  return FMapServer->TileServerInfo();
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
  server->OnLoadTile = [this](int x, int y, int z, int t) { TileLoaded(x, y, z, t); };
  FOverlayServer = std::move(server);
  ClearTiles();
  Valide_Map = false;
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
  Valide_Map = false;
  RedrawMap(false);
}

uint64_t TVuroduDavControl::MessageTarget() const {
  return FMailbox ? FMailbox->Target() : 0;
}

// --- Rendering ---------------------------------------------------------------

void TVuroduDavControl::SetShowCopyrightTile(bool value) {
  if (value == FShowCopyrightTile) return;
  FShowCopyrightTile = value;
  Valide_Map = false;
  RedrawMap(false);
}

const QImage& TVuroduDavControl::ScreenShot() {
  return FWyCanvas->Bitmap();
}

void TVuroduDavControl::ClearTiles() {
  FDisplayMapTiles.Clear();
  FBitmapTiles.fill(PlaceholderColor());
}

void TVuroduDavControl::ResizeSurfaces() {
  const int w = std::max(1, width());
  const int h = std::max(1, height());
  FWyCanvas->SetSize(w, h);
  FBitmapTiles = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
  FBitmapTiles.fill(PlaceholderColor());
  FDisplayMapTiles.setSize(w / kTileSize + 2, h / kTileSize + 2);
  Valide_Map = false;
}

bool TVuroduDavControl::CanRender() const {
  return !FDestroying && FDraw && !inPaint && isVisible();
}

void TVuroduDavControl::RedrawMap(bool fast) {
  PaintMap(FOffsetX, FOffsetY, fast);
}

void TVuroduDavControl::PaintMap(int64_t a, int64_t b, bool fast) {
  if (!CanRender()) return;
  if (!fast) RenderFrame(a, b);
  repaint();
}

bool TVuroduDavControl::DrawTile(int64_t tx, int64_t ty, QPainter& painter) {
  const int64_t px = tx * kTileSize + FX_;
  const int64_t py = ty * kTileSize + FY_;
  if (tx < 0 || ty < 0 || tx >= maxOfZoom || ty >= maxOfZoom) {
    // Outside the world: the placeholder colour, never stale pixels.
    painter.fillRect(QRect(static_cast<int>(px), static_cast<int>(py), kTileSize, kTileSize),
                     PlaceholderColor());
    return false;
  }
  const QImage& image =
      FMapServer->GetTile(static_cast<int>(tx), static_cast<int>(ty), static_cast<int>(FZoom));
  const QPoint at(static_cast<int>(px), static_cast<int>(py));
  painter.drawImage(at, image);
  const bool real = FMapServer->TileOK();
  if (FOverlayServer) {
    const QImage& overlay = FOverlayServer->GetTile(static_cast<int>(tx), static_cast<int>(ty),
                                                    static_cast<int>(FZoom));
    if (FOverlayServer->TileOK()) painter.drawImage(at, overlay);
  }
  return real;
}

void TVuroduDavControl::RenderFrame(int64_t a, int64_t b) {
  TGlobalMapLockGuard lock(GlobalMapLock());
  inPaint = true;
  const int64_t a1 = a - FOffsetX;
  const int64_t b1 = b - FOffsetY;
  FDisplayMapTiles.setX(static_cast<int>(-(FX_ + a1) / kTileSize));
  FDisplayMapTiles.setY(static_cast<int>(-(FY_ + b1) / kTileSize));
  {
    QPainter painter(&FBitmapTiles);
    const int gx = FDisplayMapTiles.x();
    const int gy = FDisplayMapTiles.y();
    for (int i = FDisplayMapTiles.Width() - 1; i >= 0; --i) {
      for (int j = FDisplayMapTiles.Height() - 1; j >= 0; --j) {
        const uint8_t state = FDisplayMapTiles.Cell(i, j);
        if (state == 255) continue;
        const bool real = DrawTile(int64_t(gx) + i, int64_t(gy) + j, painter);
        // The state is read again: a tile found in the memory cache reports
        // itself while it is fetched. Only a tile whose real image was drawn
        // is final; a placeholder (an image that did not decode after all)
        // is drawn again next time.
        if (real && FDisplayMapTiles.Cell(i, j) == 1) FDisplayMapTiles.SetCell(i, j, 255);
      }
    }
  }
  {
    QPainter painter(&FWyCanvas->MutableBitmap());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, FBitmapTiles);
  }
  if (DrawShapesNow()) {
    try {
      FShapesGroup->Draw();
    } catch (const std::exception&) {
      // A drawing error ends this frame's shapes; the next frame tries again.
    }
  }
  FCopyrightRect = QRect();
  if (FShowCopyrightTile) {
    const std::string& text = FMapServer->TileServerInfo().CopyRight;
    if (!text.empty()) {
      FWyCanvas->SetBrushStyle(bsClear);
      FWyCanvas->SetFontColor(kCopyrightColor);
      const int w = FWyCanvas->TextWidth(text);
      const int h = FWyCanvas->TextHeight(text);
      const int x = FWyCanvas->Width() - w - 4;
      const int y = FWyCanvas->Height() - h;
      {
        // A light veil behind the text keeps it readable over dark imagery.
        QPainter veil(&FWyCanvas->MutableBitmap());
        veil.fillRect(QRect(x, y, w, h), QColor(255, 255, 255, 150));
      }
      FWyCanvas->TextOut(x, y, text);
      FCopyrightRect = QRect(x, y, w, h);
    }
  }
  FWyCanvas->Bitmap();  // finishes the drawing
  Valide_Map = true;
  ++FRenderCount;
  inPaint = false;
}

void TVuroduDavControl::paintEvent(QPaintEvent*) {
  if (FDestroying) return;
  if (!Valide_Map && CanRender()) RenderFrame(FOffsetX, FOffsetY);
  QPainter painter(this);
  painter.drawImage(0, 0, FWyCanvas->Bitmap());
}

void TVuroduDavControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (FDestroying) return;
  // FX, FY stay: the top-left corner of the view stays put.
  ResizeSurfaces();
  UpdateBounds();
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
  FDoRepaint = 0;
  FDraw = true;
  if (FBitmapTiles.size() != size()) ResizeSurfaces();
  FThreadedTimer->Start();
  CenterOn(FLatitude, Flongitude);
  NotifyObservers(omMapResize);
  NotifyObservers(omMapEndMove);
}

// --- Pointer ------------------------------------------------------------------

void TVuroduDavControl::Press(Qt::MouseButton /*button*/, const QPoint& at) {
  FMouseDown = true;
  FOffsetX = at.x();
  FOffsetY = at.y();
  FDownPos = at;
  TWyShape* s = FShapesGroup->ShapeHover();
  if (s && s->Clickable()) {
    if (s->Draggable()) FShapesGroup->SetShapeDrag(s);
    FireOwnOrMap(s->OnShapeMouseDown, OnShapeMouseDown, static_cast<TObject*>(this), s);
    return;
  }
  if (OnMapMouseDown) {
    const TLatLng c = FromXYToLatLng(at.x(), at.y());
    OnMapMouseDown(this, c.Lat, c.Lng);
  }
}

void TVuroduDavControl::mousePressEvent(QMouseEvent* event) {
  Press(event->button(), event->position().toPoint());
  QWidget::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
}

bool TVuroduDavControl::DrawShapesNow() const {
  if (!FMouseDown) return true;
  return FShapesGroup->DrawCount() < kMaxShapesWhileDragging ||
         FShapesGroup->ShapeHover() != nullptr;
}

void TVuroduDavControl::DragStep(const QPoint& at) {
  // The whole step is applied, however far the pointer jumped.
  const int64_t dx = at.x() - FOffsetX;
  const int64_t dy = at.y() - FOffsetY;
  FX_ += dx;
  FY_ += dy;
  FOffsetX = at.x();
  FOffsetY = at.y();
  FDisplayMapTiles.ScrollTo(dx, dy);
  if (dx != 0 || dy != 0) {
    // The composed tiles move with the pointer; only the tiles entering the
    // view are drawn by the render of the centring below. The pixels move in
    // place (no copy of the whole image on every step), row by row in an
    // order that never overwrites a row before it was read; what the move
    // uncovers gets the placeholder colour.
    const int w = FBitmapTiles.width();
    const int h = FBitmapTiles.height();
    const int sx = static_cast<int>(std::clamp<int64_t>(dx, -w, w));
    const int sy = static_cast<int>(std::clamp<int64_t>(dy, -h, h));
    const int keptW = w - std::abs(sx);
    const int keptH = h - std::abs(sy);
    if (keptW > 0 && keptH > 0 && FBitmapTiles.depth() == 32) {
      uchar* bits = FBitmapTiles.bits();
      const qsizetype stride = FBitmapTiles.bytesPerLine();
      const int from = std::max(-sx, 0);
      const int to = std::max(sx, 0);
      for (int k = 0; k < keptH; ++k) {
        const int row = sy > 0 ? h - 1 - k : k;  // destination row
        const auto* source = reinterpret_cast<const uint32_t*>(bits + (row - sy) * stride) + from;
        auto* target = reinterpret_cast<uint32_t*>(bits + row * stride) + to;
        // Within one row (sy == 0) the ranges overlap.
        if (to > from)
          std::copy_backward(source, source + keptW, target + keptW);
        else
          std::copy(source, source + keptW, target);
      }
    }
    QPainter painter(&FBitmapTiles);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const QColor placeholder = PlaceholderColor();
    if (sy != 0) painter.fillRect(QRect(0, sy > 0 ? 0 : h + sy, w, std::abs(sy)), placeholder);
    if (sx != 0 && keptH > 0)
      painter.fillRect(QRect(sx > 0 ? 0 : w + sx, std::max(sy, 0), std::abs(sx), keptH),
                       placeholder);
  }
  FDisplayMapTiles.setEnabled(false);
  const TLatLng c = FromXYToLatLng(width() / 2, height() / 2);
  CenterOn(c.Lat, c.Lng);
  FDisplayMapTiles.setEnabled(true);
  if (!FDragStart) {
    // A press on a shape that could be dragged but was not taken by the
    // shapes (its group is not clickable, say) does not drag the map either
    // for the rest of this press.
    TWyShape* h = FShapesGroup->ShapeHover();
    if (h && h->Draggable() && h->Clickable()) {
      FShapesGroup->SetMapDraggable(true);
      FDraggable = false;
    } else {
      FDragStart = true;
      if (OnMapDragStart) OnMapDragStart(this);
    }
  } else if (OnMapDrag) {
    OnMapDrag(this);
  }
}

void TVuroduDavControl::HoverMove(const QPoint& at) {
  TWyShape* old = FShapesGroup->ShapeHover();
  std::weak_ptr<char> oldLife;
  if (old) oldLife = old->LifeToken();
  TWyShape* s = FShapesGroup->ShapeByHover(at.x(), at.y());
  if (old && s != old && !oldLife.expired()) {
    setCursor(Qt::ArrowCursor);
    update(QRect(old->Left(), old->Top(), old->Width() + 1, old->Height() + 1));
    Fire(OnShapeMouseOut, static_cast<TObject*>(this), old);
    if (!oldLife.expired()) NotifyObservers(omShapeMouseOut, old);
    // The handler may have changed what is under the pointer.
    s = FShapesGroup->ShapeHover();
  }
  if (s) {
    const std::weak_ptr<char> life = s->LifeToken();
    setCursor(s->isHit(at.x(), at.y()) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update(QRect(s->Left(), s->Top(), s->Width() + 1, s->Height() + 1));
    Fire(OnShapeMouseOver, static_cast<TObject*>(this), s);
    if (!life.expired()) NotifyObservers(omShapeMouseOver, s);
    return;
  }
  if (OnMapMouseMove) OnMapMouseMove(this, FMouseLatLng.Lat, FMouseLatLng.Lng);
  NotifyObservers(omMapMouseMove);
}

void TVuroduDavControl::ShapeDragStep(TWyShape* d, const QPoint& at) {
  const std::weak_ptr<char> life = d->LifeToken();
  d->HideHint();
  bool cancel = false;
  FireOwnOrMap(d->OnShapeDrag, OnShapeDrag, static_cast<TObject*>(this), d, cancel);
  // Observers are told about the shape under the pointer (the dragged one
  // unless a handler removed it).
  NotifyObservers(omShapeDrag, FShapesGroup->ShapeHover());
  if (cancel || life.expired() || FShapesGroup->ShapeDrag() != d) return;
  // Tiles are drawn again under the moved shape.
  FDisplayMapTiles.Clear();
  d->SetPosition(FMouseLatLng.Lat, FMouseLatLng.Lng);
  if (life.expired()) return;
  const bool nearEdge = !(kEdgeScroll < at.x() && at.x() < width() - kEdgeScroll &&
                          kEdgeScroll < at.y() && at.y() < height() - kEdgeScroll);
  if (nearEdge) {
    StepTowards(FMouseLatLng.Lat, FMouseLatLng.Lng);
    NotifyObservers(omMapEndMove);
    FShapesGroup->MapEndMove();
  } else {
    // The shape follows the pointer at once rather than at the next timer
    // render.
    Valide_Map = false;
    RedrawMap(false);
  }
}

void TVuroduDavControl::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  FMouseLatLng = FromXYToLatLng(at.x(), at.y());
  XYToWorld(at.x(), at.y(), FWorldX, FWorldY);
  if (event->buttons() == Qt::NoButton) {
    HoverMove(at);
  } else if (FMouseDown && FShapesGroup->ShapeDrag()) {
    ShapeDragStep(FShapesGroup->ShapeDrag(), at);
  } else if (FMouseDown && FDraggable && (event->buttons() & Qt::LeftButton)) {
    DragStep(at);
  }
  QWidget::mouseMoveEvent(event);
}

void TVuroduDavControl::ReleaseClick(Qt::MouseButton button, const QPoint& at, const TLatLng& c) {
  TObject* self = this;
  if (button == Qt::LeftButton) {
    if (FShapesGroup->HandledClick(FShapesGroup->ShapeHover(), at.x(), at.y())) return;
    TWyShape* s = FShapesGroup->ShapeHover();
    // A shape that is not clickable lets the click through to the map, as
    // it does for the right button (an area drawn under the pointer must not
    // make the map deaf).
    if (!s || !s->Clickable()) {
      NotifyObservers(omMapMouseClick);
      if (OnMapClick) OnMapClick(this, c.Lat, c.Lng);
      return;
    }
    const std::weak_ptr<char> life = s->LifeToken();
    s->HideHint();
    NotifyObservers(omShapeClick, s);
    if (life.expired()) return;
    if (Fire(s->OnShapeClick, self, s)) return;
    if (!OnShapeClick) return;
    if (s->Serialize()) {
      Fire(OnShapeClick, self, s);
    } else if (auto* item = dynamic_cast<TWyShape*>(s->Item())) {
      // A helper shape (a label, a wall) stands for the shape it belongs to;
      // an application object that is not a shape raises nothing.
      Fire(OnShapeClick, self, item);
    }
  } else if (button == Qt::RightButton) {
    TWyShape* s = FShapesGroup->ShapeHover();
    if (s && s->Clickable()) {
      const std::weak_ptr<char> life = s->LifeToken();
      NotifyObservers(omShapeRightClick, s);
      if (life.expired()) return;
      if (s->OnShapeRightClick) {
        // A helper shape's own handler runs only when it stands for
        // something.
        if (s->Serialize() || s->Item()) Fire(s->OnShapeRightClick, self, s);
      } else {
        Fire(OnShapeRightClick, self, s);
      }
    } else if (OnMapRightClick) {
      OnMapRightClick(this, c.Lat, c.Lng);
    }
  }
}

void TVuroduDavControl::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (FShapesGroup->MapDraggable()) {
    // The map's own dragging was suspended for this press only.
    FDraggable = true;
    FShapesGroup->SetMapDraggable(false);
  }
  const bool wasDown = FMouseDown;
  FMouseDown = false;
  if (TWyShape* d = FShapesGroup->ShapeDrag()) {
    if (!Fire(d->OnShapeDragEnd, static_cast<TObject*>(d)))
      Fire(OnShapeDragEnd, static_cast<TObject*>(d));
    NotifyObservers(omShapeDragEnd, FShapesGroup->ShapeHover());
    FShapesGroup->SetShapeDrag(nullptr);
  } else if (FDragStart) {
    // The last stretch since the last move, then everything is drawn again.
    FX_ += at.x() - FOffsetX;
    FY_ += at.y() - FOffsetY;
    FOffsetX = at.x();
    FOffsetY = at.y();
    const TLatLng c = Center();
    FLatitude = c.Lat;
    Flongitude = c.Lng;
    ClearTiles();
    Valide_Map = false;
    RedrawMap(false);
    UpdateBounds();
  }
  // A drag ends even when this release closes a double click; otherwise the
  // next gesture would continue a drag that never ended.
  if (FDragStart) {
    FDragStart = false;
    if (OnMapDragEnd) OnMapDragEnd(this);
    NotifyObservers(omMapEndMove);
    FShapesGroup->MapEndMove();
  }
  if (FDblClick) {
    FDblClick = false;
    return;
  }
  const TLatLng c = FromXYToLatLng(at.x(), at.y());
  if (TWyShape* s = FShapesGroup->ShapeHover()) {
    FireOwnOrMap(s->OnShapeMouseUp, OnShapeMouseup, static_cast<TObject*>(this), s);
  } else if (OnMapMouseUp) {
    OnMapMouseUp(this, c.Lat, c.Lng);
  }
  const bool click = wasDown && std::abs(FDownPos.x() - at.x()) < kClickDistance &&
                     std::abs(FDownPos.y() - at.y()) < kClickDistance;
  if (click) ReleaseClick(event->button(), at, c);
  QWidget::mouseReleaseEvent(event);
  // Shapes were left out while the map was dragged: draw them now.
  if (FShapesGroup->DrawCount() >= kMaxShapesWhileDragging)
    PostMapMessage(MessageTarget(), WM_MAPREPAINT);
}

void TVuroduDavControl::mouseDoubleClickEvent(QMouseEvent* event) {
  // The coordinate of the first press, which is where the pointer was
  // double-clicked.
  const TLatLng c = FromXYToLatLng(FOffsetX, FOffsetY);
  TWyShape* s = FShapesGroup->ShapeHover();
  if (s && s->Clickable()) {
    const std::weak_ptr<char> life = s->LifeToken();
    auto* line = dynamic_cast<TWyShapeLine*>(s);
    if (line && line->Editable() && line->HoverPoint() >= 0) {
      // A double click on a segment of an editable line adds a point there.
      line->Insert(line->HoverPoint(), c.Lat, c.Lng, TWyShape::kNoAltitude);
    } else {
      FireOwnOrMap(s->OnShapeDblClick, OnShapeDblClick, static_cast<TObject*>(this), s);
    }
    if (!life.expired()) NotifyObservers(omShapeDblClick, s);
  } else {
    if (FDblClickZoom) {
      SetZoom(FZoom + 1);
      setCenter(c.Lat, c.Lng);
    }
    if (OnMapDblClick) OnMapDblClick(this, c.Lat, c.Lng);
  }
  FDblClick = true;
  // Qt sends no second press: the double click stands for it.
  Press(event->button(), event->position().toPoint());
  setFocus(Qt::MouseFocusReason);
}

bool TVuroduDavControl::WheelZoom(QWheelEvent* event) {
  if (!FMouseWheelZoom || FDestroying) return false;
  const int delta = event->angleDelta().y();
  // Horizontal and touchpad-only events carry no vertical step.
  if (delta == 0) return false;
  const QPoint at = mapFromGlobal(event->globalPosition()).toPoint();
  if (!(0 < at.x() && at.x() < width() && 0 < at.y() && at.y() < height())) return false;
  if (delta > 0) {
    SetZoom(FZoom + 1);
  } else {
    SetZoom(FZoom == 0 ? 0 : FZoom - 1);
  }
  return true;
}

void TVuroduDavControl::wheelEvent(QWheelEvent* event) {
  if (WheelZoom(event)) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool TVuroduDavControl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FParentForm && event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (WheelZoom(wheel)) {
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

void TVuroduDavControl::TileLoaded(int x, int y, int /*z*/, int t) {
  if (FDestroying) return;
  const int64_t c = int64_t(x) - FDisplayMapTiles.x();
  const int64_t r = int64_t(y) - FDisplayMapTiles.y();
  if (c < 0 || r < 0 || c >= FDisplayMapTiles.Width() || r >= FDisplayMapTiles.Height()) return;
  if (t == 0) {
    FDisplayMapTiles.setTile(x, y, 0);
  } else {
    if (FDisplayMapTiles.getTile(x, y) != 0) return;
    FDisplayMapTiles.setTile(x, y, 1);
  }
  // A tile the render itself found in a cache is drawn by that render:
  // asking for another one would only redraw the same frame. (A missing
  // tile still asks, so that the next render tries it again.)
  if (inPaint && t != 0) return;
  PostMapMessage(MessageTarget(), WM_MAPREPAINT);
}

void TVuroduDavControl::HandleMessage(uint32_t msg) {
  if (FDestroying) return;
  switch (msg) {
    case WM_MAPREPAINT:
      ++FDoRepaint;
      break;
    case WM_MAPBOUNDS:
      if (OnChangeMapBounds) OnChangeMapBounds(this);
      break;
    default:
      break;
  }
}

void TVuroduDavControl::TimerTick() {
  if (FDestroying || !FDraw) return;
  const uint32_t now = TickCount();
  FWorldInfo->SetTick(now);
  if (TickElapsed(now, FLastdoTick) <= kRepaintIntervalMs) return;
  FLastdoTick = now;
  FShapesGroup->AnimationShapes();
  NotifyObservers(omMapAnimation);
  if (FDoRepaint.load() > 0) {
    FDoRepaint = 0;
    RedrawMap(false);
  }
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

std::string TVuroduDavControl::Url() const {
  return "#" + std::to_string(FZoom) + "/" + FloatToStrFixedDot(6, FLatitude) + "/" +
         FloatToStrFixedDot(6, Flongitude);
}

void TVuroduDavControl::SetUrl(const std::string& value) {
  // Surrounding blanks and control characters are not part of the address.
  size_t first = 0, last = value.size();
  while (first < last && static_cast<unsigned char>(value[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(value[last - 1]) <= ' ') --last;
  std::string v = value.substr(first, last - first);
  if (v.empty()) return;
  if (v[0] != '#') {
    // Links come from content the map does not trust: OpenUrl opens only
    // http, https and mailto addresses.
    OpenUrl(v);
    return;
  }
  v.erase(0, 1);
  const std::string zoomText = NextToken(v, "/");
  const std::string latText = NextToken(v, "/");
  const int zoom = TextToIntDef(zoomText, -1);
  double lat = 0, lng = 0;
  // Every part must be a number; -1 is an ordinary coordinate here.
  if (zoom < 0 || zoom > 255 || !ReadUrlNumber(latText, lat) || !ReadUrlNumber(v, lng)) return;
  SetZoom(static_cast<uint8_t>(zoom));
  setCenter(lat, lng);
}

// --- Map-level operations ----------------------------------------------------

void TVuroduDavControl::InstallShapeRelays() {
  // The relays read the map's handler when the registry raises the event,
  // so handlers assigned at any time are honoured; none fires once the map
  // is being destroyed.
  const auto relay = [this](wy::TNotifyEvent TVuroduDavControl::*event) {
    return [this, event](TObject* sender) {
      if (!FDestroying) Fire(this->*event, sender);
    };
  };
  FShapesGroup->OnShapePathChange = relay(&TVuroduDavControl::OnShapePathChange);
  FShapesGroup->OnCloseInfoWindow = relay(&TVuroduDavControl::OnCloseInfoWindow);
  FShapesGroup->OnTraffic = relay(&TVuroduDavControl::OnTraffic);
}

void TVuroduDavControl::SetGeoLocalise(TWyGeoLocalise* value) {
  if (value == FGeoLocalise) return;
  std::unique_ptr<TWyGeoServicesAdapter> adapter;
  if (value) {
    if (value->LocalCache().empty()) value->SetLocalCache(LocalCache());
    adapter = std::make_unique<TWyGeoServicesAdapter>(*value);
  }
  // The registry lets go of the old adapter before it is freed.
  FShapesGroup->SetGeoLocalise(adapter.get());
  FGeoAdapter = std::move(adapter);
  FGeoLocalise = value;
}

std::string TVuroduDavControl::Address() {
  return GetAddressFromLatLng(FLatitude, Flongitude);
}

void TVuroduDavControl::SetAddress(const std::string& value) {
  double lat = 0, lng = 0;
  if (GetLatLngFromAddress(value, lat, lng)) setCenter(lat, lng);
}

std::string TVuroduDavControl::GetAddressFromLatLng(double dLatitude, double dLongitude) {
  if (!FGeoLocalise) return std::string();
  return NeutraliseMarkup(FGeoLocalise->Reverse(dLatitude, dLongitude));
}

bool TVuroduDavControl::GetLatLngFromAddress(const std::string& sAddress, double& dLatitude,
                                             double& dLongitude) {
  if (!FGeoLocalise || FGeoLocalise->Search(EncodeQueryValue(sAddress)) <= 0) return false;
  const TWyGeoResult& first = FGeoLocalise->SearchResult(0);
  const double lat = first.Latitude();
  const double lng = first.Longitude();
  // A result without a readable coordinate is no place to go to.
  if (!std::isfinite(lat) || !std::isfinite(lng)) return false;
  dLatitude = lat;
  dLongitude = lng;
  return true;
}

bool TVuroduDavControl::ContainsLatLng(double dLatitude, double dLongitude) const {
  return SouthWestLatitude() <= dLatitude && dLatitude <= NorthEastLatitude() &&
         SouthWestLongitude() <= dLongitude && dLongitude <= NorthEastLongitude();
}

double TVuroduDavControl::DistanceFrom(double dLatitudeStart, double dLongitudeStart,
                                       double dLatitudeEnd, double dLongitudeEnd) const {
  return wy::DistanceFrom(dLatitudeStart, dLongitudeStart, dLatitudeEnd, dLongitudeEnd);
}

int32_t TVuroduDavControl::bearing(double lat1, double lng1, double lat2, double lng2) const {
  return wy::bearing(lat1, lng1, lat2, lng2);
}

void TVuroduDavControl::LatLonFromDistanceBearing(double lat1, double lon1, double brng,
                                                  double meters, double& lat2, double& lon2) const {
  wy::LatLonFromDistanceBearing(lat1, lon1, brng, meters, lat2, lon2);
}

void TVuroduDavControl::boundingCoordinates(double lat, double lng, double radius, double& latSW,
                                            double& lngSW, double& latNE, double& lngNE) const {
  wy::boundingCoordinates(lat, lng, radius, latSW, lngSW, latNE, lngNE);
}

// The keys live in the settings registry, which guards them with its lock:
// service workers read them while the window thread may write them.
std::string TVuroduDavControl::CloudMadKey() {
  return GetServiceKey(skCloudMade);
}

void TVuroduDavControl::SetCloudMadKey(const std::string& value) {
  SetServiceKey(skCloudMade, value);
}

std::string TVuroduDavControl::BingKey() {
  return GetServiceKey(skBing);
}

void TVuroduDavControl::SetBingKey(const std::string& value) {
  SetServiceKey(skBing, value);
}

std::string TVuroduDavControl::MapQuestKey() {
  return GetServiceKey(skMapQuest);
}

void TVuroduDavControl::SetMapQuestKey(const std::string& value) {
  SetServiceKey(skMapQuest, value);
}

TWyShapeInfoWindow* TVuroduDavControl::HintInfoWindow() {
  return FShapesGroup->HintWindow();
}

std::vector<QImage>& TVuroduDavControl::Icons() {
  return FShapesGroup->Icons();
}

void TVuroduDavControl::SetIcons(std::vector<QImage> icons) {
  FShapesGroup->SetIcons(std::move(icons));
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
    if (o->MinZoom() <= FZoom && FZoom <= o->MaxZoom()) o->Send(msg, item);
  }
}

}  // namespace wy

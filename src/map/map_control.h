#pragma once
// TVuroduDavControl: the map widget. It shows a rectangle of the
// Web-Mercator world at one zoom level from 256-pixel tiles and overlays the
// shapes of its registry. The widget owns and wires its parts (kept out of
// this header, in detail/map_control_private.h):
// - the renderer (TMapRenderer, map_renderer.h), which draws the map without
//   a widget: the viewport (TMapViewport: centre, zoom and limits, boxes,
//   pixel and coordinate conversions, mirrored in a TWyWorldInfo for the
//   shapes), the tiles of the view and the surface the shapes draw on;
// - the repaint scheduler: asynchronous changes (a tile arrived) post
//   WM_MAPREPAINT, and the 20 ms timer thread performs at most one full
//   render every 200 ms; viewport changes render at once;
// - the input handler: pointer and wheel input as one state machine, acting
//   on the map through a small interface (detail/map_input_target.h);
// - the map-level operations (address look-ups, keys, geodesy shortcuts),
//   in map_operations.cpp.
// A render has the renderer compose the frame (tiles, then the shapes over
// them on the drawing surface when shapes are shown); paintEvent has it
// paint that frame, or the tiles straight when there are no shapes, and the
// attribution. Window thread only.
//
// Pixel geometry: FX, FY are the widget coordinates of world pixel (0, 0)
// at the current zoom; tile (tx, ty) is drawn at (tx*256 + FX, ty*256 + FY).
// Every coordinate of the interface (size, conversions, pointer events) is
// in widget units. On a high-density screen the frame, the attribution and
// ScreenShot have the screen's pixels (the widget's size times its device
// pixel ratio, with that ratio set on the image), so lines and text are
// drawn sharp; from a ratio of 1.5 the tiles come at twice the density
// (TVuroduDavServer::SetTileScale).

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geo/enums.h"
#include "geo/object.h"
#include "geo/route_path.h"
#include "geo/world_info.h"
#include "map/display_map_tiles.h"
#include "map/map_observer.h"
#include "map/map_viewport.h"
#include "shapes/shape_types.h"
#include "tiles/tile_catalog.h"

namespace wy {

class TMapControls;
class TMapInputHandler;
class TMapRenderer;
class TMessageMailbox;
class TRepaintScheduler;
class TThreadedTimer;
class TVuroduDavServer;
class TWyCanvas;
class TWyShape;
class TWyShapes;
class TWyShapesGroup;
class TWyShapeInfoWindow;
class TWyShapeLine;
class TMemoryStream;
class TWyGeoLocalise;
class TWyGeoServicesAdapter;
class TWyNativePanoramioLayer;
class TWyTrafficLayer;

class TVuroduDavControl : public QWidget, public TObject {
  Q_OBJECT

 public:
  using TNotifyEvent = std::function<void(TVuroduDavControl* Sender)>;
  using TOnMapLatLng = std::function<void(TVuroduDavControl* Sender, double Lat, double Lng)>;
  using TOnMapMove = TOnMapLatLng;

  static constexpr double kDefaultLatitude = TMapViewport::kDefaultLatitude;
  static constexpr double kDefaultLongitude = TMapViewport::kDefaultLongitude;
  static constexpr uint8_t kHighestZoom = TMapViewport::kHighestZoom;
  // Full renders driven by repaint requests are at least this far apart.
  static constexpr uint32_t kRepaintIntervalMs = 200;

  explicit TVuroduDavControl(QWidget* parent = nullptr);
  ~TVuroduDavControl() override;

  // --- Viewport
  double Latitude() const;
  // Keeps the longitude of the current widget centre.
  void SetLatitude(double value);
  double Longitude() const;
  // Keeps the latitude of the current widget centre.
  void SetLongitude(double value);
  // Coordinate under the middle pixel, limit box applied.
  TLatLng Center();
  void SetCenter(const TLatLng& value);
  // Centres on the coordinate. Non-finite values are ignored; latitudes
  // beyond the projection's limit are kept as given but projected at it.
  void setCenter(double Lat, double Lng);
  // Animated move for short distances (under 0.5 km), a jump otherwise;
  // always ends centred on the target.
  void PanTo(double Lat, double Lng);

  uint8_t Zoom() const;
  // Clamped to MinZoom..MaxZoom; always pivots on the middle pixel.
  void SetZoom(uint8_t value);
  uint8_t MinZoom() const;
  void SetMinZoom(uint8_t value);
  uint8_t MaxZoom() const;
  // Values above 23 are ignored.
  void SetMaxZoom(uint8_t value);

  // Zooms in while the whole box stays visible (ending one level past the
  // fit), silently.
  void Bounds(double NELat, double NELng, double SWLat, double SWLng);
  // Zooms out until the whole box is visible, then renders.
  void fitBounds(double NELat, double NELng, double SWLat, double SWLng);
  // fitBounds over the box around a circle of dRadiusKm kilometres.
  void fitBoundsRadius(double dLat, double dLng, double dRadiusKm);
  // fitBounds over the POIs, markers, lines and polygons of `group`, or of
  // every saved group when it is null; false (the view untouched) when there
  // are none.
  bool fitShapes(TWyShapes* group = nullptr);
  // Sets the limit box and pulls the view inside it.
  void BoundingBox(double NELat, double NELng, double SWLat, double SWLng);
  // Coordinate under a widget pixel (clamped to the world and the limit box).
  TLatLng FromXYToLatLng(int64_t X, int64_t Y);

  double NorthEastLatitude() const;
  double NorthEastLongitude() const;
  double SouthWestLatitude() const;
  double SouthWestLongitude() const;
  TWyWorldInfo& WorldInfo();
  const TMapViewport& Viewport() const;

  // --- Tile service
  TTileServer TileServer() const;
  void SetTileServer(TTileServer value);
  TTileServerInfo& TileServerInfo();
  // Tiles from a local source, an MBTiles file or a folder of
  // <z>/<x>/<y>.png files, in place of the current service's until another
  // service is chosen; the zoom range becomes the source's. False, with the
  // reason in `error` and nothing changed, when `path` is neither.
  bool SetLocalTiles(const std::string& path, std::string& error);
  uint16_t CacheSize() const;
  void SetCacheSize(uint16_t value);
  uint8_t MaxThreadTile() const;
  // Raised to 2 when below 2.
  void SetMaxThreadTile(uint8_t value);
  // Disk cache folder of the tiles; empty (the default) means none.
  std::string LocalCache() const;
  void SetLocalCache(const std::string& value);

  // Shows a second layer of PNG tiles (addresses or files from
  // getOverlayTiles) over the base tiles; it replaces any overlay shown.
  // Only real overlay images are drawn, never its placeholder.
  void AddOverlayTiles(TOnMapServerTilePath getOverlayTiles, const std::string& Name,
                       uint8_t MaxZoom, uint8_t MinZoom);
  void RemoveOverlayTiles();
  TVuroduDavServer* OverlayServer();

  // --- Rendering
  bool ShowCopyrightTile() const;
  void SetShowCopyrightTile(bool value);
  // The attribution as a link: while assigned, a click on the attribution
  // raises it with the page the tile service names for its terms
  // (TileServerInfo().CopyRightUrl) instead of acting as a map click, and
  // the pointer shows a hand over it. Services that name no page keep a
  // plain attribution.
  std::function<void(TVuroduDavControl* Sender, const std::string& Url)> OnAttributionClick;
  // The page of the attribution under a widget pixel; empty when the pixel
  // is not on a linked attribution.
  std::string AttributionLinkAt(const QPoint& at) const;
  // The last rendered frame (tiles, shapes and attribution) at widget size,
  // composed on request; on a high-density screen with the screen's pixels
  // (its devicePixelRatio says how many per widget pixel).
  const QImage& ScreenShot();
  // True when every visible tile has arrived or failed: no download is in
  // flight after a full render (which draws what arrived and starts the
  // tiles the download limit held back; a failed tile waits for its
  // back-off, so it starts nothing). Handles pending window messages and
  // renders; call it again until it holds.
  bool TilesSettled();
  // A picture of the map as a PNG file in `stream` (position 0): from the
  // static map service when its base is set ("endpoint.mapquest-open"),
  // with `sParams` as its query text; otherwise composed from this map's
  // tile service and cache (a local tile source is not used), reading "center=LAT,LNG", "zoom=Z"
  // and "size=W,H" (each 1 to 2048) of `sParams`, this map's centre and zoom and 400 x 300 where
  // they are missing. Blocks until the tiles arrive or failed, or `timeoutMs` passes. False (stream
  // empty) on failure.
  bool StaticMap(const std::string& sParams, TMemoryStream& stream, uint32_t timeoutMs = 60000);
  // Renders: fast only copies the last frame to the screen; otherwise the
  // frame is composed first. Skipped while hidden, before the first show,
  // while drawing is disabled and inside a render.
  void RedrawMap(bool fast);
  // The timer's step (runs on the window thread every 20 ms).
  void TimerTick();
  // Tile state event of the tile servers (window thread).
  void TileLoaded(int x, int y, int z, int t);

  // --- Shapes
  // The registry of every shape group of this map.
  TWyShapesGroup& ShapesGroup();
  // The default (unnamed) group.
  TWyShapes* Shapes();
  // A new POI, marker, polygon or line (any other kind) at the coordinate in
  // the named group (the default group for an empty name).
  TWyShape* Add(TNativeShape Shape, double Lat, double Lng, const std::string& GroupName = "");
  // Frees the shape (its hovered and dragged references first).
  void Remove(TWyShape* Shape);
  // Fetches a marker graphic before a marker needs it.
  void PreLoadGraphic(const std::string& Filename);
  // Brackets a bulk change of shapes: one rebuild and repaint at the end.
  void BeginUpdate();
  void EndUpdate();

  // ===========================================================================
  // Map-level operations: geocoding through an optional component, the
  // geodesy helpers, the process-wide service keys, the icons and hint window
  // of the shapes registry and the relays of its events.

  // --- Geocoding
  // The geolocalisation component the map and its shapes use (not owned: it
  // must outlive the map or be replaced first; null detaches). A component
  // without a cache folder of its own gets the map's LocalCache. The shapes
  // reach it for their lazy address and altitude look-ups.
  TWyGeoLocalise* GeoLocalise() const;
  void SetGeoLocalise(TWyGeoLocalise* value);
  // The address of the last centre set; "" without a component or when the
  // point is not resolved. "<" and ">" come back as "‹" and "›", so the text
  // can go into an info window or a hint without carrying markup.
  std::string Address();
  // Searches the text and centres the map on the first result; nothing when
  // there is no result or no component. Blocks for a network round trip
  // unless the answer is in the component's disk cache.
  void SetAddress(const std::string& value);
  // The address of a point, as Address; "" without a component.
  std::string GetAddressFromLatLng(double dLatitude, double dLongitude);
  // Searches the text: true with the first result's coordinate in the
  // outputs; false, the outputs untouched, without a result or a component.
  bool GetLatLngFromAddress(const std::string& sAddress, double& dLatitude, double& dLongitude);

  // --- Geodesy (the spherical-earth helpers, as methods of the map)
  // True when the point lies inside the visible area, edges included.
  bool ContainsLatLng(double dLatitude, double dLongitude) const;
  // Kilometres.
  double DistanceFrom(double dLatitudeStart, double dLongitudeStart, double dLatitudeEnd,
                      double dLongitudeEnd) const;
  int32_t bearing(double lat1, double lng1, double lat2, double lng2) const;
  void LatLonFromDistanceBearing(double lat1, double lon1, double brng, double meters, double& lat2,
                                 double& lon2) const;
  // radius in kilometres.
  void boundingCoordinates(double lat, double lng, double radius, double& latSW, double& lngSW,
                           double& latNE, double& lngNE) const;

  // --- Keys: one value for the whole process, shared by every map and
  // service client, safe to read and write from any thread. Writing ""
  // restores the initial value.
  static std::string CloudMadKey();
  static void SetCloudMadKey(const std::string& value);
  static std::string BingKey();
  static void SetBingKey(const std::string& value);
  static std::string MapQuestKey();
  static void SetMapQuestKey(const std::string& value);

  // --- Shapes registry extras
  // The info window that shows the shapes' hints; null once freed.
  TWyShapeInfoWindow* HintInfoWindow();
  // The marker icons of the registry.
  std::vector<QImage>& Icons();
  void SetIcons(std::vector<QImage> icons);

  // --- Routes (map_routes.cpp), through the geolocalisation component;
  // without one there is none. The route type becomes "&routeType=" +
  // RouteTypeToStr after `params`. The blocking forms return null when there
  // is no route; the queued forms are asked for one after the other and each
  // ends with OnRoutePath carrying its own request text (an empty route when
  // there is none). A map destroyed meanwhile is told nothing, and its
  // routes not yet started are never asked for.
  using TOnRoutePath = std::function<void(TVuroduDavControl* Sender, const std::string& params,
                                          const TWyRoutePath& routePath)>;
  std::unique_ptr<TWyRoutePath> GetRoutePathByAdress(const std::string& StartAdress,
                                                     const std::string& EndAdress,
                                                     TMQRouteType routeType,
                                                     const std::string& params);
  // points: latitude, longitude pairs; fewer than two points or an odd
  // count ask for nothing.
  std::unique_ptr<TWyRoutePath> GetRoutePathFrom(const std::vector<double>& points,
                                                 TMQRouteType routeType, const std::string& params);
  void GetASyncRoutePathByAdress(const std::string& StartAdress, const std::string& EndAdress,
                                 TMQRouteType routeType, const std::string& params);
  void GetASyncRoutePathFrom(const std::vector<double>& points, TMQRouteType routeType,
                             const std::string& params);
  // Fills the path from the component's latest directions answer; false
  // (path emptied) when it holds no route or there is no component.
  bool FillRoutePath(TWyRoutePath& path);
  // Draws a route as a line in the group GroupName (created when missing):
  // its points, a label on each instruction, its length and time. Drawing is
  // held while the line is built; observers get omMapAddRoute with the
  // line; one repaint follows. Returns the line.
  TWyShapeLine* AddRoute(const TWyRoutePath& RoutePath, const std::string& GroupName);
  TOnRoutePath OnRoutePath;

  // --- Relays of the registry's events (empty = skipped; window thread).
  // A line's path changed (the line has no handler of its own); Sender is
  // the line.
  wy::TNotifyEvent OnShapePathChange;
  // An info window was closed by its close button.
  wy::TNotifyEvent OnCloseInfoWindow;
  // Traffic incidents were shown.
  wy::TNotifyEvent OnTraffic;
  // Progress of reading shapes from text (Sender the map): shape `index` of
  // `max` of the list being read; `cancel` stops that group's reading.
  TOnLoadShapes OnLoadShapes;

  // --- Traffic and photo layers (map_layers.cpp)
  // Incidents of the visible area from the geolocalisation component, in
  // the group "_traffic_", asked for again as the map moves. Saved with the
  // map ("traffic=true" in "[map]").
  bool TrafficLayer() const;
  void SetTrafficLayer(bool value);
  // Geotagged photos of the visible area in the group "_panoramio_". The
  // layer is created by the first true and lives as long as the map. Saved
  // with the map ("photos=true" in "[map]").
  bool PanoramioLayer() const;
  void SetPanoramioLayer(bool value);
  // The layers, null before first use.
  TWyTrafficLayer* TrafficLayerObject() const;
  TWyNativePanoramioLayer* NativePanoramioLayer() const;
  // A page of photos was shown (sender: the photo layer).
  std::function<void(TObject* Sender)> OnPanoramio;
  // A photo was clicked (sender: the map).
  std::function<void(TObject* Sender, TWyShape* Item, const std::string& ownerId,
                     const std::string& ownerName, const std::string& PhotoId,
                     const std::string& PhotoDate, const std::string& PhotoTitle,
                     const std::string& PhotoUrl, const std::string& copyright)>
      OnPanoramioClick;
  // ===========================================================================

  // ===========================================================================
  // Persistence (map_persistence.cpp): the map's state in the system's own
  // sectioned text, a "[map]" section followed by the registry's text:
  //   [map]
  //   draggable=true
  //   latitude=43.232951
  //   longitude=0.0780819999999949
  //   zoom=14
  //   tileserver=osm
  // then an empty line, "[groupes]" and the groups (see shapes_group.h),
  // every line ended by CR LF.

  // A group finished reading: Sender the group, its name, and whether no
  // group is still reading. Raised from the window's message queue after
  // the map was rendered with what was read.
  using TOnLoadGroup =
      std::function<void(TObject* Sender, const std::string& GroupName, bool FinishLoading)>;
  // The state as text.
  std::string ToTxt();
  // Takes the state from a text: the tile server (OSM when missing or
  // unknown), the zoom (14), then the centre (43.232951,
  // 0.0780819999999949), the drag switch (on), each value that is missing
  // or cannot be read taking the default in brackets; then the registry
  // reads its groups, adding to the shapes already there.
  void SetToTxt(const std::string& value);
  // Reads a local file or, when there is no such file, an http or https
  // address. The system's own text is read as SetToTxt (at once for a
  // file, on arrival for an address); GPX, KML, KMZ and GeoJSON are
  // converted on a worker thread into the default group, whose shapes
  // arrive later with OnLoad (the group's LoadError and LoadedCount tell
  // how it ended; formats/shape_file.h says how a kind is recognised).
  // False, and nothing changed, while a load runs, or when a file cannot
  // be read or own text holds nothing.
  bool LoadFromFile(const std::string& filename);
  // Writes the state by the extension of the name, letter case ignored
  // (an address's query ignored): ".gpx", ".kml", ".kmz", ".json" and
  // ".geojson" get the saved shapes as GPX, KML, zipped KML or GeoJSON (the
  // registry's SaveToFile); any other extension the system's own text with
  // the view, saved as UTF-8 with a byte-order mark. Every file is written
  // through a temporary file that replaces it only once whole. True when
  // the file was written.
  bool SaveToFile(const std::string& filename);
  // The saved shapes as GPX, KML and GeoJSON documents (the registry's).
  std::string ToGpx();
  std::string ToKml();
  std::string ToGeoJSon();
  TOnLoadGroup OnLoad;
  // A GPX, KML or GeoJSON document converted in the background into the
  // default group, as LoadFromFile does.
  void SetToGpx(const std::string& value);
  void SetToKml(const std::string& value);
  void SetToGeoJSon(const std::string& value);
  // ===========================================================================

  // --- Observers (not owned)
  void Attach(TVuroduDavObserver* Observer);
  void Detach(TVuroduDavObserver* Observer);
  // Delivers to the attached observers from the last attached to the first,
  // to those whose zoom range holds the current zoom. Observers may attach
  // or detach during the broadcast; one detached meanwhile is skipped.
  void NotifyObservers(uint32_t msg, void* item = nullptr);

  // --- Events (empty = skipped)
  TOnMapMove OnMapMove;
  TNotifyEvent OnChangeMapZoom;
  TNotifyEvent OnChangeMapBounds;
  TNotifyEvent OnOutOfBounds;
  // Pointer events on empty map; the coordinate is the pointer's.
  TOnMapLatLng OnMapMouseDown;
  TOnMapLatLng OnMapMouseUp;
  // A move without a button held.
  TOnMapLatLng OnMapMouseMove;
  // Press and release less than 5 pixels apart on both axes (even after a
  // drag that came back).
  TOnMapLatLng OnMapClick;
  TOnMapLatLng OnMapRightClick;
  // Coordinate of the press that started the double click.
  TOnMapLatLng OnMapDblClick;
  // The first move with the left button held, each further one, the release.
  TNotifyEvent OnMapDragStart;
  TNotifyEvent OnMapDrag;
  TNotifyEvent OnMapDragEnd;

  // Shape events, raised when the shape has no handler of its own (a shape's
  // own handler replaces these, never both). Sender is the map.
  TOnShapeMouseEvent OnShapeMouseDown;
  TOnShapeMouseEvent OnShapeMouseup;
  TOnShapeMouseEvent OnShapeClick;
  TOnShapeMouseEvent OnShapeRightClick;
  TOnShapeMouseEvent OnShapeDblClick;
  // Hover changes; always the map's events.
  TOnShapeMouseEvent OnShapeMouseOver;
  TOnShapeMouseEvent OnShapeMouseOut;
  // Each step of a shape drag, before the shape moves; Cancel keeps it.
  TOnShapeMove OnShapeDrag;
  // A shape of a group moved (relayed from the groups).
  TOnShapeMove OnShapeMove;
  // Release after a shape drag; Sender is the shape.
  std::function<void(TObject* Sender)> OnShapeDragEnd;
  // A link of an info window was clicked (before the map acts on it).
  TOnHotSpot OnHotSpot;
  // The view as a navigation address: "#zoom/lat/lng" with 6 decimals.
  std::string Url() const;
  // "#zoom/lat/lng" zooms (clamped to the zoom range) and then centres,
  // ignored unless all three parts are numbers; any other address opens in
  // the desktop's browser when it is http, https or mailto, and is ignored
  // otherwise. Surrounding blanks are dropped first; OnBeforeUrl may then
  // change or empty the address (empty: nothing happens). (In
  // map_navigation.cpp.)
  void SetUrl(const std::string& value);
  using TOnBeforeUrl = std::function<void(TVuroduDavControl* Sender, std::string& Url)>;
  TOnBeforeUrl OnBeforeUrl;

  // --- Options used by pointer handling
  bool Draggable() const;
  void SetDraggable(bool v);
  bool DblClickZoom() const;
  void SetDblClickZoom(bool v);
  bool MouseWheelZoom() const;
  void SetMouseWheelZoom(bool v);
  // The wheel zooms about the point under the pointer (it stays put) rather
  // than the middle of the map. Off by default.
  bool ZoomAtPointer() const;
  void SetZoomAtPointer(bool v);
  // On-map controls, off by default: zoom buttons at the top left and a
  // scale bar at the bottom left, child widgets over the map (not part of
  // ScreenShot).
  bool ShowZoomButtons() const;
  void SetShowZoomButtons(bool v);
  bool ShowScaleBar() const;
  void SetShowScaleBar(bool v);
  TMapControls& Controls();
  bool AntiFreezeOnLoad() const;
  void SetAntiFreezeOnLoad(bool v);

  // --- Pointer position (updated on every move)
  TLatLng MouseLatLng() const;
  // World pixel under the pointer at the current zoom.
  double WorldX() const;
  double WorldY() const;

  // --- Inspection (tests and tools)
  int64_t FX() const;
  int64_t FY() const;
  TDisplayMapTiles& DisplayMapTiles();
  // What draws the map: its view, tiles, shapes and attribution. Tools
  // draw pictures of a map they never show through it.
  TMapRenderer& Renderer();
  TVuroduDavServer& MapServer();
  int RenderCount() const;
  int PendingRepaints() const;
  bool LimitBoxHit() const;
  // Where the attribution was last written (empty when it was not).
  QRect CopyrightRect() const;
  // The id repaint requests are posted to.
  uint64_t MessageTarget() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // Pointer and wheel input go to the input handler.
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  // Zooms when the pointer is strictly inside the control; otherwise the
  // event is ignored and goes on to the parents.
  void wheelEvent(QWheelEvent* event) override;
  // The top-level window's wheel events (those its children passed on) zoom
  // the map too when the pointer is strictly inside the control.
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Arrow keys pan by a quarter of the view (not while the map is locked
  // against dragging), + and - zoom one level about the middle.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The map as its input handler sees it (map_input_target.h), and as
  // its shapes see it.
  class TInputTarget;
  class TShapesHost;

  // The map's parts and state (detail/map_control_private.h).
  struct TPrivate;
  std::unique_ptr<TPrivate> FD;
};

// The map as applications place it.
class TWyVuroduDav : public TVuroduDavControl {
  Q_OBJECT

 public:
  using TVuroduDavControl::TVuroduDavControl;
};

}  // namespace wy

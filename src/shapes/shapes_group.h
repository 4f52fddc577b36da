#pragma once
// Shape groups and the registry of one map.
//
// TWyShapes is a named layer with one list of each kind of shape, its own
// z-index, zoom range, visibility and clickability. It keeps a draw list:
// the shapes on the map, sorted by the key ZIndex + Id / 1000 + 0.1 for a
// draggable shape, computed in single precision and sorted stably (equal
// keys keep POIs < markers < lines < polygons < info windows, then list
// order). The draw list is rebuilt on every change outside an update
// bracket, never while drawing.
//
// TWyShapesGroup (the registry) holds the groups by name (lower case, looked
// up without regard to case, the default group "" first), orders them by
// z-index (stable, so equal z-indexes keep creation order), draws them, finds
// the shape under the pointer, owns the map-wide hovered and dragged shape,
// the hint window and the connection to the graphic pool, and steps the
// animations.
//
// Window thread only, except GraphicPoolNotify (pool thread) and
// RequestRepaint (any thread).

#include <QImage>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "geo/object.h"
#include "geo/world_info.h"
#include "graphics/canvas.h"
#include "formats/shape_file.h"
#include "shapes/shape_list.h"
#include "shapes/shape_types.h"
#include "shapes/shapes_host.h"
#include "tiles/graphic_pool.h"

namespace wy {

class TShapeConversion;

class TWyMapDataFile;
class TGpxWriter;
class TKmlWriter;
class TGeoJsonWriter;
class TWyShapeInfoWindow;

class TWyShapes : public TObject {
 public:
  TWyShapes(TWyShapesGroup* owner, TNotifyEvent EvtUpdate, TWyWorldInfo* World);
  ~TWyShapes() override;
  TWyShapes(const TWyShapes&) = delete;
  TWyShapes& operator=(const TWyShapes&) = delete;

  // Empties every list and the draw and animation lists in one update.
  void Clear();
  // Bounds of the POI, marker, line and polygon lists (info windows do not
  // count); an empty list contributes the viewport.
  void getBounds();
  void BeginUpdate() { ++FBeginUpdate; }
  // Back at 0: one rebuild and, when something visible changed, one repaint
  // request.
  void EndUpdate();
  int32_t UpdateCount() const { return FBeginUpdate; }
  // Rebuilds the draw list and asks for a repaint when the group was marked
  // modified; nothing inside an update or without a parent window.
  void DoUpdate(TObject* sender);
  // Rebuilds the sorted draw list; returns its size. Keeps the current list
  // (returns 0) while drawing or inside an update.
  int32_t BuildDrawList();
  // Draws the draw list, lowest key first. A shape that throws ends this
  // group's drawing for the frame; the error is discarded.
  void Draw();
  // The topmost clickable shape of the draw list under (x, y), else the
  // topmost shape there, which becomes the group's hovered shape; null
  // inside an update. A shape that is not clickable (an area drawn over
  // others) so never makes the clickable shapes under it deaf.
  TWyShape* ShapeByHover(int32_t x, int32_t y);
  // The same search, leaving the hovered shape as it is.
  TWyShape* HitTest(int32_t x, int32_t y);

  // The group's sections of the shape text format; reading adds to what
  // the group holds (shape_text_sections.cpp). Exports and file loading are
  // filled in by the persistence code.
  virtual std::string GetToTxt();
  virtual void SetToTxt(const std::string& value);
  // The group as a whole GPX, KML or GeoJSON document (shapes_export.cpp).
  // GPX and KML are "" for a group that is not saved (Serialize false);
  // info windows are never exported.
  virtual std::string GetToGpx();
  virtual std::string GetToKml();
  virtual std::string GetToGeoJSon();
  // Appends the POIs, markers, lines and polygons, whatever Serialize says.
  void WriteGpx(TGpxWriter& out);
  void WriteKml(TKmlWriter& out);
  void WriteGeoJson(TGeoJsonWriter& out);
  // Writes the group by the extension of `filename` (SaveShapesFile).
  virtual bool SaveToFile(const std::string& filename);
  // Reads a file or an address of any format the map reads (own text, GPX,
  // KML, GeoJSON) into the group, synchronously. False when nothing was
  // obtained (shapes_file_loading.cpp).
  virtual bool LoadFromFile(const std::string& filename);

  // Background loading (shapes_file_loading.cpp). A GPX, KML or GeoJSON
  // document given to SetToGpx, SetToKml or SetToGeoJSon is converted on a
  // worker thread the group owns; the group reads the result on the window
  // thread, then its host learns that it loaded (the map raises OnLoad).
  // Meanwhile the group is loading: isLoading is true and nothing of it is
  // drawn. A conversion still running is replaced (and its result
  // dropped). Without an application object to deliver to, the document is
  // converted and read at once.
  void SetToGpx(const std::string& value) { ConvertInBackground(skGPX, value); }
  void SetToKml(const std::string& value) { ConvertInBackground(skKML, value); }
  void SetToGeoJSon(const std::string& value) { ConvertInBackground(skGeoJSON, value); }
  void ConvertInBackground(TShapeSourceKind kind, std::string text);
  // Reads `source` (a file or an http or https address) on the worker too,
  // then converts it as above; own text is handed to `readOwnText` (the
  // group's own SetToTxt when empty) on the window thread. Destroying the
  // group, or CancelLoading, cuts the download.
  void LoadInBackground(const std::string& source,
                        std::function<void(const std::string&)> readOwnText = {});
  // Stops a conversion or download that has not been read yet: nothing of
  // it is read, LoadError becomes "cancelled" and the host learns that the
  // group finished. Nothing when none runs.
  void CancelLoading();
  // True while a background load runs.
  bool BackgroundLoading() const { return FConversion != nullptr; }
  // How the last background load ended: "" when it read its shapes, else
  // why not ("cancelled", "no shapes in ...", "cannot download ...").
  const std::string& LoadError() const { return FLoadError; }
  // The shapes the last background load added (every group of the
  // registry counted, for own text that fills several).
  int32_t LoadedCount() const { return FLoadedCount; }

  uint8_t MaxZoom() const { return FMaxZoom; }
  void SetMaxZoom(uint8_t v);
  uint8_t MinZoom() const { return FMinZoom; }
  void SetMinZoom(uint8_t v);
  int32_t Zindex() const { return FZIndex; }
  void SetZindex(int32_t v);
  bool Clickable() const { return FClickable; }
  void SetClickable(bool v) { FClickable = v; }
  bool Serialize() const { return FSerialize; }
  void SetSerialize(bool v) { FSerialize = v; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool v);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool v) { FShowHint = v; }
  // While loading text, or converting in the background, the draw list
  // stays empty.
  bool isLoading() const { return FisLoading || FConversion != nullptr; }
  void SetLoading(bool v);
  const std::string& Name() const { return FName; }
  TWyShapeInfoWindowList* InfoWindows() const { return FInfoWindows.get(); }
  TWyShapePOIList* Pois() const { return FPois.get(); }
  TWyShapeMarkerList* Markers() const { return FMarkers.get(); }
  TWyShapeLineList* Lines() const { return FLines.get(); }
  TWyShapePolygoneList* Polygones() const { return FPolys.get(); }
  TWyShape* ShapeHover() const { return FShapeHover; }
  // Hover change: the previous shape loses Hover and the hint; the new one
  // gains Hover and shows its hint (not for info windows, the dragged shape
  // or with ShowHint off).
  void SetShapeHover(TWyShape* value);
  TWyShape* ShapeDrag() const { return FShapeDrag; }
  void SetShapeDrag(TWyShape* value) { FShapeDrag = value; }
  bool InDraw() const { return FInDraw; }
  bool Modified() const { return FModified; }
  void SetModified(bool v) { FModified = v; }
  TWyWorldInfo* World() const { return FWorld; }
  TWyShapesGroup* Owner() const { return FOwner; }
  double NorthEastLatitude() const { return FLatNE; }
  double NorthEastLongitude() const { return FLngNE; }
  double SouthWestLatitude() const { return FLatSW; }
  double SouthWestLongitude() const { return FLngSW; }
  // The draw list of the last rebuild, in drawing order (may hold nulls
  // only while the group draws).
  const std::vector<TWyShape*>& DrawList() const { return FShapesDraw; }
  // Shapes that carry an animation.
  const std::vector<TWyShape*>& AnimationList() const { return FShapesAnim; }
  // Number of draw-list rebuilds so far (diagnostics).
  uint32_t RebuildCount() const { return FRebuilds; }

  TOnShapeMove OnMove;
  TNotifyEvent OnLoad;
  TNotifyEvent OnUpdate;  // the registry's update event; stored, not raised

 private:
  friend class TWyShapesGroup;
  friend class TWyShapeList;
  friend class TWyShape;

  // Called by a list before it frees `shape`: drops every reference the
  // group and the registry hold to it.
  void Unlink(TWyShape* shape);
  // Unlink for every shape of a list that is about to be freed, in one pass.
  void UnlinkAll(const std::vector<std::unique_ptr<TWyShape>>& shapes);
  // The hovered, dragged and hint references to `shape` only.
  void UnlinkRefs(TWyShape* shape);
  // Animation list membership (under GlobalMapLock).
  void AddAnimated(TWyShape* shape);
  void RemoveAnimated(TWyShape* shape);
  // Sets the bounds from the lists' stored bounds.
  void UnionBounds();
  // Reads the group's sections from an indexed text.
  void ReadTxt(const TWyMapDataFile& file);
  // Appends the text of GetToTxt to `out`.
  void AppendTxt(std::string& out);
  // "<name>." while the registry reads or writes and the name is not
  // empty; "" otherwise.
  std::string SectionPrefix() const;
  // A background load's result, on the window thread.
  void BackgroundLoaded(TShapeSourceKind kind, const std::string& text, const std::string& error,
                        const std::function<void(const std::string&)>& readOwnText);
  // Tells the host that the group finished loading (the map's OnLoad).
  void NotifyLoaded();

  TWyShapesGroup* FOwner = nullptr;
  std::string FName;
  std::unique_ptr<TWyShapeInfoWindowList> FInfoWindows;
  std::unique_ptr<TWyShapePOIList> FPois;
  std::unique_ptr<TWyShapeMarkerList> FMarkers;
  std::unique_ptr<TWyShapeLineList> FLines;
  std::unique_ptr<TWyShapePolygoneList> FPolys;
  int32_t FZIndex = 0;
  uint8_t FMinZoom = 2;
  uint8_t FMaxZoom = 18;
  std::vector<TWyShape*> FShapesAnim;
  std::vector<TWyShape*> FShapesDraw;
  bool FDrawHasHoles = false;  // entries nulled while drawing
  TWyWorldInfo* FWorld = nullptr;
  bool FModified = false;
  bool FInDraw = false;
  bool FSerialize = true;
  bool FClickable = true;
  bool FVisible = true;
  bool FisLoading = false;
  bool FShowHint = true;
  int32_t FBeginUpdate = 0;
  TWyShape* FShapeDrag = nullptr;
  TWyShape* FShapeHover = nullptr;
  double FLatSW = 0, FLngSW = 0, FLatNE = 0, FLngNE = 0;
  uint32_t FRebuilds = 0;
  std::unique_ptr<TShapeConversion> FConversion;
  std::string FLoadError;
  int32_t FLoadedCount = 0;
};

class TWyShapesGroup : public TObject {
 public:
  // `Parent` null means no parent window: groups neither rebuild their draw
  // lists nor ask for repaints. Attaches to the process's shared graphic
  // pool.
  TWyShapesGroup(TWyCanvas* Canvas, TWyShapesHost* Parent, TWyWorldInfo* World,
                 TNotifyEvent EvtUpdate = {}, TNotifyEvent EvtLoad = {}, TOnShapeMove EvtMove = {});
  // Frees every group, then detaches from the graphic pool (the last user of
  // the shared pool stops it).
  ~TWyShapesGroup() override;
  TWyShapesGroup(const TWyShapesGroup&) = delete;
  TWyShapesGroup& operator=(const TWyShapesGroup&) = delete;

  // The group of that name (any letter case), created on first use.
  TWyShapes* getShapes(const std::string& name);
  // Adds a shape of `Shape` kind to the group `GroupName`: nsPoi, nsMarker,
  // nsPolygon, any other value a line. Returns the new shape.
  TWyShape* Add(TNativeShape Shape, double Lat, double Lng, const std::string& GroupName = "");
  // Clears the hovered and dragged references to the shape, then frees it.
  void Remove(TWyShape* Shape);
  // Rebuilds the z-order of the groups (not while drawing).
  void UpdateZIndexShapes();
  // Rebuilds every visible group's draw list; DrawCount is their sum.
  void ShapesToDraw();
  // Draws the visible groups from the lowest z-index to the highest.
  // Drawing again from inside a drawing throws EShapeAssertion
  // "TWyShapesGroup.Draw" before anything is drawn.
  void Draw();
  // The shape under the pointer, asking the groups from the highest z-index
  // down and stopping at the first clickable hit (when there is none, the
  // first hit of any kind); that group's hovered shape becomes the hit and
  // every other group (outside an update) loses its hovered shape. An auxiliary shape (Serialize false) whose Item is a shape
  // stands for that shape.
  TWyShape* ShapeByHover(int32_t iX, int32_t iY);
  // `sender`'s own click handling (close buttons, links) when it is
  // clickable; false otherwise.
  bool HandledClick(TWyShape* sender, int32_t _x, int32_t _y);
  void BeginUpdate();
  void EndUpdate();
  bool isBeginUpdate() const;

  // Graphic pool: queue an address ahead of need / the decoded image (null
  // while loading, the address then queued).
  void PreLoadGraphic(const std::string& Filename);
  QImage GetGraphic(const std::string& Filename);
  TThreadGraphicPool* GraphicPool() const { return FGraphicPool; }
  // Uses `pool` (not owned; it must outlive the registry or the next call)
  // instead of the shared pool, which this registry leaves. For tests and
  // tools that drive a pool of their own; null returns to the shared pool.
  void UseGraphicPool(TThreadGraphicPool* pool);
  // Asks the parent window for a repaint; nothing without one. Any thread.
  void RequestRepaint();
  // The pool's listener (pool thread): with a parent, a repaint request;
  // without one, nothing (the pool is shared with other maps).
  void GraphicPoolNotify();

  // Animations: the number of animated shapes in visible groups, and one
  // tick of the map's timer.
  int32_t AnimationShapesCount();
  void AnimationShapes();

  // Called after the map stopped moving; nothing to do here: the map's
  // traffic and photo layers follow the map through its observers.
  void MapEndMove() {}

  // The registry text of the shape text format: "[groupes]", one header
  // per serialized group, then the groups' sections; reading creates the
  // groups it names and adds to them (shape_text_sections.cpp). Exports and
  // file loading are filled in by the persistence code.
  virtual std::string GetToTxt();
  virtual void SetToTxt(const std::string& value);
  // SetToTxt from a text already indexed (the map's text, whose "[map]"
  // section the map reads from the same index).
  void ReadTxt(const TWyMapDataFile& file);
  // Every saved group (Serialize true: not the traffic, photo, route label
  // or hint groups) in one GPX, KML or GeoJSON document, groups in
  // creation order (shapes_export.cpp). The GeoJSON bbox is the viewport.
  virtual std::string GetToGpx();
  virtual std::string GetToKml();
  virtual std::string GetToGeoJSon();
  // Reads a file or an address (shapes_file_loading.cpp). A local file is
  // read at once: own text is read as the registry's text there and then;
  // GPX, KML, KMZ and GeoJSON go to the default group's background
  // conversion (SetToGpx...). An http or https address is downloaded in the
  // background too, by the default group. False while any group is loading,
  // when a local file cannot be read, or own text holds no shapes; true
  // otherwise, the shapes then arriving later with OnLoad (the default
  // group's LoadError and LoadedCount tell how it ended).
  virtual bool LoadFromFile(const std::string& filename);
  // The same, own text going to `readOwnText` instead (the map reads its
  // own "[map]" section with the groups).
  bool LoadSource(const std::string& filename,
                  const std::function<void(const std::string&)>& readOwnText);
  // The default group's background conversions (created on first use).
  void SetToGpx(const std::string& value);
  void SetToKml(const std::string& value);
  void SetToGeoJSon(const std::string& value);
  // CancelLoading of every group.
  void CancelLoading();
  // The converted text of a foreign file (formats/shape_file.h
  // ConvertShapeText) read into the default group; false when it holds no
  // shape records.
  bool ReadConvertedText(const std::string& text);
  // Writes the registry by the extension of `filename` (SaveShapesFile),
  // synchronously; false when the file could not be written.
  virtual bool SaveToFile(const std::string& filename);
  // True while the registry reads its text or any group loads (background
  // conversions included).
  bool isLoading() const;
  // Set by an OnLoadShapes handler (or the application) to stop reading
  // the current group; cleared when a group starts reading.
  bool CancelLoad() const { return FCancelLoad; }
  void SetCancelLoad(bool v) { FCancelLoad = v; }
  // The registry is writing or reading its text (groups prefix their
  // sections with their name).
  bool SerializeGroup() const { return FSerializeGroup; }
  // The map's traffic layer switch, mirrored here (the layer itself lives
  // in the map, map/traffic_layer.h); OnTraffic fires when it shows
  // incidents.
  bool TrafficLayer() const { return FTrafficLayer; }
  void SetTrafficLayer(bool v) { FTrafficLayer = v; }
  // Language for route requests (used by the routing code).
  const std::string& Locale() const { return FLocale; }
  void SetLocale(const std::string& v) { FLocale = v; }

  // The groups in creation order / in z-order (lowest first).
  std::vector<TWyShapes*> Groups() const;
  const std::vector<TWyShapes*>& ZOrder() const { return FZIndexShapes; }
  TWyShapes* HintShapes() const { return FHintShapes; }
  // The info window that shows hints; null once freed.
  TWyShapeInfoWindow* HintWindow() const { return FHintWindow; }
  TWyShape* ShapeHover() const { return FShapeHover; }
  void SetShapeHover(TWyShape* value);
  TWyShape* ShapeDrag() const { return FShapeDrag; }
  void SetShapeDrag(TWyShape* value);
  bool MapDraggable() const { return FMapDraggable; }
  void SetMapDraggable(bool v) { FMapDraggable = v; }
  bool InDraw() const { return FInDraw; }
  int32_t DrawCount() const { return FDrawCount; }
  std::vector<QImage>& Icons() { return FIcons; }
  void SetIcons(std::vector<QImage> icons) { FIcons = std::move(icons); }
  TWyShapeGeoServices* GeoLocalise() const { return FGeoLocalise; }
  void SetGeoLocalise(TWyShapeGeoServices* v) { FGeoLocalise = v; }
  TWyShapesHost* Parent() const;
  // The map calls SetParent(nullptr) when its destruction begins.
  void SetParent(TWyShapesHost* value);
  TWyCanvas* Canvas() const { return FWyCanvas; }
  TWyWorldInfo* World() const { return FWorld; }
  bool Destroying() const { return FDestroying; }

  TNotifyEvent OnCloseInfoWindow;
  TOnHotSpot OnHotSpot;
  TNotifyEvent OnShapePathChange;
  TNotifyEvent OnTraffic;
  // Progress of reading text (Sender: the parent window's event sender).
  TOnLoadShapes OnLoadShapes;

 private:
  friend class TWyShapes;

  TWyShapes* NewGroup(const std::string& name);
  // Leaves whichever graphic pool is in use.
  void UseGraphicPoolNone();

  mutable std::recursive_mutex FListLock;  // guards FGroups and FByName
  std::vector<std::unique_ptr<TWyShapes>> FGroups;
  std::unordered_map<std::string, TWyShapes*> FByName;
  std::vector<TWyShapes*> FZIndexShapes;
  // A change of the order came while drawing.
  bool FZOrderStale = false;
  TWyCanvas* FWyCanvas = nullptr;
  std::string FLocale;
  bool FisLoading = false;
  bool FCancelLoad = false;
  bool FSerializeGroup = false;
  TThreadGraphicPool* FGraphicPool = nullptr;
  TGraphicPoolToken FSharedToken = 0;      // shared pool user
  TThreadGraphicPool* FOwnPool = nullptr;  // pool from UseGraphicPool
  TGraphicPoolToken FOwnPoolListener = 0;  // listener on FOwnPool
  TWyShapeGeoServices* FGeoLocalise = nullptr;
  bool FTrafficLayer = false;
  std::vector<QImage> FIcons;
  mutable std::mutex FParentLock;  // the pool's listener reads FParent
  TWyShapesHost* FParent = nullptr;
  std::atomic<TWyShapesHost*> FParentFast{nullptr};  // FParent, for lock-free reads
  TWyWorldInfo* FWorld = nullptr;
  TNotifyEvent FEvent;
  TNotifyEvent FOnLoad;
  TOnShapeMove FOnMove;
  TWyShape* FShapeHover = nullptr;
  TWyShape* FShapeDrag = nullptr;
  bool FInDraw = false;
  bool FMapDraggable = false;
  bool FDestroying = false;
  int32_t FDrawCount = 0;
  TWyShapes* FHintShapes = nullptr;
  TWyShapeInfoWindow* FHintWindow = nullptr;
};

}  // namespace wy

#pragma once
// TWyShapeLine (a polyline through geographic points) and TWyShapePolygone
// (a closed line with a fill). Each line owns an auxiliary group, named
// after its own group and Id ("<group>_line_<Id>"), for its point labels
// and edit handles; a raised polygon owns a second one for its walls and
// roof (see LevelGroupName).
//
// Points are projected to screen pixels when the group rebuilds its draw
// list (getBounds), not at every frame, and only when the path, the
// viewport or the weight changed since the last projection. The same step
// prepares what is drawn: consecutive vertices that land on the same pixel
// are dropped, and a straight line keeps only the runs of segments that
// come near the view, so a long track costs what its visible, distinct
// pixels cost. The line's box runs from (0, 0) to the largest projected x
// and y: a coarse filter before the segment test.
//
// Window thread only.

#include <QPoint>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "geo/object.h"
#include "geo/route_path.h"
#include "geo/world_info.h"
#include "graphics/canvas.h"
#include "platform/window_thread.h"
#include "shapes/shape.h"

namespace wy {

enum TWyLineType : uint8_t { ltStraight, ltBezier };

class TWyShapeLine;

// Progress of getAltitudes: `Total` points are done; setting `cancel` stops.
using TOnGetAltitude = std::function<void(TWyShapeLine* sender, int32_t Total, bool& cancel)>;

class TWyPointLine : public TObject {
 public:
  TWyPointLine(double lat, double lng, double alt) : FLat(lat), FLng(lng), FAlt(alt) {}
  double Lat() const { return FLat; }
  void SetLat(double v) { FLat = v; }
  double Lng() const { return FLng; }
  void SetLng(double v) { FLng = v; }
  double Alt() const { return FAlt; }
  void SetAlt(double v) { FAlt = v; }
  int32_t Distance() const { return FDistance; }
  void SetDistance(int32_t v) { FDistance = v; }
  const std::string& Text() const { return FText; }
  void SetText(const std::string& v) { FText = v; }
  double Latitude() const { return FLat; }
  double Longitude() const { return FLng; }
  // Seconds since 1970-01-01T00:00:00Z, the fraction kept; kNoTime when the
  // point has none.
  double Time() const { return FTime; }
  void SetTime(double v) { FTime = v; }
  bool HasTime() const { return FTime != TWyShape::kNoTime; }

 private:
  double FLat = 0;
  double FLng = 0;
  double FAlt = TWyShape::kNoAltitude;
  double FTime = TWyShape::kNoTime;
  int32_t FDistance = 0;
  std::string FText;
};

// One edge of a polygon.
class TPaireLatLng : public TObject {
 public:
  TLatLng Point1;
  TLatLng Point2;
};

class TWyShapeLine : public TWyShape {
 public:
  explicit TWyShapeLine(TWyShapeList* owner);
  // Empties the auxiliary group (the group itself stays registered).
  ~TWyShapeLine() override;

  // The base setters, then the labels and handles take the new colours.
  void SetColor(TColor value) override;
  void SetHoverColor(TColor value) override;
  // Also shows or hides the labels and handles.
  void SetVisible(bool value) override;
  // Bounds (and, outside an update bracket, the projection), then the base
  // notification. A line that was on the map asks for a repaint even when
  // the change took it off (a cleared or hidden line must disappear).
  void Update() override;
  void Draw() override;
  // The record of the shape text format (shape_text_records.cpp).
  std::string GetToTxt() override;
  // A track, a Placemark with its style, a LineString (polygons: a closed
  // track, a Polygon) Feature; every point is written (shape_export.cpp).
  void WriteGpx(TGpxWriter& out) override;
  void WriteKml(TKmlWriter& out, int32_t index) override;
  void WriteGeoJson(TGeoJsonWriter& out) override;
  // Moves the whole path so that its centre lands on (dLat, dLng); every
  // altitude is forgotten. Lines raise neither a move nor a path event.
  void SetPosition(double dLat, double dLng) override;
  // The box filter, then the first segment within Weight pixels; sets
  // HoverPoint to the index of that segment's end point (-1 for none).
  bool IsHover(int32_t iX, int32_t iY) override;
  // Visible, at least one point, and its bounds overlap the viewport.
  bool ShowOnMap() override;
  // Bounds of the points; the centre becomes Latitude/Longitude; then the
  // points are projected. Without points: nothing projected, nothing shown.
  void getBounds() override;
  virtual void ProjectPoints();
  virtual void SetEditable(bool value);
  // After a path change (run by the group's update): caches reset, bounds
  // recomputed, OnShapePathChange (or the registry's) raised.
  virtual void PathChanged();

  // Appends / inserts a point; returns its index. Insert clamps the index
  // to 0 .. Count.
  int32_t Add(double Lat, double Lng, double Alt);
  void Insert(int32_t index, double Lat, double Lng, double Alt);
  // Out of range: nothing.
  void Delete(int32_t index);
  void Clear();
  // Latitude, longitude pairs: the first len / 2 points take them (points
  // are appended at (0, 0) without altitude when the line is shorter);
  // altitudes and later points stay. An odd last value is ignored; an
  // empty array changes nothing.
  void SetPath(const std::vector<double>& values);
  int32_t Count() const { return static_cast<int32_t>(FPoints.size()); }
  // Out of range throws EShapeAssertion "TWyShapeLine.getPoints".
  TWyPointLine* getPoints(int32_t index) const;

  // Length in kilometres along the earth, cached until the path changes.
  // After SetRoutePath, the route's own length.
  double Distance();
  // Position and heading lMeter metres along the path from its first point.
  // Before the start (lMeter < 0) or beyond the end: false with bEnd true
  // (idPoint 0, resp. Count - 1). Otherwise true, idPoint the start of the
  // segment reached, dLatitude/dLongitude interpolated linearly on it and
  // Heading the whole-degree bearing of travel (towards the end when
  // SensStartEnd, towards the start otherwise; not normalised).
  bool getLatLngFromMeter(bool SensStartEnd, int32_t lMeter, double& dLatitude, double& dLongitude,
                          int32_t& idPoint, int32_t& Heading, bool& bEnd);
  // Fetches the altitudes of the points from the registry's geo services,
  // 21 points per request (consecutive requests share one point), reporting
  // progress to `Event` after each request. A failed request leaves its
  // points as they were; values that are not numbers are skipped. Between
  // requests the window's pending messages are processed for the
  // "timeout.elevation-pause" setting (100 ms); the call returns at once
  // when the line is freed meanwhile. Nothing without geo services.
  void getAltitudes(const TOnGetAltitude& Event);
  // Replaces the path by the route's points (their instructions and
  // distances included); points with an instruction get a label. The
  // length becomes the route's, the duration the route's. Null: the line
  // is just cleared.
  void SetRoutePath(const TWyRoutePath* path);

  // Rebuilds the labels and edit handles from the points.
  void BuildLineShapes();
  // Handle events (assigned to every label and handle).
  void DoHandleDrag(TObject* Sender, TWyShape* Item, bool& Cancel);
  void DoHandleDragEnd(TObject* Sender);
  void DoHandleDblClick(TObject* Sender, TWyShape* Item);

  bool Editable() const { return FEditable; }
  int32_t HoverPoint() const { return FHOverSeg; }
  uint8_t Weight() const { return FWeight; }
  void SetWeight(uint8_t v);
  TWyLineType LineType() const { return FLineType; }
  void SetLineType(TWyLineType v);
  TPenStyle PenStyle() const { return FPenStyle; }
  void SetPenStyle(TPenStyle v);
  bool ShowText() const { return FShowText; }
  void SetShowText(bool value);
  bool PathModified() const { return FPathModified; }
  int32_t Duration() const { return FDuration; }
  const std::vector<QPoint>& XYPoints() const { return FXYPoints; }
  TWyShapes* Shapes() const { return FLineShapes; }
  const std::string& NameShapes() const { return FNameShapes; }
  double NorthEastLatitude() const { return FLatNE; }
  double NorthEastLongitude() const { return FLngNE; }
  double SouthWestLatitude() const { return FLatSW; }
  double SouthWestLongitude() const { return FLngSW; }
  // What the last projection prepared for drawing (diagnostics and tests):
  // the number of vertices over all runs, and the number of runs.
  int32_t DrawVertexCount() const;
  int32_t DrawRunCount() const { return static_cast<int32_t>(FDrawRuns.size()); }
  // Lines read from one multi-part track (the segments of one GPX track,
  // the parts of one multi-line feature or placemark) share a non-empty
  // key; the exports write consecutive lines of one key as one track.
  // See TrackKeyOf.
  const std::string& TrackKey() const { return FTrackKey; }
  void SetTrackKey(const std::string& v) { FTrackKey = v; }

  TNotifyEvent OnShapePathChange;

 protected:
  // One stretch of consecutive segments that is drawn as a polyline, with
  // the index of the point behind each vertex.
  struct TRun {
    std::vector<QPoint> Points;
    std::vector<int32_t> Index;
  };

  // Caches reset, path marked modified, labels rebuilt when shown, Update.
  void PathEdited();
  // Reads a line record: the fields, the points and their labels
  // (shape_text_records.cpp).
  void FromTxt(const TWyParamParser& parser) override;
  void AppendTxt(std::string& out) override;
  // Bounds of the points (and Latitude/Longitude) without projecting.
  void ComputeLineBounds();
  // Projects every point when the path, the viewport or the weight changed
  // since the last projection (or an Update asked for it); false when
  // nothing was done.
  bool ProjectXY();
  // Fills FRuns from FXYPoints; `cull` keeps only segments near the view.
  void BuildRuns(bool cull);
  // The segment test of lines (first hit in path order).
  bool SegmentHover(int32_t iX, int32_t iY);
  // The labels and handles are shown at all.
  bool LabelsShown() const { return FShowText || FEditable; }
  // Adds the label or handle of point `index` to the auxiliary group: a
  // 16 x 16 round POI for a text on the first or last point, else a marker.
  TWyShape* AddLabel(int32_t index, bool active);
  // The handle `Item` when it is one of this line's labels with a valid
  // point index, else null.
  TWyShape* OwnHandle(TWyShape* Item) const;

  TWyShapes* FLineShapes = nullptr;
  TPenStyle FPenStyle = psSolid;
  TWyLineType FLineType = ltStraight;
  uint8_t FWeight = 4;
  int32_t FHOverSeg = -1;
  std::vector<QPoint> FXYPoints;
  std::vector<std::unique_ptr<TWyPointLine>> FPoints;
  bool FPathModified = false;
  bool FEditable = false;
  bool FShowText = false;
  std::string FTrackKey;
  int32_t FDuration = 0;
  double FDistance = 0;
  double FArea = 0;
  double FLatSW = 0, FLngSW = 0, FLatNE = 0, FLngNE = 0;
  std::string FNameShapes;

  // Drawing preparation and its cache key.
  std::vector<TRun> FRuns;
  // The runs as drawn (straight stretches without their inner vertices).
  std::vector<std::vector<QPoint>> FDrawRuns;
  // A piece of a long run being drawn (kept to spare an allocation a frame).
  std::vector<QPoint> FDrawPiece;
  // World pixels of the points at zoom 0 (x, y, x, y, ...) and their box
  // (MinX NaN when a point has no finite one), valid while the projection
  // is not dirty.
  std::vector<double> FWorld0;
  struct TWorldBox {
    double MinX, MinY, MaxX, MaxY;
  };
  TWorldBox FWorld0Box{0, 0, 0, 0};
  bool FRunsCulled = false;
  int32_t FCullLeft = 0, FCullTop = 0, FCullRight = -1, FCullBottom = -1;
  bool FProjectionDirty = true;
  // The bounds (and Latitude/Longitude) are those of the current points.
  bool FBoundsValid = false;
  struct TViewKey {
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    uint8_t Zoom = 0;
    uint8_t Weight = 0;
    bool operator==(const TViewKey& o) const {
      return Left == o.Left && Top == o.Top && Width == o.Width && Height == o.Height &&
             Zoom == o.Zoom && Weight == o.Weight;
    }
  };
  TViewKey FProjectedFor;
  // The line was on the map at its last Update.
  bool FOnMapAtUpdate = false;
  // The cached length came from a route and survives the path event that
  // follows SetRoutePath.
  bool FRouteDistance = false;
  // A handle was retired by a double click; the rebuild is pending.
  bool FHandlesStale = false;
  // Deferred work posted to the window thread dies with the line.
  std::unique_ptr<TReceiverGuard> FGuard;
};

class TWyShapePolygone : public TWyShapeLine {
 public:
  explicit TWyShapePolygone(TWyShapeList* owner);
  // Frees the walls and roof with the polygon (they point back at it).
  ~TWyShapePolygone() override;

  void SetVisible(bool value) override;
  void Draw() override;
  // The line record followed by the fill, style and level.
  std::string GetToTxt() override;
  // A track, a Placemark with its style, a LineString (polygons: a closed
  // track, a Polygon) Feature; every point is written (shape_export.cpp).
  void WriteGpx(TGpxWriter& out) override;
  void WriteKml(TKmlWriter& out, int32_t index) override;
  void WriteGeoJson(TGeoJsonWriter& out) override;
  // Even-odd test of the projected outline; HoverPoint as for lines, the
  // closing edge excluded.
  bool IsHover(int32_t iX, int32_t iY) override;
  // The line test, and false while the raised block stands for it.
  bool ShowOnMap() override;
  void ProjectPoints() override;
  // Editing shows the polygon flat with its handles; leaving edit mode
  // rebuilds the block.
  void SetEditable(bool value) override;

  // Area in square kilometres on the local plane around the south-west
  // corner of the bounds; cached until the path changes. Under three
  // points: 0.
  double Area();

  TColor FillColor() const { return FFillColor; }
  void SetFillColor(TColor v);
  TBrushStyle Style() const { return FPolygoneStyle; }
  void SetStyle(TBrushStyle v);
  int32_t Level() const { return FLevel; }
  // Height in metres of the raised block (walls and roof in the level
  // group); 0 or less is flat. Leaves edit mode.
  void SetLevel(int32_t value);
  TWyShapes* LevelShapes() const { return FLevelShapes; }

  // The name of a polygon's level group: "level_<Id>" in the default group
  // and "<group>_level_<Id>" in a named one (see the .cpp).
  static std::string LevelGroupName(const std::string& group, int32_t id);

 protected:
  void FromTxt(const TWyParamParser& parser) override;
  void AppendTxt(std::string& out) override;

 private:
  // Rebuilds the walls and the roof from the current points and level.
  void BuildLevel();

  TColor FFillColor = 0x000000FF;
  TBrushStyle FPolygoneStyle = bsSolid;
  int32_t FLevel = 0;
  TWyShapes* FLevelShapes = nullptr;
  // The outline without repeated pixels, as drawn.
  std::vector<QPoint> FOutline;
};

// The track a shape belongs to: consecutive lines of one list with the same
// non-empty key are the segments (parts) of one track; "" for a line that
// is a track of its own and for every other shape.
std::string TrackKeyOf(const TWyShape& shape);
// A key no other track of this process holds.
std::string NewTrackKey();

}  // namespace wy

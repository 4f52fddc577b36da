#pragma once
// TWyShape: the base of everything drawn over the map tiles (markers, lines,
// polygons, points of interest, info windows).
//
// A shape lives in exactly one list of one group and is created and freed by
// that list. It keeps its geographic position, the screen box of its last
// drawing, colours, z-index, visibility and the application's handlers. The
// group draws it, the map hit-tests it; a shape never draws by itself.
//
// Window thread only, except where noted.

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "geo/attributes.h"
#include "geo/iso_time.h"
#include "geo/object.h"
#include "geo/text_convert.h"
#include "geo/world_info.h"
#include "graphics/canvas.h"
#include "shapes/shape_types.h"

namespace wy {

class TWyParamParser;
class TGpxWriter;
class TKmlWriter;
class TGeoJsonWriter;

// Keeps a copy of the surface's font and font colour and puts them back when
// the scope ends, also when a drawing handler throws. A copy of its own, so
// handlers that save and restore the surface themselves cannot upset it.
class TCanvasFontScope {
 public:
  explicit TCanvasFontScope(TWyCanvas& canvas)
      : FCanvas(canvas), FFont(canvas.Font()), FColor(canvas.FontColor()) {}
  ~TCanvasFontScope() {
    FCanvas.SetFont(FFont);
    FCanvas.SetFontColor(FColor);
  }
  TCanvasFontScope(const TCanvasFontScope&) = delete;
  TCanvasFontScope& operator=(const TCanvasFontScope&) = delete;

 private:
  TWyCanvas& FCanvas;
  QFont FFont;
  TColor FColor;
};

class TWyShape : public TObject {
 public:
  static constexpr double kNoAltitude = -9999;
  // A point without a time (times are seconds since 1970-01-01T00:00:00Z).
  static constexpr double kNoTime = wy::kNoTime;
  static constexpr TColor kDefaultColor = 0x004848FF;
  static constexpr TColor kDefaultHoverColor = 0x0044CA55;

  // Takes the drawing surface of the registry that owns `owner`'s group.
  // The concrete kinds draw the identifier from the list.
  explicit TWyShape(TWyShapeList* owner);
  // Leaves the group's animation list, frees the animation and, with
  // OwnItem, the item. The list unlinks the shape from every group
  // reference before it deletes it.
  ~TWyShape() override;
  TWyShape(const TWyShape&) = delete;
  TWyShape& operator=(const TWyShape&) = delete;

  // ---- overridable operations
  virtual void SetColor(TColor value);
  virtual void SetHoverColor(TColor value);
  virtual void SetVisible(bool value);
  // Own flag, the list's and the group's visibility, and the group's zoom
  // range (0 = no limit, both limits inclusive).
  virtual bool GetVisible() const;
  virtual void SetZIndex(int32_t value);
  // Own flag and the group's.
  virtual bool GetClickable() const;
  // Change notification: marks the group modified when the shape is on the
  // map, then lets the group rebuild its draw list (not during an update).
  virtual void Update();
  // The shape as one record of the shape text format, and reading one
  // (shape_text_records.cpp); the concrete kinds write and read their own
  // (GetToTxt, FromTxt).
  virtual std::string GetToTxt() { return ""; }
  virtual void SetToTxt(const std::string& value);
  // The shape alone in the export formats (shape_export.cpp): a GPX
  // waypoint or track, a KML Placemark (and its Style), a GeoJSON Feature.
  // "" for what does not export (info windows, hidden lines, lines
  // without points).
  virtual std::string GetToGpx();
  virtual std::string GetToKml();
  virtual std::string GetToGeoJSon();
  // Appends the shape to a document being written; the base writes
  // nothing. `index` is the shape's place in its list (markers and polygons
  // carry it in KML), handed in so that a list is written in linear time. Visibility counts the
  // shape's, its list's and its group's own flags, never the zoom range: an export is not a view.
  virtual void WriteGpx(TGpxWriter& out) { (void)out; }
  virtual void WriteKml(TKmlWriter& out, int32_t index) {
    (void)out;
    (void)index;
  }
  virtual void WriteGeoJson(TGeoJsonWriter& out) { (void)out; }
  // The shape, its list and its group are switched on.
  bool ExportVisible() const;
  virtual void SetWidth(int32_t value) { FW = value; }
  virtual void SetHeight(int32_t value) { FH = value; }
  // Draws the shape; the base only raises OnAfterDraw.
  virtual void Draw();
  // A click the shape handles itself (close buttons, links).
  virtual bool HandleClick(int32_t x, int32_t y);
  // Moves the shape; see the .cpp for the move event and repaint rules.
  virtual void SetPosition(double dLat, double dLng);
  // Box test with every edge included; records the pointer relative to the
  // box in XHover/YHover whatever the result.
  virtual bool IsHover(int32_t iX, int32_t iY);
  // IsHover, notifying a change only when the result flips.
  virtual bool isHit(int32_t x, int32_t y);
  // Visible and inside the viewport.
  virtual bool ShowOnMap();
  virtual void getBounds() {}

  // ---- non-virtual operations
  // Clears the registry's hovered and dragged references to the shape, then
  // deletes it from its list. The shape is freed: do not use it afterwards.
  void Remove();
  int32_t IndexOf() const;
  // The point lies within the current viewport, borders included.
  bool Contains(double dLat, double dLng) const;
  void ShowHint();
  void HideHint();
  // The built-in pin: a 12 x 12 shaded ball standing on the point.
  void DrawDefaultMarker();

  // A token that expires when the shape is freed; lets code that runs
  // application handlers find out whether the shape survived them.
  std::weak_ptr<char> LifeToken() const;

  // ---- properties
  std::string Address();
  void SetAddress(const std::string& value) { FAddress = value; }
  TWyAnimationShape* Animation() const { return FWyAnimationShape.get(); }
  // Replaces (and frees) the current animation; the shape joins or leaves
  // its group's animation list. Handing in the object the shape already
  // holds changes nothing (the pointer is released, not freed twice).
  void SetAnimation(std::unique_ptr<TWyAnimationShape> value);
  double Latitude() const { return FLat; }
  double Longitude() const { return FLng; }
  double Altitude();
  void SetAltitude(double value) { FAlt = value; }
  double NorthEastLat() const { return FNorthEastLatitude; }
  double NorthEastLng() const { return FNorthEastLongitude; }
  double SouthWestLat() const { return FSouthWestLatitude; }
  double SouthWestLng() const { return FSouthWestLongitude; }
  int32_t X() const { return FX; }
  void SetX(int32_t v) { FX = v; }
  int32_t Y() const { return FY; }
  void SetY(int32_t v) { FY = v; }
  int32_t Top() const { return FTop; }
  void SetTop(int32_t v) { FTop = v; }
  int32_t Left() const { return FLeft; }
  void SetLeft(int32_t v) { FLeft = v; }
  int32_t Width() const { return FW; }
  int32_t Height() const { return FH; }
  int32_t XAnchor() const { return FXAnchor; }
  void SetXAnchor(int32_t v) { FXAnchor = v; }
  int32_t YAnchor() const { return FYAnchor; }
  void SetYAnchor(int32_t v) { FYAnchor = v; }
  int32_t XHover() const { return FXHover; }
  int32_t YHover() const { return FYHover; }
  TColor Color() const { return FCOlor; }
  TColor HoverColor() const { return FHoverColor; }
  TColor BorderColor() const { return FBorderColor; }
  TColor HoverBorder() const { return FHoverBorder; }
  int32_t Tag() const { return FTag; }
  void SetTag(int32_t v) { FTag = v; }
  const std::string& Name() const { return FName; }
  // Unique within the list without regard to case: a name another shape of
  // the list holds leaves the name unchanged.
  void SetName(const std::string& value);
  TObject* Item() const { return FItem; }
  // With OwnItem, a different value frees the previous item.
  void SetItem(TObject* value);
  bool OwnItem() const { return FOwnItem; }
  void SetOwnItem(bool v) { FOwnItem = v; }
  int32_t Id() const { return _id; }
  bool Visible() const { return GetVisible(); }
  // Own flag and the group's.
  bool Serialize() const;
  void SetSerialize(bool v) { FSerialize = v; }
  bool Clickable() const { return GetClickable(); }
  void SetClickable(bool v) { FClickable = v; }
  uint8_t Opacity() const { return FOpacity; }
  void SetOpacity(uint8_t v);
  bool Rotation() const { return FRotation; }
  void SetRotation(bool v);
  int32_t ZIndex() const { return FZindex; }
  bool Draggable() const { return FDraggable; }
  void SetDraggable(bool v) { FDraggable = v; }
  bool Hover() const { return FHover; }
  bool Ready() const { return FReady; }
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& v) { FHint = v; }
  // The named texts read with the shape from a file (names, descriptions,
  // times, foreign properties) that the shape's own fields do not hold;
  // kept in the shape text and written by the exports.
  TWyAttributes& Attributes() { return FAttributes; }
  const TWyAttributes& Attributes() const { return FAttributes; }
  // The group of the owning list (null without one).
  TWyShapes* Group() const;
  TWyShapeList* ParentList() const { return FParentList; }
  TWyWorldInfo* WorldInfo() const { return FWorldInfo; }
  TWyCanvas* Canvas() const { return FWyCanvas; }
  // The registry of the owning group (null without one).
  TWyShapesGroup* Registry() const;
  std::string ToTxt() { return GetToTxt(); }

  // ---- application handlers (empty = not raised)
  TOnDrawShape OnOwnerDraw;
  TOnDrawShape OnAfterDraw;
  TOnShapeMove OnShapeMove;
  TOnShapeMove OnShapeDrag;
  TNotifyEvent OnShapeDragEnd;
  TOnShapeMouseEvent OnShapeMouseOver;
  TOnShapeMouseEvent OnShapeMouseOut;
  TOnShapeMouseEvent OnShapeMouseDown;
  TOnShapeMouseEvent OnShapeMouseUp;
  TOnShapeMouseEvent OnShapeClick;
  TOnShapeMouseEvent OnShapeRightClick;
  TOnShapeMouseEvent OnShapeDblClick;

 protected:
  friend class TWyShapeList;
  friend class TWyShapes;
  friend class TWyShapesGroup;

  // The group's modified mark and draw-list rebuild, without a shape
  // Update (the move code and the kinds use it).
  void MarkModified();
  // FX, FY = the screen pixel of (FLat, FLng), as LatLngToXY gives it; the
  // projection of the position is kept until the position changes.
  void ProjectPosition();
  // The fields every point record starts with (shape_text_records.cpp),
  // with the box size to write; reading sets the fields directly (no
  // Update, no move event).
  std::string CommonToTxt(int32_t w, int32_t h) const;
  void CommonFromTxt(const TWyParamParser& parser);
  // color and hcolor (default: the current colours), the border colours
  // following them.
  void ColorsFromTxt(const TWyParamParser& parser);
  // A GPX waypoint of the shape (POIs, markers), when it is visible.
  void WriteWaypoint(TGpxWriter& out);
  // The attribute fields after a record's own ("" without attributes).
  void AppendAttributesTxt(std::string& out) const;
  // Reads the record the parser holds (SetToTxt, and the lists' readers,
  // which parse each line in place).
  virtual void FromTxt(const TWyParamParser& parser) { (void)parser; }
  // Appends GetToTxt's record to `out` (lines write theirs in place).
  virtual void AppendTxt(std::string& out) { out += GetToTxt(); }

  TWyCanvas* FWyCanvas = nullptr;
  TWyWorldInfo* FWorldInfo = nullptr;
  TWyShapeList* FParentList = nullptr;
  std::string FName;
  std::string FAddress;
  int32_t FTag = 0;
  int32_t _id = 0;
  bool FHit = false;
  bool FRotation = false;
  std::unique_ptr<TWyAnimationShape> FWyAnimationShape;
  int32_t FXHover = 0, FYHover = 0;
  int32_t FXAnchor = 0, FYAnchor = 0;
  int32_t FZindex = 0;
  int32_t FTop = 0, FLeft = 0;
  int32_t FX = 0, FY = 0;
  int32_t FW = 0, FH = 0;
  uint8_t FOpacity = 100;
  bool FReady = true;
  bool FClickable = true;
  bool FDraggable = false;
  double FLat = 0, FLng = 0;
  double FAlt = kNoAltitude;
  double FNorthEastLatitude = 0, FNorthEastLongitude = 0;
  double FSouthWestLatitude = 0, FSouthWestLongitude = 0;
  bool FOwnItem = false;
  TObject* FItem = nullptr;  // owned only when FOwnItem
  bool FSerialize = true;
  bool FVisible = true;
  bool FHover = false;
  TColor FHoverColor = kDefaultHoverColor;
  TColor FCOlor = kDefaultColor;
  TColor FBorderColor = 0;
  TColor FHoverBorder = 0;
  std::string FHint;
  TWyAttributes FAttributes;

 private:
  // Group bookkeeping: whether the shape sits in its group's animation list.
  bool FInAnimList = false;
  // The position last projected (NaN: none) and its world pixel at zoom 0.
  double FProjectedLat = std::nan("");
  double FProjectedLng = std::nan("");
  double FWorld0X = 0, FWorld0Y = 0;
  mutable std::shared_ptr<char> FLife;  // created on first LifeToken()
};

}  // namespace wy

#pragma once
// TWyShapeLine (a polyline through geographic points) and TWyShapePolygone
// (a closed line with a fill). Each line owns an auxiliary group, named
// after its own group and Id ("<group>_line_<Id>"), for its point labels
// and edit handles.
//
// Points are projected to screen pixels when the group rebuilds its draw
// list (getBounds), not at every frame. The line's box runs from (0, 0) to
// the largest projected x and y: a coarse filter before the segment test.

#include <QPoint>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geo/object.h"
#include "graphics/canvas.h"
#include "shapes/shape.h"

namespace wy {

enum TWyLineType : uint8_t { ltStraight, ltBezier };

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

 private:
  double FLat = 0;
  double FLng = 0;
  double FAlt = TWyShape::kNoAltitude;
  int32_t FDistance = 0;
  std::string FText;
};

class TWyShapeLine : public TWyShape {
 public:
  explicit TWyShapeLine(TWyShapeList* owner);
  // Empties the auxiliary group (the group itself stays registered).
  ~TWyShapeLine() override;

  void Update() override;
  void Draw() override;
  // Moves the whole path so that its centre lands on (dLat, dLng). Lines
  // raise no move event.
  void SetPosition(double dLat, double dLng) override;
  // The box filter, then the first segment within Weight pixels; sets
  // HoverPoint to the index of that segment's end point (-1 for none).
  bool IsHover(int32_t iX, int32_t iY) override;
  // Visible and its bounds overlap the viewport.
  bool ShowOnMap() override;
  // Bounds of the points; the centre becomes Latitude/Longitude; then the
  // points are projected.
  void getBounds() override;
  virtual void ProjectPoints();
  virtual void SetEditable(bool value);
  // After a path change (run by the group's update): caches reset, bounds
  // recomputed, OnShapePathChange (or the registry's) raised.
  virtual void PathChanged();

  // Appends / inserts a point; returns its index.
  int32_t Add(double Lat, double Lng, double Alt);
  void Insert(int32_t index, double Lat, double Lng, double Alt);
  void Delete(int32_t index);
  void Clear();
  int32_t Count() const { return static_cast<int32_t>(FPoints.size()); }
  // Out of range throws EShapeAssertion "TWyShapeLine.getPoints".
  TWyPointLine* getPoints(int32_t index) const;

  bool Editable() const { return FEditable; }
  int32_t HoverPoint() const { return FHOverSeg; }
  uint8_t Weight() const { return FWeight; }
  void SetWeight(uint8_t v);
  TWyLineType LineType() const { return FLineType; }
  void SetLineType(TWyLineType v);
  TPenStyle PenStyle() const { return FPenStyle; }
  void SetPenStyle(TPenStyle v);
  bool ShowText() const { return FShowText; }
  bool PathModified() const { return FPathModified; }
  int32_t Duration() const { return FDuration; }
  const std::vector<QPoint>& XYPoints() const { return FXYPoints; }
  TWyShapes* Shapes() const { return FLineShapes; }
  double NorthEastLatitude() const { return FLatNE; }
  double NorthEastLongitude() const { return FLngNE; }
  double SouthWestLatitude() const { return FLatSW; }
  double SouthWestLongitude() const { return FLngSW; }

  TNotifyEvent OnShapePathChange;

 protected:
  // Marks the path changed and notifies.
  void PathEdited();

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
  int32_t FDuration = 0;
  double FDistance = 0;
  double FArea = 0;
  double FLatSW = 0, FLngSW = 0, FLatNE = 0, FLngNE = 0;
  std::string FNameShapes;
};

class TWyShapePolygone : public TWyShapeLine {
 public:
  explicit TWyShapePolygone(TWyShapeList* owner);

  void Draw() override;
  // Even-odd test of the projected outline.
  bool IsHover(int32_t iX, int32_t iY) override;

  TColor FillColor() const { return FFillColor; }
  void SetFillColor(TColor v);
  TBrushStyle Style() const { return FPolygoneStyle; }
  void SetStyle(TBrushStyle v);
  int32_t Level() const { return FLevel; }

 private:
  TColor FFillColor = 0x000000FF;
  TBrushStyle FPolygoneStyle = bsSolid;
  int32_t FLevel = 0;
  TWyShapes* FLevelShapes = nullptr;
};

}  // namespace wy

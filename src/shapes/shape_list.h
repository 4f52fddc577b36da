#pragma once
// Shape lists: each group holds one list per kind of shape, and the list
// owns its shapes. Lists hand out identifiers (NextId), keep a name index
// (names compared without regard to case) and compute the bounds of their
// shapes.
//
// Every route that frees a shape (Delete, Clear, TWyShape::Remove, the
// registry's Remove, a group's Clear) first unlinks it from the registry and
// its group (hovered and dragged references, draw and animation lists, the
// hint window) and from the name index, so nothing keeps a freed shape.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "geo/object.h"
#include "geo/world_info.h"
#include "shapes/shape_types.h"

namespace wy {

class TGpxWriter;
class TKmlWriter;
class TGeoJsonWriter;

class TWyShapePOI;
class TWyShapeMarker;
class TWyShapeLine;
class TWyShapePolygone;
class TWyShapeInfoWindow;

class TWyShapeList : public TObject {
 public:
  TWyShapeList(TWyShapes* ParentShapes, TWyWorldInfo* dWorld);
  // Frees the shapes (Clear).
  ~TWyShapeList() override;
  TWyShapeList(const TWyShapeList&) = delete;
  TWyShapeList& operator=(const TWyShapeList&) = delete;

  // The shape stored under `name` (any letter case), or null.
  virtual TWyShape* ShapeByName(const std::string& name) const;
  // The records of the shapes that serialize, each ended by CR LF; reading
  // adds one shape per non-blank line (shape_text_sections.cpp).
  virtual std::string GetToTxt();
  virtual void SetToTxt(const std::string& value);
  // The shapes of the list in the export formats (shape_export.cpp): GPX
  // waypoints and tracks, KML Styles and Placemarks, a GeoJSON
  // FeatureCollection ("" when no shape gives a Feature).
  virtual std::string GetToGpx();
  virtual std::string GetToKml();
  virtual std::string GetToGeoJSOn();
  // Appends every shape in list order.
  void WriteGpx(TGpxWriter& out);
  void WriteKml(TKmlWriter& out);
  void WriteGeoJson(TGeoJsonWriter& out);
  // Frees the shape at `index` and notifies the group. Out of range: nothing.
  virtual void Delete(int32_t index);
  // Lets the group rebuild (nothing while it is inside an update).
  virtual void Update();
  // Frees every shape, empties the name index, restarts the identifiers.
  virtual void Clear();
  // Bounds of the shapes (see the .cpp), then the group's bounds.
  virtual void getBounds();
  // The bounds of this list alone (no group step); lines also project
  // their points, info windows recompute their boxes.
  virtual void ComputeBounds();

  int32_t Count() const { return static_cast<int32_t>(FList.size()); }
  TWyShape* Items(int32_t index) const;
  int32_t IndexOf(const TWyShape* item) const;
  // Takes `value`, makes this list its owner and indexes its name; returns
  // its index, or -1 for a null value.
  int32_t AddItem(std::unique_ptr<TWyShape> value);
  // The last shape whose position equals (Lat, Lng) exactly, or null.
  TWyShape* ShapeByLatLng(double Lat, double Lng) const;
  // The next identifier (0 after creation and after Clear).
  int32_t NextId() { return Fid++; }

  // Own flag and the group's.
  bool Visible() const;
  void SetVisible(bool value);
  TWyWorldInfo* World() const { return FWorldInfo; }
  TWyShapes* Parent() const { return FParent; }
  double NorthEastLatitude() const { return FLatNE; }
  double NorthEastLongitude() const { return FLngNE; }
  double SouthWestLatitude() const { return FLatSW; }
  double SouthWestLongitude() const { return FLngSW; }

  // Drawing hooks for POIs that have none of their own.
  TOnDrawShape OnOwnerDraw;
  TOnDrawShape OnAfterDraw;

 protected:
  friend class TWyShape;
  friend class TWyShapes;

  // Creates a shape of the list's kind (the constructor draws its Id).
  virtual std::unique_ptr<TWyShape> NewShape() = 0;
  // Gives a new shape its first position: point kinds move there, lines
  // and polygons get one point.
  virtual void PlaceNew(TWyShape& shape, double lat, double lng);
  // Add: create, append, position with FReady false, then notify.
  int32_t AddShape(double lat, double lng);
  // The viewport as bounds.
  void ViewportBounds();
  // Appends the records of GetToTxt to `out`.
  void AppendTxt(std::string& out);
  // Name index maintenance (keys are lower-cased A to Z).
  bool NameTaken(const std::string& name) const;
  void IndexName(const std::string& name, TWyShape* shape);
  void UnindexName(const std::string& name, const TWyShape* shape);

  TWyShapes* FParent = nullptr;
  bool FVisible = true;
  bool FFreeObject = true;
  int32_t FCount = 0;
  int32_t Fid = 0;
  TWyWorldInfo* FWorldInfo = nullptr;
  std::unordered_map<std::string, TWyShape*> FNames;
  std::vector<std::unique_ptr<TWyShape>> FList;
  double FLatSW = 0, FLngSW = 0, FLatNE = 0, FLngNE = 0;
};

class TWyShapePOIList : public TWyShapeList {
 public:
  using TWyShapeList::TWyShapeList;
  int32_t Add(double dLatitude, double dLongitude) { return AddShape(dLatitude, dLongitude); }
  TWyShapePOI* Items(int32_t index) const;
  // Every POI in list order (the registry draws through the draw lists).
  void Draw();

 protected:
  std::unique_ptr<TWyShape> NewShape() override;
};

class TWyShapeMarkerList : public TWyShapeList {
 public:
  using TWyShapeList::TWyShapeList;
  int32_t Add(double dLatitude, double dLongitude) { return AddShape(dLatitude, dLongitude); }
  TWyShapeMarker* Items(int32_t index) const;
  // Draws image `idIcon` of the registry's Icons at its own size.
  void DrawIcon(int32_t Left, int32_t Top, int32_t idIcon);
  // Index of the first marker whose Filename equals `filename` without
  // regard to case (A to Z); -1 if none.
  int32_t IndexOfFilename(const std::string& filename) const;
  // Every marker in list order.
  void Draw();

 protected:
  std::unique_ptr<TWyShape> NewShape() override;
};

class TWyShapeLineList : public TWyShapeList {
 public:
  using TWyShapeList::TWyShapeList;
  int32_t Add(double dLatitude, double dLongitude) { return AddShape(dLatitude, dLongitude); }
  TWyShapeLine* Items(int32_t index) const;
  void Draw();

 protected:
  std::unique_ptr<TWyShape> NewShape() override;
  void PlaceNew(TWyShape& shape, double lat, double lng) override;

 public:
  void ComputeBounds() override;
};

class TWyShapePolygoneList : public TWyShapeLineList {
 public:
  using TWyShapeLineList::TWyShapeLineList;
  TWyShapePolygone* Items(int32_t index) const;

 protected:
  std::unique_ptr<TWyShape> NewShape() override;
};

class TWyShapeInfoWindowList : public TWyShapeList {
 public:
  using TWyShapeList::TWyShapeList;
  int32_t Add(double dLatitude, double dLongitude, const std::string& Value);
  TWyShapeInfoWindow* Items(int32_t index) const;
  void Draw();

 protected:
  std::unique_ptr<TWyShape> NewShape() override;

 public:
  void ComputeBounds() override;

 private:
  std::string FPendingContent;  // content of the window Add is creating
  void PlaceNew(TWyShape& shape, double lat, double lng) override;
};

}  // namespace wy

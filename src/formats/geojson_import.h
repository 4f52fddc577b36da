#pragma once
// Reading GeoJSON (web map editors, GIS programs, data portals) as shape
// text: points become markers, line strings lines, polygons polygons (outer
// ring only); each part of a Multi* geometry and each member of a geometry
// collection is a shape of its own. A polygon whose properties hold the
// value "circle" or "rect" goes to the circles or rectangles. Properties
// become name=value fields of the shape (an icon only when it is an http,
// https or data: address), in any order relative to the geometry, and
// every one is also kept as an attribute (strings as text, other values as
// their JSON text). Elevations (a position's third number) are kept as
// altitudes, and "coordTimes" (one time per position, one list per part of
// a MultiLineString) as the lines' point times; the parts of one
// MultiLineString share a track key. A FeatureCollection's bounding box
// goes to the map section.
//
// Each Feature is gathered whole before it is written, so members may come
// in any order (properties before the geometry, "coordinates" before
// "type"); a feature collection is never held in memory as a whole.
//
// One object serves one conversion at a time.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/json_parser.h"

namespace wy {

class TGeoJsonImporter : private TSAJ {
 public:
  TGeoJsonImporter();
  ~TGeoJsonImporter() override;

  // The shape text of a GeoJSON document: "[map]", "[markers]",
  // "[polylines]", "[polygones]", "[rectangles]" and "[circles]", each
  // record on its own line below its header. "" when the text is not a
  // JSON object.
  std::string FromText(std::string_view text);
  // Where the last document read broke off (see TSAJ::ErrorString); the
  // features read before it are kept.
  using TSAJ::ErrorLine;
  using TSAJ::ErrorOffset;
  using TSAJ::ErrorString;

  struct TNode;

 private:
  struct TFrame {
    TNode* node;
    bool memberOpen;
    std::string name;
  };

  void StartElement(const std::string& name) override;
  void SetElementValue(const std::string& value) override;
  void EndElement() override;
  void StartObject() override;
  void EndObject() override;

  void Attach(std::unique_ptr<TNode> node);
  void Reset();
  void WriteObject(const TNode& object);
  void WriteGeometry(const TNode& geometry, const std::string& fields, const std::string& shape,
                     const TNode* times);
  void WriteBbox(const TNode& bbox);

  std::unique_ptr<TNode> FRoot;
  std::vector<TFrame> FFrames;
  int FGeometryDepth = 0;
  int FTrackCount = 0;
  std::string FMap, FMarkers, FLines, FPolygons, FRectangles, FCircles;
};

}  // namespace wy

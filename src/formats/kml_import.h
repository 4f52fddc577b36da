#pragma once
// Reading KML documents (desktop globes, web map editors, GIS exports) as
// shape text: placemarks with a Point become markers, LineStrings and
// gx:Tracks lines, Polygons polygons (outer ring only); each part of a
// MultiGeometry is a shape of its own. Line width, line and fill colours
// and the icon come from the placemark's style (a Style, or the "normal"
// style of a StyleMap) or, without a styleUrl, from the style declared or
// referenced last. Element names are compared ignoring letter case and a
// namespace prefix ("kml:", "gx:").
//
// Altitudes are kept (unless every one of a geometry is 0, which is how
// files without altitudes write them), and so are a gx:Track's times. A
// placemark's name, description (as "desc"), TimeStamp (as "time") and
// ExtendedData (Data and SimpleData) become attributes of its shapes; the
// lines of one MultiGeometry or gx:MultiTrack share a track key.
//
// One object serves one conversion at a time; nothing is carried from one
// document to the next.

#include <map>
#include <string>
#include <vector>

#include "formats/xml_tokenizer.h"
#include "geo/attributes.h"

namespace wy {

class TKmlImporter {
 public:
  TKmlImporter();
  TKmlImporter(const TKmlImporter&) = delete;
  TKmlImporter& operator=(const TKmlImporter&) = delete;

  // The shape text of a KML document; "" when it holds no shapes.
  std::string FromText(std::string text);
  // As FromText for a file; "" when it cannot be read.
  std::string FromFile(const std::string& fileName);
  // Where the last document read was malformed or cut short (see
  // TwytXML::ErrorString); what was read before it is kept.
  const std::string& ErrorString() const { return FXml.ErrorString(); }
  size_t ErrorLine() const { return FXml.ErrorLine(); }

 private:
  struct TStyle {
    std::string color, fillColor, icon, width;
  };
  enum TGeometryKind { gkPoint, gkLine, gkPolygon };
  struct TGeometry {
    TGeometryKind kind;
    std::string coordinates;         // "lng,lat[,alt]" tuples separated by white space
    std::vector<std::string> whens;  // a gx:Track's times, one per position
  };

  void Reset();
  std::string Result();
  void OnTag(TwytXML& xml);
  void OnText(TwytXML& xml);
  void EndElement(const std::string& name);
  bool Inside(const char* name) const;
  TStyle* StyleOf(const std::string& url);
  void EmitPlacemark();
  std::string StyleFields(const TStyle* style, bool polygon) const;

  TwytXML FXml;
  std::vector<std::string> FOpen;  // names of the open elements, lower case, no prefix
  std::string FText;               // text of the innermost element, its lines appended
  std::map<std::string, TStyle> FStyles;
  std::map<std::string, std::string> FStyleMaps;  // StyleMap id -> its normal styleUrl
  std::string FStyleMapId, FPairKey, FPairUrl;
  TStyle* FStyle = nullptr;      // the current style; points into FStyles
  TStyle* FDeclaring = nullptr;  // the Style element being read
  bool FInPlacemark = false;
  std::string FName, FDescription;
  TWyAttributes FAttributes;
  std::string FDataName;   // the Data or SimpleData being read
  bool FOursType = false;  // the placemark's ExtendedData names it as ours
  int FMultiCount = 0;
  std::vector<TGeometry> FGeometries;
  std::string FMarkers, FLines, FPolygons;
};

}  // namespace wy

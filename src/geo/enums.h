#pragma once
// The enumerations shared by the map, the shapes and the services, and the
// text names under which some of them are stored.
//
// Reading a name ignores the case of the letters A to Z; a text that names
// no value gives the documented default, never an error.

#include <cstdint>
#include <string>

namespace wy {

// Tile services. tsNone is written as "osm" and never read back.
enum TTileServer : uint8_t {
  tsNone,
  tsOpenMapQuest,
  tsOpenMapQuestSat,
  tsCloudMade,
  tsOSM,
  tsOpenCycleMap,
  tsOPNV,
  tsArcGisWorldTopoMap,
  tsArcGisWorldStreetMap,
  tsArcGisWorldImagery,
  // The world map the program carries, drawn without any network.
  tsOffline
};

// Figures a point of interest is drawn as.
enum TPOIShape : uint8_t { poiEllipse, poiStar, poiRect, poiTriangle, poiOwnerDraw };

// Unit of a point of interest's size.
enum TPOIUnit : uint8_t { puPixel, puMeter };

// Route kinds of the directions service.
enum TMQRouteType : uint8_t { rtFastest, rtShortest, rtPedestrian, rtBicycle };

// Image format recognised from a stream's first bytes.
enum TStreamType : uint8_t { stNone, stPng, stJpeg };

// Kinds of shape.
enum TNativeShape : uint8_t { nsPoi, nsMarker, nsPolygon, nsLine };

// "osm", "openmapquest", "openmapquestsat", "cloudmade", "opencyclemap",
// "opnv", "ArcGisWorldTopoMap", "ArcGisWorldStreetMap", "ArcGisWorldImagery",
// "offline";
// tsNone (and any value out of range) gives "osm".
std::string TileServerToStr(TTileServer server);
// Any text that names no other server, "osm" included, gives tsOSM.
TTileServer StrToTileServer(const std::string& text);

// "poiEllipse", "poiStar", "poiRect", "poitriangle" (lower-case "t"; it reads
// back because reading ignores case), "poiOwnerDraw".
std::string POIShapeToStr(TPOIShape shape);
// Unknown texts give poiEllipse.
TPOIShape StrToPOIShape(const std::string& text);

// "pixel" or "meter".
std::string POIUnitToStr(TPOIUnit unit);
// Only "meter" gives puMeter; everything else puPixel.
TPOIUnit StrToPOIUnit(const std::string& text);

// "fastest", "shortest", "pedestrian", "bicycle" (never read back).
std::string RouteTypeToStr(TMQRouteType type);

}  // namespace wy

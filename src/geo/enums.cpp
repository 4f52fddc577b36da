#include "geo/enums.h"

#include <cstddef>

#include "platform/ascii.h"

namespace wy {

namespace {

// Equality that ignores the case of A to Z only.
bool SameAscii(const std::string& a, const char* b) {
  return AsciiEqualNoCase(a, b);
}

const char* const kTileServerNames[] = {"osm",
                                        "openmapquest",
                                        "openmapquestsat",
                                        "cloudmade",
                                        "osm",
                                        "opencyclemap",
                                        "opnv",
                                        "ArcGisWorldTopoMap",
                                        "ArcGisWorldStreetMap",
                                        "ArcGisWorldImagery",
                                        "offline"};

const char* const kPOIShapeNames[] = {"poiEllipse", "poiStar", "poiRect", "poitriangle",
                                      "poiOwnerDraw"};

const char* const kRouteTypeNames[] = {"fastest", "shortest", "pedestrian", "bicycle"};

template <size_t N>
constexpr size_t CountOf(const char* const (&)[N]) {
  return N;
}

}  // namespace

std::string TileServerToStr(TTileServer server) {
  return server < CountOf(kTileServerNames) ? kTileServerNames[server] : "osm";
}

TTileServer StrToTileServer(const std::string& text) {
  // tsNone is skipped: its name is the one of tsOSM.
  for (size_t i = 1; i < CountOf(kTileServerNames); ++i) {
    if (SameAscii(text, kTileServerNames[i])) return static_cast<TTileServer>(i);
  }
  return tsOSM;
}

std::string POIShapeToStr(TPOIShape shape) {
  return shape < CountOf(kPOIShapeNames) ? kPOIShapeNames[shape] : "poiEllipse";
}

TPOIShape StrToPOIShape(const std::string& text) {
  for (size_t i = 0; i < CountOf(kPOIShapeNames); ++i) {
    if (SameAscii(text, kPOIShapeNames[i])) return static_cast<TPOIShape>(i);
  }
  return poiEllipse;
}

std::string POIUnitToStr(TPOIUnit unit) {
  return unit == puMeter ? "meter" : "pixel";
}

TPOIUnit StrToPOIUnit(const std::string& text) {
  return SameAscii(text, "meter") ? puMeter : puPixel;
}

std::string RouteTypeToStr(TMQRouteType type) {
  return type < CountOf(kRouteTypeNames) ? kRouteTypeNames[type] : "fastest";
}

}  // namespace wy

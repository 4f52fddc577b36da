#include "geo/enums.h"

#include <gtest/gtest.h>

#include <string>

namespace wy {
namespace {

TEST(TextEnums, TileServerNames) {
  struct Case {
    TTileServer value;
    const char* written;
  };
  const Case cases[] = {
      {tsNone, "osm"},
      {tsOpenMapQuest, "openmapquest"},
      {tsOpenMapQuestSat, "openmapquestsat"},
      {tsCloudMade, "cloudmade"},
      {tsOSM, "osm"},
      {tsOpenCycleMap, "opencyclemap"},
      {tsOPNV, "opnv"},
      {tsArcGisWorldTopoMap, "ArcGisWorldTopoMap"},
      {tsArcGisWorldStreetMap, "ArcGisWorldStreetMap"},
      {tsArcGisWorldImagery, "ArcGisWorldImagery"},
      {tsOffline, "offline"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TileServerToStr(c.value), c.written) << int(c.value);
    // tsNone shares its name with tsOSM and reads back as tsOSM.
    EXPECT_EQ(StrToTileServer(c.written), c.value == tsNone ? tsOSM : c.value) << c.written;
  }
  EXPECT_EQ(StrToTileServer("CLOUDMADE"), tsCloudMade);
  EXPECT_EQ(StrToTileServer("arcgisworldimagery"), tsArcGisWorldImagery);
  const std::string others[] = {"bing", "",           "tsNone",
                                "none", "cloudmade ", std::string("cloudmade\0x", 11)};
  for (const std::string& other : others) EXPECT_EQ(StrToTileServer(other), tsOSM) << other;
  EXPECT_EQ(TileServerToStr(static_cast<TTileServer>(200)), "osm");
}

TEST(TextEnums, PoiShapeUnitAndRouteNames) {
  EXPECT_EQ(POIShapeToStr(poiTriangle), "poitriangle");
  EXPECT_EQ(StrToPOIShape(POIShapeToStr(poiTriangle)), poiTriangle);
  for (TPOIShape s : {poiEllipse, poiStar, poiRect, poiTriangle, poiOwnerDraw}) {
    EXPECT_EQ(StrToPOIShape(POIShapeToStr(s)), s) << int(s);
  }
  EXPECT_EQ(POIShapeToStr(poiStar), "poiStar");
  EXPECT_EQ(StrToPOIShape("POIRECT"), poiRect);
  EXPECT_EQ(StrToPOIShape("star"), poiEllipse);
  EXPECT_EQ(StrToPOIShape(""), poiEllipse);

  EXPECT_EQ(POIUnitToStr(puMeter), "meter");
  EXPECT_EQ(POIUnitToStr(puPixel), "pixel");
  EXPECT_EQ(StrToPOIUnit("Meter"), puMeter);
  EXPECT_EQ(StrToPOIUnit("meters"), puPixel);
  EXPECT_EQ(StrToPOIUnit(""), puPixel);

  EXPECT_EQ(RouteTypeToStr(rtFastest), "fastest");
  EXPECT_EQ(RouteTypeToStr(rtShortest), "shortest");
  EXPECT_EQ(RouteTypeToStr(rtPedestrian), "pedestrian");
  EXPECT_EQ(RouteTypeToStr(rtBicycle), "bicycle");
}

TEST(TextEnums, DeclarationOrderGivesTheStoredValues) {
  // Values are stored as numbers in places (stream types, shape kinds).
  EXPECT_EQ(int(tsArcGisWorldImagery), 9);
  EXPECT_EQ(int(tsOffline), 10);
  EXPECT_EQ(int(poiOwnerDraw), 4);
  EXPECT_EQ(int(puMeter), 1);
  EXPECT_EQ(int(rtBicycle), 3);
  EXPECT_EQ(int(stJpeg), 2);
  EXPECT_EQ(int(nsLine), 3);
  EXPECT_EQ(sizeof(TTileServer), 1u);
}

}  // namespace
}  // namespace wy

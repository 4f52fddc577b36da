#include "formats/geojson_import.h"

#include <gtest/gtest.h>

#include <string>

namespace wy {
namespace {

// The document's shape text with the six headers taken off: only the
// records, each as "section:record", joined by " | ".
std::string Records(const std::string& text) {
  std::string out, section;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (!line.empty() && line.front() == '[')
      section = line.substr(1, line.size() - 2);
    else if (!line.empty())
      out += (out.empty() ? "" : " | ") + section + ":" + line;
    start = end + 2;
  }
  return out;
}

struct TCase {
  const char* name;
  const char* json;
  const char* records;
};

const TCase kCases[] = {
    {"point with name",
     R"({"type":"FeatureCollection","features":[{"type":"Feature",
        "geometry":{"type":"Point","coordinates":[2.35,48.85]},"properties":{"name":"Paris"}}]})",
     "markers:lng=2.35;lat=48.85;visible=true;;name=Paris;@name=Paris;"},
    {"line with style",
     R"({"type":"Feature","geometry":{"type":"LineString","coordinates":[[1,2],[3,4]]},
        "properties":{"color":255,"weight":3}})",
     "polylines:visible=true;latlng=2,1,4,3;color=255;weight=3;@@color=255;@@weight=3;"},
    {"bbox, also with altitudes",
     R"({"type":"FeatureCollection","bbox":[-1,-2,0,3,4,9],"features":[]})", "map:bbox=-1,-2,3,4"},
    {"properties before the geometry, coordinates before type",
     R"({"properties":{"name":"A"},"type":"Feature",
        "geometry":{"coordinates":[[1,2],[3,4]],"type":"LineString"}})",
     "polylines:visible=true;latlng=2,1,4,3;name=A;@name=A;"},
    {"a property named type does not end the properties",
     R"({"type":"Feature","properties":{"type":"node","@id":"node/1","cuisine":"pizza;italian",
        "name":"Caf\u00e9 <b>"},"geometry":{"type":"Point","coordinates":[7,45]}})",
     "markers:lng=7;lat=45;visible=true;;type=node;cuisine=pizza#59#italian;"
     "name=Caf\xC3\xA9 \xE2\x80\xB9"
     "b\xE2\x80\xBA;@type=node;@#64#id=node/1;@cuisine=pizza#59#italian;@name=Caf\xC3\xA9 <b>;"},
    {"altitudes kept, and they do not shift the pairing",
     R"({"type":"Feature","properties":{"mag":null},
        "geometry":{"type":"LineString","coordinates":[[1,2,100],[3,4,200]]}})",
     "polylines:visible=true;latlng=2,1,4,3;alt=100,200;mag=null;@@mag=null;"},
    {"multipoint: one marker per point",
     R"({"type":"MultiPoint","coordinates":[[100.0,0.0],[101.0,1.0]]})",
     "markers:lng=100.0;lat=0.0;visible=true; | markers:lng=101.0;lat=1.0;visible=true;"},
    {"polygon with a hole: outer ring, closing point dropped",
     R"({"type":"Feature","properties":{"n":1},"geometry":{"type":"Polygon","coordinates":[
        [[100,0],[101,0],[101,1],[100,1],[100,0]],[[100.8,0.8],[100.8,0.2],[100.2,0.2],[100.8,0.8]]]}})",
     "polygones:visible=true;latlng=0,100,0,101,1,101,1,100;n=1;@@n=1;"},
    {"multipolygon: one polygon per part",
     R"({"type":"Feature","properties":{"name":"X"},"geometry":{"type":"MultiPolygon","coordinates":[
        [[[1,1],[2,1],[2,2],[1,1]]],[[[5,5],[6,5],[6,6],[5,5]]]]}})",
     "polygones:visible=true;latlng=1,1,1,2,2,2;name=X;@name=X; | "
     "polygones:visible=true;latlng=5,5,5,6,6,6;name=X;@name=X;"},
    {"geometry collection",
     R"({"type":"GeometryCollection","geometries":[{"type":"Point","coordinates":[100,0]},
        {"type":"LineString","coordinates":[[101,0],[102,1]]}]})",
     "markers:lng=100;lat=0;visible=true; | polylines:visible=true;latlng=0,101,1,102"},
    {"circle described by its properties",
     R"({"type":"Feature","properties":{"kind":"circle","lat":1,"lng":2,"radius":50},
        "geometry":{"type":"Polygon","coordinates":[[[2,1],[2.1,1],[2,1.1],[2,1]]]}})",
     "circles:lat=1;lng=2;radius=50;@@lat=1;@@lng=2;@@radius=50;"},
    {"nested property values kept as attributes only",
     R"({"type":"Feature","properties":{"prop0":"value0","prop1":{"this":"that"}},
        "geometry":{"type":"Point","coordinates":[102.0,0.5]}})",
     "markers:lng=102.0;lat=0.5;visible=true;;prop0=value0;@prop0=value0;"
     "@@prop1={\"this\":\"that\"};"},
    {"icon taken only from web and data addresses; a local path stays an attribute",
     R"({"type":"FeatureCollection","features":[
        {"type":"Feature","geometry":{"type":"Point","coordinates":[1,2]},
         "properties":{"icon":"/home/u/.ssh/id_rsa"}},
        {"type":"Feature","geometry":{"type":"Point","coordinates":[3,4]},
         "properties":{"icon":"https://e.org/a.png"}}]})",
     "markers:lng=1;lat=2;visible=true;;@icon=/home/u/.ssh/id_rsa; | "
     "markers:lng=3;lat=4;visible=true;;icon=https://e.org/a.png;@icon=https://e.org/a.png;"},
    {"circle and rect are kinds of polygons only: points and lines keep them",
     R"({"type":"FeatureCollection","features":[
        {"type":"Feature","geometry":{"type":"Point","coordinates":[1,2]},
         "properties":{"shape":"circle"}},
        {"type":"Feature","geometry":{"type":"LineString","coordinates":[[1,2],[3,4]]},
         "properties":{"kind":"rect"}}]})",
     "markers:lng=1;lat=2;visible=true;;shape=circle;@shape=circle; | "
     "polylines:visible=true;latlng=2,1,4,3;kind=rect;@kind=rect;"},
    {"elevations, times of a multi-line's parts and their shared track",
     R"({"type":"Feature","properties":{"name":"T","coordTimes":[
        ["2024-05-01T12:00:00Z","2024-05-01T14:00:01.5+02:00"],["2024-05-01T12:00:02Z"]]},
        "geometry":{"type":"MultiLineString","coordinates":[[[1,2,10],[3,4]],[[5,6,7.5]]]}})",
     "polylines:visible=true;latlng=2,1,4,3;alt=10,-9999;time=1714564800,1714564801.5;trk=1;"
     "name=T;@name=T; | polylines:visible=true;latlng=6,5;alt=7.5;time=1714564802;trk=1;name=T;"
     "@name=T;"},
    {"bad and out-of-range positions skipped",
     R"({"type":"FeatureCollection","features":[
        {"type":"Feature","geometry":{"type":"Point","coordinates":[-1]},"properties":{}},
        {"type":"Feature","geometry":{"type":"Point","coordinates":[200,1]},"properties":{}},
        {"type":"Feature","geometry":{"type":"LineString","coordinates":[[1,95],["a",2],[3,4]]}},
        {"type":"Feature","geometry":null,"properties":{"a":1}}]})",
     "polylines:visible=true;latlng=4,3"},
};

TEST(GeoJsonImport, Documents) {
  for (const TCase& c : kCases) {
    TGeoJsonImporter importer;
    EXPECT_EQ(Records(importer.FromText(c.json)), c.records) << c.name;
  }
}

TEST(GeoJsonImport, LayoutAndFailures) {
  TGeoJsonImporter importer;
  EXPECT_EQ(importer.FromText(R"({"type":"Point","coordinates":[1,2]})"),
            "[map]\r\n[markers]\r\nlng=1;lat=2;visible=true;\r\n[polylines]\r\n[polygones]"
            "\r\n[rectangles]\r\n[circles]");
  EXPECT_EQ(importer.FromText("[1,2]"), "");
  EXPECT_EQ(importer.FromText("not json"), "");
  // A collection cut short keeps its complete features, and the importer
  // starts afresh for the next document.
  const std::string cut =
      R"({"type":"FeatureCollection","features":[{"type":"Feature","geometry":{"type":"Point",)"
      R"("coordinates":[1,2]},"properties":{}},{"type":"Feature","geometry":{"type":"Po)";
  EXPECT_EQ(Records(importer.FromText(cut)), "markers:lng=1;lat=2;visible=true;");
  EXPECT_EQ(Records(importer.FromText(R"({"type":"Point","coordinates":[3,4]})")),
            "markers:lng=3;lat=4;visible=true;");
}

// Large and hostile documents: no crash, every feature read.
TEST(GeoJsonImport, LargeAndDeepDocuments) {
  std::string big = R"({"type":"FeatureCollection","features":[)";
  const int n = 50000;
  for (int i = 0; i < n; ++i)
    big += R"({"type":"Feature","properties":{"name":"n"},"geometry":{"type":"LineString",)"
           R"("coordinates":[[1.5,2.5],[3.5,4.5],[5.5,6.5]]}},)";
  big += "]}";
  TGeoJsonImporter importer;
  const std::string out = importer.FromText(big);
  size_t lines = 0;
  for (size_t p = out.find("latlng="); p != std::string::npos; p = out.find("latlng=", p + 1))
    ++lines;
  EXPECT_EQ(lines, static_cast<size_t>(n));

  const std::string deep = R"({"type":"Point","coordinates":)" + std::string(100000, '[');
  EXPECT_EQ(Records(importer.FromText(deep)), "");
}

}  // namespace
}  // namespace wy

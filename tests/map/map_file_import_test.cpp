// Files of other programs (GPX, KML, GeoJSON) and own text under ".json" or
// ".geojson" names, loaded through the map and through a group.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "map/map_control.h"
#include "map_test_support.h"
#include "shapes/shape_list.h"
#include "shapes/shapes_group.h"
#include "support/test_helpers.h"

namespace wy {
namespace {

using maptest::PumpUntil;
using test_support::TScratchDir;

const char kGpx[] =
    "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\">\n"
    "<wpt lat=\"48.85\" lon=\"2.35\"><name>Paris</name></wpt>\n"
    "<trk><trkseg><trkpt lat=\"48.8\" lon=\"2.3\"/><trkpt lat=\"48.9\" lon=\"2.4\"/></trkseg>"
    "<trkseg><trkpt lat=\"49\" lon=\"2.5\"/><trkpt lat=\"49.1\" lon=\"2.6\"/></trkseg></trk>\n"
    "</gpx>\n";
const char kGeoJson[] =
    "\xEF\xBB\xBF{\"type\":\"FeatureCollection\",\"features\":["
    "{\"type\":\"Feature\",\"properties\":{\"name\":\"A\"},"
    "\"geometry\":{\"type\":\"Point\",\"coordinates\":[2.35,48.85]}},"
    "{\"type\":\"Feature\",\"properties\":{},\"geometry\":{\"type\":\"Polygon\","
    "\"coordinates\":[[[2,48],[3,48],[3,49],[2,48]]]}}]}";
const char kKml[] =
    "<kml><Document><Placemark><name>P</name><Point><coordinates>2.35,48.85</coordinates></Point>"
    "</Placemark><Placemark><LineString><coordinates>2,48 3,49</coordinates></LineString>"
    "</Placemark></Document></kml>";
const char kOwnText[] = "[markers]\r\nlat=1;lng=2;\r\nlat=3;lng=4;\r\n";

class MapFileImportTest : public maptest::TMapWindowTest {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(FDir.Sub(name), std::ios::binary) << bytes;
    return FDir.Sub(name);
  }
  TScratchDir FDir;
};

TEST_F(MapFileImportTest, EachFormatLoadsIntoTheDefaultGroupAndIsAnnounced) {
  struct TCase {
    const char* file;
    const char* bytes;
    int markers, lines, polygons;
  };
  const TCase cases[] = {
      {"walk.gpx", kGpx, 1, 2, 0},
      {"places.KML", kKml, 1, 1, 0},
      {"places.geojson", kGeoJson, 1, 0, 1},
      {"places.json", kGeoJson, 1, 0, 1},
      // Own text under the GeoJSON names keeps loading.
      {"old.geojson", kOwnText, 2, 0, 0},
      {"old.JSON", kOwnText, 2, 0, 0},
  };
  for (const TCase& c : cases) {
    MakeMap(400, 300);
    std::vector<std::string> loaded;
    FMap->OnLoad = [&](TObject*, const std::string& name, bool finished) {
      EXPECT_TRUE(finished);
      loaded.push_back(name);
    };
    EXPECT_TRUE(FMap->LoadFromFile(Write(c.file, c.bytes))) << c.file;
    EXPECT_TRUE(PumpUntil([&] { return !loaded.empty(); }, 5000)) << c.file;
    EXPECT_EQ(loaded, std::vector<std::string>{""}) << c.file;
    TWyShapes* group = FMap->ShapesGroup().getShapes("");
    EXPECT_EQ(group->Markers()->Count(), c.markers) << c.file;
    EXPECT_EQ(group->Lines()->Count(), c.lines) << c.file;
    EXPECT_EQ(group->Polygones()->Count(), c.polygons) << c.file;
  }
}

TEST_F(MapFileImportTest, GroupsLoadEveryFormat) {
  MakeMap(400, 300);
  TWyShapes* trips = FMap->ShapesGroup().getShapes("trips");
  EXPECT_TRUE(trips->LoadFromFile(Write("walk.gpx", kGpx)));
  EXPECT_TRUE(trips->LoadFromFile(Write("places.geojson", kGeoJson)));
  EXPECT_TRUE(trips->LoadFromFile(Write("places.kml", kKml)));
  EXPECT_EQ(trips->Markers()->Count(), 3);
  EXPECT_EQ(trips->Lines()->Count(), 3);
  EXPECT_EQ(trips->Polygones()->Count(), 1);
  EXPECT_EQ(FMap->ShapesGroup().getShapes("")->Markers()->Count(), 0);
  // Nothing to show: false, the group unchanged.
  EXPECT_FALSE(trips->LoadFromFile(Write("empty.gpx", "<gpx></gpx>")));
  EXPECT_FALSE(trips->LoadFromFile(Write("empty.geojson", "{\"type\":\"FeatureCollection\"}")));
  EXPECT_FALSE(trips->LoadFromFile(FDir.Sub("missing.gpx")));
  EXPECT_EQ(trips->Markers()->Count(), 3);

  // The registry reads foreign files into its default group, in the
  // background.
  EXPECT_TRUE(FMap->ShapesGroup().LoadFromFile(Write("w2.gpx", kGpx)));
  EXPECT_TRUE(PumpUntil([&] { return !FMap->ShapesGroup().isLoading(); }, 5000));
  EXPECT_EQ(FMap->ShapesGroup().getShapes("")->Lines()->Count(), 2);
  EXPECT_EQ(FMap->ShapesGroup().getShapes("")->LoadedCount(), 3);
}

// A ".json" file that is no JSON object and no shape text (an array, a
// string) is no source: the load fails and the map keeps its view.
TEST_F(MapFileImportTest, AJsonFileThatIsNoObjectChangesNothing) {
  MakeMap(400, 300);
  FMap->SetZoom(7);
  FMap->setCenter(10, 20);
  const TTileServer server = FMap->TileServer();
  for (const char* bytes : {"[\n  1,\n  2\n]\n", "\"text\"\n", "[1, 2]"}) {
    EXPECT_FALSE(FMap->LoadFromFile(Write("data.json", bytes))) << bytes;
    EXPECT_EQ(FMap->Zoom(), 7) << bytes;
    EXPECT_NEAR(FMap->Latitude(), 10, 1e-6) << bytes;
    EXPECT_NEAR(FMap->Longitude(), 20, 1e-6) << bytes;
    EXPECT_EQ(FMap->TileServer(), server) << bytes;
  }
}

}  // namespace
}  // namespace wy

// The map's state as text ("[map]" and the registry), its files, the
// group-loaded message and the navigation address with OnBeforeUrl.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/shape_file.h"
#include "geo/settings.h"
#include "geo/text_convert.h"
#include "map/map_control.h"
#include "map_test_support.h"
#include "platform/open_url.h"
#include "shapes/shape_marker.h"
#include "shapes/shapes_group.h"
#include "support/comma_locale.h"
#include "support/test_helpers.h"
#include "tiles/tile_catalog.h"

namespace wy {
namespace {

using maptest::PumpUntil;
using test_support::CommaLocaleScope;
using test_support::TScratchDir;

const std::string kBom = "\xEF\xBB\xBF";
const std::string kDefaultMapSection =
    "[map]\r\ndraggable=true\r\nlatitude=43.232951\r\nlongitude=0.0780819999999949\r\n"
    "zoom=14\r\ntileserver=osm\r\n";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class MapPersistenceTest : public maptest::TMapWindowTest {
 protected:
  void SetUp() override {
    // Every tile service is the loopback server, whichever a text selects.
    for (int s = tsOpenMapQuest; s <= tsArcGisWorldImagery; ++s)
      SetEndpoint(TileCatalogRow(static_cast<TTileServer>(s)).Endpoint,
                  FTiles.Server().Url("/osm/{z}/{x}/{y}.png"));
  }
  void TearDown() override {
    TMapWindowTest::TearDown();
    SetUrlOpener(nullptr);
  }
  // A map away from every default.
  void Unusual(TVuroduDavControl& map) {
    map.SetTileServer(tsOpenCycleMap);
    map.SetZoom(5);
    map.setCenter(10, 20);
    map.SetDraggable(false);
  }
};

TEST_F(MapPersistenceTest, TextAtTheDefaultsUnderACommaLocale) {
  CommaLocaleScope comma;
  ASSERT_TRUE(comma.active());
  MakeMap(400, 300);
  const std::string text = FMap->ToTxt();
  EXPECT_EQ(text, kDefaultMapSection + FMap->ShapesGroup().GetToTxt());
  EXPECT_EQ(text.substr(kDefaultMapSection.size(), 13), "\r\n[groupes]\r\n");
}

TEST_F(MapPersistenceTest, MapSectionValuesAndTheirDefaults) {
  MakeMap(400, 300, false);
  struct TCase {
    const char* text;
    TTileServer server;
    int zoom;  // -1: the highest, -2: the lowest of the server
    double lat, lng;
    bool draggable;
  };
  const double dLat = TVuroduDavControl::kDefaultLatitude;
  const double dLng = TVuroduDavControl::kDefaultLongitude;
  const TCase cases[] = {
      {"", tsOSM, 14, dLat, dLng, true},
      {"[markers]\r\nlat=1;lng=2", tsOSM, 14, dLat, dLng, true},
      {"[map]\r\ntileserver=CLOUDMADE", tsCloudMade, 14, dLat, dLng, true},
      {"[map]\r\ntileserver=bing\r\nzoom=x", tsOSM, 14, dLat, dLng, true},
      {"[map]\r\nlatitude=1,5\r\nlongitude=-1\r\nzoom=9", tsOSM, 9, 1.5, -1, true},
      {"[map]\r\nlatitude=abc\r\nlongitude=\r\ndraggable=false", tsOSM, 14, dLat, dLng, false},
      {"[map]\r\nzoom=300", tsOSM, -1, dLat, dLng, true},
      {"[map]\r\nzoom=-5", tsOSM, -2, dLat, dLng, true},
      {"  [map] saved\r\nzoom=6\r\n[groupes]\r\nzoom=7", tsOSM, 6, dLat, dLng, true},
      {"[mapx]\r\nzoom=6\r\n", tsOSM, 14, dLat, dLng, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.text);
    Unusual(*FMap);
    FMap->SetToTxt(c.text);
    EXPECT_EQ(FMap->TileServer(), c.server);
    const int zoom = c.zoom == -1 ? FMap->MaxZoom() : c.zoom == -2 ? FMap->MinZoom() : c.zoom;
    EXPECT_EQ(FMap->Zoom(), zoom);
    EXPECT_EQ(FMap->Latitude(), c.lat);
    EXPECT_EQ(FMap->Longitude(), c.lng);
    EXPECT_EQ(FMap->Draggable(), c.draggable);
  }
}

TEST_F(MapPersistenceTest, TextRoundTripRestoresEverythingExactly) {
  MakeMap(400, 300, false);
  FMap->SetTileServer(tsOpenMapQuest);
  FMap->SetZoom(7);
  FMap->setCenter(12.3456789, -3.21);
  FMap->SetDraggable(false);
  FMap->Add(nsMarker, 12.3, -3.2, "Roads");
  const std::string text = FMap->ToTxt();

  TWyVuroduDav other;
  other.resize(400, 300);
  other.SetToTxt(text);
  EXPECT_EQ(other.TileServer(), tsOpenMapQuest);
  EXPECT_EQ(other.Zoom(), 7);
  // The zoom was set first: the centre did not move with it.
  EXPECT_EQ(other.Latitude(), 12.3456789);
  EXPECT_EQ(other.Longitude(), -3.21);
  EXPECT_FALSE(other.Draggable());
  EXPECT_EQ(other.ShapesGroup().getShapes("roads")->Markers()->Count(), 1);
  EXPECT_EQ(other.ToTxt(), text);
}

TEST_F(MapPersistenceTest, LoadingThatFailsChangesNothing) {
  TScratchDir dir;
  MakeMap(400, 300);
  Unusual(*FMap);
  FMap->Add(nsMarker, 10, 20);
  const std::string before = FMap->ToTxt();
  auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir.Sub(name), std::ios::binary) << bytes;
    return dir.Sub(name);
  };
  FTiles.Server().ServeStatus("/gone.txt", 404);
  const std::string hostPath = FTiles.Server().BaseUrl().substr(7) + "/map.txt";
  // Files that cannot be read, own text with nothing in it and names that
  // are no address are refused at once; documents of other programs and
  // addresses are read in the background and fail there, which the load
  // event and the default group's LoadError tell.
  struct TCase {
    std::string name;
    bool background;
  };
  const TCase cases[] = {
      {dir.Sub("missing.txt"), false},       {dir.Path(), false},  // a folder
      {write("empty.txt", ""), false},       {write("blank.txt", kBom + "\r\n  \r\n"), false},
      {write("track.gpx", "<gpx/>"), true},  {write("shapes.kml", "<kml/>"), true},
      {write("shapes.geojson", "{}"), true}, {FTiles.Server().Url("/gone.txt"), true},
      {"ftp://" + hostPath, false},          {hostPath, false},
  };
  int loads = 0;
  FMap->OnLoad = [&](TObject*, const std::string& name, bool finished) {
    EXPECT_EQ(name, "");
    EXPECT_TRUE(finished);
    ++loads;
  };
  for (const TCase& c : cases) {
    loads = 0;
    EXPECT_EQ(FMap->LoadFromFile(c.name), c.background) << c.name;
    if (c.background) {
      EXPECT_TRUE(PumpUntil([&] { return loads == 1; }, 5000)) << c.name;
      EXPECT_FALSE(FMap->ShapesGroup().isLoading()) << c.name;
      EXPECT_NE(FMap->ShapesGroup().getShapes("")->LoadError(), "") << c.name;
      EXPECT_EQ(FMap->ShapesGroup().getShapes("")->LoadedCount(), 0) << c.name;
    }
    EXPECT_EQ(FMap->ToTxt(), before) << c.name;
  }
  // Only the http address was asked for.
  EXPECT_EQ(FTiles.Server().RequestsTo("/gone.txt").size(), 1u);
  EXPECT_EQ(FTiles.Server().RequestsTo("/map.txt").size(), 0u);
}

TEST_F(MapPersistenceTest, SavesByExtensionAndLoadsFilesAndAddresses) {
  TScratchDir dir;
  MakeMap(400, 300, false);
  Unusual(*FMap);
  FMap->Add(nsMarker, 10, 20);
  const std::string text = FMap->ToTxt();
  for (const char* name : {"a.txt", "c.Map"}) {
    ASSERT_TRUE(FMap->SaveToFile(dir.Sub(name))) << name;
    EXPECT_EQ(ReadBytes(dir.Sub(name)), kBom + text) << name;
  }
  // Foreign formats by extension, any letter case, query ignored: GeoJSON
  // without a byte-order mark, KMZ as a zip archive.
  const struct {
    const char* name;
    std::string start;
  } foreign[] = {{"a.GPX", kBom + "<?xml"},
                 {"a.kml", kBom + "<?xml"},
                 {"a.kmz", "PK"},
                 {"a.json", "{"},
                 {"b.GEOJSON", "{"}};
  for (const auto& f : foreign) {
    ASSERT_TRUE(FMap->SaveToFile(dir.Sub(f.name))) << f.name;
    EXPECT_EQ(ReadBytes(dir.Sub(f.name)).substr(0, f.start.size()), f.start) << f.name;
    TWyVuroduDav other;
    other.resize(400, 300);
    EXPECT_TRUE(other.LoadFromFile(dir.Sub(f.name))) << f.name;
    EXPECT_TRUE(PumpUntil([&] { return !other.ShapesGroup().isLoading(); }, 5000)) << f.name;
    EXPECT_EQ(other.ShapesGroup().getShapes("")->Markers()->Count(), 1) << f.name;
  }
  EXPECT_FALSE(FMap->SaveToFile(dir.Sub("no/folder/a.txt")));

  // Read back into a fresh map, from the file and from an address.
  FTiles.Server().Serve("/saved.txt", ReadBytes(dir.Sub("a.txt")), "text/plain");
  for (const std::string& source : {dir.Sub("c.Map"), FTiles.Server().Url("/saved.txt")}) {
    TWyVuroduDav other;
    other.resize(400, 300);
    EXPECT_TRUE(other.LoadFromFile(source)) << source;
    // An address arrives from a worker.
    EXPECT_TRUE(PumpUntil([&] { return !other.ShapesGroup().isLoading(); }, 5000)) << source;
    EXPECT_EQ(other.ToTxt(), text) << source;
  }
}

TEST_F(MapPersistenceTest, EachGroupReadIsAnnouncedAfterARender) {
  MakeMap(400, 300);
  std::vector<std::string> loaded;
  std::vector<int> renders;
  FMap->OnLoad = [&](TObject* sender, const std::string& name, bool finished) {
    EXPECT_EQ(sender, FMap->ShapesGroup().getShapes(name));
    EXPECT_TRUE(finished);
    loaded.push_back(name);
    renders.push_back(FMap->RenderCount());
  };
  int progress = 0;
  FMap->OnLoadShapes = [&](TObject* sender, const std::string& type, int32_t, int32_t, bool&) {
    EXPECT_EQ(sender, static_cast<TObject*>(FMap));
    EXPECT_EQ(type, "TWyShapeMarker");
    ++progress;
  };
  const int rendersBefore = FMap->RenderCount();
  FMap->SetToTxt(
      "[groupes]\r\nname=;\r\nname=roads;\r\n[markers]\r\nlat=1;lng=2\r\n"
      "[roads.markers]\r\nlat=3;lng=4\r\nlat=5;lng=6\r\n");
  EXPECT_EQ(progress, 3);
  EXPECT_TRUE(loaded.empty());  // announced from the message queue
  ASSERT_TRUE(PumpUntil([&] { return loaded.size() == 2; }, 5000));
  EXPECT_EQ(loaded, (std::vector<std::string>{"", "roads"}));
  EXPECT_GT(renders.front(), rendersBefore);
}

TEST_F(MapPersistenceTest, NavigationAddressesAndOnBeforeUrl) {
  MakeMap(400, 300);
  std::vector<std::string> opened;
  SetUrlOpener([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  std::vector<std::string> seen;
  std::string replacement;
  bool replace = false;
  FMap->OnBeforeUrl = [&](TVuroduDavControl* sender, std::string& url) {
    EXPECT_EQ(sender, FMap);
    seen.push_back(url);
    if (replace) url = replacement;
  };
  struct TCase {
    const char* url;
    bool replace;
    const char* replacement;
    int zoom;  // -1: unchanged; -2 the lowest, -3 the highest zoom
    double lat, lng;
  };
  const TCase cases[] = {
      {"#12/48.85/2.35", false, "", 12, 48.85, 2.35},
      {"  #3/1,5/2  ", false, "", 3, 1.5, 2},
      {"#12/-1/-1", false, "", 12, -1, -1},
      {"#x/48.85/2.35", false, "", -1, 0, 0},
      {"#300/1/2", false, "", -3, 1, 2},
      {"#-5/1/2", false, "", -2, 1, 2},
      {"#12/48.85/2.35", true, "", -1, 0, 0},              // emptied: nothing at all
      {"http://example.org/", true, "", -1, 0, 0},         // emptied: no browser
      {"#12/48.85/2.35", true, "#9/7/8", 9, 7, 8},         // rewritten
      {"#12/48.85/2.35", true, "javascript:x", -1, 0, 0},  // rewritten, still refused
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.url);
    replace = false;
    FMap->SetUrl("#10/10/10");
    seen.clear();
    replace = c.replace;
    replacement = c.replacement;
    FMap->SetUrl(c.url);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], Trim(c.url));  // the handler sees the trimmed address
    if (c.zoom == -1) {
      EXPECT_EQ(FMap->Url(), "#10/10.000000/10.000000");
      continue;
    }
    const int zoom = c.zoom == -2 ? FMap->MinZoom() : c.zoom == -3 ? FMap->MaxZoom() : c.zoom;
    EXPECT_EQ(FMap->Zoom(), zoom);
    EXPECT_EQ(FMap->Latitude(), c.lat);
    EXPECT_EQ(FMap->Longitude(), c.lng);
  }
  EXPECT_TRUE(opened.empty());
}

}  // namespace
}  // namespace wy

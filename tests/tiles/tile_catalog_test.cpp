#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "geo/settings.h"
#include "platform/map_messages.h"
#include "platform/window_thread.h"
#include "tiles/tile_catalog.h"
#include "tiles/tile_server.h"

namespace wy {
namespace {

class TileCatalogTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetSettings(); }
};

struct TCatalogCase {
  TTileServer Server;
  const char* Name;
  TStreamType Format;
  int MaxZoom;
  const char* CopyRight;
  bool OsmData;         // drawn from OpenStreetMap data
  const char* Path;     // of tile x 3, y 5, z 4, after the host
  const char* HostSet;  // what {s} may become; "" for a fixed host
};

// The credit OpenStreetMap data asks for since its licence changed to the
// ODbL (no "CC-BY-SA", which described the data before 2012).
const char* const kOsmCopy = "\xC2\xA9 OpenStreetMap contributors";

const TCatalogCase kCases[] = {
    {tsNone, "OSM", stPng, 18, kOsmCopy, true, "/4/3/5.png", ""},
    {tsOpenMapQuest, "MQ-ROAD", stJpeg, 18,
     "\xC2\xA9 OpenStreetMap contributors, Tiles Courtesy of MapQuest", true,
     "/tiles/1.0.0/vx/map/4/3/5.jpg", "1234"},
    {tsOpenMapQuestSat, "MQ-SAT", stJpeg, 11,
     "Tiles Courtesy of MapQuest - Portions Courtesy NASA/JPL-Caltech and U.S. Depart. of "
     "Agriculture, Farm Service Agency",
     false, "/tiles/1.0.0/vx/sat/4/3/5.jpg", "1234"},
    {tsCloudMade, "CM-ROAD", stPng, 18,
     "\xC2\xA9 OpenStreetMap contributors, Imagery \xC2\xA9 CloudMade", true,
     "/9a1e07c3b5d24f6e8a0c71d3e5f9b248/997/256/4/3/5.png", "abc"},
    {tsOSM, "OSM", stPng, 18, kOsmCopy, true, "/4/3/5.png", ""},
    {tsOpenCycleMap, "OCM", stPng, 18, "\xC2\xA9 OpenStreetMap contributors, OpenCycleMap", true,
     "/cycle/4/3/5.png", "abc"},
    {tsOPNV, "OPNV", stPng, 18, "\xC2\xA9 OpenStreetMap contributors, OPNV", true,
     "/tilegen/4/3/5.png", ""},
    {tsArcGisWorldTopoMap, "World_Topo_Map", stPng, 19,
     "Esri, DeLorme, NAVTEQ, TomTom, Intermap, increment P Corp., GEBCO, USGS, FAO, NPS, NRCAN, "
     "GeoBase, IGN, Kadaster NL, Ordnance Survey, Esri Japan, METI, Esri China (Hong Kong), "
     "swisstopo, and the GIS User Community",
     false, "/ArcGIS/rest/services/World_Topo_Map/MapServer/tile/4/5/3.png", ""},
    {tsArcGisWorldStreetMap, "World_Street_Map", stPng, 19,
     "Esri, DeLorme, NAVTEQ, USGS, Intermap, iPC, NRCAN, Esri Japan, METI, Esri China (Hong "
     "Kong), Esri (Thailand), TomTom",
     false, "/ArcGIS/rest/services/World_Street_Map/MapServer/tile/4/5/3.png", ""},
    {tsArcGisWorldImagery, "World_Imagery", stPng, 19,
     "Esri, DigitalGlobe, GeoEye, i-cubed, USDA, USGS, AEX, Getmapping, Aerogrid, IGN, IGP, "
     "swisstopo, and the GIS User Community",
     false, "/ArcGIS/rest/services/World_Imagery/MapServer/tile/4/5/3.png", ""},
};

// Every built-in service: its row, the path of one tile and how the host
// varies over many URLs. The addresses are only built, never fetched.
TEST_F(TileCatalogTest, EveryServiceRowPathAndHostRule) {
  for (const TCatalogCase& c : kCases) {
    SCOPED_TRACE(c.Name);
    TVuroduDavServer server(0, Qt::white);
    // From another service, so that selecting c.Server takes effect.
    server.SetTileServer(c.Server == tsOPNV ? tsOSM : tsOPNV);
    server.SetTileServer(c.Server);
    const TTileServerInfo& info = server.TileServerInfo();
    EXPECT_EQ(server.TileServer(), c.Server);
    EXPECT_EQ(info.Name, c.Name);
    EXPECT_EQ(info.TileFormat(), c.Format);
    EXPECT_EQ(info.MinZoom, 2);
    EXPECT_EQ(info.MaxZoom, c.MaxZoom);
    EXPECT_EQ(info.CopyRight, c.CopyRight);
    // OpenStreetMap data: its credit first, linked to the page of its terms.
    EXPECT_EQ(info.CopyRight.rfind(kOsmCopy, 0) == 0, c.OsmData);
    EXPECT_EQ(info.CopyRightUrl, c.OsmData ? "https://www.openstreetmap.org/copyright" : "");
    EXPECT_EQ(info.CopyRight.find("CC-BY-SA"), std::string::npos);

    const std::string host =
        c.Server == tsNone || c.Server == tsOSM ? "https://tile.openstreetmap.org" : "http://[^/]+";
    const std::regex pattern(host + std::regex_replace(c.Path, std::regex(R"([.()])"), R"(\$&)"));
    std::set<char> hostParts;
    std::set<std::string> hosts;
    for (int i = 0; i < 300; ++i) {
      const std::string url = CatalogTileUrl(c.Server, 3, 5, 4, info.Key, info.Style);
      ASSERT_TRUE(std::regex_match(url, pattern)) << url;
      const std::string hostName = url.substr(0, url.find('/', url.find("://") + 3));
      hosts.insert(hostName);
      if (*c.HostSet != '\0') {
        const std::string templ = GetEndpoint(TileCatalogRow(c.Server).Endpoint);
        const size_t at = templ.find("{s}");
        ASSERT_NE(at, std::string::npos);
        hostParts.insert(url[at]);
      }
    }
    if (*c.HostSet == '\0') {
      EXPECT_EQ(hosts.size(), 1u);
    } else {
      EXPECT_EQ(hostParts, std::set<char>(c.HostSet, c.HostSet + std::strlen(c.HostSet)));
    }
  }
}

TEST_F(TileCatalogTest, OsmDefaultIsHttpsOnOneHostAndTemplatesComeFromSettings) {
  EXPECT_EQ(CatalogTileUrl(tsOSM, 3, 5, 4, "", ""), "https://tile.openstreetmap.org/4/3/5.png");
  SetEndpoint("osm", "http://{s}.tiles.example:8080/osm/{z}/{x}/{y}.png");
  const std::string url = CatalogTileUrl(tsNone, 3, 5, 4, "", "");
  EXPECT_TRUE(
      std::regex_match(url, std::regex(R"(http://[abc]\.tiles\.example:8080/osm/4/3/5\.png)")))
      << url;
  // ArcGIS keeps its row-before-column order in a custom template too.
  SetEndpoint("arcgis-world-imagery", "http://h/{z}/{y}/{x}");
  EXPECT_EQ(CatalogTileUrl(tsArcGisWorldImagery, 3, 5, 4, "", ""), "http://h/4/5/3");
  // Unknown placeholders and a lone brace stay as they are.
  EXPECT_EQ(FillTileUrlTemplate("http://h/{q}/{z}{", hrFixed, 1, 2, 3, "", ""), "http://h/{q}/3{");
}

TEST_F(TileCatalogTest, SelectionRulesAndCustomTileSource) {
  std::vector<uint32_t> messages;
  TMessageMailbox mailbox([&](uint32_t msg, intptr_t, intptr_t) { messages.push_back(msg); });
  TVuroduDavServer server(mailbox.Target(), Qt::white);
  EXPECT_EQ(server.TileServer(), tsOSM);
  WaitProcessing(20);
  messages.clear();

  int updates = 0;
  server.TileServerInfo().SetUpdateEvent([&](TTileServerInfo&) { ++updates; });
  server.TileServerInfo().SetTileFormat(stPng);  // unchanged value still notifies
  EXPECT_EQ(updates, 1);

  // Re-selecting the current service changes nothing, custom source included.
  server.TileServerInfo().GetTileFilename = [](std::string& name, int x, int y, int z) {
    name = "custom/" + std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y);
  };
  server.TileServerInfo().MinZoom = 5;
  server.TileServerInfo().LocalPath = true;
  server.SetTileServer(tsOSM);
  WaitProcessing(20);
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(static_cast<bool>(server.TileServerInfo().GetTileFilename));
  EXPECT_EQ(server.TileServerInfo().MinZoom, 5);

  // CloudMade sets Key and Style; the next service keeps them.
  SetServiceKey(skCloudMade, "K1");
  server.SetTileServer(tsCloudMade);
  WaitProcessing(20);
  EXPECT_EQ(messages, std::vector<uint32_t>{WM_MAPREPAINT});
  const TTileServerInfo& info = server.TileServerInfo();
  EXPECT_FALSE(static_cast<bool>(info.GetTileFilename));
  EXPECT_EQ(info.MinZoom, 2);
  EXPECT_FALSE(info.LocalPath);
  EXPECT_EQ(info.Key, "K1");
  EXPECT_EQ(info.Style, "997");
  EXPECT_EQ(server.TileKey(8, 5, 4), "\\CM-ROAD-997\\4\\8\\5");
  server.SetTileServer(tsOSM);
  EXPECT_EQ(info.Key, "K1");
  EXPECT_EQ(server.TileKey(8, 5, 4), "\\OSM-997\\4\\8\\5");
  // tsNone reads back as tsNone and behaves as OpenStreetMap.
  server.SetTileServer(tsNone);
  EXPECT_EQ(server.TileServer(), tsNone);
  EXPECT_EQ(info.Name, "OSM");
}

// The cache folder comes from Name and Style, which callers set freely: each
// becomes one safe path component below LocalCache, while the key keeps the
// text as it is.
TEST_F(TileCatalogTest, FolderNamesCannotLeaveTheCache) {
  const struct {
    const char* Name;
    const char* Style;
    const char* Path;  // "" when there is no safe folder
  } cases[] = {
      {"OSM", "", "/c/OSM/4/8/5"},
      {"..", "", ""},
      {".", "", ""},
      {"", "", ""},
      {"..\\..\\x", "", "/c/.._.._x/4/8/5"},
      {"../../etc", "", "/c/.._.._etc/4/8/5"},
      {"C:", "x/y", "/c/C_-x_y/4/8/5"},
  };
  TVuroduDavServer server(0, Qt::white);
  server.SetLocalCache("/c/");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    server.TileServerInfo().Name = c.Name;
    server.TileServerInfo().Style = c.Style;
    EXPECT_EQ(server.TileFilePath(8, 5, 4), c.Path);
  }
  server.TileServerInfo().Name = "..\\x";
  server.TileServerInfo().Style = "";
  EXPECT_EQ(server.TileKey(8, 5, 4), "\\..\\x\\4\\8\\5");
  EXPECT_EQ(SanitizePathComponent(std::string("a\0b", 3)), "a_b");
}

}  // namespace
}  // namespace wy

// Map-level operations: the process-wide service keys, geocoding through an
// optional geolocalisation component (and without one), the cache folder
// reaching every consumer, the adapter the shapes use for their look-ups,
// containment of the visible area and the relays of the registry's events.

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "map/detail/geo_services_adapter.h"
#include "map/map_control.h"
#include "map_test_support.h"
#include "services/geo_localise.h"
#include "services/rate_limit.h"
#include "shapes/shape.h"
#include "shapes/shape_line.h"
#include "shapes/shapes_group.h"
#include "support/service_answers.h"
#include "tiles/tile_server.h"

namespace wy {
namespace {

using maptest::TTileFixture;
using test_support::kNoPlaceBody;
using test_support::kSearchBody;
using test_support::TScratchDir;

const char kSearchPath[] = "/nominatim/v1/search";
const char kReversePath[] = "/nominatim/v1/reverse";

// A reverse answer whose address tries to load an image from the fixture
// (entity-encoded, as a service writes it; the reader decodes it).
const char kHostileReverseBody[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<reversegeocode><result place_id=\"1\">&lt;img src=\"/evil.png\"&gt;12 Rue X</result>"
    "</reversegeocode>\n";
const char kNeutralisedAddress[] =
    "\xE2\x80\xB9img src=\"/evil.png\"\xE2\x80\xBA"
    "12 Rue X";

// Maps (not shown: nothing here needs a frame) with the geocoding services
// pointed at the loopback server: "PARIS" finds places, anything else none.
class MapOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Server().Running());
    ResetEndpointSlots();
    SetEndpoint("nominatim", Server().Url("/nominatim/v1"));
    Server().Handle(kSearchPath, [](const TFixtureRequest& request, httplib::Response& response) {
      response.set_content(request.Param("q") == "PARIS" ? kSearchBody : kNoPlaceBody, "text/xml");
    });
    Server().Serve(kReversePath, kHostileReverseBody, "text/xml");
    FMap = std::make_unique<TWyVuroduDav>();
  }
  void TearDown() override {
    FMap.reset();
    ResetEndpointSlots();
  }

  TFixtureServer& Server() { return FTiles.Server(); }
  // A component with its own fresh cache folder, so every request reaches
  // the server.
  std::unique_ptr<TWyGeoLocalise> NewGeo(const std::string& cache) {
    auto geo = std::make_unique<TWyGeoLocalise>();
    geo->MapQuestServices().SetKey("K");
    geo->SetLocalCache(cache);
    return geo;
  }

  TTileFixture FTiles;  // also resets the settings when it goes
  std::unique_ptr<TWyVuroduDav> FMap;
};

TEST_F(MapOperationsTest, KeysHaveExactDefaultsAreSharedByEveryMapAndEmptyRestores) {
  struct TKeyCase {
    const char* Variable;
    std::function<std::string()> Read;
    std::function<void(TVuroduDavControl&, const std::string&)> Write;
    const char* Initial;
  };
  const TKeyCase cases[] = {
      {"WYMAP_KEY_CLOUDMADE", [] { return TVuroduDavControl::CloudMadKey(); },
       [](TVuroduDavControl& m, const std::string& v) { m.SetCloudMadKey(v); },
       "9a1e07c3b5d24f6e8a0c71d3e5f9b248"},
      {"WYMAP_KEY_BING", [] { return TVuroduDavControl::BingKey(); },
       [](TVuroduDavControl& m, const std::string& v) { m.SetBingKey(v); },
       "Qm7ZtR2vXb9LkPw4HsN0cYe6JfUa1DgTi8OqWn3MxVr5KpBl-yEhCz7SdGoAu2Fj"},
      {"WYMAP_KEY_MAPQUEST", [] { return TVuroduDavControl::MapQuestKey(); },
       [](TVuroduDavControl& m, const std::string& v) { m.SetMapQuestKey(v); },
       "Qbxzk%7Cpwre8m3v5n%2Cht%3Dk7-42jq9w"},
  };
  TWyVuroduDav other;
  for (const TKeyCase& c : cases) {
    SCOPED_TRACE(c.Variable);
    unsetenv(c.Variable);  // the built-in value, whatever the shell says
    EXPECT_EQ(c.Read(), c.Initial);
    c.Write(*FMap, "written-on-A");
    EXPECT_EQ(c.Read(), "written-on-A");
    c.Write(other, "");
    EXPECT_EQ(c.Read(), c.Initial);
  }
  // The tile server reads the CloudMade key written on another map when it
  // switches to that service.
  other.SetCloudMadKey("K1");
  FMap->SetTileServer(tsCloudMade);
  EXPECT_EQ(FMap->TileServerInfo().Key, "K1");
}

TEST_F(MapOperationsTest, KeysReadOnAWorkerWhileTheWindowThreadWritesAreWhole) {
  unsetenv("WYMAP_KEY_MAPQUEST");
  const std::string initial = TVuroduDavControl::MapQuestKey();
  const std::string written(200, 'w');  // beyond any small-string buffer
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!stop) {
      const std::string key = TVuroduDavControl::MapQuestKey();
      if (key != initial && key != written) ++torn;
    }
  });
  for (int i = 0; i < 2000; ++i) FMap->SetMapQuestKey(i % 2 ? "" : written);
  stop = true;
  reader.join();
  EXPECT_EQ(torn, 0);
}

TEST_F(MapOperationsTest, WithoutComponentLookupsGiveNothingAndTouchNothing) {
  FMap->setCenter(45.5, 3.25);
  double lat = 7.5, lng = -8.5;
  EXPECT_FALSE(FMap->GetLatLngFromAddress("PARIS", lat, lng));
  EXPECT_EQ(lat, 7.5);
  EXPECT_EQ(lng, -8.5);
  EXPECT_EQ(FMap->GetAddressFromLatLng(48.85, 2.35), "");
  EXPECT_EQ(FMap->Address(), "");
  FMap->SetAddress("PARIS");
  EXPECT_EQ(FMap->Latitude(), 45.5);
  EXPECT_EQ(FMap->Longitude(), 3.25);
  // The shapes have no service either.
  TWyShape* marker = FMap->Add(nsMarker, 45.5, 3.25);
  EXPECT_EQ(marker->Address(), "");
  EXPECT_EQ(Server().RequestCount(), 0u);
}

TEST_F(MapOperationsTest, WithComponentAddressesAndPlacesComeFromTheServicesWithoutMarkup) {
  TScratchDir cache;
  auto geo = NewGeo(cache.Path());
  FMap->SetGeoLocalise(geo.get());

  double lat = 7.5, lng = -8.5;
  EXPECT_FALSE(FMap->GetLatLngFromAddress("nowhere", lat, lng));
  EXPECT_EQ(lat, 7.5);
  EXPECT_EQ(lng, -8.5);
  ASSERT_TRUE(FMap->GetLatLngFromAddress("PARIS", lat, lng));
  EXPECT_DOUBLE_EQ(lat, 48.8566);
  EXPECT_DOUBLE_EQ(lng, 2.3522);

  FMap->setCenter(45.5, 3.25);
  FMap->SetAddress("nowhere");
  EXPECT_EQ(FMap->Latitude(), 45.5);
  FMap->SetAddress("PARIS");
  EXPECT_DOUBLE_EQ(FMap->Latitude(), 48.8566);
  EXPECT_DOUBLE_EQ(FMap->Longitude(), 2.3522);

  // Address asks for the centre last set; the answer's markup is
  // neutralised for the map's callers and for the shapes alike.
  EXPECT_EQ(FMap->Address(), kNeutralisedAddress);
  const auto reverse = Server().RequestsTo(kReversePath);
  ASSERT_EQ(reverse.size(), 1u);
  EXPECT_EQ(reverse[0].Param("lat"), "48.8566");
  EXPECT_EQ(reverse[0].Param("lon"), "2.3522");
  EXPECT_EQ(FMap->Add(nsMarker, 44.1, 1.1)->Address(), kNeutralisedAddress);

  // A replacement component serves the shapes once the first one is gone.
  TScratchDir cache2;
  auto geo2 = NewGeo(cache2.Path());
  FMap->SetGeoLocalise(geo2.get());
  geo.reset();
  EXPECT_EQ(FMap->Add(nsMarker, 44.2, 1.2)->Address(), kNeutralisedAddress);

  // Detached: nothing asks the services any more.
  FMap->SetGeoLocalise(nullptr);
  const size_t before = Server().RequestCount();
  EXPECT_EQ(FMap->GetAddressFromLatLng(44.3, 1.3), "");
  EXPECT_EQ(FMap->Add(nsMarker, 44.3, 1.3)->Address(), "");
  EXPECT_EQ(Server().RequestCount(), before);
  EXPECT_EQ(Server().RequestCount("/evil.png"), 0u);
}

TEST_F(MapOperationsTest, LocalCacheReachesTheServersAndAComponentWithoutOne) {
  TScratchDir d1, d2, d3, own;
  FMap->SetLocalCache(d1.Path());
  FMap->AddOverlayTiles([](std::string&, int, int, int) {}, "overlay", 18, 2);
  FMap->SetLocalCache(d2.Path());
  EXPECT_EQ(FMap->MapServer().LocalCache(), d2.Path());
  ASSERT_NE(FMap->OverlayServer(), nullptr);
  EXPECT_EQ(FMap->OverlayServer()->LocalCache(), d2.Path());

  // Attached with no folder of its own: it takes the map's, and keeps it
  // when the map's changes later.
  TWyGeoLocalise empty;
  FMap->SetGeoLocalise(&empty);
  EXPECT_EQ(empty.LocalCache(), d2.Path());
  FMap->SetLocalCache(d3.Path());
  EXPECT_EQ(empty.LocalCache(), d2.Path());

  // A component with a folder keeps it.
  TWyGeoLocalise withOwn;
  withOwn.SetLocalCache(own.Path());
  FMap->SetGeoLocalise(&withOwn);
  EXPECT_EQ(withOwn.LocalCache(), own.Path());

  // Attached to a map without a folder it stays empty until the map gets one.
  TWyVuroduDav bare;
  TWyGeoLocalise late;
  bare.SetGeoLocalise(&late);
  EXPECT_EQ(late.LocalCache(), "");
  bare.SetLocalCache(d1.Path());
  EXPECT_EQ(late.LocalCache(), d1.Path());
  EXPECT_EQ(late.Places().LocalCache(), d1.Path());

  FMap->SetGeoLocalise(nullptr);
  bare.SetGeoLocalise(nullptr);
}

TEST_F(MapOperationsTest, ContainsLatLngHoldsTheVisibleAreaEdgesIncluded) {
  FMap->resize(400, 300);
  FMap->setCenter(43.2, 0.1);
  const double n = FMap->NorthEastLatitude(), e = FMap->NorthEastLongitude();
  const double s = FMap->SouthWestLatitude(), w = FMap->SouthWestLongitude();
  ASSERT_LT(s, n);
  ASSERT_LT(w, e);
  const double d = 1e-6;
  struct TCase {
    double Lat, Lng;
    bool Inside;
  } cases[] = {
      {43.2, 0.1, true},   {n, e, true},         {s, w, true},         {n + d, 0.1, false},
      {s - d, 0.1, false}, {43.2, e + d, false}, {43.2, w - d, false},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(FMap->ContainsLatLng(c.Lat, c.Lng), c.Inside) << c.Lat << "," << c.Lng;
}

TEST_F(MapOperationsTest, RegistryEventsReachTheMapsHandlers) {
  auto* line = static_cast<TWyShapeLine*>(FMap->Add(nsLine, 43.2, 0.1));
  TWyShapesGroup& registry = FMap->ShapesGroup();
  struct TRelayCase {
    const char* Name;
    wy::TNotifyEvent TVuroduDavControl::*Event;
    std::function<void()> Raise;
    TObject* Sender;
  } cases[] = {
      {"path change", &TVuroduDavControl::OnShapePathChange, [&] { line->PathChanged(); }, line},
      {"close info window", &TVuroduDavControl::OnCloseInfoWindow,
       [&] { registry.OnCloseInfoWindow(line); }, line},
      {"traffic", &TVuroduDavControl::OnTraffic, [&] { registry.OnTraffic(&registry); }, &registry},
  };
  for (const TRelayCase& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Raise();  // no handler yet: skipped
    std::vector<TObject*> senders;
    (*FMap).*c.Event = [&](TObject* sender) { senders.push_back(sender); };
    c.Raise();
    EXPECT_EQ(senders, std::vector<TObject*>{c.Sender});
    (*FMap).*c.Event = nullptr;
  }
}

TEST(GeoServicesAdapterTest, ParseAltitudesAcceptsListsAndRejectsAnythingElse) {
  const struct {
    const char* Text;
    bool Ok;
    std::vector<double> Values;
  } cases[] = {
      {"100,120", true, {100, 120}},
      {"100\n120.5\n", true, {100, 120.5}},
      {" -3 \r\n7\r\n", true, {-3, 7}},
      {"", false, {}},
      {"\n", false, {}},
      {"1,,2", false, {}},
      {"1,x", false, {}},
      {"nan", false, {}},
      {"1e999", false, {}},
  };
  for (const auto& c : cases) {
    std::vector<double> values{99};
    EXPECT_EQ(TWyGeoServicesAdapter::ParseAltitudes(c.Text, values), c.Ok) << c.Text;
    EXPECT_EQ(values, c.Values) << c.Text;
  }
}

TEST(GeoServicesAdapterTest, ElevationsAreOnePerPointOrFalse) {
  TFixtureServer server;
  SetEndpoint("open-elevation", server.Url("/oe"));
  server.Serve("/oe/api/v1/lookup", "{\"results\":[{\"elevation\":35},{\"elevation\":41.4}]}");
  TWyGeoLocalise geo;
  TWyGeoServicesAdapter adapter(geo);
  std::vector<double> altitudes;
  EXPECT_TRUE(adapter.Elevations({TLatLng{48.85, 2.35}, TLatLng{48.86, 2.36}}, altitudes));
  EXPECT_EQ(altitudes, (std::vector<double>{35, 41}));
  // A count that does not match the points, no points, no server.
  EXPECT_FALSE(adapter.Elevations({TLatLng{48.85, 2.35}}, altitudes));
  EXPECT_TRUE(altitudes.empty());
  EXPECT_FALSE(adapter.Elevations({}, altitudes));
  server.ServeStatus("/oe/api/v1/lookup", 500);
  EXPECT_FALSE(adapter.Elevations({TLatLng{48.85, 2.35}, TLatLng{48.86, 2.36}}, altitudes));
  ResetSettings();
}

}  // namespace
}  // namespace wy

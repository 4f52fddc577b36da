// Routes and heights through the services client against a loopback
// server: the address form's nested geocoding, the servers chosen by the
// settings and what is cached.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "geo/settings.h"
#include "services/mapquest_services.h"
#include "services/rate_limit.h"
#include "support/fixture_server.h"
#include "support/result_lines.h"
#include "support/route_answers.h"
#include "support/service_answers.h"
#include "support/test_helpers.h"

namespace wy {
namespace {

using test_support::PumpUntil;
using test_support::TScratchDir;

using test_support::LinesOf;

std::vector<std::string> TargetsOf(const std::vector<TFixtureRequest>& requests) {
  std::vector<std::string> targets;
  for (const TFixtureRequest& r : requests) targets.push_back(r.Target);
  return targets;
}

class RouteServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEndpointSlots();
    SetEndpoint("nominatim", server.Url("/nominatim/v1"));
    SetEndpoint("mapquest-open", server.BaseUrl());
    server.Handle("/nominatim/v1/search",
                  [this](const TFixtureRequest& request, httplib::Response& response) {
                    const auto place = places.find(request.Param("q"));
                    if (place == places.end()) {
                      response.set_content(test_support::kNoPlaceBody, "text/xml");
                      return;
                    }
                    response.set_content("<searchresults><place place_id='1' " + place->second +
                                             " display_name='x'/></searchresults>",
                                         "text/xml");
                  });
    server.Serve("/directions/v1/route", test_support::kDirectionsBody, "application/json");
    services.SetKey("K");
  }
  void TearDown() override {
    ResetSettings();
    ResetEndpointSlots();
  }

  // Search answers by query: the coordinates are written unusually, so
  // that the route request shows they are passed on as written.
  std::map<std::string, std::string> places = {
      {"PARIS", "lat='48.85660' lon='2.3522'"},
      {"LYON", "lat='45.7578' lon='4.832'"},
      {"MARSEILLE", "lat='43.2965' lon='5.3698'"},
  };
  TFixtureServer server;
  TOpenMapQuestServices services;
};

TEST_F(RouteServicesTest, AddressesAreGeocodedInTurnThenTheRouteAskedByCoordinates) {
  TScratchDir cache;
  services.SetLocalCache(cache.Path());
  const std::string text = "@Paris|Lyon|Marseille@locale=en_EN&outFormat=json";
  ASSERT_TRUE(services.Directions(text));
  const std::vector<std::string> expected = {
      "/nominatim/v1/search?format=xml&q=PARIS&addressdetails=1",
      "/nominatim/v1/search?format=xml&q=LYON&addressdetails=1",
      "/nominatim/v1/search?format=xml&q=MARSEILLE&addressdetails=1",
      "/directions/v1/route?from=48.85660,2.3522&to=45.7578,4.832&to=43.2965,5.3698&"
      "locale=en_EN&outFormat=json&key=K"};
  EXPECT_EQ(TargetsOf(server.Requests()), expected);
  EXPECT_EQ(services.DirectionsResults().Count(), 5);
  EXPECT_EQ(services.DirectionsResults().Strings(0), "48.85,2.35,250,Head north.");

  // Cached under the addresses: the geocoding still happens, the route is
  // read from the disk.
  server.ClearRequests();
  ASSERT_TRUE(services.Directions(text));
  EXPECT_TRUE(services.Answer(mkDirections).FromCache);
  EXPECT_EQ(TargetsOf(server.Requests()),
            std::vector<std::string>(expected.begin(), expected.end() - 1));
}

TEST_F(RouteServicesTest, AnUnknownAddressSendsNoRouteAndLeavesNoOldRoute) {
  // The client's own search results are not disturbed by the geocoding.
  places["NOWHERE"] = "";
  ASSERT_TRUE(services.Search("Lyon"));
  ASSERT_TRUE(services.Directions("from=1,2&to=3,4&outFormat=json"));
  ASSERT_GT(services.DirectionsResults().Count(), 2);

  for (const char* text : {"@Paris|Atlantis@outFormat=json", "@Paris|Lyon outFormat=json"}) {
    SCOPED_TRACE(text);
    server.ClearRequests();
    EXPECT_FALSE(services.Directions(text));
    EXPECT_EQ(server.RequestCount("/directions/v1/route"), 0u);
    EXPECT_EQ(services.DirectionsResults().Count(), 0);
    EXPECT_FALSE(services.Answer(mkDirections).Error.empty());
  }
  EXPECT_EQ(LinesOf(services.SearchResults()), std::vector<std::string>{"x"});

  // The queued form reports the failure too, then runs the next route.
  int done = 0;
  services.OnDirections = [&](TOpenMapQuestServices*) { ++done; };
  services.AsyncDirections("@Atlantis|Paris@outFormat=json\r\nfrom=1,2&to=3,4&outFormat=json");
  ASSERT_TRUE(PumpUntil([&] { return done == 2; }));
  EXPECT_EQ(services.DirectionsResults().Count(), 5);
}

TEST_F(RouteServicesTest, EscapedSlashesAndGuidanceLines) {
  server.Serve("/directions/v1/route",
               "{\"distance\":1,\"time\":2,\"maneuverIndexes\":[0],\"shapePoints\":[1,2],"
               "\"narrative\":\"A\\/B\",\"distance\":1,\"time\":2}");
  ASSERT_TRUE(services.Directions("from=1,2&to=1,2&outFormat=json"));
  EXPECT_EQ(services.DirectionsResults().Strings(0), "1,2,1000,A/B");

  server.Serve("/guidance/v1/route", "first\r\nsecond\nthird");
  ASSERT_TRUE(services.Guidance("from=1,2&to=3,4"));
  EXPECT_EQ(LinesOf(services.GuidanceResults()),
            (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(RouteServicesTest, HeightsOfTheOpenElevationProfile) {
  server.Serve("/elevation/v1/profile", test_support::kElevationBody);
  EXPECT_EQ(services.Altitude("48.85,2.35,48.86,2.36,1,2"), 3);
  EXPECT_EQ(LinesOf(services.AltitudeResults()), (std::vector<std::string>{"12", "14", "-9999"}));
}

TEST_F(RouteServicesTest, WithoutTheOpenServicesGuidanceAndStaticMapsFailAtOnce) {
  // The defaults: the open services retired, the public OSRM and
  // Open-Elevation hosts limited to a request a second.
  EXPECT_EQ(DefaultSetting("endpoint.mapquest-open"), "");
  EXPECT_EQ(EndpointIntervalMs(UrlHost(DefaultSetting("endpoint.osrm"))), 1000u);
  EXPECT_EQ(EndpointIntervalMs(UrlHost(DefaultSetting("endpoint.open-elevation"))), 1000u);

  SetEndpoint("mapquest-open", "");
  EXPECT_FALSE(services.Guidance("from=1,2&to=3,4"));
  EXPECT_FALSE(services.StaticMap("size=400,300"));
  EXPECT_EQ(services.StreamResult().Size(), 0);
  for (TMapQuestKind kind : {mkGuidance, mkStaticMap}) {
    EXPECT_FALSE(services.Answer(kind).Answered);
    EXPECT_NE(services.Answer(kind).Error.find("endpoint.mapquest-open"), std::string::npos);
  }
  EXPECT_EQ(server.RequestCount(), 0u);
  // Routes and heights go to their own servers instead.
  SetEndpoint("osrm", server.Url("/osrm"));
  SetEndpoint("open-elevation", server.Url("/oe"));
  EXPECT_FALSE(services.Directions("from=1,2&to=3,4&outFormat=json"));
  EXPECT_EQ(services.Altitude("1,2"), 0);
  EXPECT_EQ(TargetsOf(server.Requests()),
            (std::vector<std::string>{
                "/osrm/route/v1/driving/2,1;4,3?steps=true&overview=full&geometries=polyline",
                "/oe/api/v1/lookup?locations=1,2"}));
}

TEST_F(RouteServicesTest, OsrmAndOpenElevationStandInForTheOpenServices) {
  TScratchDir cache;
  services.SetLocalCache(cache.Path());
  SetEndpoint("mapquest-open", "");
  SetEndpoint("osrm", server.Url("/osrm/"));
  SetEndpoint("open-elevation", server.Url("/oe"));
  server.Serve("/osrm/route/v1/foot/2.35,48.85;2.355,48.855", test_support::kOsrmBody,
               "application/json");
  server.Serve("/oe/api/v1/lookup", test_support::kOpenElevationBody, "application/json");

  const std::string route =
      "from=48.85,2.35&to=48.855,2.355&locale=en_EN&outFormat=json&"
      "routeType=pedestrian";
  ASSERT_TRUE(services.Directions(route));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].Target,
            "/osrm/route/v1/foot/2.35,48.85;2.355,48.855?steps=true&overview=full&"
            "geometries=polyline");
  EXPECT_EQ(server.Requests()[0].UserAgent(), GetUserAgent());
  EXPECT_EQ(services.DirectionsResults().Count(), 5);
  EXPECT_EQ(services.DirectionsResults().Strings(1),
            "48.852,2.352,731,Turn left onto Boulevard Saint-Michel");

  EXPECT_EQ(services.Altitude("48.85,2.35,48.86,2.36,45.76,4.84"), 3);
  ASSERT_EQ(server.RequestCount("/oe/api/v1/lookup"), 1u);
  EXPECT_EQ(server.RequestsTo("/oe/api/v1/lookup")[0].Param("locations"),
            "48.85,2.35|48.86,2.36|45.76,4.84");
  EXPECT_EQ(LinesOf(services.AltitudeResults()), (std::vector<std::string>{"35", "41", "172"}));

  // Both are cached; an open-services answer to the same text is another
  // file, so switching servers never reads the other's answer.
  server.ClearRequests();
  ASSERT_TRUE(services.Directions(route));
  EXPECT_EQ(services.Altitude("48.85,2.35,48.86,2.36,45.76,4.84"), 3);
  EXPECT_EQ(server.RequestCount(), 0u);
  SetEndpoint("mapquest-open", server.BaseUrl());
  ASSERT_TRUE(services.Directions(route));
  EXPECT_FALSE(services.Answer(mkDirections).FromCache);
  EXPECT_EQ(services.DirectionsResults().Strings(0), "48.85,2.35,250,Head north.");

  // A server that finds no route: failure with its reason, nothing cached.
  SetEndpoint("mapquest-open", "");
  server.Serve("/osrm/route/v1/driving/2,1;4,3", "{\"code\":\"NoRoute\",\"routes\":[]}");
  EXPECT_FALSE(services.Directions("from=1,2&to=3,4"));
  EXPECT_EQ(services.Answer(mkDirections).Error, "NoRoute");
  EXPECT_FALSE(services.Directions("from=1,2&to=3,4"));
  EXPECT_EQ(server.RequestCount("/osrm/route/v1/driving/2,1;4,3"), 2u);
}

}  // namespace
}  // namespace wy

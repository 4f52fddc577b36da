#include "services/geo_localise.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "geo/query_value.h"
#include "geo/settings.h"
#include "geo/text_convert.h"
#include "platform/tick.h"
#include "platform/window_thread.h"
#include "services/rate_limit.h"
#include "support/fixture_server.h"
#include "support/route_answers.h"
#include "support/service_answers.h"
#include "support/test_helpers.h"

namespace wy {
namespace {

using test_support::kDirectionsBody;
using test_support::kElevationBody;
using test_support::kNoPlaceBody;
using test_support::kParisBox;
using test_support::kRestaurantAnswer;
using test_support::kReverseBody;
using test_support::kReverseErrorBody;
using test_support::kSearchBody;
using test_support::PumpUntil;
using test_support::TScratchDir;

const char kSearchPath[] = "/nominatim/v1/search";
const char kReversePath[] = "/nominatim/v1/reverse";
const char kXapiPath[] = "/api/xapi";

class GeoLocaliseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FServer.Running());
    ResetEndpointSlots();
    SetEndpoint("nominatim", FServer.Url("/nominatim/v1"));
    SetEndpoint("mapquest-open", FServer.BaseUrl());
    SetEndpoint("xapi", FServer.Url("/api/xapi?"));
    SetEndpoint("xapi-fallback", FServer.Url("/xapi/api/0.6/"));
    FGeo = NewGeo();
  }
  void TearDown() override {
    FGeo.reset();
    FServer.ReleaseAll();
    ResetSettings();
    ResetEndpointSlots();
  }

  // A component whose places search looks 1000 m around the centre of Paris
  // and whose events are counted.
  std::unique_ptr<TWyGeoLocalise> NewGeo() {
    auto geo = std::make_unique<TWyGeoLocalise>();
    geo->MapQuestServices().SetKey("K");
    geo->Places().SetRadius(1000);
    geo->OnSearch = [this](TWyGeoLocalise* sender) {
      FSearchSenders.push_back(sender);
      FSearchStatus.push_back(sender->Places().Status());
      FOnWindowThread = FOnWindowThread && IsWindowThread();
    };
    return geo;
  }

  // Search answers by query: "PARIS" finds three places, anything else none.
  // Reverse answers with an address; the XAPI with one restaurant.
  void ServeAnswers() {
    FServer.Handle(kSearchPath, [](const TFixtureRequest& request, httplib::Response& response) {
      response.set_content(request.Param("q") == "PARIS" ? kSearchBody : kNoPlaceBody, "text/xml");
    });
    FServer.Serve(kReversePath, kReverseBody, "text/xml");
    FServer.Serve(kXapiPath, kRestaurantAnswer, "text/xml");
  }

  TFixtureServer FServer;
  std::unique_ptr<TWyGeoLocalise> FGeo;
  std::vector<TWyGeoLocalise*> FSearchSenders;
  std::vector<std::string> FSearchStatus;
  bool FOnWindowThread = true;
};

TEST_F(GeoLocaliseTest, RelaysReachTheirListenersWithTheirSendersAndTexts) {
  ServeAnswers();
  TOpenMapQuestServices* searchSender = nullptr;
  int searchCount = -1;
  TWyGeoLocalise* reverseSender = nullptr;
  std::string address = "unset";
  TWyGeoLocalise* altitudeSender = nullptr;
  std::string heights = "unset";
  FGeo->OnASyncSearch = [&](TOpenMapQuestServices* sender) {
    searchSender = sender;
    searchCount = FGeo->SearchCount();
    FOnWindowThread = FOnWindowThread && IsWindowThread();
  };
  FGeo->OnReverse = [&](TWyGeoLocalise* sender, const std::string& text) {
    reverseSender = sender;
    address = text;
    FOnWindowThread = FOnWindowThread && IsWindowThread();
  };
  FGeo->OnAltitude = [&](TWyGeoLocalise* sender, const std::string& text) {
    altitudeSender = sender;
    heights = text;
  };

  FGeo->ASyncSearch("paris");
  FGeo->ASyncReverse(48.85, 2.35);
  FGeo->MapQuestServices().AsyncAltitude("48.85,2.35");
  FGeo->PlaceSearch(48.8566, 2.3522, "node[amenity=restaurant]");
  ASSERT_TRUE(PumpUntil(
      [&] { return searchSender && reverseSender && altitudeSender && !FSearchSenders.empty(); }));

  EXPECT_EQ(searchSender, &FGeo->MapQuestServices());  // the client, not the component
  EXPECT_EQ(searchCount, 3);
  EXPECT_EQ(FGeo->SearchResults().Strings(0), "L'Arc, Paris");
  EXPECT_EQ(reverseSender, FGeo.get());
  EXPECT_EQ(address, "10 Rue X & Y, Paris");
  EXPECT_EQ(altitudeSender, FGeo.get());
  // One height per line, each line ended by CR LF (none read yet).
  EXPECT_TRUE(heights.empty() || heights.substr(heights.size() - 2) == "\r\n") << heights;
  EXPECT_EQ(FSearchSenders, std::vector<TWyGeoLocalise*>{FGeo.get()});
  EXPECT_EQ(FSearchStatus, std::vector<std::string>{"OK"});
  EXPECT_EQ(FGeo->Places().Results().count(), 1);
  EXPECT_TRUE(FOnWindowThread);

  // Without listeners the relays do nothing.
  FGeo->OnSearch = nullptr;
  FGeo->OnASyncSearch = nullptr;
  FGeo->OnReverse = nullptr;
  FGeo->ASyncSearch("paris");
  FGeo->ASyncReverse(1, 2);
  FGeo->PlaceSearch(48.8566, 2.3522, "node[shop=*]");
  EXPECT_TRUE(PumpUntil([&] {
    return !FGeo->Places().Searching() && !FGeo->MapQuestServices().Busy(mkSearch) &&
           !FGeo->MapQuestServices().Busy(mkReverse);
  }));
}

TEST_F(GeoLocaliseTest, LocalCacheReachesBothClientsAndTheirAnswersLandBelowIt) {
  ServeAnswers();
  TScratchDir first;
  TScratchDir second;
  FGeo->SetLocalCache(first.Path());
  EXPECT_EQ(FGeo->MapQuestServices().LocalCache(), first.Path());
  EXPECT_EQ(FGeo->Places().LocalCache(), first.Path());

  ASSERT_EQ(FGeo->Search("paris"), 3);
  FGeo->PlaceSearch(48.8566, 2.3522, "node[shop=*]");
  ASSERT_TRUE(PumpUntil([&] { return FSearchStatus.size() == 1; }));
  ASSERT_EQ(FSearchStatus[0], "OK");
  const std::string placesRequest = FServer.Url("/api/xapi?") + "node[shop=*]" + kParisBox;
  EXPECT_EQ(first.FilesIn("OPEN_MAPQUEST_SERVICES"),
            std::vector<std::string>{CrcText("PARIS&key=K")});
  EXPECT_EQ(first.FilesIn("PLACES"), std::vector<std::string>{CrcText(placesRequest)});
  EXPECT_EQ(first.FileCount(), 2u);

  // The same requests again come from the disk.
  const size_t requests = FServer.RequestCount();
  EXPECT_EQ(FGeo->Search("paris"), 3);
  FGeo->PlaceSearch(48.8566, 2.3522, "node[shop=*]");
  ASSERT_TRUE(PumpUntil([&] { return FSearchStatus.size() == 2; }));
  EXPECT_EQ(FSearchStatus[1], "OK");
  EXPECT_EQ(FGeo->Places().Results().count(), 1);
  EXPECT_EQ(FServer.RequestCount(), requests);

  // A new folder moves both clients.
  FGeo->SetLocalCache(second.Path());
  EXPECT_EQ(FGeo->Search("paris"), 3);
  FGeo->PlaceSearch(48.8566, 2.3522, "node[shop=*]");
  ASSERT_TRUE(PumpUntil([&] { return FSearchStatus.size() == 3; }));
  EXPECT_EQ(FServer.RequestCount(), requests + 2);
  EXPECT_EQ(second.FilesIn("OPEN_MAPQUEST_SERVICES").size(), 1u);
  EXPECT_EQ(second.FilesIn("PLACES").size(), 1u);
  EXPECT_EQ(first.FileCount(), 2u);
}

TEST_F(GeoLocaliseTest, ReverseSendsThePointAndGivesTheAddressOrNothing) {
  struct TCase {
    const char* Name;
    int Status;
    const char* Body;  // null: nothing listens at the address
    const char* Expected;
  };
  const TCase cases[] = {
      {"resolved", 200, kReverseBody, "10 Rue X & Y, Paris"},
      {"not resolved", 200, kReverseErrorBody, ""},
      {"server error", 500, "<html>oops</html>", ""},
      {"unreachable", 0, nullptr, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FServer.ClearRequests();
    if (c.Body != nullptr) {
      SetEndpoint("nominatim", FServer.Url("/nominatim/v1"));
      FServer.Serve(kReversePath, c.Body, "text/xml", c.Status);
    } else {
      SetEndpoint("nominatim", FServer.RefusedUrl("/nominatim/v1"));
    }
    EXPECT_EQ(FGeo->Reverse(43.232951, 2), c.Expected);
    if (c.Body != nullptr) {
      ASSERT_EQ(FServer.RequestCount(), 1u);
      const std::string target = FServer.Requests()[0].Target;
      EXPECT_NE(target.find("/reverse?format=xml&lat=43.232951&lon=2&key=K"), std::string::npos)
          << target;
    }
  }
}

TEST_F(GeoLocaliseTest, SearchResultIsACopyThatOutlivesTheClientsResults) {
  ServeAnswers();
  // Nothing searched yet: an empty result.
  EXPECT_EQ(FGeo->SearchResult(0).Latitude(), -1);

  ASSERT_EQ(FGeo->Search("paris"), 3);
  const TWyGeoResult kept = FGeo->SearchResult(1);
  TWyGeoResult& shown = FGeo->SearchResult(0);
  EXPECT_EQ(shown.Latitude(), 48.8566);
  EXPECT_EQ(shown.Longitude(), 2.3522);
  EXPECT_EQ(shown.Display_name(), "L'Arc, Paris");

  // A later search replaces (and frees) the client's list: both copies hold.
  ASSERT_EQ(FGeo->Search("nowhere"), 0);
  EXPECT_EQ(shown.Latitude(), 48.8566);
  EXPECT_EQ(shown.Place_id(), "1");
  EXPECT_EQ(kept.Display_name(), "Caf\xC3\xA9 A & B, Rue \"X\"");
  // The next call overwrites the copy; with the shown list gone it is empty.
  FGeo->SearchResult(0);
  EXPECT_EQ(shown.Latitude(), -1);
  EXPECT_EQ(shown.Longitude(), -1);
  EXPECT_EQ(shown.Display_name(), "");
  EXPECT_EQ(kept.Latitude(), 48.1);  // a copy of its own

  // An index outside the results keeps the place shown last while its list
  // is current.
  ASSERT_EQ(FGeo->Search("paris"), 3);
  FGeo->SearchResult(1);
  EXPECT_EQ(FGeo->SearchResult(7).Place_id(), "2");
}

// The way the demo and the map search: a typed address beyond Latin-1
// reaches the geocoder whole, with the key, encoded as one value or not.
TEST_F(GeoLocaliseTest, SearchSendsNonLatinAddressesWhole) {
  FServer.Handle(kSearchPath, [](const TFixtureRequest& request, httplib::Response& response) {
    response.set_content("<searchresults><place lat='1' lon='2' display_name='" +
                             request.Param("q") + "'/></searchresults>",
                         "text/xml");
  });
  const std::string tokyo = "\xE6\x9D\xB1\xE4\xBA\xAC";  // 東京
  const std::string lodz =
      "\xC5\x81\xC3\xB3"
      "d\xC5\xBA";  // Łódź
  const struct {
    std::string Address;
    std::string Q;
  } cases[] = {
      {EncodeQueryValue(tokyo), tokyo},
      {lodz, "\xC5\x81OD\xC5\xBA"},
  };
  for (const auto& c : cases) {
    FServer.ClearRequests();
    ASSERT_EQ(FGeo->Search(c.Address), 1) << c.Q;
    ASSERT_EQ(FServer.RequestCount(), 1u);
    EXPECT_EQ(FServer.Requests()[0].Param("q"), c.Q);
    EXPECT_EQ(FServer.Requests()[0].Param("key"), "K");
    EXPECT_EQ(FGeo->SearchResult(0).Display_name(), c.Q);
  }
}

TEST_F(GeoLocaliseTest, PlaceSearchWhileOneRunsIsIgnored) {
  FServer.Stall(kXapiPath);
  FGeo->PlaceSearch(48.8566, 2.3522, "node[shop=*]");
  ASSERT_TRUE(FServer.WaitForInFlight(1));
  FGeo->PlaceSearch(10, 20, "node[amenity=restaurant]");
  EXPECT_EQ(FGeo->Places().Latitude(), 48.8566);
  EXPECT_EQ(FGeo->Places().Longitude(), 2.3522);
  WaitProcessing(50);
  EXPECT_EQ(FServer.RequestCount(), 1u);
  EXPECT_TRUE(FSearchStatus.empty());
  FGeo->AbortPlaceSearch();
  EXPECT_EQ(FSearchStatus, std::vector<std::string>{"ERROR takes too long"});
}

TEST_F(GeoLocaliseTest, AbortPlaceSearchIfMaxTimeAbortsOnlyPastTheLimit) {
  FServer.Stall(kXapiPath);
  std::atomic<uint32_t> now{0};
  TScopedTickSource tick([&now] { return now.load(); });
  // The second start lies just before the 32-bit tick wraps.
  for (const uint32_t start : {5000u, 0xFFFFF000u}) {
    SCOPED_TRACE(start);
    FSearchStatus.clear();
    now = start;
    EXPECT_EQ(FGeo->AbortPlaceSearchIfMaxTime(40), 0u);  // idle
    FGeo->PlaceSearch(48.8566, 2.3522, "node[shop=*]");
    ASSERT_TRUE(FGeo->Places().Searching());
    struct TStep {
      uint32_t At;  // ms after the start
      uint32_t Returned;
      bool Searching;
    };
    const TStep steps[] = {
        {0, 0, true}, {40000, 40, true}, {40900, 40, true}, {41000, 41, false}, {41500, 0, false}};
    for (const TStep& step : steps) {
      SCOPED_TRACE(step.At);
      now = start + step.At;
      EXPECT_EQ(FGeo->AbortPlaceSearchIfMaxTime(40), step.Returned);
      EXPECT_EQ(FGeo->Places().Searching(), step.Searching);
      // The abort reports from inside the call, without waiting for events.
      EXPECT_EQ(FSearchStatus.size(), step.Searching ? 0u : 1u);
    }
    EXPECT_EQ(FSearchStatus, std::vector<std::string>{"ERROR takes too long"});
  }
}

TEST_F(GeoLocaliseTest, AStoppedSearchReportsOnceAndNeverAgainLater) {
  // Shops stall until released; restaurants answer at once.
  FServer.Handle(kXapiPath, [this](const TFixtureRequest& request, httplib::Response& response) {
    if (request.Target.find("shop") != std::string::npos) FServer.WaitRelease("shops");
    response.set_content(kRestaurantAnswer, "text/xml");
  });
  FServer.Hold("shops");
  // Watch what the places search reports before the component passes it on.
  int reports = 0;
  auto relay = FGeo->Places().OnPlacesSearch;
  FGeo->Places().OnPlacesSearch = [&reports, relay](TWyPlaces& places) {
    ++reports;
    relay(places);
  };

  FGeo->AbortPlaceSearch();  // idle: nothing
  EXPECT_TRUE(FSearchStatus.empty());
  FGeo->PlaceSearch(48.8566, 2.3522, "node[shop=*]");
  ASSERT_TRUE(FServer.WaitForInFlight(1));
  FGeo->AbortPlaceSearch();
  EXPECT_EQ(FSearchStatus, std::vector<std::string>{"ERROR takes too long"});
  // The stopped worker ends and reports once more; the listener hears
  // nothing of it.
  ASSERT_TRUE(PumpUntil([&] { return reports == 2; }));
  EXPECT_EQ(FSearchStatus.size(), 1u);

  // The next search reports as usual.
  FGeo->PlaceSearch(48.8566, 2.3522, "node[amenity=restaurant]");
  ASSERT_TRUE(PumpUntil([&] { return FSearchStatus.size() == 2; }));
  EXPECT_EQ(FSearchStatus[1], "OK");
  WaitProcessing(50);
  EXPECT_EQ(FSearchStatus.size(), 2u);
}

TEST_F(GeoLocaliseTest, DestroyingWithWorkersRunningIsQuietAndPrompt) {
  FServer.Stall(kSearchPath);
  FServer.Stall(kReversePath);
  FServer.Stall(kXapiPath);
  int events = 0;
  FGeo->OnSearch = [&](TWyGeoLocalise*) { ++events; };
  FGeo->OnASyncSearch = [&](TOpenMapQuestServices*) { ++events; };
  FGeo->OnReverse = [&](TWyGeoLocalise*, const std::string&) { ++events; };
  FGeo->ASyncSearch("paris");
  FGeo->ASyncReverse(1, 2);
  FGeo->PlaceSearch(48.8566, 2.3522, "node[shop=*]");
  ASSERT_TRUE(FServer.WaitForInFlight(3));

  const auto start = std::chrono::steady_clock::now();
  FGeo.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  FServer.ReleaseAll();
  WaitProcessing(100);
  EXPECT_EQ(events, 0);
}

TEST_F(GeoLocaliseTest, AHandlerMayDestroyTheComponent) {
  ServeAnswers();
  FServer.Stall(kXapiPath);
  std::atomic<uint32_t> now{1000};
  TScopedTickSource tick([&now] { return now.load(); });

  // From the places relay, inside the time-out check.
  FGeo->OnSearch = [this](TWyGeoLocalise*) { FGeo.reset(); };
  FGeo->PlaceSearch(48.8566, 2.3522, "node[shop=*]");
  ASSERT_TRUE(FServer.WaitForInFlight(1));
  now = 1000 + 60000;
  EXPECT_EQ(FGeo->AbortPlaceSearchIfMaxTime(40), 60u);
  EXPECT_EQ(FGeo, nullptr);

  // From the reverse relay, with another request still queued behind it.
  FGeo = NewGeo();
  FGeo->OnReverse = [this](TWyGeoLocalise*, const std::string&) { FGeo.reset(); };
  FGeo->ASyncReverse(1, 2);
  FGeo->ASyncReverse(3, 4);
  ASSERT_TRUE(PumpUntil([&] { return FGeo == nullptr; }));
  WaitProcessing(50);
  EXPECT_EQ(FServer.RequestCount(kReversePath), 1u);
}

TEST_F(GeoLocaliseTest, HeightsAndRouteAlignmentComeFromTheClient) {
  FServer.Serve("/elevation/v1/profile", kElevationBody, "application/json");
  FServer.Serve("/directions/v1/route", kDirectionsBody, "application/json");
  std::vector<std::string> async;
  FGeo->OnAltitude = [&](TWyGeoLocalise*, const std::string& text) { async.push_back(text); };
  EXPECT_EQ(FGeo->Altitude(48.85, 2.35), 12);
  EXPECT_EQ(FServer.Requests().back().Param("latLngCollection"), "48.85,2.35");
  EXPECT_EQ(FGeo->Altitudes("48.85,2.35,48.86,2.36,1,2"), "12,14,-9999");
  FGeo->AsyncAltitude("48.85,2.35,48.86,2.36,1,2");
  ASSERT_TRUE(PumpUntil([&] { return !async.empty(); }));
  EXPECT_EQ(async, std::vector<std::string>{"12\r\n14\r\n-9999\r\n"});

  double lat = 48.8501, lng = 2.3502;
  EXPECT_TRUE(FGeo->AlignLatLngToRoute(lat, lng));
  EXPECT_EQ(lat, 48.85);
  EXPECT_EQ(lng, 2.35);
  EXPECT_EQ(FServer.Requests().back().Param("from"), "48.8501,2.3502");
  EXPECT_EQ(FServer.Requests().back().Param("to"), "48.8501,2.3502");

  // No height, no route point (an error answer has a summary and the raw
  // answer only): nothing, the point left where it was.
  FServer.Serve("/elevation/v1/profile", "{\"info\":{\"statuscode\":500}}");
  FServer.Serve("/directions/v1/route", "{\"info\":{\"statuscode\":500},\"distance\":1,}");
  EXPECT_EQ(FGeo->Altitude(48.85, 2.35), kNoAltitude);
  EXPECT_EQ(FGeo->Altitudes("48.85,2.35"), "");
  lat = 48.8501;
  EXPECT_FALSE(FGeo->AlignLatLngToRoute(lat, lng));
  EXPECT_EQ(lat, 48.8501);
  EXPECT_EQ(FGeo->MapQuestServices().DistanceRoute("from=1,2&to=3,4&outFormat=json"), 1);
  FServer.Serve("/directions/v1/route", "{\"info\":{\"statuscode\":500}}");
  EXPECT_EQ(FGeo->MapQuestServices().DistanceRoute("from=1,2&to=3,4&outFormat=json"), -1);
}

TEST_F(GeoLocaliseTest, QueuedRoutesRunOneAfterTheOtherEachWithItsOwnText) {
  // Each answer's one point is the request's start, so that a delivery
  // shows which request it answers.
  FServer.Handle("/directions/v1/route",
                 [](const TFixtureRequest& request, httplib::Response& response) {
                   response.set_content(
                       "{\"distance\":2.5,\"time\":9,\"maneuverIndexes\":[0],"
                       "\"shapePoints\":[" +
                           request.Param("from") + "],\"narrative\":\"Go.\",\"distance\":2.5,}",
                       "application/json");
                 });
  FServer.Handle(kSearchPath, [](const TFixtureRequest& request, httplib::Response& response) {
    response.set_content(request.Param("q") == "PARIS" ? kSearchBody : kNoPlaceBody, "text/xml");
  });
  struct Delivery {
    std::string Params;
    int Count;
    double Lat;
    int Distance;
    size_t RequestsSeen;
  };
  std::vector<Delivery> deliveries;
  FGeo->OnRoutePath = [&](TWyGeoLocalise* sender, const std::string& params,
                          const TWyRoutePath& path) {
    EXPECT_EQ(sender, FGeo.get());
    deliveries.push_back({params, path.count(), path.count() ? path.Items(0)->Latitude() : 0,
                          path.Distance(), FServer.RequestCount()});
  };
  const std::string first = TWyGeoLocalise::RouteFromText({1, 2, 3, 4}, "&routeType=shortest");
  const std::string second = TWyGeoLocalise::RouteByAddressText("Paris", "Atlantis", "");
  const std::string third = TWyGeoLocalise::RouteFromText({5, 6, 7, 8}, "");
  EXPECT_EQ(first,
            "from=1,2&to=3,4&locale=en_EN&outFormat=json&timeType=1&enhancedNarrative=true&"
            "shapeFormat=raw&generalize=0&unit=k&&routeType=shortest");
  EXPECT_EQ(TWyGeoLocalise::RouteFromText({1, 2, 3}, ""), "");
  FGeo->AsyncRoutePath(first);
  FGeo->AsyncRoutePath(second);
  FGeo->AsyncRoutePath(third);
  EXPECT_EQ(FGeo->PendingRoutes(), 3u);
  ASSERT_TRUE(PumpUntil([&] { return deliveries.size() == 3; }));
  EXPECT_EQ(FGeo->PendingRoutes(), 0u);

  ASSERT_EQ(deliveries.size(), 3u);
  EXPECT_EQ(deliveries[0].Params, first);
  EXPECT_EQ(deliveries[0].Count, 1);
  EXPECT_EQ(deliveries[0].Lat, 1);
  EXPECT_EQ(deliveries[0].Distance, 2500);
  EXPECT_EQ(deliveries[1].Params, second);  // Atlantis is nowhere: no route
  EXPECT_EQ(deliveries[1].Count, 0);
  EXPECT_EQ(deliveries[2].Params, third);
  EXPECT_EQ(deliveries[2].Lat, 5);
  // Each request went out only after the one before was delivered.
  EXPECT_EQ(deliveries[0].RequestsSeen, 1u);
  EXPECT_EQ(deliveries[1].RequestsSeen, 3u);
  EXPECT_EQ(deliveries[2].RequestsSeen, 4u);

  auto path = FGeo->RoutePath(third);
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->Items(0)->Instructions(), "Go.");
  EXPECT_EQ(FGeo->RoutePath(second), nullptr);
}

TEST_F(GeoLocaliseTest, DestroyingWhileARouteIsHeldAbortsItAndDeliversNothing) {
  FServer.Stall("/directions/v1/route");
  int events = 0;
  FGeo->OnRoutePath = [&](TWyGeoLocalise*, const std::string&, const TWyRoutePath&) { ++events; };
  FGeo->AsyncRoutePath(TWyGeoLocalise::RouteFromText({1, 2, 3, 4}, ""));
  FGeo->AsyncRoutePath(TWyGeoLocalise::RouteFromText({5, 6, 7, 8}, ""));
  ASSERT_TRUE(FServer.WaitForInFlight(1));
  // The answer is still held: the destructor must end the transfer itself.
  FGeo.reset();
  FServer.ReleaseAll();
  WaitProcessing(100);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(FServer.RequestCount("/directions/v1/route"), 1u);
}

TEST(GeoLocaliseTrafficTest, TrafficAreaRequestText) {
  SetServiceKey(skBing, "BK");
  struct TCase {
    double LatSW, LngSW, LatNE, LngNE;
    const char* Expected;
  };
  const TCase cases[] = {
      {48.8, 2.3, 48.9, 2.4, "48.80000,2.30000,48.90000,2.40000?o=xml&key=BK"},
      {-33.868821, 151.209296, -33.8, 151.3,
       "-33.86882,151.20930,-33.80000,151.30000?o=xml&key=BK"},
      {-0.000001, -180, 0, 180, "0.00000,-180.00000,0.00000,180.00000?o=xml&key=BK"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(TWyGeoLocalise::TrafficAreaParams(c.LatSW, c.LngSW, c.LatNE, c.LngNE), c.Expected);
  // The process-wide key in effect when the request is built.
  SetServiceKey(skBing, "");
  EXPECT_EQ(TWyGeoLocalise::TrafficAreaParams(48.8, 2.3, 48.9, 2.4),
            "48.80000,2.30000,48.90000,2.40000?o=xml&key=" + GetServiceKey(skBing));
  ResetSettings();
}

}  // namespace
}  // namespace wy

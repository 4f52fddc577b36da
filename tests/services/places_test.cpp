#include "services/places.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "geo/geodesy.h"
#include "geo/settings.h"
#include "geo/text_convert.h"
#include "platform/tick.h"
#include "platform/window_thread.h"
#include "services/answer_cache.h"
#include "support/fixture_server.h"
#include "support/service_answers.h"
#include "support/test_helpers.h"

namespace wy {
namespace {

using test_support::kNoNodeAnswer;
using test_support::kParisBox;
using test_support::kRestaurantAnswer;
using test_support::PumpUntil;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char kPrimaryPath[] = "/api/xapi";
const char kFallbackPrefix[] = "/xapi/api/0.6/";
std::string ManyNodes(int count) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<osm version=\"0.6\">\n";
  for (int i = 1; i <= count; ++i) {
    text += "  <node id=\"" + std::to_string(i) + "\" lat=\"48.1\" lon=\"2.1\">\n";
    text += "    <tag k=\"shop\" v=\"bakery\"/>\n  </node>\n";
  }
  return text + "</osm>\n";
}

// The restaurant answer padded with blanks to exactly `size` bytes.
std::string PaddedAnswer(size_t size) {
  std::string text = kRestaurantAnswer;
  text.insert(text.size() - 7, size - text.size(), ' ');
  return text;
}

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code error;
  if (!fs::is_directory(dir, error)) return names;
  for (const auto& entry : fs::directory_iterator(dir, error))
    names.push_back(entry.path().filename().string());
  return names;
}

class PlacesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FServer.Running());
    FCache = fs::temp_directory_path() /
             ("wy_places_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
              "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FCache);
    SetEndpoint("xapi", FServer.Url("/api/xapi?"));
    SetEndpoint("xapi-fallback", FServer.Url(kFallbackPrefix));
  }
  void TearDown() override {
    SetEndpoint("xapi", "");
    SetEndpoint("xapi-fallback", "");
    std::error_code error;
    fs::remove_all(FCache, error);
  }

  // A places search around the centre of Paris that counts its events.
  std::unique_ptr<TWyPlaces> NewPlaces(bool cache = true) {
    auto places = std::make_unique<TWyPlaces>();
    places->SetLatitude(48.8566);
    places->SetLongitude(2.3522);
    places->SetRadius(1000);
    if (cache) places->SetLocalCache(FCache.string());
    places->OnPlacesSearch = [this](TWyPlaces& sender) {
      ++FEvents;
      FEventStatus.push_back(sender.Status());
      FEventOnWindowThread = FEventOnWindowThread && IsWindowThread();
    };
    return places;
  }

  // Runs one search to its end.
  void SearchAndWait(TWyPlaces& places, const std::string& tags) {
    const int before = FEvents;
    places.Search(tags);
    ASSERT_TRUE(PumpUntil([&] { return FEvents > before && !places.Searching(); }));
  }

  TFixtureServer FServer;
  fs::path FCache;
  int FEvents = 0;
  std::vector<std::string> FEventStatus;
  bool FEventOnWindowThread = true;
};

TEST_F(PlacesTest, BoxRequestResultsAndCache) {
  FServer.Serve(kPrimaryPath, kRestaurantAnswer, "text/xml");
  const uint32_t start = 0xFFFFFF00u;  // just before the tick wraps
  const uint32_t base = SystemTick();
  TScopedTickSource tick([start, base] { return start + (SystemTick() - base); });
  auto places = NewPlaces();

  places->Search("node[shop=*]");
  EXPECT_TRUE(places->Searching());
  EXPECT_LT(TickElapsed(places->TimingSearch(), start), 1000u);
  double latSW, lngSW, latNE, lngNE;
  boundingCoordinates(48.8566, 2.3522, 1.0, latSW, lngSW, latNE, lngNE);
  EXPECT_EQ(places->LatSW(), latSW);
  EXPECT_EQ(places->LngSW(), lngSW);
  EXPECT_EQ(places->LatNE(), latNE);
  EXPECT_EQ(places->LngNE(), lngNE);
  ASSERT_TRUE(PumpUntil([&] { return FEvents == 1; }));

  const std::string target = std::string("/api/xapi?node[shop=*]") + kParisBox;
  ASSERT_EQ(FServer.RequestCount(), 1u);
  EXPECT_EQ(FServer.Requests()[0].Target, target);
  EXPECT_EQ(FServer.Requests()[0].UserAgent(), GetUserAgent());
  EXPECT_TRUE(FEventOnWindowThread);
  EXPECT_FALSE(places->Searching());
  EXPECT_EQ(places->Status(), "OK");
  ASSERT_EQ(places->Results().count(), 1);
  const TWyPlaceResult* place = places->Results().Items(0);
  EXPECT_EQ(place->Data(), (std::vector<std::string>{"id=101", "lat=48.8560", "lon=2.3500",
                                                     "types=restaurant", "name=A & B"}));
  EXPECT_EQ(place->RawResult(),
            "id=101\r\nlat=48.8560\r\nlon=2.3500\r\ntypes=restaurant\r\nname=A & B\r\n");
  EXPECT_DOUBLE_EQ(place->Latitude(), 48.856);
  EXPECT_DOUBLE_EQ(place->Longitude(), 2.35);
  EXPECT_EQ(place->Values("NAME"), "A & B");
  EXPECT_EQ(place->Values("amenity"), "");
  EXPECT_EQ(places->Results().Items(1), nullptr);

  // The answer is cached under the CRC of the whole request, as received,
  // beside the request it answers.
  const std::string request = FServer.Url(target);
  const fs::path cacheFile = FCache / "PLACES" / CrcText(request);
  EXPECT_EQ(FilesIn(FCache / "PLACES"), std::vector<std::string>{CrcText(request)});
  std::string content;
  EXPECT_TRUE(ReadCachedAnswer(cacheFile.string(), request, content));
  EXPECT_EQ(content, kRestaurantAnswer);

  // The same search again, by a new object and with the servers failing,
  // comes from the cache without a request.
  FServer.ServeStatus(kPrimaryPath, 500);
  FServer.HandlePrefix(kFallbackPrefix,
                       [](const TFixtureRequest&, httplib::Response& r) { r.status = 500; });
  auto again = NewPlaces();
  SearchAndWait(*again, "node[shop=*]");
  EXPECT_EQ(FServer.RequestCount(), 1u);
  EXPECT_EQ(again->Status(), "OK");
  ASSERT_EQ(again->Results().count(), 1);
  EXPECT_EQ(again->Results().Items(0)->Data(), place->Data());

  // A file of that name that answers another request (names are CRCs and
  // can collide) is no answer to this one: the search goes to the network.
  ASSERT_TRUE(WriteCachedAnswer(cacheFile.string(), request + "x", ManyNodes(3)));
  FServer.Serve(kPrimaryPath, kRestaurantAnswer, "text/xml");
  SearchAndWait(*again, "node[shop=*]");
  EXPECT_EQ(FServer.RequestCount(), 2u);
  ASSERT_EQ(again->Results().count(), 1);
  EXPECT_EQ(again->Results().Items(0)->Data(), place->Data());
  EXPECT_TRUE(ReadCachedAnswer(cacheFile.string(), request, content));
}

TEST_F(PlacesTest, RadiusZeroUsesTheBoxAsSetAndNoCacheWithoutFolder) {
  FServer.Serve(kPrimaryPath, kRestaurantAnswer, "text/xml");
  auto places = NewPlaces(false);
  places->SetRadius(0);
  places->SetLatSW(48.8);
  places->SetLngSW(2.25);
  places->SetLatNE(48.9);
  places->SetLngNE(2.5);
  SearchAndWait(*places, "node[amenity=restaurant]");
  ASSERT_EQ(FServer.RequestCount(), 1u);
  EXPECT_EQ(FServer.Requests()[0].Target,
            "/api/xapi?node[amenity=restaurant][bbox=2.25,48.8,2.5,48.9]");
  EXPECT_EQ(places->LatSW(), 48.8);
  EXPECT_EQ(places->Results().count(), 1);
  EXPECT_FALSE(fs::exists(FCache));
}

TEST_F(PlacesTest, MaxResultKeepsTheFirstNodesAndEmptyAnswersAreNotCached) {
  FServer.Serve(kPrimaryPath, ManyNodes(150), "text/xml");
  auto places = NewPlaces();
  SearchAndWait(*places, "node[shop=bakery]");
  ASSERT_EQ(places->Results().count(), 100);
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(places->Results().Items(i)->Values("id"), std::to_string(i + 1));
  places->SetMaxResult(3);
  SearchAndWait(*places, "node[shop=bakery]");  // from the cache
  EXPECT_EQ(places->Results().count(), 3);
  EXPECT_EQ(FServer.RequestCount(), 1u);

  FServer.Serve(kPrimaryPath, kNoNodeAnswer, "text/xml");
  SearchAndWait(*places, "node[shop=none]");
  EXPECT_EQ(places->Status(), "OK");
  EXPECT_EQ(places->Results().count(), 0);
  EXPECT_EQ(FilesIn(FCache / "PLACES").size(), 1u);  // only the bakery answer
}

TEST_F(PlacesTest, SizeLimitIsThreeMebibytes) {
  struct TCase {
    size_t Size;
    const char* Status;
    int Places;
    size_t Requests;
  };
  for (const TCase& c : {TCase{kPlacesMaxAnswerBytes, "OK", 1, 1},
                         TCase{kPlacesMaxAnswerBytes + 1, "ERROR", 0, 2}}) {
    SCOPED_TRACE(c.Size);
    const std::string body = PaddedAnswer(c.Size);
    ASSERT_EQ(body.size(), c.Size);
    FServer.ClearRequests();
    FServer.Serve(kPrimaryPath, body, "text/xml");
    FServer.HandlePrefix(kFallbackPrefix, [body](const TFixtureRequest&, httplib::Response& r) {
      r.set_content(body, "text/xml");
    });
    auto places = NewPlaces(false);
    const int before = FEvents;
    SearchAndWait(*places, "node[shop=*]");
    EXPECT_EQ(FEvents, before + 1);
    EXPECT_EQ(places->Status(), c.Status);
    EXPECT_EQ(places->Results().count(), c.Places);
    EXPECT_EQ(FServer.RequestCount(), c.Requests);
  }
}

TEST_F(PlacesTest, FailingServerSwitchesOnceAndTheSwitchStays) {
  FServer.ServeStatus(kPrimaryPath, 500);
  std::atomic<bool> fallbackFails{false};
  FServer.HandlePrefix(kFallbackPrefix, [&](const TFixtureRequest&, httplib::Response& r) {
    if (fallbackFails)
      r.status = 500;
    else
      r.set_content(kRestaurantAnswer, "text/xml");
  });
  auto places = NewPlaces();
  SearchAndWait(*places, "node[shop=*]");
  ASSERT_EQ(FServer.RequestCount(), 2u);
  const auto first = FServer.Requests();
  EXPECT_EQ(first[0].Target, std::string("/api/xapi?node[shop=*]") + kParisBox);
  EXPECT_EQ(first[1].Target, std::string("/xapi/api/0.6/node[shop=*]") + kParisBox);
  EXPECT_EQ(places->Status(), "OK");
  EXPECT_EQ(places->Results().count(), 1);
  EXPECT_EQ(places->XapiServer(), FServer.Url(kFallbackPrefix));
  // The answer is cached under the name of the first request.
  EXPECT_EQ(FilesIn(FCache / "PLACES"),
            std::vector<std::string>{CrcText(FServer.Url(first[0].Target))});

  // The next search starts with the second server; when that fails it goes
  // back to the first one, once.
  fallbackFails = true;
  FServer.Serve(kPrimaryPath, kRestaurantAnswer, "text/xml");
  SearchAndWait(*places, "node[amenity=*]");
  ASSERT_EQ(FServer.RequestCount(), 4u);
  EXPECT_EQ(FServer.Requests()[2].Target, std::string("/xapi/api/0.6/node[amenity=*]") + kParisBox);
  EXPECT_EQ(FServer.Requests()[3].Target, std::string("/api/xapi?node[amenity=*]") + kParisBox);
  EXPECT_EQ(places->XapiServer(), FServer.Url("/api/xapi?"));
  EXPECT_EQ(places->Status(), "OK");
}

TEST_F(PlacesTest, BothServersFailingGiveErrorAndOneEvent) {
  FServer.Serve(kPrimaryPath, kRestaurantAnswer, "text/xml");
  auto places = NewPlaces();
  SearchAndWait(*places, "node[shop=*]");
  ASSERT_EQ(places->Results().count(), 1);

  FServer.ServeStatus(kPrimaryPath, 500);
  FServer.HandlePrefix(kFallbackPrefix,
                       [](const TFixtureRequest&, httplib::Response& r) { r.status = 500; });
  FServer.ClearRequests();
  FEvents = 0;
  SearchAndWait(*places, "node[amenity=*]");
  WaitProcessing(200);
  EXPECT_EQ(FEvents, 1);
  EXPECT_EQ(FServer.RequestCount(), 2u);
  EXPECT_EQ(places->Status(), "ERROR");
  // Each server's reason, with the request that failed.
  const auto requests = FServer.Requests();
  EXPECT_EQ(places->Error(), "HTTP status 500 (" + FServer.Url(requests[0].Target) +
                                 "); HTTP status 500 (" + FServer.Url(requests[1].Target) + ")");
  EXPECT_EQ(places->Results().count(), 0);
  EXPECT_EQ(FilesIn(FCache / "PLACES").size(), 1u);  // the error is not cached
}

TEST_F(PlacesTest, SearchIsIgnoredWhenEmptyOrWhileRunning) {
  FServer.Stall(kPrimaryPath);
  auto places = NewPlaces();
  places->Search("");
  EXPECT_FALSE(places->Searching());
  places->Search("node[shop=*]");
  ASSERT_TRUE(FServer.WaitForInFlight(1));
  places->SetLatitude(10);
  places->Search("node[amenity=*]");
  WaitProcessing(100);
  EXPECT_EQ(FServer.RequestCount(), 1u);
  EXPECT_EQ(FloatToStrDot(places->LatSW()), "48.8476168471588");  // the running search's box
  places->Abort();
}

TEST_F(PlacesTest, AbortCutsAStalledFetchAndAStaleWorkerLeavesTheNewSearchAlone) {
  // Shops stall until the server stops; anything else answers at once.
  FServer.Handle(kPrimaryPath, [this](const TFixtureRequest& request, httplib::Response& r) {
    if (request.Target.find("shop") != std::string::npos) FServer.WaitRelease("never");
    r.set_content(kRestaurantAnswer, "text/xml");
  });
  FServer.Hold("never");
  auto places = NewPlaces();
  places->Search("node[shop=*]");
  ASSERT_TRUE(FServer.WaitForInFlight(1));

  places->Abort();
  EXPECT_EQ(FEvents, 1);  // at once, from Abort itself
  EXPECT_EQ(places->Status(), "ERROR takes too long");
  EXPECT_FALSE(places->Searching());
  EXPECT_EQ(places->Results().count(), 0);
  // The stopped worker ends promptly, without trying the other server, and
  // reports once more with the status Abort left.
  const auto start = Clock::now();
  ASSERT_TRUE(PumpUntil([&] { return FEvents == 2; }, 5000));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(FEventStatus,
            (std::vector<std::string>{"ERROR takes too long", "ERROR takes too long"}));
  EXPECT_EQ(FServer.RequestCount(), 1u);
  EXPECT_EQ(places->XapiServer(), FServer.Url("/api/xapi?"));

  // Abort, then a new search at once: whenever the stopped worker ends, it
  // neither ends the new search nor reports.
  FEventStatus.clear();
  places->Search("node[shop=*]");
  ASSERT_TRUE(FServer.WaitForRequests(2));
  places->Abort();
  places->Search("node[amenity=*]");
  EXPECT_TRUE(places->Searching());
  ASSERT_TRUE(PumpUntil([&] { return !places->Searching(); }));
  WaitProcessing(300);
  EXPECT_EQ(FEventStatus, (std::vector<std::string>{"ERROR takes too long", "OK"}));
  EXPECT_EQ(places->Status(), "OK");
  EXPECT_EQ(places->Results().count(), 1);
  EXPECT_FALSE(places->Searching());
  FServer.Release("never");
}

TEST_F(PlacesTest, DestroyingWhileTheWorkerHangsReturnsPromptly) {
  FServer.Stall(kPrimaryPath);
  auto places = NewPlaces();
  places->Search("node[shop=*]");
  ASSERT_TRUE(FServer.WaitForInFlight(1));
  const auto start = Clock::now();
  places.reset();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  FServer.Release(kPrimaryPath);
  WaitProcessing(200);
  EXPECT_EQ(FEvents, 0);
  EXPECT_TRUE(FilesIn(FCache / "PLACES").empty());
  EXPECT_EQ(FServer.RequestCount(), 1u);
}

// The scanner on answers that are not laid out as the servers write them.
TEST(PlacesScanTest, Table) {
  struct TCase {
    const char* Name;
    std::string Answer;
    std::vector<std::vector<std::string>> Places;
  };
  const std::vector<TCase> cases = {
      {"self-closing node has no tags",
       "<node id=\"1\" lat=\"1.5\" lon=\"2.3\"/>\n"
       "<node id=\"2\" lat=\"3\" lon=\"4\">\n  <tag k=\"shop\" v=\"bakery\"/>\n</node>",
       {{"id=1", "lat=1.5", "lon=2.3"}, {"id=2", "lat=3", "lon=4", "shop=bakery"}}},
      {"tags on one line",
       "<node id=\"3\" lat=\"1\" lon=\"2\"><tag k=\"a\" v=\"b\"/><tag k=\"Amenity\" "
       "v=\"cafe\"/></node>",
       {{"id=3", "lat=1", "lon=2", "a=b", "types=cafe"}}},
      {"references decoded once, quotes in values keep the scan",
       "<node id=\"4\" lat=\"1\" lon=\"2\">\n  <tag k=\"name\" v=\"&quot;Chez&quot; "
       "&amp;lt;x&#233;\"/>\n"
       "  <tag k=\"note\" v=\"&lt;/node&gt;\"/>\n</node>",
       {{"id=4", "lat=1", "lon=2", "name=\"Chez\" &lt;x\xC3\xA9", "note=</node>"}}},
      {"missing end tag stops the scan",
       "<node id=\"5\" lat=\"1\" lon=\"2\">\n  <tag k=\"a\" v=\"b\"/>\n",
       {}},
      {"missing > stops the scan", "<node id=\"6\" lat=\"1\"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TWyPlaceResults results;
    ScanPlacesAnswer(c.Answer, 100, results);
    ASSERT_EQ(results.count(), static_cast<int>(c.Places.size()));
    for (int i = 0; i < results.count(); ++i) EXPECT_EQ(results.Items(i)->Data(), c.Places[i]);
  }

  TWyPlaceResults results;
  ScanPlacesAnswer("<node id=\"7\" lon=\"2.5\">\n</node>", 100, results);
  ASSERT_EQ(results.count(), 1);
  EXPECT_EQ(results.Items(0)->Latitude(), -1);
  EXPECT_EQ(results.Items(0)->Longitude(), 2.5);
  EXPECT_EQ(results.Items(0)->Names(1), "lon");
  EXPECT_EQ(results.Items(0)->Names(2), "");
}

}  // namespace
}  // namespace wy

// The map's routes: asked of the geolocalisation component with the route
// type, delivered in order to the map's handler, drawn as lines.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "map/map_control.h"
#include "map/map_observer.h"
#include "map_test_support.h"
#include "platform/window_thread.h"
#include "services/geo_localise.h"
#include "services/rate_limit.h"
#include "shapes/shape_line.h"
#include "shapes/shapes_group.h"
#include "support/route_answers.h"
#include "support/test_helpers.h"

namespace wy {
namespace {

using maptest::TTileFixture;
using test_support::PumpUntil;
using test_support::TScratchDir;

const char kRoutePath[] = "/directions/v1/route";

class MapRoutesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Server().Running());
    ResetEndpointSlots();
    SetEndpoint("mapquest-open", Server().BaseUrl());
    SetEndpoint("nominatim", Server().Url("/nominatim/v1"));
    Server().Serve(kRoutePath, test_support::kDirectionsBody, "application/json");
    Server().Serve("/nominatim/v1/search",
                   "<searchresults><place lat='48.85' lon='2.35' display_name='x'/>"
                   "</searchresults>",
                   "text/xml");
    FGeo = std::make_unique<TWyGeoLocalise>();
    FGeo->MapQuestServices().SetKey("K");
    FGeo->SetLocalCache(FCache.Path());
    FMap = std::make_unique<TWyVuroduDav>();
    FMap->SetGeoLocalise(FGeo.get());
  }
  void TearDown() override {
    FMap.reset();
    FGeo.reset();
    Server().ReleaseAll();
    ResetEndpointSlots();
  }
  TFixtureServer& Server() { return FTiles.Server(); }

  TTileFixture FTiles;
  TScratchDir FCache;
  std::unique_ptr<TWyGeoLocalise> FGeo;
  std::unique_ptr<TWyVuroduDav> FMap;
};

TEST_F(MapRoutesTest, BlockingRoutesCarryTheRouteTypeAndAddRouteDrawsThem) {
  auto route = FMap->GetRoutePathFrom({48.85, 2.35, 48.855, 2.355}, rtPedestrian, "&x=1");
  ASSERT_NE(route, nullptr);
  const TFixtureRequest sent = Server().RequestsTo(kRoutePath).at(0);
  EXPECT_EQ(sent.Param("from"), "48.85,2.35");
  EXPECT_EQ(sent.Param("to"), "48.855,2.355");
  EXPECT_EQ(sent.Param("locale"), "en_EN");
  EXPECT_EQ(sent.Param("routeType"), "pedestrian");
  EXPECT_EQ(sent.Param("x"), "1");
  EXPECT_EQ(route->count(), 3);
  EXPECT_EQ(route->Distance(), 1234);

  TWyRoutePath filled;
  ASSERT_TRUE(FMap->FillRoutePath(filled));
  EXPECT_EQ(filled.count(), 3);
  EXPECT_EQ(filled.Items(2)->Instructions(), "Arrive.");

  TVuroduDavObserver observer;
  std::vector<void*> added;
  observer.OnMapAddRoute = [&](void* line) { added.push_back(line); };
  FMap->Attach(&observer);
  TWyShapeLine* line = FMap->AddRoute(*route, "routes");
  FMap->Detach(&observer);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(added, std::vector<void*>{line});
  EXPECT_EQ(line->Group(), FMap->ShapesGroup().getShapes("routes"));
  ASSERT_EQ(line->Count(), 3);
  EXPECT_EQ(line->getPoints(0)->Text(), "Head north.");
  EXPECT_EQ(line->getPoints(2)->Distance(), 250);
  EXPECT_EQ(line->Duration(), 300);

  // Addresses, and what asks for nothing.
  Server().ClearRequests();
  EXPECT_NE(FMap->GetRoutePathByAdress("Paris", "Lyon", rtBicycle, ""), nullptr);
  EXPECT_EQ(Server().RequestsTo(kRoutePath).at(0).Param("routeType"), "bicycle");
  Server().ClearRequests();
  EXPECT_EQ(FMap->GetRoutePathFrom({1, 2, 3}, rtFastest, ""), nullptr);
  FMap->GetASyncRoutePathFrom({1, 2}, rtFastest, "");
  FMap->SetGeoLocalise(nullptr);
  EXPECT_EQ(FMap->GetRoutePathFrom({1, 2, 3, 4}, rtFastest, ""), nullptr);
  EXPECT_FALSE(FMap->FillRoutePath(filled));
  EXPECT_EQ(filled.count(), 0);
  WaitProcessing(20);
  EXPECT_EQ(Server().RequestCount(), 0u);
}

TEST_F(MapRoutesTest, QueuedRoutesReachTheMapInOrderWithTheirOwnText) {
  std::vector<std::string> texts;
  FMap->OnRoutePath = [&](TVuroduDavControl* sender, const std::string& params,
                          const TWyRoutePath& path) {
    EXPECT_EQ(sender, FMap.get());
    EXPECT_EQ(path.count(), 3);
    texts.push_back(params);
  };
  FMap->GetASyncRoutePathFrom({1, 2, 3, 4}, rtShortest, "");
  FMap->GetASyncRoutePathByAdress("Paris", "Lyon", rtFastest, "");
  ASSERT_TRUE(PumpUntil([&] { return texts.size() == 2; }));
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].compare(0, 16, "from=1,2&to=3,4&"), 0) << texts[0];
  EXPECT_NE(texts[0].find("&routeType=shortest"), std::string::npos);
  EXPECT_EQ(texts[1].compare(0, 12, "@Paris|Lyon@"), 0) << texts[1];
}

TEST_F(MapRoutesTest, AMapDestroyedWhileItsRouteIsHeldIsToldNothing) {
  Server().Stall(kRoutePath);
  int delivered = 0;
  FMap->OnRoutePath = [&](TVuroduDavControl*, const std::string&, const TWyRoutePath&) {
    ++delivered;
  };
  FMap->GetASyncRoutePathFrom({1, 2, 3, 4}, rtFastest, "");
  FMap->GetASyncRoutePathFrom({5, 6, 7, 8}, rtFastest, "");
  ASSERT_TRUE(Server().WaitForInFlight(1));
  FMap.reset();
  Server().Release(kRoutePath);
  ASSERT_TRUE(PumpUntil([&] { return FGeo->PendingRoutes() == 0; }));
  EXPECT_EQ(delivered, 0);
  // The route still queued for the map was never asked for.
  EXPECT_EQ(Server().RequestCount(kRoutePath), 1u);
}

}  // namespace
}  // namespace wy

#include "services/bing_services.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "geo/settings.h"
#include "platform/window_thread.h"
#include "services/geo_localise.h"
#include "support/fixture_server.h"
#include "support/held_resolver.h"
#include "support/test_helpers.h"

namespace wy {
namespace {

using test_support::PumpUntil;

const char kBoxPath[] = "/REST/v1/Traffic/Incidents/48.80000,2.30000,48.90000,2.40000";

const char kAnswer[] =
    "<Response><ResourceSets><ResourceSet><Resources>"
    "<TrafficIncident><Point><Latitude>48.85</Latitude><Longitude>2.35</Longitude></Point>"
    "<Severity>Serious</Severity><RoadClosed>false</RoadClosed>"
    "<Description>Accident; lane closed</Description></TrafficIncident>"
    "<TrafficIncident><Point><Latitude>48.86</Latitude><Longitude>2.36</Longitude></Point>"
    "<Severity>Minor</Severity><RoadClosed>TRUE</RoadClosed>"
    "<Description>&lt;img src=x onerror=alert(1)&gt;&amp;lt;b&amp;gt;closed</Description>"
    "</TrafficIncident>"
    "</Resources></ResourceSet></ResourceSets></Response>";

class BingServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FServer.Running());
    SetEndpoint("traffic", FServer.BaseUrl());
    SetServiceKey(skBing, "K");
    SetSetting("traffic.icon-base", "http://i/");
  }
  void TearDown() override {
    SetEndpoint("traffic", "");
    SetSetting("traffic.icon-base", "");
    SetServiceKey(skBing, "");
  }

  TFixtureServer FServer;
};

TEST_F(BingServicesTest, AreaRequestGivesMarkersThroughTheComponent) {
  FServer.Serve(kBoxPath, kAnswer, "application/xml");
  TWyGeoLocalise geo;
  std::vector<std::string> order;
  std::string text;
  geo.OnTrafficLayer = [&](TObject* sender, const std::string& value) {
    EXPECT_EQ(sender, &geo.Traffic());
    order.push_back("layer");
    text = value;
  };
  geo.OnTraffic = [&](TWyGeoLocalise* sender) {
    EXPECT_EQ(sender, &geo);
    order.push_back("traffic");
  };
  geo.TrafficArea(48.8, 2.3, 48.9, 2.4);
  ASSERT_TRUE(PumpUntil([&] { return order.size() == 2; }));
  EXPECT_EQ(order, (std::vector<std::string>{"layer", "traffic"}));
  ASSERT_EQ(FServer.RequestCount(), 1u);
  EXPECT_EQ(FServer.Requests()[0].Target, std::string(kBoxPath) + "?o=xml&key=K");
  // Neither the decoded "<img ...>" nor the twice-encoded "<b>" of the
  // second description may come back as a tag (info windows decode no
  // entities, so "&lt;" stays text).
  EXPECT_EQ(text,
            "[markers]\r\n"
            "lng=2.35;lat=48.85;clickable=true;icon=http://i/stop.png;"
            "title=Accident#59# lane closed\r\n"
            "lng=2.36;lat=48.86;clickable=true;icon=http://i/closedroad.png;"
            "title=\u2039img src#61#x onerror#61#alert(1)\u203A&lt#59#b&gt#59#closed\r\n"
            "\r\n");
  EXPECT_EQ(geo.TrafficTxtResults(), text);
  EXPECT_EQ(geo.TrafficXmlResults(), kAnswer);
  EXPECT_EQ(geo.Traffic().Status(), "OK");
}

TEST_F(BingServicesTest, QueuedRequestsRunOneAtATimeInOrder) {
  FServer.Serve("/REST/v1/Traffic/Incidents/a", kAnswer, "application/xml");
  FServer.ServeStatus("/REST/v1/Traffic/Incidents/b", 500);
  FServer.Serve("/REST/v1/Traffic/Incidents/c", "<Response></Response>", "application/xml");
  TBingServices bing;
  std::vector<std::string> seen;
  bing.OnTraffic = [&](TBingServices* sender) {
    seen.push_back(sender->Params() + ":" + std::to_string(sender->TrafficTxtResults().size()) +
                   ":" + std::to_string(sender->TrafficXmlResults().empty()));
  };
  bing.AsyncTraffic("a\r\nb");
  bing.AsyncTraffic("c");
  EXPECT_TRUE(bing.Busy());
  ASSERT_TRUE(PumpUntil([&] { return seen.size() == 3; }));
  WaitProcessing(50);
  EXPECT_FALSE(bing.Busy());
  const std::string markers = std::to_string(TrafficXmlToMarkers(kAnswer, bing.Icons()).size());
  // A failed request and one without incident fire too, with empty results
  // (an answer without incident keeps only its raw text).
  EXPECT_EQ(seen, (std::vector<std::string>{"a:" + markers + ":0", "b:0:1", "c:0:0"}));
  EXPECT_EQ(FServer.MaxInFlight(), 1);
  const auto requests = FServer.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].Path, "/REST/v1/Traffic/Incidents/a");
  EXPECT_EQ(requests[2].Path, "/REST/v1/Traffic/Incidents/c");
  EXPECT_EQ(bing.TrafficResults(), "xml=<Response></Response>\r\n");
}

TEST_F(BingServicesTest, WithoutServiceNothingIsSentAndTheCallFailsAtOnce) {
  SetEndpoint("traffic", "");
  TBingServices bing;
  EXPECT_FALSE(bing.Traffic("48.8,2.3,48.9,2.4?o=xml&key=K"));
  EXPECT_EQ(bing.Status(), TBingServices::kStatusNoService);
  int events = 0;
  bing.OnTraffic = [&](TBingServices*) { ++events; };
  bing.AsyncTraffic("48.8,2.3,48.9,2.4?o=xml&key=K");
  ASSERT_TRUE(PumpUntil([&] { return events == 1; }));
  EXPECT_EQ(bing.Status(), TBingServices::kStatusNoService);
  EXPECT_EQ(bing.TrafficTxtResults(), "");
  EXPECT_EQ(FServer.RequestCount(), 0u);
}

TEST_F(BingServicesTest, EmptyBodyIsAFailure) {
  FServer.Serve(kBoxPath, "", "application/xml");
  TBingServices bing;
  EXPECT_FALSE(bing.Traffic("48.80000,2.30000,48.90000,2.40000?o=xml&key=K"));
  EXPECT_NE(bing.Status().find("ERROR"), std::string::npos);
  EXPECT_EQ(bing.TrafficResults(), "");
}

TEST_F(BingServicesTest, DestroyingWhileTheRequestStallsReturnsAndFiresNothing) {
  FServer.Stall(kBoxPath);
  int events = 0;
  auto bing = std::make_unique<TBingServices>();
  bing->OnTraffic = [&](TBingServices*) { ++events; };
  bing->AsyncTraffic("48.80000,2.30000,48.90000,2.40000?o=xml&key=K\r\nnext");
  ASSERT_TRUE(FServer.WaitForInFlight(1));
  // The answer is held until after the reset: returning at all shows the
  // transfer was cut rather than waited for.
  bing.reset();
  FServer.Release(kBoxPath);
  WaitProcessing(100);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(FServer.RequestCount(), 1u);  // the queued request was dropped
}

TEST_F(BingServicesTest, DestroyingWhileTheNameLookupHangsReturns) {
  THeldResolver resolver("held.test");
  SetEndpoint("traffic", "http://held.test");
  int events = 0;
  auto bing = std::make_unique<TBingServices>();
  bing->OnTraffic = [&](TBingServices*) { ++events; };
  bing->AsyncTraffic("48.80000,2.30000,48.90000,2.40000?o=xml&key=K");
  ASSERT_TRUE(resolver.WaitUntilHolding());
  bing.reset();
  EXPECT_TRUE(resolver.Holding());  // returned while the lookup is still held
  resolver.Release();
  WaitProcessing(50);
  EXPECT_EQ(events, 0);
}

}  // namespace
}  // namespace wy

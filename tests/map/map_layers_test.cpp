// The map's traffic and photo layers: their requests as the map moves, the
// markers they show, a click on a photo, and the switches in the map's text.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "geo/settings.h"
#include "geo/text_convert.h"
#include "map/map_control.h"
#include "map/native_panoramio_layer.h"
#include "map/traffic_icons.h"
#include "map/traffic_layer.h"
#include "map_test_support.h"
#include "platform/tick.h"
#include "services/geo_localise.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_marker.h"
#include "shapes/shapes_group.h"
#include "support/image_helpers.h"

namespace wy {
namespace {

using maptest::PumpUntil;

const char kIncidentsPrefix[] = "/REST/v1/Traffic/Incidents/";
const char kPhotosPath[] = "/map/get_panoramas.php";

// Two incidents around (lat, lng); the second one's description is hostile
// (a tag written twice encoded, which reading the marker text decodes once).
std::string IncidentAnswer(double lat, double lng) {
  const auto incident = [](double la, double ln, const char* severity, const char* text) {
    return "<TrafficIncident><Point><Latitude>" + FloatToStrDot(la) + "</Latitude><Longitude>" +
           FloatToStrDot(ln) + "</Longitude></Point><Severity>" + severity +
           "</Severity><RoadClosed>false</RoadClosed><Description>" + text +
           "</Description></TrafficIncident>";
  };
  return "<Response><ResourceSets><ResourceSet><Resources>" +
         incident(lat, lng, "Serious", "Accident; lane closed") +
         incident(lat + 0.001, lng, "LowImpact", "&amp;lt;img src=x&amp;gt;Works") +
         "</Resources></ResourceSet></ResourceSets></Response>";
}

class MapLayersTest : public maptest::TMapWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FServer.Running());
    SetEndpoint("traffic", FServer.BaseUrl());
    SetEndpoint("photos", FServer.BaseUrl());
    SetServiceKey(skBing, "K");
    FServer.HandlePrefix(kIncidentsPrefix,
                         [this](const TFixtureRequest& request, httplib::Response& response) {
                           if (FHoldTraffic) FServer.WaitRelease("traffic", 20000);
                           (void)request;
                           response.set_content(IncidentAnswer(FLat, FLng), "application/xml");
                         });
    MakeMap(600, 400);
    const TLatLng c = FMap->FromXYToLatLng(300, 200);
    FLat = c.Lat;
    FLng = c.Lng;
    FGeo = std::make_unique<TWyGeoLocalise>();
    FMap->SetGeoLocalise(FGeo.get());
    FMap->OnTraffic = [this](TObject*) { ++FTrafficEvents; };
  }
  void TearDown() override {
    FServer.ReleaseAll();
    TMapWindowTest::TearDown();
    FGeo.reset();
    SetEndpoint("traffic", "");
    SetEndpoint("photos", "");
    SetServiceKey(skBing, "");
  }

  size_t TrafficRequests() const {
    size_t n = 0;
    for (const auto& r : FServer.Requests())
      if (r.Path.rfind(kIncidentsPrefix, 0) == 0) ++n;
    return n;
  }
  // The request of the incidents of the current view.
  std::string ViewRequest() const {
    return std::string(kIncidentsPrefix) +
           TWyGeoLocalise::TrafficAreaParams(FMap->SouthWestLatitude(), FMap->SouthWestLongitude(),
                                             FMap->NorthEastLatitude(), FMap->NorthEastLongitude());
  }
  TWyShapes* TrafficGroup() { return FMap->ShapesGroup().getShapes(TWyTrafficLayer::kGroupName); }

  TFixtureServer FServer;
  std::atomic<bool> FHoldTraffic{false};
  double FLat = 0, FLng = 0;
  std::unique_ptr<TWyGeoLocalise> FGeo;
  int FTrafficEvents = 0;
};

TEST_F(MapLayersTest, TrafficShowsTheIncidentsOfTheViewWithNeutralisedHints) {
  FMap->SetTrafficLayer(true);
  ASSERT_TRUE(PumpUntil([&] { return FTrafficEvents == 1; }));
  ASSERT_EQ(TrafficRequests(), 1u);
  const TFixtureRequest request = FServer.Requests()[0];
  EXPECT_EQ(request.Target, ViewRequest());
  TWyShapes* group = TrafficGroup();
  EXPECT_TRUE(group->Visible());
  EXPECT_FALSE(group->Serialize());
  EXPECT_EQ(group->Zindex(), -1);
  ASSERT_EQ(group->Markers()->Count(), 2);
  auto* serious = dynamic_cast<TWyShapeMarker*>(group->Markers()->Items(0));
  auto* works = dynamic_cast<TWyShapeMarker*>(group->Markers()->Items(1));
  EXPECT_EQ(serious->Hint(), "Accident; lane closed");
  // The map's own icons stand in for the unset icon addresses.
  EXPECT_EQ(serious->Filename(), DrawnTrafficIcons().serious);
  EXPECT_EQ(works->Filename(), DrawnTrafficIcons().low_impact);
  EXPECT_EQ(works->Hint().find('<'), std::string::npos);
  EXPECT_NE(works->Hint().find("img src=x"), std::string::npos);
  EXPECT_TRUE(FMap->ShapesGroup().TrafficLayer());

  // Hidden: the incidents go, no request follows a move.
  FMap->SetTrafficLayer(false);
  EXPECT_EQ(group->Markers()->Count(), 0);
  FMap->setCenter(FLat + 0.01, FLng);
  WaitProcessing(50);
  EXPECT_EQ(TrafficRequests(), 1u);
}

TEST_F(MapLayersTest, TrafficRequestsAreThrottledAndAMoveDuringOneIsFetchedAfterIt) {
  std::atomic<uint32_t> now{100000};
  TScopedTickSource tick([&] { return now.load(); });
  FMap->SetTrafficLayer(true);
  ASSERT_TRUE(PumpUntil([&] { return FTrafficEvents == 1; }));

  // Two moves within 250 ms make one request: the second is not sent ...
  now += 100;
  FMap->setCenter(FLat + 0.001, FLng);
  now += 100;
  FMap->setCenter(FLat + 0.002, FLng);
  WaitProcessing(50);
  EXPECT_EQ(TrafficRequests(), 1u);
  // ... until a move after the interval.
  now += 300;
  FMap->setCenter(FLat + 0.003, FLng);
  ASSERT_TRUE(PumpUntil([&] { return FTrafficEvents == 2; }));
  EXPECT_EQ(TrafficRequests(), 2u);

  // A move while a request runs is fetched once it is answered, for the
  // view of then.
  FHoldTraffic = true;
  FServer.Hold("traffic");
  now += 1000;
  FMap->setCenter(FLat + 0.004, FLng);
  ASSERT_TRUE(FServer.WaitForRequests(3));
  now += 1000;
  FMap->setCenter(FLat + 0.005, FLng);
  now += 1000;
  FMap->setCenter(FLat + 0.006, FLng);
  WaitProcessing(50);
  EXPECT_EQ(TrafficRequests(), 3u);
  FHoldTraffic = false;
  FServer.Release("traffic");
  ASSERT_TRUE(PumpUntil([&] { return FTrafficEvents == 4; }));
  WaitProcessing(50);
  EXPECT_EQ(TrafficRequests(), 4u);
  const auto requests = FServer.Requests();
  EXPECT_EQ(requests.back().Target, ViewRequest());
}

TEST_F(MapLayersTest, PhotosAreShownOnceAndAClickOpensTheirInfoWindow) {
  const TLatLng at = FMap->FromXYToLatLng(450, 200);
  const std::string photos =
      "{\"has_more\":false,\"photos\":[{\"upload_date\":\"12 May 2009\",\"owner_name\":\"Jean\","
      "\"photo_id\":532693,\"longitude\":" +
      FloatToStrDot(at.Lng) +
      ",\"photo_title\":\"caf\\u00e9 <b>\",\"owner_id\":12345,"
      "\"latitude\":" +
      FloatToStrDot(at.Lat) + ",\"photo_file_url\":\"" + FServer.BaseUrl() +
      "/photos/medium/532693.jpg\"}]}";
  FServer.Serve(kPhotosPath, photos, "application/json");
  FServer.Serve("/photos/mini_square/532693.jpg", SolidPng(qRgb(0, 128, 255), 16, 16), "image/png");
  int pages = 0;
  FMap->OnPanoramio = [&](TObject* sender) {
    EXPECT_EQ(sender, FMap->NativePanoramioLayer());
    ++pages;
  };
  std::vector<std::string> clicked;
  FMap->OnPanoramioClick = [&](TObject* sender, TWyShape*, const std::string& ownerId,
                               const std::string& ownerName, const std::string& id,
                               const std::string& date, const std::string& title,
                               const std::string& url, const std::string&) {
    EXPECT_EQ(sender, FMap);
    clicked = {ownerId, ownerName, id, date, title, url};
  };
  FMap->SetPanoramioLayer(true);
  ASSERT_TRUE(PumpUntil([&] { return pages == 1; }));
  TWyShapes* group = FMap->ShapesGroup().getShapes(TWyNativePanoramioLayer::kGroupName);
  ASSERT_EQ(group->Markers()->Count(), 1);
  auto* marker = dynamic_cast<TWyShapeMarker*>(group->Markers()->Items(0));
  EXPECT_EQ(marker->Filename(), FServer.BaseUrl() + "/photos/mini_square/532693.jpg");
  EXPECT_EQ(marker->Color(), TWyNativePanoramioLayer::kMarkerColor);
  EXPECT_EQ(marker->Hint(),
            "caf\xC3\xA9 \u2039"
            "b\u203A");
  EXPECT_FALSE(group->Serialize());

  // A later page with the same photo adds nothing (after the throttle).
  std::atomic<uint32_t> now{TickCount() + 1000};
  TScopedTickSource tick([&] { return now.load(); });
  FMap->setCenter(FMap->Latitude(), FMap->Longitude());
  ASSERT_TRUE(PumpUntil([&] { return pages == 2; }));
  EXPECT_EQ(group->Markers()->Count(), 1);

  // A click on the photo: the event with its details, and its info window.
  const QPoint spot(450, 195);
  ASSERT_TRUE(PumpUntil([&] {
    FMap->RedrawMap(false);
    maptest::Pointer::mouseMove(FMap, spot);
    return FMap->ShapesGroup().ShapeHover() == marker;
  }));
  maptest::Pointer::mousePress(FMap, Qt::LeftButton, Qt::NoModifier, spot);
  maptest::Pointer::mouseRelease(FMap, Qt::LeftButton, Qt::NoModifier, spot);
  EXPECT_EQ(clicked, (std::vector<std::string>{"12345", "Jean", "532693", "12 May 2009",
                                               "caf\xC3\xA9 \u2039"
                                               "b\u203A",
                                               FServer.BaseUrl() + "/photos/medium/532693.jpg"}));
  TWyShapeInfoWindow* info = FMap->NativePanoramioLayer()->InfoWindow();
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->Visible());
  EXPECT_NE(info->Content().find("/photos/thumbnail/532693.jpg"), std::string::npos);
  EXPECT_NE(info->Content().find("/photo/532693"), std::string::npos);
  EXPECT_EQ(info->Content().find("<b>caf\xC3\xA9 <"), std::string::npos);

  // Hidden: no event for a page, no request for a move.
  FMap->SetPanoramioLayer(false);
  EXPECT_FALSE(group->Visible());
  const size_t requests = FServer.RequestCount(kPhotosPath);
  now += 1000;
  FMap->setCenter(FMap->Latitude() + 0.01, FMap->Longitude());
  WaitProcessing(50);
  EXPECT_EQ(FServer.RequestCount(kPhotosPath), requests);
  // Shown again: one layer, searching at once.
  TWyNativePanoramioLayer* layer = FMap->NativePanoramioLayer();
  FMap->SetPanoramioLayer(true);
  EXPECT_EQ(FMap->NativePanoramioLayer(), layer);
  ASSERT_TRUE(PumpUntil([&] { return pages == 3; }));
}

TEST_F(MapLayersTest, PhotoSearchesAreThrottledAndAMoveDuringOneIsSearchedAfterIt) {
  FServer.Serve(kPhotosPath, "{\"photos\":[]}", "application/json");
  std::atomic<uint32_t> now{100000};
  TScopedTickSource tick([&] { return now.load(); });
  int pages = 0;
  FMap->OnPanoramio = [&](TObject*) { ++pages; };
  FMap->SetPanoramioLayer(true);
  ASSERT_TRUE(PumpUntil([&] { return pages == 1; }));
  now += 100;
  FMap->setCenter(FLat + 0.001, FLng);
  now += 100;
  FMap->setCenter(FLat + 0.002, FLng);
  WaitProcessing(50);
  EXPECT_EQ(FServer.RequestCount(kPhotosPath), 1u);
  now += 300;
  FMap->setCenter(FLat + 0.003, FLng);
  ASSERT_TRUE(PumpUntil([&] { return pages == 2; }));

  FServer.Stall(kPhotosPath);
  now += 1000;
  FMap->setCenter(FLat + 0.004, FLng);
  ASSERT_TRUE(FServer.WaitForInFlight(1));
  now += 1000;
  FMap->setCenter(FLat + 0.005, FLng);
  now += 1000;
  FMap->setCenter(FLat + 0.006, FLng);
  WaitProcessing(50);
  EXPECT_EQ(FServer.RequestCount(kPhotosPath), 3u);
  FServer.Serve(kPhotosPath, "{\"photos\":[]}", "application/json");
  FServer.Release(kPhotosPath);
  ASSERT_TRUE(PumpUntil([&] { return pages == 4; }));
  WaitProcessing(50);
  const auto requests = FServer.RequestsTo(kPhotosPath);
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests.back().Param("miny"), FloatToStrDot(FMap->SouthWestLatitude()));
}

TEST_F(MapLayersTest, LayerSwitchesSurviveSaveAndLoadAndAreWrittenOnlyWhenOn) {
  const std::string plain = FMap->ToTxt();
  EXPECT_EQ(plain.find("traffic="), std::string::npos);
  EXPECT_EQ(plain.find("photos="), std::string::npos);
  FMap->SetTrafficLayer(true);
  FMap->SetPanoramioLayer(true);
  const std::string text = FMap->ToTxt();
  EXPECT_NE(text.find("tileserver=osm\r\ntraffic=true\r\nphotos=true\r\n"), std::string::npos);
  // The layers' own groups are not saved.
  EXPECT_EQ(text.find("_traffic_"), std::string::npos);
  EXPECT_EQ(text.find("_panoramio_"), std::string::npos);

  TWyVuroduDav other;
  other.resize(400, 300);
  other.SetToTxt(text);
  EXPECT_TRUE(other.TrafficLayer());
  EXPECT_TRUE(other.PanoramioLayer());
  EXPECT_EQ(other.ToTxt().substr(0, 120), text.substr(0, 120));
  other.SetToTxt(plain);
  EXPECT_FALSE(other.TrafficLayer());
  EXPECT_FALSE(other.PanoramioLayer());
  FMap->SetTrafficLayer(false);
  FMap->SetPanoramioLayer(false);
  EXPECT_EQ(FMap->ToTxt(), plain);
}

TEST_F(MapLayersTest, ClosingTheMapWhileBothRequestsStallReturns) {
  FServer.Stall(kPhotosPath);
  FHoldTraffic = true;
  FServer.Hold("traffic");
  FMap->SetTrafficLayer(true);
  FMap->SetPanoramioLayer(true);
  ASSERT_TRUE(FServer.WaitForRequests(2));
  // Both answers are held until after the map is gone.
  FWindow.reset();
  FGeo.reset();
  FServer.ReleaseAll();
  WaitProcessing(100);
  EXPECT_EQ(FTrafficEvents, 0);
}

}  // namespace
}  // namespace wy

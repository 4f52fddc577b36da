#include "services/native_panoramio.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "geo/geodesy.h"
#include "geo/settings.h"
#include "geo/text_convert.h"
#include "platform/window_thread.h"
#include "support/fixture_server.h"
#include "support/held_resolver.h"
#include "support/test_helpers.h"

namespace wy {
namespace {

using test_support::PumpUntil;

const char kPath[] = "/map/get_panoramas.php";

std::string Photo(const std::string& id, const std::string& title, const std::string& lng,
                  const std::string& lat) {
  return "{\"upload_date\":\"12 May 2009\",\"owner_name\":\"Jean\",\"photo_id\":" + id +
         ",\"longitude\":" + lng + ",\"photo_title\":\"" + title +
         "\",\"owner_id\":12345,\"latitude\":" + lat +
         ",\"photo_file_url\":\"http://H/photos/medium/" + id + ".jpg\"}";
}

// First page: two photos and more to come; second page: one photo, the
// last of all, whose last value is a number.
const std::string kPage1 = "{\"count\":3,\"has_more\":true,\"photos\":[" +
                           Photo("532693", "caf\\u00e9", "2.3522", "48.8566") + "," +
                           Photo("532694", "<img src=x onerror=alert(1)> #13#", "2.35", "48.85") +
                           "]}";
const std::string kPage2 =
    "{\"count\":3,\"has_more\":false,\"photos\":[{\"upload_date\":\"1 Jan 2010\",\"photo_id\":7,"
    "\"photo_title\":\"Tour\",\"photo_file_url\":\"http://H/photos/medium/7.jpg\","
    "\"longitude\":2.1,\"latitude\":48.123456}]}";

class NativePanoramioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FServer.Running());
    SetEndpoint("photos", FServer.BaseUrl());
    FServer.Handle(kPath, [](const TFixtureRequest& request, httplib::Response& response) {
      response.set_content(request.Param("from") == "0" ? kPage1 : kPage2, "application/json");
    });
    FPhotos = std::make_unique<TWyNativePanoramio>();
    FPhotos->OnPanoramio = [this](TWyNativePanoramio*) { ++FEvents; };
  }
  void TearDown() override {
    FPhotos.reset();
    SetEndpoint("photos", "");
  }

  bool WaitEvents(int count) {
    return PumpUntil([&] { return FEvents >= count; });
  }

  TFixtureServer FServer;
  std::unique_ptr<TWyNativePanoramio> FPhotos;
  int FEvents = 0;
};

TEST_F(NativePanoramioTest, SearchAtAsksForTheCircleBoxAndReadsThePage) {
  FPhotos->SearchAt(48.8566, 2.3522, 1);
  ASSERT_TRUE(WaitEvents(1));
  double latSW, lngSW, latNE, lngNE;
  boundingCoordinates(48.8566, 2.3522, 1, latSW, lngSW, latNE, lngNE);
  ASSERT_EQ(FServer.RequestCount(), 1u);
  EXPECT_EQ(FServer.Requests()[0].Target,
            std::string(kPath) +
                "?order=popularity&set=full&from=0&to=100&minx=" + FloatToStrDot(lngSW) +
                "&miny=" + FloatToStrDot(latSW) + "&maxx=" + FloatToStrDot(lngNE) +
                "&maxy=" + FloatToStrDot(latNE) + "&size=medium&mapfilter=true");
  EXPECT_NEAR(latNE - 48.8566, 0.0090, 0.0001);
  EXPECT_NEAR(lngNE - 2.3522, 0.0137, 0.0001);

  EXPECT_EQ(FPhotos->Status(), "OK");
  EXPECT_TRUE(FPhotos->HasMore());
  ASSERT_EQ(FPhotos->count(), 2);  // the last photo of the page is kept
  EXPECT_EQ(FPhotos->PhotoTitle(0), "caf\xC3\xA9");
  EXPECT_EQ(FPhotos->PhotoId(0), "532693");
  EXPECT_EQ(FPhotos->PhotoDate(0), "12 May 2009");
  EXPECT_EQ(FPhotos->OwnerId(0), "12345");
  EXPECT_EQ(FPhotos->OwnerName(0), "Jean");
  EXPECT_EQ(FPhotos->Longitude(0), 2.3522);
  EXPECT_EQ(FPhotos->Latitude(1), 48.85);
  EXPECT_EQ(FPhotos->PhotoTitle(1), "\u2039img src=x onerror=alert(1)\u203A #13#");
  EXPECT_EQ(FPhotos->PhotoSize(0, pimMedium), "http://H/photos/medium/532693.jpg");
  EXPECT_EQ(FPhotos->PhotoSize(0, pimOriginal), "http://H/photos/original/532693.jpg");
  EXPECT_EQ(FPhotos->PhotoSize(0, pimMini_square), "http://H/photos/mini_square/532693.jpg");
  EXPECT_EQ(FPhotos->HtmlCopyright(0),
            "<div><a style=\"text-decoration:none\" href=\"" + FServer.BaseUrl() +
                "/photo/532693\"><img style=\"vertical-align:baseline;border-top-width:0px; "
                "border-right-width:0px; border-bottom-width:0px; border-left-width:0px\" src=\"" +
                FServer.BaseUrl() + "/img/iw_panoramio.png\"></a></div>");
  // Outside the page.
  EXPECT_EQ(FPhotos->PhotoTitle(2), "");
  EXPECT_EQ(FPhotos->PhotoTitle(-1), "");
  EXPECT_EQ(FPhotos->Latitude(-1), -1);
  EXPECT_EQ(FPhotos->PhotoSize(5, pimOriginal), "");
  EXPECT_EQ(FPhotos->HtmlCopyright(2), "");
}

TEST_F(NativePanoramioTest, NextPageOnlyWhenThereIsMoreAndUserIdSetsTheSet) {
  FPhotos->SetUserId("12345");
  FPhotos->SearchAt(48.8566, 2.3522, 1);
  ASSERT_TRUE(WaitEvents(1));
  FPhotos->NextSearch();
  ASSERT_TRUE(WaitEvents(2));
  const auto requests = FServer.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Param("set"), "12345");
  EXPECT_EQ(requests[1].Param("from"), "100");
  EXPECT_EQ(requests[1].Param("to"), "200");
  ASSERT_EQ(FPhotos->count(), 1);
  EXPECT_EQ(FPhotos->Latitude(0), 48.123456);  // a number at the end, read whole
  EXPECT_EQ(FPhotos->OwnerName(0), "");        // missing key
  EXPECT_FALSE(FPhotos->HasMore());
  FPhotos->NextSearch();
  WaitProcessing(50);
  EXPECT_EQ(FServer.RequestCount(), 2u);
  EXPECT_EQ(FEvents, 2);
}

TEST_F(NativePanoramioTest, SearchesDuringARunGiveOneFreshRequestAfterIt) {
  FServer.Stall(kPath);
  FPhotos->SearchAt(48.8566, 2.3522, 1);
  ASSERT_TRUE(FServer.WaitForInFlight(1));
  EXPECT_TRUE(FPhotos->IsSearch());
  FPhotos->SetLatSW(10);
  FPhotos->Search();
  FPhotos->SetLatSW(11);
  FPhotos->Search();
  WaitProcessing(50);
  EXPECT_EQ(FServer.RequestCount(), 1u);
  FServer.RemoveRoute(kPath);
  FServer.Release(kPath);
  ASSERT_TRUE(WaitEvents(2));
  ASSERT_TRUE(PumpUntil([&] { return !FPhotos->IsSearch(); }));
  WaitProcessing(50);
  const auto requests = FServer.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].Param("from"), "0");
  EXPECT_EQ(requests[1].Param("miny"), "11");
  EXPECT_EQ(FEvents, 2);
}

TEST_F(NativePanoramioTest, ACachedPageFiresLikeAFetchAndKeysOnBoxSetAndStart) {
  FPhotos->SearchAt(48.8566, 2.3522, 1);
  ASSERT_TRUE(WaitEvents(1));
  FPhotos->NextSearch();
  ASSERT_TRUE(WaitEvents(2));
  FPhotos->SearchAt(48.8566, 2.3522, 1);
  EXPECT_EQ(FEvents, 2);  // the hit is delivered through the queue, like a fetch
  ASSERT_TRUE(WaitEvents(3));
  EXPECT_EQ(FServer.RequestCount(), 2u);
  EXPECT_EQ(FPhotos->count(), 2);
  EXPECT_TRUE(FPhotos->HasMore());  // stored with the page
  EXPECT_EQ(FPhotos->PhotoTitle(0), "caf\xC3\xA9");
  EXPECT_EQ(FPhotos->PhotoTitle(1), "\u2039img src=x onerror=alert(1)\u203A #13#");  // kept as is
  FPhotos->NextSearch();  // the second page is cached under its own start
  ASSERT_TRUE(WaitEvents(4));
  EXPECT_EQ(FServer.RequestCount(), 2u);
  EXPECT_EQ(FPhotos->count(), 1);
  FPhotos->SetUserId("42");  // another set is another page
  FPhotos->Search();
  ASSERT_TRUE(WaitEvents(5));
  EXPECT_EQ(FServer.RequestCount(), 3u);
}

TEST_F(NativePanoramioTest, FailuresGiveNoPhotosFireAndAreNotCached) {
  FServer.ServeStatus(kPath, 500);
  FPhotos->SearchAt(48.8566, 2.3522, 1);
  ASSERT_TRUE(WaitEvents(1));
  EXPECT_EQ(FPhotos->count(), 0);
  EXPECT_NE(FPhotos->Status().find("ERROR"), std::string::npos);
  FPhotos->Search();
  ASSERT_TRUE(WaitEvents(2));
  EXPECT_EQ(FServer.RequestCount(), 2u);

  SetEndpoint("photos", "");
  FPhotos->Search();
  ASSERT_TRUE(WaitEvents(3));
  EXPECT_EQ(FPhotos->Status(), TWyNativePanoramio::kStatusNoService);
  EXPECT_EQ(FServer.RequestCount(), 2u);
}

TEST_F(NativePanoramioTest, UnsafePhotoIdGivesNoCopyrightLink) {
  FServer.Handle(kPath, [](const TFixtureRequest&, httplib::Response& response) {
    response.set_content(
        "{\"photos\":[{\"photo_id\":\"1\\\"><script>x</script>\",\"photo_title\":\"a\"}]}",
        "application/json");
  });
  FPhotos->Search();
  ASSERT_TRUE(WaitEvents(1));
  ASSERT_EQ(FPhotos->count(), 1);
  EXPECT_EQ(FPhotos->HtmlCopyright(0), "");
}

TEST_F(NativePanoramioTest, DestroyingWhileTheRequestStallsReturnsAndFiresNothing) {
  FServer.Stall(kPath);
  FPhotos->Search();
  ASSERT_TRUE(FServer.WaitForInFlight(1));
  // The answer is held until after the reset: returning at all shows the
  // transfer was cut rather than waited for.
  FPhotos.reset();
  FServer.Release(kPath);
  WaitProcessing(100);
  EXPECT_EQ(FEvents, 0);
}

TEST_F(NativePanoramioTest, DestroyingWhileTheNameLookupHangsReturns) {
  THeldResolver resolver("held.test");
  SetEndpoint("photos", "http://held.test");
  FPhotos->Search();
  ASSERT_TRUE(resolver.WaitUntilHolding());
  FPhotos.reset();
  EXPECT_TRUE(resolver.Holding());  // returned while the lookup is still held
  resolver.Release();
  WaitProcessing(50);
  EXPECT_EQ(FEvents, 0);
}

}  // namespace
}  // namespace wy

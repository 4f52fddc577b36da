#include "services/geocoding.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "geo/settings.h"
#include "services/mapquest_services.h"
#include "support/fixture_server.h"
#include "support/service_answers.h"
#include "support/test_helpers.h"

namespace wy {
namespace {

using test_support::kNoPlaceBody;
using test_support::kReverseBody;
using test_support::kReverseErrorBody;
using test_support::kSearchBody;

using test_support::PumpUntil;
using test_support::TScratchDir;

TEST(GeocodingParse, SearchAnswerGivesPlacesInOrderWithDecodedValues) {
  TServiceResultList results;
  ASSERT_TRUE(ParseSearchAnswer(kSearchBody, results));
  ASSERT_EQ(results.Count(), 3);
  EXPECT_EQ(results.Strings(0), "L'Arc, Paris");
  EXPECT_EQ(results.Strings(1), "Caf\xC3\xA9 A & B, Rue \"X\"");
  EXPECT_EQ(results.Strings(2), "Third");

  TNominatimResult view;
  view.SetDataList(results.Objects(0).get());
  EXPECT_EQ(view.Place_id(), "1");
  EXPECT_EQ(view.Osm_type(), "node");
  EXPECT_EQ(view.Osm_id(), "42");
  EXPECT_EQ(view.Place_rank(), "30");
  EXPECT_EQ(view.BoundingBox(), "48.81,48.90,2.22,2.46");
  EXPECT_DOUBLE_EQ(view.Latitude(), 48.8566);
  EXPECT_DOUBLE_EQ(view.Longitude(), 2.3522);
  EXPECT_EQ(view.Display_name(), "L'Arc, Paris");
  EXPECT_EQ(view.Place_type(), "attraction");
  EXPECT_EQ(view.Icon(), "http://h/a.png");
  EXPECT_TRUE(view.Error());          // no "error" attribute
  EXPECT_EQ(view.Value("city"), "");  // child elements are not attributes

  // A self-closing place keeps its last value whole.
  view.SetDataList(results.Objects(1).get());
  EXPECT_EQ(view.Place_type(), "cafe");
  EXPECT_DOUBLE_EQ(view.Latitude(), 48.1);

  // Empty and unreadable coordinates read as -1.
  view.SetDataList(results.Objects(2).get());
  EXPECT_DOUBLE_EQ(view.Latitude(), -1);
  EXPECT_DOUBLE_EQ(view.Longitude(), -1);

  EXPECT_FALSE(ParseSearchAnswer(kNoPlaceBody, results));
  EXPECT_EQ(results.Count(), 0);
  // A place cut off at the end of the answer does not overrun it.
  EXPECT_TRUE(ParseSearchAnswer("<place display_name='X' lat='1", results));
  EXPECT_EQ(results.Strings(0), "X");
}

TEST(GeocodingParse, ErrorIsFalseOnlyForZero) {
  TServiceResultList results;
  ParseSearchAnswer("<place error='0' a='1'><place error='1' a='1'><place error='00' a='1'>",
                    results);
  ASSERT_EQ(results.Count(), 3);
  const bool expected[] = {false, true, true};
  for (int i = 0; i < 3; ++i) {
    TNominatimResult view;
    view.SetDataList(results.Objects(i).get());
    EXPECT_EQ(view.Error(), expected[i]) << i;
  }
}

TEST(GeocodingParse, ReverseAnswer) {
  TAttributeList list;
  const std::string body = kReverseBody;
  ParseReverseAnswer(&body, list);
  TNominatimResult view;
  view.SetDataList(&list);
  EXPECT_EQ(view.Place_id(), "9");
  EXPECT_DOUBLE_EQ(view.Latitude(), 48.85);
  EXPECT_DOUBLE_EQ(view.Longitude(), 2.35);
  EXPECT_EQ(view.Display_name(), "10 Rue X & Y, Paris");
  EXPECT_EQ(list.Values("count"), "5");
  // The stored answer holds no raw line break or "="; Xml gives it back
  // without its line feeds.
  EXPECT_EQ(list.Values("xml").find_first_of("\r\n="), std::string::npos);
  std::string flat = body;
  flat.erase(std::remove(flat.begin(), flat.end(), '\n'), flat.end());
  EXPECT_EQ(view.Xml(), flat);

  const std::string error = kReverseErrorBody;
  ParseReverseAnswer(&error, list);
  EXPECT_EQ(list.Text(), "count=0\r\n");
  EXPECT_EQ(view.Display_name(), "");
  ParseReverseAnswer(nullptr, list);
  EXPECT_EQ(list.Text(), "count=0\r\n");
}

TEST(GeocodingText, NormalizesTheAddressValueOnly) {
  const struct {
    const char* In;
    const char* Out;
  } cases[] = {
      {"Saint-\xC3\x89tienne", "SAINT-ETIENNE"},
      {"Saint-%C3%89tienne", "SAINT-ETIENNE"},
      {"caf\xC3\xA9&countrycodes=fr&key=abC", "CAFE&countrycodes=fr&key=abC"},
      {"AT%26T%20tower+1", "AT%26T%20TOWER%201"},  // "+" reads as a blank
      {"%2B%25%3D%23", "%2B%25%3D%23"},
      // Beyond Latin-1 every character is kept, never cut.
      {"%C5%81%C3%B3d%C5%BA", "%C5%81OD%C5%BA"},                       // Łódź
      {"\xE6\x9D\xB1\xE4\xBA\xAC&key=K", "%E6%9D%B1%E4%BA%AC&key=K"},  // 東京
      {"%FF", "%EF%BF%BD"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeSearchText(c.In), c.Out) << c.In;
}

// The views of a services object, through the loopback server.
class GeocodingServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEndpoint("nominatim", server.Url("/nominatim/v1"));
    server.Serve("/nominatim/v1/search", kSearchBody, "text/xml");
    server.Serve("/nominatim/v1/reverse", kReverseBody, "text/xml");
    services.SetKey("K");
  }
  void TearDown() override { ResetSettings(); }

  TFixtureServer server;
  TOpenMapQuestServices services;
};

TEST_F(GeocodingServiceTest, SearchResultViewNeverShowsFreedResults) {
  ASSERT_TRUE(services.Search("arc paris"));
  EXPECT_EQ(services.SearchCount(), 3);
  TNominatimResult& first = services.SearchResult(0);
  EXPECT_EQ(first.Place_id(), "1");
  // Out of range: the same view, unchanged.
  TNominatimResult& again = services.SearchResult(5);
  EXPECT_EQ(&again, &first);
  EXPECT_EQ(again.Place_id(), "1");
  EXPECT_EQ(services.SearchResult(-1).Place_id(), "1");

  // A later search frees those results: the view shows nothing.
  server.Serve("/nominatim/v1/search", kNoPlaceBody, "text/xml");
  EXPECT_FALSE(services.Search("nowhere"));
  EXPECT_EQ(services.SearchCount(), 0);
  TNominatimResult& view = services.SearchResult(0);
  EXPECT_EQ(view.DataList(), nullptr);
  EXPECT_EQ(view.Display_name(), "");
  EXPECT_DOUBLE_EQ(view.Latitude(), -1);

  EXPECT_TRUE(services.Reverse("lat=48.85&lon=2.35"));
  EXPECT_EQ(services.ReverseResult().Display_name(), "10 Rue X & Y, Paris");
}

TEST_F(GeocodingServiceTest, ReverseWithoutAnswerStillReturnsTrueWithCountZero) {
  SetEndpoint("nominatim", server.RefusedUrl("/nominatim/v1"));
  EXPECT_TRUE(services.Reverse("lat=1&lon=2"));
  EXPECT_EQ(services.ReverseResults().Text(), "count=0\r\n");
  EXPECT_EQ(services.ReverseResult().Display_name(), "");
}

}  // namespace
}  // namespace wy

#include "services/osrm_route.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "services/directions_answer.h"
#include "services/open_elevation.h"
#include "support/result_lines.h"
#include "support/route_answers.h"

namespace wy {
namespace {

using test_support::LinesOf;

TEST(PolylineTest, DecodesPrecisionFiveAndRefusesBrokenText) {
  std::vector<std::pair<double, double>> points;
  ASSERT_TRUE(DecodePolyline("_p~iF~ps|U_ulLnnqC_mqNvxq`@", points));
  ASSERT_EQ(points.size(), 3u);
  EXPECT_DOUBLE_EQ(points[0].first, 38.5);
  EXPECT_DOUBLE_EQ(points[0].second, -120.2);
  EXPECT_DOUBLE_EQ(points[1].first, 40.7);
  EXPECT_DOUBLE_EQ(points[1].second, -120.95);
  EXPECT_DOUBLE_EQ(points[2].first, 43.252);
  EXPECT_DOUBLE_EQ(points[2].second, -126.453);
  ASSERT_TRUE(DecodePolyline("", points));
  EXPECT_TRUE(points.empty());
  // Cut in the middle of a value, a latitude without longitude, a byte
  // outside the alphabet, a value that never ends.
  for (const char* bad : {"_p~iF~ps|", "_p~iF", "_p~iF~ps|U\x01", "~~~~~~~~~~~~~~~~"}) {
    EXPECT_FALSE(DecodePolyline(bad, points)) << bad;
    EXPECT_TRUE(points.empty());
  }
}

TEST(OsrmInstructionTest, EnglishFromTypeModifierAndName) {
  struct Case {
    const char *Type, *Modifier, *Name, *Exit, *Text;
  };
  const Case cases[] = {
      {"turn", "left", "Boulevard Saint-Michel", "", "Turn left onto Boulevard Saint-Michel"},
      {"turn", "slight right", "", "", "Bear right"},
      {"turn", "sharp left", "Rue X", "", "Turn sharp left onto Rue X"},
      {"turn", "uturn", "", "", "Make a U-turn"},
      {"depart", "", "Rue de Rivoli", "", "Head out on Rue de Rivoli"},
      {"arrive", "left", "", "", "Arrive at your destination, on the left"},
      {"arrive", "", "", "", "Arrive at your destination"},
      {"new name", "straight", "Quai Y", "", "Continue onto Quai Y"},
      {"continue", "straight", "A1", "", "Continue onto A1"},
      {"end of road", "right", "D7", "", "At the end of the road, turn right onto D7"},
      {"fork", "slight left", "N10", "", "Keep left at the fork onto N10"},
      {"roundabout", "right", "Avenue Z", "2",
       "Enter the roundabout and take exit 2 onto Avenue Z"},
      {"off ramp", "right", "", "", "Take the exit"},
      {"something new", "left", "Rue W", "", "Turn left onto Rue W"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(OsrmInstruction(c.Type, c.Modifier, c.Name, c.Exit), c.Text) << c.Type;
}

TEST(OsrmRouteTest, RequestPathFromTheDirectionsText) {
  EXPECT_EQ(OsrmRoutePath("from=48.85,2.35&to=45.76,4.84&locale=en_EN&outFormat=json&key=K"),
            "/route/v1/driving/2.35,48.85;4.84,45.76?steps=true&overview=full&geometries=polyline");
  EXPECT_EQ(OsrmRoutePath("from=1,2&to=3,4&to=5,6&routeType=pedestrian&"),
            "/route/v1/foot/2,1;4,3;6,5?steps=true&overview=full&geometries=polyline");
  EXPECT_EQ(OsrmRoutePath("from=1,2&to=3,4&routeType=bicycle"),
            "/route/v1/bike/2,1;4,3?steps=true&overview=full&geometries=polyline");
  EXPECT_EQ(OsrmRoutePath("from=1,2&locale=en_EN"), "");
  EXPECT_EQ(OsrmRoutePath("to=1,2&to=3,4"), "");
  EXPECT_EQ(OsrmRoutePath("from=1,x&to=3,4"), "");
}

TEST(OsrmRouteTest, AnswerBecomesTheDirectionsList) {
  TServiceResultList lines;
  std::string error;
  ASSERT_TRUE(ParseOsrmAnswer(test_support::kOsrmBody, lines, error));
  const std::vector<std::string> expected = {
      "48.85,2.35,250,Head out on Rue de Rivoli",
      "48.852,2.352,731,Turn left onto Boulevard Saint-Michel",
      "48.855,2.355,731,Arrive at your destination, on the right",
      "731,140",
      RawAnswerLine(test_support::kOsrmBody),
  };
  EXPECT_EQ(LinesOf(lines), expected);

  TWyRoutePath path;
  ASSERT_TRUE(FillRoutePathFromLines(lines, path));
  EXPECT_EQ(path.count(), 3);
  EXPECT_EQ(path.Distance(), 731);
  EXPECT_EQ(path.Duration(), 140);
  EXPECT_EQ(path.Items(1)->Text(), "Turn left onto Boulevard Saint-Michel");
}

TEST(OsrmRouteTest, NoRouteIsAFailureWithTheServersReason) {
  TServiceResultList lines;
  std::string error;
  EXPECT_FALSE(ParseOsrmAnswer(
      "{\"code\":\"NoRoute\",\"message\":\"Impossible route between points\"}", lines, error));
  EXPECT_EQ(lines.Count(), 0);
  EXPECT_EQ(error, "NoRoute: Impossible route between points");
  for (const char* bad : {"", "<html>502</html>", "{\"code\":\"Ok\",\"routes\":[]}",
                          "{\"code\":\"Ok\",\"routes\":[{\"geometry\":\"_p~iF~ps|\"}]}"}) {
    EXPECT_FALSE(ParseOsrmAnswer(bad, lines, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}

TEST(OpenElevationTest, RequestAndHeights) {
  EXPECT_EQ(OpenElevationPath("48.85,2.35,48.86,2.36&key=K"),
            "/api/v1/lookup?locations=48.85,2.35|48.86,2.36");
  EXPECT_EQ(OpenElevationPath("48.85,2.35,48.86"), "");
  EXPECT_EQ(OpenElevationPath("a,b"), "");
  EXPECT_EQ(OpenElevationPath(""), "");

  TServiceResultList lines;
  ASSERT_TRUE(ParseOpenElevationAnswer(test_support::kOpenElevationBody, lines));
  EXPECT_EQ(LinesOf(lines), (std::vector<std::string>{"35", "41", "172"}));
  ASSERT_TRUE(
      ParseOpenElevationAnswer("{\"results\":[{\"elevation\":null},{\"latitude\":1}]}", lines));
  EXPECT_EQ(LinesOf(lines), (std::vector<std::string>{"-9999", "-9999"}));
  EXPECT_FALSE(ParseOpenElevationAnswer("{\"error\":\"Invalid JSON.\"}", lines));
  EXPECT_FALSE(ParseOpenElevationAnswer("{\"results\":[{\"elevation\":\"high\"}]}", lines));
  EXPECT_EQ(lines.Count(), 0);
}

}  // namespace
}  // namespace wy

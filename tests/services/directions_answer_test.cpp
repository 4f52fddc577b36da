#include "services/directions_answer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/comma_locale.h"
#include "support/result_lines.h"
#include "support/route_answers.h"

namespace wy {
namespace {

using test_support::LinesOf;

TEST(RouteFromToTextTest, PairsBecomeOneFromAndOneToEachOtherCountsNothing) {
  EXPECT_EQ(RouteFromToText({48.85, 2.35, 45.5, 4.25, -1, 0.5}),
            "from=48.85,2.35&to=45.5,4.25&to=-1,0.5&");
  EXPECT_EQ(RouteFromToText({1, 2, 3, 4}), "from=1,2&to=3,4&");
  for (const std::vector<double>& odd : {std::vector<double>{1, 2, 3}, {1, 2, 3, 4, 5}, {1, 2}, {}})
    EXPECT_EQ(RouteFromToText(odd), "") << odd.size();
}

TEST(DirectionsAnswerTest, ShapePointsCarryRunningDistanceAndNarrative) {
  TServiceResultList lines;
  ParseDirectionsAnswer(test_support::kDirectionsBody, true, lines);
  const std::vector<std::string> expected = {"48.85,2.35,250,Head north.", "48.852,2.352",
                                             "48.855,2.355,250,Arrive.", "1234,300",
                                             RawAnswerLine(test_support::kDirectionsBody)};
  EXPECT_EQ(LinesOf(lines), expected);

  // Not asked for as JSON: only the raw answer.
  ParseDirectionsAnswer(test_support::kDirectionsBody, false, lines);
  EXPECT_EQ(LinesOf(lines), std::vector<std::string>{expected.back()});
}

TEST(DirectionsAnswerTest, WithoutManoeuvresOnlyTheSummaryAndRawLine) {
  const std::string body = "{\"route\":{\"distance\":0.5,\"time\":42,\"legs\":[]}}";
  TServiceResultList lines;
  ParseDirectionsAnswer(body, true, lines);
  EXPECT_EQ(LinesOf(lines), (std::vector<std::string>{"500,42", RawAnswerLine(body)}));

  const std::string error = "{\"info\":{\"statuscode\":402,\"messages\":[\"x\"]}}";
  ParseDirectionsAnswer(error, true, lines);
  EXPECT_EQ(LinesOf(lines), (std::vector<std::string>{"", RawAnswerLine(error)}));
}

TEST(DirectionsAnswerTest, BrokenManoeuvreListsStopWithoutReadingPastTheirEnd) {
  struct Case {
    const char* Indexes;
    std::vector<std::string> Points;
  };
  // Three points, one narrative: a second index has nothing to attach, and
  // an index that is no whole number or lies beyond the shape stops.
  const Case cases[] = {
      {"0,1,2", {"1,2,100,Go.", "3,4", "5,6"}},
      {"x,1", {"1,2", "3,4", "5,6"}},
      {"1.5", {"1,2", "3,4", "5,6"}},
      {"7", {"1,2", "3,4", "5,6"}},
      {"", {"1,2", "3,4", "5,6"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Indexes);
    const std::string body = std::string("{\"distance\":0.1,\"time\":5,\"maneuverIndexes\":[") +
                             c.Indexes +
                             "],\"shapePoints\":[1,2,3,4,5,6],\"narrative\":\"Go.\","
                             "\"distance\":0.1,\"time\":5}";
    TServiceResultList lines;
    ParseDirectionsAnswer(body, true, lines);
    std::vector<std::string> expected = c.Points;
    expected.push_back("100,5");
    expected.push_back(RawAnswerLine(body));
    EXPECT_EQ(LinesOf(lines), expected);
  }
}

TEST(DirectionsAnswerTest, HalfMetresRoundToEven) {
  int metres = 0;
  ASSERT_TRUE(KilometresToMetres("0.0025", metres));
  EXPECT_EQ(metres, 2);  // 2.5 m
  ASSERT_TRUE(KilometresToMetres("0.0035", metres));
  EXPECT_EQ(metres, 4);
  EXPECT_FALSE(KilometresToMetres("1e30", metres));
  EXPECT_FALSE(KilometresToMetres("abc", metres));
}

TEST(ElevationAnswerTest, HeightsAreWholeMetresWhateverTheLocale) {
  test_support::CommaLocaleScope comma;
  TServiceResultList lines;
  ASSERT_TRUE(ParseElevationAnswer(test_support::kElevationBody, lines));
  EXPECT_EQ(LinesOf(lines), (std::vector<std::string>{"12", "14", "-9999"}));

  // A key after the height does not end up in its number.
  ASSERT_TRUE(ParseElevationAnswer("[{\"height\":7.5,\"distance\":1},{\"height\": 8}]", lines));
  EXPECT_EQ(LinesOf(lines), (std::vector<std::string>{"8", "8"}));

  // One unreadable height empties the profile.
  EXPECT_FALSE(ParseElevationAnswer("[{\"height\":12},{\"height\":null}]", lines));
  EXPECT_EQ(lines.Count(), 0);
  EXPECT_FALSE(ParseElevationAnswer("[{\"height\":1e300}]", lines));
  EXPECT_EQ(lines.Count(), 0);
}

TEST(FillRoutePathTest, PointsAndTotalsComeFromTheResultList) {
  TServiceResultList lines;
  ParseDirectionsAnswer(
      "{\"distance\":1.234,\"time\":300,\"maneuverIndexes\":[0,2],"
      "\"shapePoints\":[48.85,2.35,48.852,2.352,48.855,2.355],"
      "\"narrative\":\"Turn left, then <b>right</b>.\",\"distance\":0.25,"
      "\"narrative\":\"Arrive.\",\"distance\":0,}",
      true, lines);
  TWyRoutePath path;
  ASSERT_TRUE(FillRoutePathFromLines(lines, path));
  ASSERT_EQ(path.count(), 3);
  EXPECT_EQ(path.Distance(), 1234);
  EXPECT_EQ(path.Duration(), 300);
  EXPECT_DOUBLE_EQ(path.Items(1)->Latitude(), 48.852);
  EXPECT_EQ(path.Items(0)->Instructions(), "Turn left, then <b>right</b>.");
  EXPECT_EQ(path.Items(0)->Distance(), 250);
  EXPECT_EQ(path.Items(1)->Instructions(), "");
  EXPECT_EQ(path.Items(2)->Distance(), 250);
  EXPECT_EQ(path.Items(2)->Altitude(), TWyRoutePathPoint::kNoAltitude);

  // A list with no shape line gives no route.
  ParseDirectionsAnswer("{\"distance\":1,\"time\":2,}", true, lines);
  EXPECT_FALSE(FillRoutePathFromLines(lines, path));
  EXPECT_EQ(path.count(), 0);
  lines.Clear();
  EXPECT_FALSE(FillRoutePathFromLines(lines, path));
}

}  // namespace
}  // namespace wy

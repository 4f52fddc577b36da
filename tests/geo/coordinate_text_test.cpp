// Coordinate pairs typed into a search box: what is read as a pair and what
// is left to the geocoder.

#include "geo/coordinate_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/comma_locale.h"

namespace wy {
namespace {

TEST(CoordinateText, ReadsDecimalAndSexagesimalPairs) {
  const double s5124 = 48 + 51.0 / 60 + 24.0 / 3600;
  const double s2103 = 2 + 21.0 / 60 + 3.0 / 3600;
  struct Case {
    const char* text;
    double lat, lng;
  } cases[] = {
      {"48.85, 2.35", 48.85, 2.35},
      {"48.85 2.35", 48.85, 2.35},
      {"48.85,2.35", 48.85, 2.35},
      {"48.85;2.35", 48.85, 2.35},
      {"-33.86,151.21", -33.86, 151.21},
      {"  -33.86 , +151.21\n", -33.86, 151.21},
      {"0 0", 0, 0},
      {"90, 180", 90, 180},
      {"-90 -180", -90, -180},
      {".5 -.25", 0.5, -0.25},
      {"48°51'24\"N 2°21'03\"E", s5124, s2103},
      {"48°51′24″N 2°21′03″E", s5124, s2103},
      {"48° 51’ 24” N, 2° 21’ 03” E", s5124, s2103},
      {"48°51'24''N 2°21'03''E", s5124, s2103},
      {"48º51'24\"N 2º21'03\"E", s5124, s2103},
      {"33°51'36\"S 151°12'36\"E", -(33 + 51.0 / 60 + 36.0 / 3600), 151 + 12.0 / 60 + 36.0 / 3600},
      {"48°51.4'N 2°21.05'E", 48 + 51.4 / 60, 2 + 21.05 / 60},
      {"N 48°51.4' E 2°21.05'", 48 + 51.4 / 60, 2 + 21.05 / 60},
      {"N48.85 W2.35", 48.85, -2.35},
      {"48.85n 2.35e", 48.85, 2.35},
      {"48.85°N, 2.35°W", 48.85, -2.35},
      // Longitude first when the letters say so.
      {"2.35E 48.85N", 48.85, 2.35},
      {"151.21 E, 33.86 S", -33.86, 151.21},
      // One letter is enough to place both.
      {"2.35 W 48.85", 48.85, -2.35},
      {"48 51' 24\" N 2 21' 3\" E", s5124, 2 + 21.0 / 60 + 3.0 / 3600},
  };
  // Read the same whatever the locale's decimal mark.
  test_support::CommaLocaleScope comma;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    double lat = 1000, lng = 1000;
    ASSERT_TRUE(ParseCoordinateText(c.text, lat, lng));
    EXPECT_NEAR(lat, c.lat, 1e-12);
    EXPECT_NEAR(lng, c.lng, 1e-12);
  }
}

TEST(CoordinateText, LeavesEverythingElseToTheGeocoder) {
  const char* cases[] = {
      // Places and words.
      "",
      "   ",
      "Paris",
      "10 Downing Street",
      "75001",
      "Rue 5, 12",
      "Nice 43.7 7.26",
      "43.7 7.26 Nice",
      "N",
      "48.85 Nord 2.35",
      // One value, three values.
      "48.85",
      "48.85,",
      ",2.35",
      "48.85, 2.35, 100",
      "48.85 2.35 4",
      // Out of range.
      "90.0001 0",
      "-91, 0",
      "0 180.5",
      "0, -181",
      "48°60'N 2°E",
      "48°51'60\"N 2°E",
      // Decimal commas: not a pair of two values.
      "48,85 2,35",
      "48,85, 2,35",
      // Malformed numbers and marks.
      "48..85 2.35",
      "48.8.5 2.35",
      ". 2.35",
      "48.5°30'N 2E",
      "48°30.5'15\"N 2E",
      "48'N 2°E",
      "48.85, , 2.35",
      "--48 2",
      // Hemispheres doubled, clashing or mixed with signs.
      "48N 2N",
      "2E 48W",
      "N48 2S",
      "48.85 N S 2.35",
      "-48.85 S 2.35 E",
      "-48.85, 2.35E",
      // Too long to be typed as a pair.
      "48."
      "85000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
      "00000000000000000000000000000000 2.35",
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    double lat = 1000, lng = 1000;
    EXPECT_FALSE(ParseCoordinateText(text, lat, lng));
    EXPECT_EQ(lat, 1000);
    EXPECT_EQ(lng, 1000);
  }
}

TEST(CoordinateText, LatLngTextIsTwoDottedNumbersInRange) {
  struct TCase {
    const char* Text;
    bool Reads;
    double Lat, Lng;
  };
  const TCase cases[] = {
      {"48.85,2.35", true, 48.85, 2.35},
      {"-90,180", true, -90, 180},
      {" 48.85 , +2.35 ", true, 48.85, 2.35},
      {"48.85,2,35", false, 0, 0},  // a second comma is never a decimal mark
      {"48,85", true, 48, 85},
      {"90.5,0", false, 0, 0},
      {"0,-180.1", false, 0, 0},
      {"nan,1", false, 0, 0},
      {"48.85;2.35", false, 0, 0},
      {",2", false, 0, 0},
      {"1,", false, 0, 0},
      {"1,2x", false, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    double lat = 7, lng = 7;
    EXPECT_EQ(ParseLatLngText(c.Text, lat, lng), c.Reads);
    EXPECT_EQ(lat, c.Reads ? c.Lat : 7);
    EXPECT_EQ(lng, c.Reads ? c.Lng : 7);
  }
}

}  // namespace
}  // namespace wy

// The scale bar's round distances.

#include "geo/scale_bar.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace wy {
namespace {

TEST(ScaleBar, PicksTheLongestRoundDistanceThatFits) {
  struct Case {
    double metresPerPixel;
    int maxPixels;
    double metres;
    const char* label;
  } cases[] = {
      {1, 100, 100, "100 m"},   // exactly a power of ten
      {1, 99, 50, "50 m"},      //
      {1, 250, 200, "200 m"},   //
      {1, 600, 500, "500 m"},   //
      {10, 100, 1000, "1 km"},  // kilometres from 1000 m
      {30, 100, 2000, "2 km"},  //
      {1000, 120, 100000, "100 km"},
      {0.013, 100, 1, "1 m"},                //
      {0.001, 100, 0.1, "0.1 m"},            // closer than a metre
      {78271.517, 100, 5000000, "5000 km"},  // zoom 1 at the equator
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const TScaleBar bar = ChooseScaleBar(c.metresPerPixel, c.maxPixels);
    EXPECT_DOUBLE_EQ(bar.Metres, c.metres);
    EXPECT_EQ(bar.Label, c.label);
    EXPECT_LE(bar.Pixels, c.maxPixels);
    EXPECT_NEAR(bar.Pixels, c.metres / c.metresPerPixel, 0.5);
    // Never less than half the room: the next step down is at most 2.5x
    // shorter (5 to 2), so a round distance always uses 40% of it.
    EXPECT_GE(bar.Pixels, c.maxPixels * 2 / 5);
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {0.0, -1.0, nan, inf}) {
    const TScaleBar bar = ChooseScaleBar(bad, 100);
    EXPECT_EQ(bar.Pixels, 0);
    EXPECT_TRUE(bar.Label.empty());
  }
  EXPECT_EQ(ChooseScaleBar(1, 0).Pixels, 0);
}

TEST(ScaleBar, GroundResolutionShrinksTowardsThePoles) {
  // 156543.03 m per pixel at zoom 0 on the equator, halved by each level.
  EXPECT_NEAR(GroundMetresPerPixel(0, 0), 156543.034, 1e-3);
  EXPECT_NEAR(GroundMetresPerPixel(0, 10), 156543.034 / 1024, 1e-6);
  EXPECT_NEAR(GroundMetresPerPixel(60, 0), 156543.034 / 2, 1e-3);
  EXPECT_NEAR(GroundMetresPerPixel(-60, 0), 156543.034 / 2, 1e-3);
  // Beyond the projection's edge the edge's value, never zero or negative.
  EXPECT_GT(GroundMetresPerPixel(90, 5), 0);
  EXPECT_DOUBLE_EQ(GroundMetresPerPixel(90, 5), GroundMetresPerPixel(85.05112878, 5));
}

}  // namespace
}  // namespace wy

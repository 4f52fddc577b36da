#include "geo/track_speeds.h"

#include <gtest/gtest.h>

#include <cmath>

#include "geo/track_statistics.h"

namespace wy {
namespace {

TEST(TrackSpeeds, SpeedAtEachPoint) {
  // 2 m/s for 60 s, then 6 m/s for 60 s; one point without time, one whose
  // time goes backwards; a second segment without times.
  TTrack t;
  double north = 0;
  for (int i = 0; i <= 120; ++i) {
    north += i == 0 ? 0 : (i <= 60 ? 2 : 6);
    double time = 1000 + i;
    if (i == 30) time = kTrackNoValue;
    if (i == 90) time = 1000;
    t.Add(north / 110574.3886, 0, kTrackNoValue, time);
  }
  t.StartSegment();
  for (int i = 0; i < 5; ++i) t.Add(1, i * 0.001);
  const std::vector<double> v = TrackSpeeds(t, TrackDistances(t));
  ASSERT_EQ(v.size(), t.Points.size());
  EXPECT_NEAR(v[10], 2, 1e-3);
  EXPECT_NEAR(v[45], 2, 1e-3);
  EXPECT_NEAR(v[100], 6, 1e-3);
  EXPECT_NEAR(v[61], 2 + 4 * 0.6, 0.5);  // the window spans the change
  EXPECT_TRUE(std::isnan(v[30]));
  EXPECT_TRUE(std::isnan(v[90]));
  EXPECT_NEAR(v[91], 6, 1e-3);
  for (size_t i = 121; i < v.size(); ++i) EXPECT_TRUE(std::isnan(v[i])) << i;
}

}  // namespace
}  // namespace wy

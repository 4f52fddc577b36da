#include "geo/track_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/comma_locale.h"

namespace wy {
namespace {

TEST(TrackText, FiguresAsPeopleReadThem) {
  test_support::CommaLocaleScope comma;  // "." whatever the locale says
  struct Case {
    std::string got, expected;
  };
  const std::vector<Case> cases = {
      {DistanceText(0), "0 m"},
      {DistanceText(849.6), "850 m"},
      {DistanceText(999.6), "1.00 km"},
      {DistanceText(4271), "4.27 km"},
      {DistanceText(12449), "12.4 km"},
      {DurationText(42), "42 s"},
      {DurationText(59.6), "1 min"},
      {DurationText(720), "12 min"},
      {DurationText(6420), "1 h 47 min"},
      {DurationText(3599.9), "1 h 0 min"},
      {DurationText(90000), "25 h 0 min"},
      {SpeedText(1.5), "5.4 km/h"},
      {ElevationText(1234.4), "1234 m"},
      {DistanceText(std::nan("")), ""},
      {DurationText(std::nan("")), ""},
      {FixedText(110574.3886, 1), "110574.4"},
      {FixedText(1234567.5, 0), "1234568"},
      {FixedText(-0.04, 1), "0.0"},
      {FixedText(2.5, 3), "2.500"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);
}

}  // namespace
}  // namespace wy

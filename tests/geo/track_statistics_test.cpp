#include "geo/track_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace wy {
namespace {

// Metres per degree of latitude near the equator (WGS 84 meridional radius
// at 0 deg): tracks below walk north in known metres.
constexpr double kNorthDegPerM = 1 / 110574.3886;
constexpr double kT0 = 1700000000;  // a start time

// Deterministic noise in [-amplitude, amplitude].
class TNoise {
 public:
  explicit TNoise(uint32_t seed) : FState(seed) {}
  double operator()(double amplitude) {
    FState = FState * 1664525u + 1013904223u;
    return amplitude * ((FState >> 8) / double(1 << 24) * 2 - 1);
  }

 private:
  uint32_t FState;
};

// A walk due north from the equator: `n` points `step` metres apart, one
// every `dt` seconds (no times when dt is 0), elevation ele(i) (none when
// it returns NaN).
TTrack NorthWalk(int n, double step, double dt, const std::function<double(int)>& ele) {
  TTrack t;
  for (int i = 0; i < n; ++i)
    t.Add(i * step * kNorthDegPerM, 0, ele(i), dt > 0 ? kT0 + i * dt : kTrackNoValue);
  return t;
}

double NoEle(int) {
  return kTrackNoValue;
}

TEST(TrackStatistics, DistanceElevationAndTimeOfKnownTracks) {
  struct Case {
    std::string name;
    TTrack track;
    double distance, ascent, descent, minEle, maxEle, duration, moving, avgKmh, maxKmh;
    double climbTolerance;
  };
  TNoise noise(7);
  const double nan = kTrackNoValue;
  std::vector<Case> cases;
  // 10 km north at 4 m/s, 10 m steps, flat at 200 m.
  cases.push_back({"straight", NorthWalk(1001, 10, 2.5, [](int) { return 200.0; }), 10000, 0, 0,
                   200, 200, 2500, 2500, 14.4, 14.4, 0.01});
  // A climb of 500 m over 5 km (10%), then 1 km flat; +-3 m of noise.
  cases.push_back(
      {"noisy climb",
       NorthWalk(1201, 5, 5, [&](int i) { return 100 + std::min(i, 1000) * 0.5 + noise(3); }), 6000,
       500, 0, 97, 603, 6000, 6000, 3.6, 3.6, 50});
  // Flat with +-3 m of noise, at 1 m and at 10 m spacing.
  cases.push_back({"flat noise 1 m", NorthWalk(3001, 1, 1, [&](int) { return 50 + noise(3); }),
                   3000, 0, 0, 47, 53, 3000, 3000, 3.6, 3.6, 5});
  cases.push_back({"flat noise 10 m", NorthWalk(501, 10, 0, [&](int) { return 50 + noise(3); }),
                   5000, 0, 0, 47, 53, nan, nan, nan, nan, 5});
  // Up 100 m, down 100 m, up 50 m in 1 m steps of 10 cm.
  cases.push_back({"hills",
                   NorthWalk(2501, 1, 0,
                             [](int i) {
                               if (i <= 1000) return i * 0.1;
                               if (i <= 2000) return 100 - (i - 1000) * 0.1;
                               return (i - 2000) * 0.1;
                             }),
                   2500, 150, 100, 0, 100, nan, nan, nan, nan, 10});
  cases.push_back({"no elevation, no time", NorthWalk(101, 10, 0, NoEle), 1000, nan, nan, nan, nan,
                   nan, nan, nan, nan, 0});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TTrackStats s = TrackStatistics(c.track);
    EXPECT_EQ(s.Points, c.track.Points.size());
    EXPECT_NEAR(s.DistanceM, c.distance, c.distance * 1e-5);
    EXPECT_EQ(s.HasElevation, !std::isnan(c.ascent));
    if (s.HasElevation) {
      EXPECT_NEAR(s.AscentM, c.ascent, c.climbTolerance);
      EXPECT_NEAR(s.DescentM, c.descent, c.climbTolerance);
      EXPECT_NEAR(s.MinEleM, c.minEle, 1.5);
      EXPECT_NEAR(s.MaxEleM, c.maxEle, 1.5);
    } else {
      EXPECT_TRUE(std::isnan(s.MinEleM));
      EXPECT_TRUE(std::isnan(s.MaxEleM));
    }
    EXPECT_EQ(s.HasTime, !std::isnan(c.duration));
    if (s.HasTime) {
      EXPECT_DOUBLE_EQ(s.Start, kT0);
      EXPECT_NEAR(s.DurationS, c.duration, 1e-6);
      EXPECT_NEAR(s.MovingS, c.moving, 1e-6);
      EXPECT_NEAR(s.AvgSpeedMs * 3.6, c.avgKmh, 0.01);
      EXPECT_NEAR(s.MaxSpeedMs * 3.6, c.maxKmh, 0.01);
    } else {
      EXPECT_TRUE(std::isnan(s.DurationS));
      EXPECT_TRUE(std::isnan(s.MovingS));
      EXPECT_TRUE(std::isnan(s.MaxSpeedMs));
    }
  }
}

// 10 minutes at 1.5 m/s, 5 minutes standing with the position jittering by
// +-4 m each second, 10 minutes at 1.5 m/s.
TTrack WalkWithStop() {
  TNoise noise(11);
  TTrack t;
  double north = 0;
  int second = 0;
  for (; second <= 600; ++second)
    t.Add((north = second * 1.5) * kNorthDegPerM, 0, 10, kT0 + second);
  const double stop = north;
  for (; second < 900; ++second)
    t.Add((stop + noise(4)) * kNorthDegPerM, noise(4) * kNorthDegPerM, 10, kT0 + second);
  for (; second <= 1500; ++second)
    t.Add((stop + (second - 900) * 1.5) * kNorthDegPerM, 0, 10, kT0 + second);
  return t;
}

TEST(TrackStatistics, AStopIsNotMovingTimeAndJitterIsNoSpeed) {
  const TTrackStats s = TrackStatistics(WalkWithStop());
  EXPECT_DOUBLE_EQ(s.DurationS, 1500);
  EXPECT_NEAR(s.MovingS, 1200, kMovingWindowS);
  EXPECT_NEAR(s.AvgSpeedMs, 1.5, 0.1);
  // The jitter makes steps of several metres a second; the speed windows
  // do not take them for running.
  EXPECT_NEAR(s.MaxSpeedMs, 1.5, 0.3);
  EXPECT_NEAR(s.AscentM, 0, 1e-9);
}

TEST(TrackStatistics, MaximumSpeedIgnoresOneThrownPointButNotASprint) {
  struct Case {
    std::string name;
    int jumpAt;      // index of a point thrown 500 m east, -1 none
    int sprintFrom;  // 40 s at 10 m/s from here, -1 none
    double maxMs;
  };
  const std::vector<Case> cases = {
      {"steady", -1, -1, 5},
      {"one point thrown off", 300, -1, 5},
      {"first point thrown off", 0, -1, 5},
      {"sprint", -1, 200, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TTrack t;
    double north = 0;
    for (int i = 0; i <= 600; ++i) {
      const bool sprint = c.sprintFrom >= 0 && i > c.sprintFrom && i <= c.sprintFrom + 40;
      north += i == 0 ? 0 : (sprint ? 10 : 5);
      t.Add(north * kNorthDegPerM, i == c.jumpAt ? 500 / 111319.49 : 0, kTrackNoValue, kT0 + i);
    }
    EXPECT_NEAR(TrackStatistics(t).MaxSpeedMs, c.maxMs, 0.05);
  }
}

TEST(TrackStatistics, SegmentsRangesAndRecorderFaults) {
  // Two segments of 1 km north at 2 m/s, 19 km and one hour apart.
  TTrack two;
  for (int seg = 0; seg < 2; ++seg) {
    two.StartSegment();
    for (int i = 0; i <= 100; ++i)
      two.Add((seg * 20000 + i * 10) * kNorthDegPerM, 0, 100 + seg * 50, kT0 + seg * 4100 + i * 5);
  }
  ASSERT_EQ(two.SegmentCount(), 2u);
  const std::vector<double> along = TrackDistances(two);
  const TTrackStats whole = TrackStatistics(two);
  EXPECT_NEAR(whole.DistanceM, 2000, 0.1);  // the gap is no distance
  EXPECT_NEAR(whole.AscentM, 0, 1e-9);      // nor a climb
  EXPECT_DOUBLE_EQ(whole.DurationS, 4600);  // but it is time
  EXPECT_NEAR(whole.MovingS, 1000, 1e-6);
  EXPECT_NEAR(whole.MaxSpeedMs, 2, 1e-3);
  const TTrackStats second = SegmentStatistics(two, along, 1);
  EXPECT_EQ(second.Points, 101u);
  EXPECT_NEAR(second.DistanceM, 1000, 0.1);
  EXPECT_DOUBLE_EQ(second.Start, kT0 + 4100);
  EXPECT_DOUBLE_EQ(second.MinEleM, 150);
  // A range over the gap: the last 10 points of one, the first 21 of the other.
  const TTrackStats across = RangeStatistics(two, along, 91, 121);
  EXPECT_EQ(across.Points, 31u);
  EXPECT_NEAR(across.DistanceM, 90 + 200, 0.1);
  EXPECT_DOUBLE_EQ(across.DurationS, 4100 + 100 - 455);
  // Out of range: clamped, or nothing.
  EXPECT_EQ(RangeStatistics(two, along, 150, 9999).Points, 52u);
  EXPECT_EQ(RangeStatistics(two, along, 9999, 99999).Points, 0u);
  EXPECT_EQ(RangeStatistics(two, along, 50, 10).Points, 0u);

  // Points put in directly are one segment.
  TTrack direct;
  direct.Points = NorthWalk(11, 100, 0, NoEle).Points;
  EXPECT_EQ(direct.SegmentCount(), 1u);
  EXPECT_NEAR(TrackStatistics(direct).DistanceM, 1000, 0.01);

  // One point.
  TTrack one;
  one.Add(45, 6, 1000, kT0);
  const TTrackStats single = TrackStatistics(one);
  EXPECT_EQ(single.Points, 1u);
  EXPECT_EQ(single.DistanceM, 0);
  EXPECT_EQ(single.DurationS, 0);
  EXPECT_EQ(single.MovingS, 0);
  EXPECT_TRUE(std::isnan(single.AvgSpeedMs));
  EXPECT_TRUE(std::isnan(single.MaxSpeedMs));
  EXPECT_EQ(single.MaxEleM, 1000);
  EXPECT_EQ(TrackStatistics(TTrack()).Points, 0u);

  // Every point recorded twice (same place, same time): figures unchanged,
  // no division by a zero time.
  TTrack plain = NorthWalk(301, 3, 1, [](int i) { return i * 0.2; });
  TTrack doubled;
  for (const TTrackPoint& p : plain.Points) {
    doubled.Add(p);
    doubled.Add(p);
  }
  const TTrackStats a = TrackStatistics(plain), b = TrackStatistics(doubled);
  EXPECT_NEAR(b.DistanceM, a.DistanceM, 1e-9);
  EXPECT_NEAR(b.AscentM, a.AscentM, 1e-6);
  EXPECT_DOUBLE_EQ(b.MovingS, a.MovingS);
  EXPECT_NEAR(b.MaxSpeedMs, 3, 1e-3);

  // A time that goes backwards: that point is left out of the time figures;
  // moving time never exceeds the duration.
  TTrack back = NorthWalk(301, 3, 1, NoEle);
  back.Points[150].Time = kT0 + 20;
  const TTrackStats r = TrackStatistics(back);
  EXPECT_DOUBLE_EQ(r.DurationS, 300);
  EXPECT_LE(r.MovingS, r.DurationS);
  EXPECT_NEAR(r.MaxSpeedMs, 3, 1e-3);
  EXPECT_NEAR(r.DistanceM, 900, 1e-3);
}

TEST(TrackStatistics, CombinedFigures) {
  const TTrackStats a = TrackStatistics(NorthWalk(101, 10, 5, [](int i) { return 100.0 + i; }));
  TTrack later = NorthWalk(101, 10, 10, [](int) { return 50.0; });
  for (TTrackPoint& p : later.Points) p.Time += 3600;
  const TTrackStats b = TrackStatistics(later);
  const TTrackStats none = TrackStatistics(NorthWalk(11, 10, 0, NoEle));
  const TTrackStats t = CombineStatistics({a, b, none});
  EXPECT_EQ(t.Points, 213u);
  EXPECT_NEAR(t.DistanceM, 2100, 0.1);
  EXPECT_NEAR(t.AscentM, a.AscentM, 1e-9);
  EXPECT_EQ(t.MinEleM, 50);
  EXPECT_EQ(t.MaxEleM, 200);
  EXPECT_DOUBLE_EQ(t.DurationS, 3600 + 1000);
  EXPECT_NEAR(t.MovingS, 1500, 1e-6);
  EXPECT_NEAR(t.AvgSpeedMs, 2000 / 1500.0, 1e-5);
  EXPECT_NEAR(t.MaxSpeedMs, 2, 1e-3);
  EXPECT_FALSE(CombineStatistics({none}).HasTime);
}

}  // namespace
}  // namespace wy

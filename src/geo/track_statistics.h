#pragma once
// The figures of a recorded track (TTrack): distance, climbing, elevations,
// times and speeds, for a whole track, one segment or any range of points.
//
// How each figure is taken:
// - Distance: the sum of the steps between consecutive points of a
//   segment along the WGS 84 ellipsoid (EllipsoidDistanceM), horizontal
//   only; the gap from one segment to the next is no distance.
// - Ascent and descent: the elevations of a segment are first smoothed
//   (each replaced by the mean of the elevations within
//   kElevationSmoothingM / 2 metres of it along the track; the window
//   shrinks near the ends so as to stay centred), then followed
//   with a hysteresis of kElevationHysteresisM: a rise or a fall counts only
//   once it has reached that height from the last turning point, and then
//   counts whole. Jitter of a few metres on a flat walk gives close to
//   nothing; a real climb counts its height, less what the smoothing takes
//   off a sharp summit. Points without elevation are skipped.
// - Minimum and maximum elevation: of the recorded values, unsmoothed.
// - Times: only points whose time is later than every time before them
//   take part (a time that goes backwards, or repeats, is a recorder fault
//   and its point is skipped for the time figures; its distance still
//   counts). Start and end are the first and last such times, the duration
//   end - start (the gaps between segments included).
// - Moving time: each segment's time is cut into windows of at least
//   kMovingWindowS; a window counts as moving when the straight distance
//   from its first to its last point, over its time, is at least
//   kMovingSpeedMs. Standing still with a jittering position therefore
//   counts as a stop. A shorter tail at the end of a segment takes the
//   verdict of the window before it. Moving distance: the distance covered
//   in the moving windows; the average speed is moving distance over moving
//   time.
// - Maximum speed: each segment's time is cut into consecutive windows of
//   at least kSpeedWindowS; a window's speed is the straight distance from
//   its first to its last point over its time. The maximum is taken over
//   the medians of five consecutive windows, so that one point thrown far
//   off by the receiver (which spoils the two windows that end or start at
//   it) does not count, while a speed held for three windows does.
//
// No Qt; pure functions, safe on any thread.

#include <cstddef>
#include <vector>

#include "geo/track.h"

namespace wy {

constexpr double kElevationSmoothingM = 100;  // width of the smoothing window along the track
constexpr double kElevationHysteresisM = 5;   // least rise or fall that counts
constexpr double kMovingWindowS = 30;         // least duration of a moving-time window
constexpr double kMovingSpeedMs = 0.5;        // 1.8 km/h: slower is a stop
constexpr double kSpeedWindowS = 10;          // least duration behind one speed sample

struct TTrackStats {
  size_t Points = 0;
  double DistanceM = 0;
  // Elevation figures exist when a point of the range has an elevation.
  bool HasElevation = false;
  double AscentM = 0;
  double DescentM = 0;
  double MinEleM = kTrackNoValue;
  double MaxEleM = kTrackNoValue;
  // Time figures exist when a point of the range has a time. With a single
  // timed point the duration and moving time are 0 and the speeds absent.
  bool HasTime = false;
  double Start = kTrackNoValue;  // seconds since 1970-01-01 UTC
  double End = kTrackNoValue;
  double DurationS = kTrackNoValue;
  double MovingS = kTrackNoValue;
  double MovingDistanceM = kTrackNoValue;
  double AvgSpeedMs = kTrackNoValue;  // over the moving time
  double MaxSpeedMs = kTrackNoValue;
};

// Metres along the track at each point (0 at the first; the gaps between
// segments add nothing).
std::vector<double> TrackDistances(const TTrack& track);

// The figures of points first .. last (both included, clamped to the
// track), with `along` from TrackDistances. A range that spans segments
// counts no distance, climbing or moving time across their gaps.
TTrackStats RangeStatistics(const TTrack& track, const std::vector<double>& along, size_t first,
                            size_t last);
TTrackStats SegmentStatistics(const TTrack& track, const std::vector<double>& along,
                              size_t segment);
TTrackStats TrackStatistics(const TTrack& track);

// The figures of several tracks together: sums, extremes, the earliest
// start and the latest end (the duration between them), the average over
// the summed moving time.
TTrackStats CombineStatistics(const std::vector<TTrackStats>& parts);

}  // namespace wy

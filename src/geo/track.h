#pragma once
// A recorded track as the statistics and the elevation profile read it:
// points in order, each with a position and optionally an elevation and a
// time, split into segments (the parts between which the recorder was
// off). The points of all segments sit in one array; a segment is the run
// from its start index up to the next segment's start.
//
// A plain value type without Qt: filled by the shapes (one line, or the
// lines of one recorded track) or by hand.

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

namespace wy {

// Marks an absent elevation or time.
constexpr double kTrackNoValue = std::numeric_limits<double>::quiet_NaN();

struct TTrackPoint {
  double Lat = 0;
  double Lng = 0;
  double Ele = kTrackNoValue;   // metres above sea level
  double Time = kTrackNoValue;  // seconds since 1970-01-01 UTC, fraction kept
  bool HasEle() const { return !std::isnan(Ele); }
  bool HasTime() const { return !std::isnan(Time); }
};

class TTrack {
 public:
  std::string Name;
  std::vector<TTrackPoint> Points;

  // Appends a point to the current segment (the first point opens one).
  void Add(const TTrackPoint& p) {
    if (Points.empty() && FStarts.empty()) FStarts.push_back(0);
    Points.push_back(p);
  }
  void Add(double lat, double lng, double ele = kTrackNoValue, double time = kTrackNoValue) {
    Add(TTrackPoint{lat, lng, ele, time});
  }
  // The next point added opens a new segment (nothing when the current
  // segment is still empty).
  void StartSegment() {
    if (FStarts.empty() || FStarts.back() < Points.size()) FStarts.push_back(Points.size());
  }

  // Points put into Points directly, without Add, are one segment.
  size_t SegmentCount() const {
    if (FStarts.empty()) return Points.empty() ? 0 : 1;
    size_t n = FStarts.size();
    if (n > 0 && FStarts.back() >= Points.size()) --n;  // an opened, still empty one
    return n;
  }
  size_t SegmentBegin(size_t segment) const { return FStarts.empty() ? 0 : FStarts[segment]; }
  size_t SegmentEnd(size_t segment) const {
    return segment + 1 < FStarts.size() ? FStarts[segment + 1] : Points.size();
  }
  // The segment that holds point `index`.
  size_t SegmentOf(size_t index) const;

 private:
  std::vector<size_t> FStarts;  // first point of each segment, ascending
};

inline size_t TTrack::SegmentOf(size_t index) const {
  if (FStarts.empty()) return 0;
  size_t lo = 0, hi = SegmentCount();
  while (hi - lo > 1) {
    const size_t mid = (lo + hi) / 2;
    if (FStarts[mid] <= index)
      lo = mid;
    else
      hi = mid;
  }
  return lo;
}

}  // namespace wy

#include "geo/track_statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "geo/ellipsoid_distance.h"

namespace wy {

namespace {

// Follows smoothed elevations and adds up the rises and falls that pass
// the hysteresis.
class THysteresis {
 public:
  void Feed(double v) {
    if (!FStarted) {
      FStarted = true;
      FLow = FHigh = FAnchor = v;
      return;
    }
    if (FDirection == 0) {
      FLow = std::min(FLow, v);
      FHigh = std::max(FHigh, v);
      if (v - FLow >= kElevationHysteresisM) {
        Ascent += v - FLow;
        FAnchor = v;
        FDirection = 1;
      } else if (FHigh - v >= kElevationHysteresisM) {
        Descent += FHigh - v;
        FAnchor = v;
        FDirection = -1;
      }
    } else if (FDirection > 0) {
      if (v > FAnchor) {
        Ascent += v - FAnchor;
        FAnchor = v;
      } else if (FAnchor - v >= kElevationHysteresisM) {
        Descent += FAnchor - v;
        FAnchor = v;
        FDirection = -1;
      }
    } else {
      if (v < FAnchor) {
        Descent += FAnchor - v;
        FAnchor = v;
      } else if (v - FAnchor >= kElevationHysteresisM) {
        Ascent += v - FAnchor;
        FAnchor = v;
        FDirection = 1;
      }
    }
  }
  double Ascent = 0;
  double Descent = 0;

 private:
  bool FStarted = false;
  int FDirection = 0;
  double FLow = 0, FHigh = 0, FAnchor = 0;
};

// Elevation figures of points lo .. hi of one segment, and (in the same
// pass over the points) the points that take part in the time figures:
// those whose time is later than `latest`, the latest time seen before.
void AddElevations(const TTrack& track, const std::vector<double>& along, size_t lo, size_t hi,
                   double& latest, std::vector<size_t>& chain, TTrackStats& s) {
  const std::vector<TTrackPoint>& p = track.Points;
  const double half = kElevationSmoothingM / 2;
  THysteresis climb;
  double sum = 0;
  size_t count = 0;
  size_t left = lo, right = lo;  // the window holds the points left .. right - 1
  chain.clear();
  chain.reserve(hi - lo + 1);
  for (size_t j = lo; j <= hi; ++j) {
    if (p[j].HasTime() && !(p[j].Time <= latest)) {
      chain.push_back(j);
      latest = p[j].Time;
    }
    if (!p[j].HasEle()) continue;
    const double e = p[j].Ele;
    if (!s.HasElevation) {
      s.HasElevation = true;
      s.MinEleM = s.MaxEleM = e;
    } else {
      s.MinEleM = std::min(s.MinEleM, e);
      s.MaxEleM = std::max(s.MaxEleM, e);
    }
    // Near either end of the range the window shrinks to stay centred.
    const double reach =
        std::min(half, std::min(along[j] - along[lo], along[hi] - along[j])) + 1e-9;
    while (right <= hi && along[right] - along[j] <= reach) {
      if (p[right].HasEle()) {
        sum += p[right].Ele;
        ++count;
      }
      ++right;
    }
    while (along[j] - along[left] > reach) {
      if (p[left].HasEle()) {
        sum -= p[left].Ele;
        --count;
      }
      ++left;
    }
    climb.Feed(sum / static_cast<double>(count));
  }
  s.AscentM += climb.Ascent;
  s.DescentM += climb.Descent;
}

double Straight(TPathDistance& distance, const TTrackPoint& a, const TTrackPoint& b) {
  return distance(a.Lat, a.Lng, b.Lat, b.Lng);
}

double MedianOfFive(const double* v) {
  double w[5] = {v[0], v[1], v[2], v[3], v[4]};
  std::nth_element(w, w + 2, w + 5);
  return w[2];
}

// Time figures of one segment from its points in `chain` (AddElevations).
void AddTimes(const TTrack& track, const std::vector<double>& along,
              const std::vector<size_t>& chain, std::vector<double>& speeds, TTrackStats& s) {
  const std::vector<TTrackPoint>& p = track.Points;
  TPathDistance distance;
  if (chain.empty()) return;
  if (!s.HasTime) {
    s.HasTime = true;
    s.Start = p[chain.front()].Time;
    s.MovingS = 0;
    s.MovingDistanceM = 0;
  }
  s.End = p[chain.back()].Time;
  if (chain.size() < 2) return;

  // Moving time in windows of kMovingWindowS.
  size_t anchor = chain[0];
  bool moving = false;
  for (size_t k = 1; k < chain.size(); ++k) {
    const size_t j = chain[k];
    const double dt = p[j].Time - p[anchor].Time;
    const bool last = k + 1 == chain.size();
    if (dt < kMovingWindowS && !last) continue;
    if (dt >= kMovingWindowS || anchor == chain[0])
      moving = Straight(distance, p[anchor], p[j]) >= kMovingSpeedMs * dt;
    // else: a short tail keeps the verdict of the window before it
    if (moving) {
      s.MovingS += dt;
      s.MovingDistanceM += along[j] - along[anchor];
    }
    anchor = j;
  }

  // Speeds of consecutive windows of at least kSpeedWindowS, then the
  // largest median of five.
  speeds.clear();
  size_t from = chain[0];
  for (size_t k = 1; k < chain.size(); ++k) {
    const size_t j = chain[k];
    const double dt = p[j].Time - p[from].Time;
    if (dt < kSpeedWindowS) continue;
    speeds.push_back(Straight(distance, p[from], p[j]) / dt);
    from = j;
  }
  if (speeds.empty()) {  // the segment lasts less than one window
    const TTrackPoint &a = p[chain.front()], &b = p[chain.back()];
    speeds.push_back(Straight(distance, a, b) / (b.Time - a.Time));
  }
  double top = 0;
  if (speeds.size() >= 5) {
    // A median of five beats `top` only when three of them do.
    for (size_t k = 0; k + 5 <= speeds.size(); ++k) {
      const double* v = &speeds[k];
      const int above = (v[0] > top) + (v[1] > top) + (v[2] > top) + (v[3] > top) + (v[4] > top);
      if (above >= 3) top = std::max(top, MedianOfFive(v));
    }
  } else {
    std::vector<double> w = speeds;
    std::nth_element(w.begin(), w.begin() + (w.size() - 1) / 2, w.end());
    top = w[(w.size() - 1) / 2];
  }
  if (std::isnan(s.MaxSpeedMs) || top > s.MaxSpeedMs) s.MaxSpeedMs = top;
}

}  // namespace

std::vector<double> TrackDistances(const TTrack& track) {
  const std::vector<TTrackPoint>& p = track.Points;
  std::vector<double> along(p.size());
  TPathDistance distance;
  double total = 0;
  for (size_t seg = 0; seg < track.SegmentCount(); ++seg) {
    const size_t b = track.SegmentBegin(seg), e = track.SegmentEnd(seg);
    if (b >= e) continue;
    along[b] = total;
    for (size_t i = b + 1; i < e; ++i) {
      total += distance(p[i - 1].Lat, p[i - 1].Lng, p[i].Lat, p[i].Lng);
      along[i] = total;
    }
  }
  return along;
}

TTrackStats RangeStatistics(const TTrack& track, const std::vector<double>& along, size_t first,
                            size_t last) {
  TTrackStats s;
  const size_t n = track.Points.size();
  if (n == 0 || first >= n || along.size() != n) return s;
  last = std::min(last, n - 1);
  if (last < first) return s;
  s.Points = last - first + 1;
  double latest = -std::numeric_limits<double>::infinity();
  std::vector<size_t> chain;
  std::vector<double> speeds;
  for (size_t seg = track.SegmentOf(first); seg < track.SegmentCount(); ++seg) {
    const size_t b = track.SegmentBegin(seg), e = track.SegmentEnd(seg);
    if (b > last) break;
    const size_t lo = std::max(first, b), hi = std::min(last, e - 1);
    if (lo > hi) continue;
    s.DistanceM += along[hi] - along[lo];
    AddElevations(track, along, lo, hi, latest, chain, s);
    AddTimes(track, along, chain, speeds, s);
  }
  if (s.HasTime) {
    s.DurationS = s.End - s.Start;
    if (s.MovingS > 0) s.AvgSpeedMs = s.MovingDistanceM / s.MovingS;
  }
  return s;
}

TTrackStats SegmentStatistics(const TTrack& track, const std::vector<double>& along,
                              size_t segment) {
  if (segment >= track.SegmentCount()) return TTrackStats();
  const size_t b = track.SegmentBegin(segment), e = track.SegmentEnd(segment);
  if (b >= e) return TTrackStats();
  return RangeStatistics(track, along, b, e - 1);
}

TTrackStats TrackStatistics(const TTrack& track) {
  if (track.Points.empty()) return TTrackStats();
  return RangeStatistics(track, TrackDistances(track), 0, track.Points.size() - 1);
}

TTrackStats CombineStatistics(const std::vector<TTrackStats>& parts) {
  TTrackStats t;
  for (const TTrackStats& s : parts) {
    t.Points += s.Points;
    t.DistanceM += s.DistanceM;
    if (s.HasElevation) {
      t.AscentM += s.AscentM;
      t.DescentM += s.DescentM;
      t.MinEleM = t.HasElevation ? std::min(t.MinEleM, s.MinEleM) : s.MinEleM;
      t.MaxEleM = t.HasElevation ? std::max(t.MaxEleM, s.MaxEleM) : s.MaxEleM;
      t.HasElevation = true;
    }
    if (s.HasTime) {
      if (!t.HasTime) {
        t.HasTime = true;
        t.Start = s.Start;
        t.End = s.End;
        t.MovingS = 0;
        t.MovingDistanceM = 0;
      }
      t.Start = std::min(t.Start, s.Start);
      t.End = std::max(t.End, s.End);
      t.MovingS += s.MovingS;
      t.MovingDistanceM += s.MovingDistanceM;
      if (!std::isnan(s.MaxSpeedMs) && (std::isnan(t.MaxSpeedMs) || s.MaxSpeedMs > t.MaxSpeedMs))
        t.MaxSpeedMs = s.MaxSpeedMs;
    }
  }
  if (t.HasTime) {
    t.DurationS = t.End - t.Start;
    if (t.MovingS > 0) t.AvgSpeedMs = t.MovingDistanceM / t.MovingS;
  }
  return t;
}

}  // namespace wy

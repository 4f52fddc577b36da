#include "geo/track_speeds.h"

#include <limits>

#include "geo/ellipsoid_distance.h"

#include "geo/track_statistics.h"

namespace wy {

std::vector<double> TrackSpeeds(const TTrack& track, const std::vector<double>& along) {
  const std::vector<TTrackPoint>& p = track.Points;
  std::vector<double> speed(p.size(), kTrackNoValue);
  if (along.size() != p.size()) return speed;
  const double half = kSpeedWindowS;
  TPathDistance distance;
  double latest = -std::numeric_limits<double>::infinity();
  std::vector<size_t> chain;
  for (size_t seg = 0; seg < track.SegmentCount(); ++seg) {
    chain.clear();
    for (size_t i = track.SegmentBegin(seg); i < track.SegmentEnd(seg); ++i)
      if (p[i].HasTime() && !(p[i].Time <= latest)) {
        chain.push_back(i);
        latest = p[i].Time;
      }
    if (chain.size() < 2) continue;
    size_t back = 0, ahead = 0;
    for (size_t k = 0; k < chain.size(); ++k) {
      const double t = p[chain[k]].Time;
      while (back + 1 <= k && t - p[chain[back + 1]].Time >= half) ++back;
      if (ahead < k) ahead = k;
      while (ahead + 1 < chain.size() && p[chain[ahead]].Time - t < half) ++ahead;
      const size_t a = chain[back], b = chain[ahead];
      if (p[b].Time > p[a].Time)
        speed[chain[k]] =
            distance(p[a].Lat, p[a].Lng, p[b].Lat, p[b].Lng) / (p[b].Time - p[a].Time);
    }
  }
  return speed;
}

}  // namespace wy

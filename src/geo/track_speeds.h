#pragma once
// Speed along a recorded track at each point, for curves drawn against
// distance or time: the distance covered along the track from the latest
// point at least kSpeedWindowS / 2 before to the earliest point at least as
// long after, over that time (shorter near the ends of a segment). Only
// points whose time is later than every time before them carry a speed;
// the others, and tracks without times, get kTrackNoValue. No Qt.

#include <vector>

#include "geo/track.h"

namespace wy {

// `along` from TrackDistances. Metres per second.
std::vector<double> TrackSpeeds(const TTrack& track, const std::vector<double>& along);

}  // namespace wy

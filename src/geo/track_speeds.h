#pragma once
// Speed along a recorded track at each point, for curves drawn against
// distance or time: the straight distance from the latest point at least
// kSpeedWindowS before to the earliest point at least as long after, over
// that time (shorter near the ends of a segment), so that a position
// wandering during a stop reads as standing still. Only
// points whose time is later than every time before them carry a speed;
// the others, and tracks without times, get kTrackNoValue. No Qt.

#include <vector>

#include "geo/track.h"

namespace wy {

// `along` from TrackDistances (its size tells the track was measured).
// Metres per second.
std::vector<double> TrackSpeeds(const TTrack& track, const std::vector<double>& along);

}  // namespace wy

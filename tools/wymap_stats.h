#pragma once
// wymap stats FILE [--json]: the figures of every track of a file of shapes
// (distance, climbing, elevations, times, speeds; see
// geo/track_statistics.h). Text for people, one block per track and a
// total when there are several; with --json one object
// {"tracks": [{...}, ...], "total": {...}} with numbers in SI units as the
// keys name them, null where a figure does not exist and times as ISO 8601
// texts.

#include <ostream>
#include <string>
#include <vector>

#include "geo/track_statistics.h"

namespace wy {

// `args` are the words after "stats".
int RunStats(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
std::string StatsUsage();

// One track's figures as a JSON object; without `name` the object has no
// "name" key, with an empty one it is null.
std::string StatsJson(const std::string* name, const TTrackStats& s);

}  // namespace wy

#pragma once
// wymap convert IN OUT [--from F] [--to F]: reads a file of shapes in one
// format and writes it in another, without a window. F is own, gpx, kml,
// kmz or geojson; without --from / --to the extensions decide (as the map's
// LoadFromFile and SaveToFile do). Every point is kept. Large inputs report
// their stages on `err`; an input that cannot be read or holds no shapes
// is one "wymap: " line on `err` and exit code 1.

#include <ostream>
#include <string>
#include <vector>

namespace wy {

// `args` are the words after "convert".
int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The usage lines of the command, for the tool's --help.
std::string ConvertUsage();

}  // namespace wy

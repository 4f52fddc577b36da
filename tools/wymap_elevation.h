#pragma once
// The elevation command of the wymap tool (see tools/wymap_route.h):
// wymap elevation LAT,LNG ... prints one height in whole metres a line,
// -9999 where the service has none ([h, ..., null] with --json).

#include <ostream>
#include <string>
#include <vector>

#include "tools/wymap_route.h"

namespace wy {

std::string CheckElevationOperands(const std::vector<std::string>& operands);
int RunElevationCommand(const TServiceCommand& command, std::ostream& out, std::ostream& err);

}  // namespace wy

#pragma once
// The route and elevation commands of the wymap tool.
//
//   wymap route FROM TO [--json]     FROM and TO each "LAT,LNG" or an address;
//                                    prints the total distance in km and the
//                                    time, then one instruction a line:
//                                    distance of its stretch TAB text
//   wymap elevation LAT,LNG ...      one height in whole metres a line
//
// Routes come from the directions service in effect (an OSRM server,
// "endpoint.osrm", unless the open services have a base), heights from the
// elevation service ("endpoint.open-elevation" likewise). Both run on the
// window thread, whose queue they pump until the answer or the time-out.

#include <ostream>
#include <string>
#include <vector>

namespace wy {

struct TServiceCommand {
  std::vector<std::string> Operands;  // after the command word
  bool Json = false;
  double TimeoutSeconds = 60;
  std::string Cache;  // answer cache folder; "" for none
};

// "" when the operands fit the command, otherwise the reason.
std::string CheckRouteOperands(const std::vector<std::string>& operands);
int RunRouteCommand(const TServiceCommand& command, std::ostream& out, std::ostream& err);

// A time in seconds for people: "45 s", "2 min 20 s", "1 h 05 min".
std::string DurationText(int seconds);

}  // namespace wy

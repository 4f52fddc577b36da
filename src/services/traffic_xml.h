#pragma once

#include <string>

namespace wy {

// Icon addresses for the incident markers, one per kind of incident.
struct TrafficIcons {
  std::string low_impact;   // road works and other low-impact incidents
  std::string accident;     // minor and moderate incidents
  std::string road_closed;  // any incident that closes the road
  std::string serious;      // serious incidents
};

// Turns a traffic incidents answer (XML) into a "[markers]" block: a header
// line, one marker line per incident and a closing line break, all CRLF.
// Incidents whose position is not a valid coordinate pair are skipped; only
// the first 500 incidents are taken. Returns "" when there is no incident.
std::string TrafficXmlToMarkers(const std::string& xml, const TrafficIcons& icons);

}  // namespace wy

#include "services/traffic_xml.h"

#include <algorithm>
#include <cctype>

#include "geo/text_convert.h"
#include "platform/ascii.h"

namespace wy {

namespace {

constexpr int kMaxIncidents = 500;

struct Incident {
  std::string lat;
  std::string lng;
  std::string severity;
  bool has_severity = false;
  bool road_closed = false;
  std::string description;
};

std::string IconFor(const Incident& incident, const TrafficIcons& icons) {
  if (incident.road_closed) return icons.road_closed;
  const std::string severity = AsciiLower(Trim(incident.severity));
  if (severity == "lowimpact") return icons.low_impact;
  if (severity == "minor" || severity == "moderate") return icons.accident;
  if (severity == "serious") return icons.serious;
  return "";
}

// One marker line, or "" when the position is not a valid coordinate pair:
// the position texts come from the answer and are pasted into the line only
// after they read back as numbers, so they cannot add keys of their own.
std::string MarkerLine(const Incident& incident, const TrafficIcons& icons) {
  double lat = 0;
  double lng = 0;
  if (!TryStrToFloatDot(Trim(incident.lat), lat) || !TryStrToFloatDot(Trim(incident.lng), lng))
    return "";
  if (lat < -90 || lat > 90 || lng < -180 || lng > 180) return "";
  std::string line = "lng=" + Trim(incident.lng) + ";lat=" + Trim(incident.lat) + ";clickable=true";
  const std::string icon = IconFor(incident, icons);
  if (!icon.empty()) line += ";icon=" + EscapeChars(";=\r\n", icon);
  // Tags are stripped and entities decoded first; neutralising comes last so
  // a decoded "&lt;img&gt;" cannot become a real tag in the hint.
  const std::string title = NeutraliseMarkup(Trim(HtmlToText(incident.description)));
  line += ";title=" + EscapeChars(";=\r\n", title);
  return line + "\r\n";
}

}  // namespace

std::string TrafficXmlToMarkers(const std::string& xml, const TrafficIcons& icons) {
  std::string lines;
  int count = 0;
  bool in_incident = false;
  Incident incident;
  std::string tag;  // name of the innermost open element, lower case
  size_t pos = 0;
  while (pos < xml.size() && count < kMaxIncidents) {
    const size_t open = xml.find('<', pos);
    const std::string text =
        xml.substr(pos, open == std::string::npos ? std::string::npos : open - pos);
    if (in_incident && !text.empty()) {
      if (tag == "latitude")
        incident.lat = text;
      else if (tag == "longitude")
        incident.lng = text;
      else if (tag == "severity" && !incident.has_severity) {
        incident.severity = text;
        incident.has_severity = true;
      } else if (tag == "roadclosed")
        incident.road_closed = AsciiLower(Trim(text)) == "true";
      else if (tag == "description")
        incident.description = text;
    }
    if (open == std::string::npos) break;
    const size_t close = xml.find('>', open);
    if (close == std::string::npos) break;
    std::string body = xml.substr(open + 1, close - open - 1);
    pos = close + 1;
    const bool closing = !body.empty() && body[0] == '/';
    if (closing) body.erase(0, 1);
    const size_t name_end = body.find_first_of(" \t\r\n/");
    const std::string name = AsciiLower(body.substr(0, name_end));
    if (closing) {
      tag.clear();
      if (name == "trafficincident" && in_incident) {
        in_incident = false;
        const std::string line = MarkerLine(incident, icons);
        if (!line.empty()) {
          lines += line;
          ++count;
        }
      }
      continue;
    }
    if (name == "trafficincident") {
      in_incident = true;
      incident = Incident();
    }
    tag = name;
  }
  if (lines.empty()) return "";
  return "[markers]\r\n" + lines + "\r\n";
}

}  // namespace wy

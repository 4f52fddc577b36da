// The map's navigation address: "#" + zoom + "/" + latitude + "/" +
// longitude, as links of info windows and applications use it.

#include <algorithm>
#include <string>

#include "formats/param_parser.h"
#include "geo/text_convert.h"
#include "map/detail/fire_event.h"
#include "map/map_control.h"
#include "platform/open_url.h"

namespace wy {

std::string TVuroduDavControl::Url() const {
  return "#" + std::to_string(Zoom()) + "/" + FloatToStrFixedDot(6, Latitude()) + "/" +
         FloatToStrFixedDot(6, Longitude());
}

void TVuroduDavControl::SetUrl(const std::string& value) {
  // Surrounding blanks and control characters are not part of the address.
  size_t first = 0, last = value.size();
  while (first < last && static_cast<unsigned char>(value[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(value[last - 1]) <= ' ') --last;
  std::string v = value.substr(first, last - first);
  if (v.empty()) return;
  Fire(OnBeforeUrl, this, v);
  if (v.empty()) return;
  if (v[0] != '#') {
    // Links come from content the map does not trust: OpenUrl opens only
    // http, https and mailto addresses.
    OpenUrl(v);
    return;
  }
  v.erase(0, 1);
  const std::string zoomText = NextToken(v, "/");
  const std::string latText = NextToken(v, "/");
  int32_t zoom = 0;
  double lat = 0, lng = 0;
  // Every part must be a number; -1 is an ordinary coordinate here.
  if (!ParseParamInt(zoomText, zoom) || !ParseParamDouble(latText, lat) ||
      !ParseParamDouble(v, lng))
    return;
  // Clamped as a whole number: narrowed first, 300 would be zoom 44.
  SetZoom(static_cast<uint8_t>(std::clamp<int32_t>(zoom, 0, 255)));
  setCenter(lat, lng);
}

}  // namespace wy

#include "formats/navigation_url.h"

#include <algorithm>

#include "formats/param_parser.h"
#include "geo/text_convert.h"
#include "platform/open_url.h"

namespace wy {

std::string TrimNavigationUrl(const std::string& value) {
  size_t first = 0, last = value.size();
  while (first < last && static_cast<unsigned char>(value[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(value[last - 1]) <= ' ') --last;
  return value.substr(first, last - first);
}

TNavigationTarget ParseNavigationUrl(const std::string& value) {
  TNavigationTarget target;
  if (value.empty()) return target;
  if (value[0] != '#') {
    if (IsOpenableUrl(value)) {
      target.Kind = nkLink;
      target.Link = value;
    }
    return target;
  }
  std::string rest = value.substr(1);
  const std::string zoomText = NextToken(rest, "/");
  const std::string latText = NextToken(rest, "/");
  int32_t zoom = 0;
  double lat = 0, lng = 0;
  if (!ParseParamInt(zoomText, zoom) || !ParseParamDouble(latText, lat) ||
      !ParseParamDouble(rest, lng))
    return target;
  target.Kind = nkView;
  // Clamped as a whole number: narrowed first, 300 would be zoom 44.
  target.Zoom = static_cast<uint8_t>(std::clamp<int32_t>(zoom, 0, 255));
  target.Lat = lat;
  target.Lng = lng;
  return target;
}

}  // namespace wy

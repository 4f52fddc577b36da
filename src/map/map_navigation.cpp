// The map's navigation address: "#" + zoom + "/" + latitude + "/" +
// longitude, as links of info windows and applications use it.

#include <string>

#include "formats/navigation_url.h"
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
  std::string v = TrimNavigationUrl(value);
  if (v.empty()) return;
  Fire(OnBeforeUrl, this, v);
  const TNavigationTarget target = ParseNavigationUrl(v);
  switch (target.Kind) {
    case nkView:
      SetZoom(target.Zoom);
      setCenter(target.Lat, target.Lng);
      break;
    case nkLink:
      // Links come from content the map does not trust: OpenUrl opens only
      // http, https and mailto addresses.
      OpenUrl(target.Link);
      break;
    case nkIgnored:
      break;
  }
}

}  // namespace wy

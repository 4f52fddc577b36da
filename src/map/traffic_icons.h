#pragma once
// The map's own incident icons, drawn here rather than taken from any icon
// collection, as "data:image/png;base64,..." addresses the graphic pool
// decodes without a request. Used for every icon the traffic client has no
// address for (the "traffic.icon-base" setting empty).

#include <QImage>

#include "services/traffic_xml.h"

namespace wy {

// Road works, accident, road closed, serious incident; 22 x 22 pixels.
enum TTrafficIconKind : uint8_t { tikLowImpact, tikAccident, tikRoadClosed, tikSerious };

QImage DrawTrafficIcon(TTrafficIconKind kind);

// The four icons as data addresses (drawn once per process).
const TrafficIcons& DrawnTrafficIcons();

}  // namespace wy

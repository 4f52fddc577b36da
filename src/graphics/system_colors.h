// Colour conversion between this system's TColor values and Qt colours.
//
// System colours (3-D light, button face, tooltip background, ...) resolve
// through the one fixed RGB table behind ColorToRGB in geo/text_convert.h,
// never through the running style's palette, so pictures look the same on
// every desktop.
#pragma once

#include <QColor>

#include "geo/text_convert.h"

namespace wy {

// Plain RGB (red in the low byte) of any colour, system colours included.
inline TColor ResolveColor(TColor color) {
  return ColorToRGB(color);
}

// The resolved colour as an opaque (or `alpha`) QColor.
QColor ToQColor(TColor color, int alpha = 255);

// The RGB of a QColor as a TColor (alpha dropped).
TColor FromQColor(const QColor& color);

}  // namespace wy

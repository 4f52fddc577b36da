#include "graphics/system_colors.h"

#include <algorithm>

namespace wy {

QColor ToQColor(TColor color, int alpha) {
  const TColor rgb = ResolveColor(color);
  return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                static_cast<int>((rgb >> 16) & 0xFF), std::clamp(alpha, 0, 255));
}

TColor FromQColor(const QColor& color) {
  const QRgb rgb = color.rgb();
  return static_cast<TColor>(qRed(rgb)) | static_cast<TColor>(qGreen(rgb)) << 8 |
         static_cast<TColor>(qBlue(rgb)) << 16;
}

}  // namespace wy

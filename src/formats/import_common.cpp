#include "formats/import_common.h"

#include <cmath>

#include "geo/text_convert.h"

namespace wy {

bool ReadCoordinate(const std::string& text, double limit, double& value) {
  double v = 0;
  if (!TryStrToFloatDot(text, v) || !std::isfinite(v) || v < -limit || v > limit) return false;
  value = v;
  return true;
}

std::string ImportedText(const std::string& text) {
  return EscapeChars(";=\r\n", NeutraliseMarkup(text));
}

std::string JoinShapeSections(const std::string& markers, const std::string& lines,
                              const std::string& polygons) {
  std::string out;
  out.reserve(markers.size() + lines.size() + polygons.size() + 64);
  if (!markers.empty()) out.append("[markers]\r\n").append(markers).append("\r\n");
  if (!lines.empty()) out.append("[polylines]\r\n").append(lines).append("\r\n");
  if (!polygons.empty()) out.append("[polygones]\r\n").append(polygons).append("\r\n");
  return out;
}

}  // namespace wy

#include "formats/import_common.h"

#include <cmath>

#include "formats/shape_file.h"
#include "geo/memory_advice.h"
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

bool IsAllowedIcon(const std::string& address) {
  if (IsWebAddress(address)) return true;
  std::string scheme = address.substr(0, 5);
  for (char& c : scheme)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return scheme == "data:";
}

std::string JoinShapeSections(const std::string& markers, const std::string& lines,
                              const std::string& polygons) {
  std::string out;
  ReserveText(out, markers.size() + lines.size() + polygons.size() + 64);
  if (!markers.empty()) out.append("[markers]\r\n").append(markers).append("\r\n");
  if (!lines.empty()) out.append("[polylines]\r\n").append(lines).append("\r\n");
  if (!polygons.empty()) out.append("[polygones]\r\n").append(polygons).append("\r\n");
  return out;
}

std::string XmlAsUtf8(std::string text) {
  const size_t end = text.find("?>");
  if (text.compare(0, 5, "<?xml") != 0 || end == std::string::npos) return text;
  std::string declaration = text.substr(0, end);
  for (char& c : declaration)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (declaration.find("iso-8859-1") == std::string::npos) return text;
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"";
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = end; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string_view XmlLocalName(const std::string& tag, bool& closing) {
  std::string_view name(tag);
  closing = !name.empty() && name[0] == '/';
  if (closing) name.remove_prefix(1);
  if (!name.empty() && name.back() == '/') name.remove_suffix(1);  // "<wpt/>"
  const size_t colon = name.find(':');
  if (colon != std::string_view::npos) name.remove_prefix(colon + 1);
  return name;
}

}  // namespace wy

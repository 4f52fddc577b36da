#include "geo/route_path.h"

#include "geo/text_convert.h"

namespace wy {

namespace {

std::string TrimBlanks(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string TWyRoutePathPoint::Text() const {
  // The service separates the parts of an enhanced instruction with div
  // blocks in a smaller font; each block becomes a line of its own.
  std::string text = ReplaceAll(FInstructions, "</div><div style=\"font-size:0.9em\">", "\n");
  text = ReplaceAll(text, "<div style=\"font-size:0.9em\">", "\n");
  text = ReplaceAll(text, "</div>", "\n");
  return HtmlToText(TrimBlanks(text));
}

int32_t TWyRoutePath::add(double dLatitude, double dLongitude, double dAltitude, int32_t lDistance,
                          const std::string& txt) {
  FList.emplace_back(dLatitude, dLongitude, dAltitude, lDistance, txt);
  return count() - 1;
}

const TWyRoutePathPoint* TWyRoutePath::Items(int32_t index) const {
  if (index < 0 || index >= count()) return nullptr;
  return &FList[static_cast<size_t>(index)];
}

int32_t TWyRoutePath::IndexOfLatLng(double dLatitude, double dLongitude) const {
  for (size_t i = 0; i < FList.size(); ++i)
    if (FList[i].Latitude() == dLatitude && FList[i].Longitude() == dLongitude)
      return static_cast<int32_t>(i);
  return -1;
}

}  // namespace wy

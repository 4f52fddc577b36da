#include "geo/route_path.h"

#include "geo/text_convert.h"

namespace wy {

std::string TWyRoutePathPoint::Text() const {
  // The service separates the parts of an enhanced instruction with div
  // blocks in a smaller font; each block becomes a line of its own.
  std::string text = ReplaceAll(FInstructions, "</div><div style=\"font-size:0.9em\">", "\n");
  text = ReplaceAll(text, "<div style=\"font-size:0.9em\">", "\n");
  text = ReplaceAll(text, "</div>", "\n");
  return HtmlToText(Trim(text));
}

std::string TWyRoutePathPoint::ToGpx() const {
  std::string gpx =
      "<wpt lat=\"" + FloatToStrDot(FLatitude) + "\" lon=\"" + FloatToStrDot(FLongitude) + "\">";
  const std::string text = Text();
  if (!text.empty()) gpx += "<name>" + CDataSection(text) + "</name>";
  if (!FInstructions.empty()) gpx += "<desc>" + CDataSection(FInstructions) + "</desc>";
  return gpx + "</wpt>";
}

std::string TWyRoutePathPoint::ToKml() const {
  return "<Placemark><name>" + CDataSection(Text()) + "</name>" + KmlDescription(FInstructions) +
         "<Point><coordinates>" + FloatToStrDot(FLongitude) + "," + FloatToStrDot(FLatitude) +
         ",0</coordinates></Point></Placemark>";
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

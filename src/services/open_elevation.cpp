#include "services/open_elevation.h"

#include <vector>

#include "formats/json_parser.h"
#include "geo/route_path.h"
#include "geo/text_convert.h"
#include "services/directions_answer.h"

namespace wy {

namespace {

// Reads results[].elevation; a result without one (or null) has none.
class TElevationReader : public TSAJ {
 public:
  std::vector<std::string> Values;
  bool HaveResults = false;

 protected:
  void StartElement(const std::string& name) override { FPath.push_back(name); }
  void EndElement() override {
    if (!FPath.empty()) FPath.pop_back();
  }
  void StartObject() override {
    if (FPath.size() == 2 && FPath[0] == "results") {
      HaveResults = true;
      Values.emplace_back("null");
    }
  }
  void SetElementValue(const std::string& value) override {
    if (FPath.size() == 3 && FPath[0] == "results" && FPath[2] == "elevation" && !Values.empty())
      Values.back() = value;
  }

 private:
  std::vector<std::string> FPath;
};

}  // namespace

std::string OpenElevationPath(const std::string& requestText) {
  const std::string points = requestText.substr(0, requestText.find('&'));
  std::vector<std::string> values;
  size_t start = 0;
  while (start <= points.size()) {
    size_t comma = points.find(',', start);
    if (comma == std::string::npos) comma = points.size();
    values.push_back(points.substr(start, comma - start));
    start = comma + 1;
  }
  if (values.size() < 2 || values.size() % 2 != 0) return std::string();
  std::string locations;
  for (size_t i = 0; i < values.size(); i += 2) {
    double lat = 0, lng = 0;
    if (!TryStrToFloatDot(values[i], lat) || !TryStrToFloatDot(values[i + 1], lng))
      return std::string();
    if (!locations.empty()) locations += '|';
    locations += TwoFloatsToText(lat, lng);
  }
  return "/api/v1/lookup?locations=" + locations;
}

bool ParseOpenElevationAnswer(const std::string& answer, TServiceResultList& lines) {
  lines.Clear();
  TElevationReader reader;
  reader.ParseJSON(answer);
  if (!reader.HaveResults) return false;
  for (const std::string& value : reader.Values) {
    int metres = static_cast<int>(TWyRoutePathPoint::kNoAltitude);
    double height = 0;
    if (value != "null") {
      if (!TryStrToFloatDot(value, height) || !RoundWhole(height, metres)) {
        lines.Clear();
        return false;
      }
    }
    lines.Add(std::to_string(metres));
  }
  return true;
}

}  // namespace wy

#include "services/osrm_route.h"

#include <cmath>
#include <cstdint>

#include "formats/json_parser.h"
#include "geo/coordinate_text.h"
#include "geo/query_value.h"
#include "geo/text_convert.h"
#include "platform/ascii.h"
#include "services/directions_answer.h"

namespace wy {

namespace {

struct TOsrmStep {
  double Distance = 0;
  std::string Name, Ref, Type, Modifier, Exit;
  std::vector<double> Location;  // lng, lat
};

// Reads the first route of an answer.
class TOsrmReader : public TSAJ {
 public:
  std::string Code, Message, Geometry;
  double Distance = 0, Duration = 0;
  bool HaveRoute = false;
  std::vector<TOsrmStep> Steps;

 protected:
  void StartElement(const std::string& name) override { FPath.push_back(name); }
  void EndElement() override {
    if (!FPath.empty()) FPath.pop_back();
  }
  void StartObject() override {
    if (Is({"routes", ""})) {
      ++FRoutes;
      if (FRoutes == 1) HaveRoute = true;
    } else if (InRoute() && Is({"routes", "", "legs", "", "steps", ""})) {
      Steps.emplace_back();
    }
  }
  void SetElementValue(const std::string& value) override {
    if (Is({"code"})) Code = JsonDecodeString(value);
    if (Is({"message"})) Message = JsonDecodeString(value);
    if (!InRoute()) return;
    if (Is({"routes", "", "distance"})) TryStrToFloatDot(value, Distance);
    if (Is({"routes", "", "duration"})) TryStrToFloatDot(value, Duration);
    if (Is({"routes", "", "geometry"})) Geometry = JsonDecodeString(value);
    if (Steps.empty() || FPath.size() < 7 || FPath[4] != "steps") return;
    TOsrmStep& step = Steps.back();
    const std::string& key = FPath[6];
    if (FPath.size() == 7) {
      if (key == "distance") TryStrToFloatDot(value, step.Distance);
      if (key == "name") step.Name = JsonDecodeString(value);
      if (key == "ref") step.Ref = JsonDecodeString(value);
    } else if (key == "maneuver" && FPath.size() == 8) {
      if (FPath[7] == "type") step.Type = JsonDecodeString(value);
      if (FPath[7] == "modifier") step.Modifier = JsonDecodeString(value);
      if (FPath[7] == "exit") step.Exit = value;
    } else if (key == "maneuver" && FPath.size() == 9 && FPath[7] == "location") {
      double v = 0;
      if (TryStrToFloatDot(value, v)) step.Location.push_back(v);
    }
  }

 private:
  bool Is(std::initializer_list<const char*> path) const {
    if (path.size() != FPath.size()) return false;
    size_t i = 0;
    for (const char* name : path)
      if (FPath[i++] != name) return false;
    return true;
  }
  bool InRoute() const { return FRoutes == 1 && FPath.size() >= 2 && FPath[0] == "routes"; }

  std::vector<std::string> FPath;
  int FRoutes = 0;
};

// A line of the result list holds no line breaks.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

std::string Onto(const std::string& name) {
  return name.empty() ? std::string() : " onto " + name;
}

// "left", "slight right", ... as a verb phrase: "Turn left", "Bear right".
std::string TurnPhrase(const std::string& modifier) {
  if (modifier == "uturn") return "Make a U-turn";
  if (modifier == "straight") return "Go straight";
  if (modifier == "slight left") return "Bear left";
  if (modifier == "slight right") return "Bear right";
  if (modifier.empty()) return "Turn";
  return "Turn " + modifier;
}

std::string Side(const std::string& modifier) {
  if (modifier.find("left") != std::string::npos) return "left";
  if (modifier.find("right") != std::string::npos) return "right";
  return std::string();
}

std::string QueryValue(const std::string& text, const std::string& name, size_t& from) {
  while (from < text.size()) {
    size_t end = text.find('&', from);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(from, end - from);
    from = end + 1;
    if (item.compare(0, name.size() + 1, name + "=") == 0) return item.substr(name.size() + 1);
  }
  return std::string();
}

// "lat,lng" as "lng,lat"; "" unless both are numbers.
std::string LngLat(const std::string& latLng) {
  double lat = 0, lng = 0;
  if (!ParseLatLngText(latLng, lat, lng)) return std::string();
  return FloatToStrDot(lng) + "," + FloatToStrDot(lat);
}

}  // namespace

bool DecodePolyline(const std::string& encoded, std::vector<std::pair<double, double>>& points) {
  points.clear();
  int64_t lat = 0, lng = 0;
  size_t i = 0;
  auto next = [&](int64_t& value) {
    int64_t result = 0;
    int shift = 0;
    while (true) {
      if (i >= encoded.size() || shift > 30) return false;
      const int b = static_cast<unsigned char>(encoded[i++]) - 63;
      if (b < 0 || b > 63) return false;
      result |= static_cast<int64_t>(b & 0x1f) << shift;
      shift += 5;
      if (b < 0x20) break;
    }
    value += (result & 1) ? ~(result >> 1) : (result >> 1);
    return true;
  };
  while (i < encoded.size()) {
    if (!next(lat) || !next(lng)) {
      points.clear();
      return false;
    }
    points.emplace_back(static_cast<double>(lat) / 1e5, static_cast<double>(lng) / 1e5);
  }
  return true;
}

std::string OsrmInstruction(const std::string& type, const std::string& modifier,
                            const std::string& name, const std::string& exit) {
  if (type == "depart") return name.empty() ? "Head out" : "Head out on " + name;
  if (type == "arrive") {
    const std::string side = Side(modifier);
    return side.empty() ? "Arrive at your destination"
                        : "Arrive at your destination, on the " + side;
  }
  if (type == "new name") return name.empty() ? "Continue" : "Continue onto " + name;
  if (type == "continue") {
    const std::string how = modifier.empty() || modifier == "straight" ? "" : " " + modifier;
    return (modifier == "uturn" ? "Make a U-turn" : "Continue" + how) + Onto(name);
  }
  if (type == "merge")
    return "Merge" + (Side(modifier).empty() ? "" : " " + Side(modifier)) + Onto(name);
  if (type == "on ramp") return "Take the ramp" + Onto(name);
  if (type == "off ramp") return "Take the exit" + Onto(name);
  if (type == "fork") {
    const std::string side = Side(modifier);
    return (side.empty() ? "Keep straight" : "Keep " + side) + " at the fork" + Onto(name);
  }
  if (type == "end of road") {
    std::string phrase = TurnPhrase(modifier);
    phrase[0] = static_cast<char>(phrase[0] - 'A' + 'a');
    return "At the end of the road, " + phrase + Onto(name);
  }
  if (type == "roundabout" || type == "rotary") {
    return "Enter the roundabout" + (exit.empty() ? "" : " and take exit " + exit) + Onto(name);
  }
  if (type == "exit roundabout" || type == "exit rotary") return "Exit the roundabout" + Onto(name);
  if (type == "roundabout turn") {
    std::string phrase = TurnPhrase(modifier);
    phrase[0] = static_cast<char>(phrase[0] - 'A' + 'a');
    return "At the roundabout, " + phrase + Onto(name);
  }
  // "turn", "use lane", "notification" and types added later.
  return TurnPhrase(modifier) + Onto(name);
}

std::string OsrmProfile(const std::string& routeType) {
  const std::string type = AsciiLower(routeType);
  if (type == "pedestrian") return "foot";
  if (type == "bicycle") return "bike";
  return "driving";
}

std::string OsrmRoutePath(const std::string& requestText) {
  std::string coordinates;
  for (const char* name : {"from", "to"}) {
    size_t from = 0;
    while (true) {
      const std::string value = DecodeQueryValue(QueryValue(requestText, name, from));
      if (value.empty()) break;
      const std::string point = LngLat(value);
      if (point.empty()) return std::string();
      coordinates += (coordinates.empty() ? "" : ";") + point;
      if (std::string(name) == "from") break;
    }
    if (coordinates.empty()) return std::string();
  }
  if (coordinates.find(';') == std::string::npos) return std::string();
  size_t from = 0;
  const std::string profile = OsrmProfile(QueryValue(requestText, "routeType", from));
  return "/route/v1/" + profile + "/" + coordinates +
         "?steps=true&overview=full&geometries=polyline";
}

bool ParseOsrmAnswer(const std::string& answer, TServiceResultList& lines, std::string& error) {
  lines.Clear();
  TOsrmReader reader;
  reader.ParseJSON(answer);
  std::vector<std::pair<double, double>> points;
  if (reader.Code != "Ok" || !reader.HaveRoute || !DecodePolyline(reader.Geometry, points) ||
      points.empty()) {
    error = reader.Code.empty()
                ? std::string("no route in the answer")
                : reader.Code + (reader.Message.empty() ? "" : ": " + reader.Message);
    return false;
  }
  for (const auto& p : points) lines.Add(TwoFloatsToText(p.first, p.second));

  // Each step starts at the shape point nearest its manoeuvre, searched
  // forward from the previous step's point.
  std::vector<bool> taken(points.size(), false);
  size_t at = 0;
  int64_t sum = 0;
  for (const TOsrmStep& step : reader.Steps) {
    int metres = 0;
    RoundWhole(step.Distance, metres);
    sum += metres;
    if (step.Location.size() != 2) continue;
    const double lng = step.Location[0], lat = step.Location[1];
    size_t best = at;
    double bestD = HUGE_VAL;
    for (size_t i = at; i < points.size(); ++i) {
      const double d = std::hypot(points[i].first - lat, points[i].second - lng);
      if (d < bestD) {
        bestD = d;
        best = i;
      }
    }
    at = best;
    // A via point ends one leg and starts the next: the first instruction
    // there stays.
    if (taken[best]) continue;
    taken[best] = true;
    const std::string text = OsrmInstruction(step.Type, step.Modifier,
                                             step.Name.empty() ? step.Ref : step.Name, step.Exit);
    const int line = static_cast<int>(best);
    lines.SetStrings(line, lines.Strings(line) + "," + std::to_string(sum) + "," + OneLine(text));
  }
  int distance = 0, duration = 0;
  RoundWhole(reader.Distance, distance);
  RoundWhole(reader.Duration, duration);
  lines.Add(std::to_string(distance) + "," + std::to_string(duration));
  lines.Add(RawAnswerLine(answer));
  return true;
}

}  // namespace wy

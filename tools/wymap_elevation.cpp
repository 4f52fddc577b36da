#include "tools/wymap_elevation.h"

#include "geo/settings.h"
#include "services/mapquest_services.h"
#include "tools/wymap_cli.h"
#include "tools/wymap_service_wait.h"

namespace wy {

using wymap_detail::FailLine;
using wymap_detail::PumpFor;
using wymap_detail::ReadLatLng;

std::string CheckElevationOperands(const std::vector<std::string>& operands) {
  if (operands.empty()) return "elevation wants one or more LAT,LNG";
  double lat = 0, lng = 0;
  for (const std::string& point : operands)
    if (!ReadLatLng(point, lat, lng))
      return "elevation wants LAT,LNG with -90 to 90 and -180 to 180, not \"" + point + "\"";
  return "";
}

int RunElevationCommand(const TServiceCommand& command, std::ostream& out, std::ostream& err) {
  TOpenMapQuestServices services;
  services.SetLocalCache(command.Cache);
  std::string points;
  for (const std::string& point : command.Operands) {
    double lat = 0, lng = 0;
    ReadLatLng(point, lat, lng);
    if (!points.empty()) points += ',';
    points += TwoFloatsToText(lat, lng);
  }
  const std::string server = TOpenMapQuestServices::BackendOf(mkAltitude) == sbOpenElevation
                                 ? GetEndpoint("open-elevation")
                                 : GetEndpoint("mapquest-open");
  bool done = false;
  services.OnAltitude = [&done](TOpenMapQuestServices*) { done = true; };
  services.AsyncAltitude(points);
  if (!PumpFor([&done] { return done; }, command.TimeoutSeconds))
    return FailLine(err, "elevation", "no answer from " + server);
  const TServiceResultList& heights = services.AltitudeResults();
  if (heights.Count() != static_cast<int>(command.Operands.size())) {
    const std::string& why = services.Answer(mkAltitude).Error;
    return FailLine(
        err, "elevation",
        (why.empty() ? std::string("no heights in the answer") : why) + " (" + server + ")");
  }
  if (command.Json) out << '[';
  for (int i = 0; i < heights.Count(); ++i) {
    const std::string& h = heights.Strings(i);
    if (command.Json)
      out << (i ? "," : "") << (h == "-9999" ? "null" : h);
    else
      out << h << '\n';
  }
  if (command.Json) out << "]\n";
  return kWymapOk;
}

}  // namespace wy

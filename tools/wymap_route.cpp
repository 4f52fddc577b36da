#include "tools/wymap_route.h"

#include <memory>

#include "geo/query_value.h"
#include "geo/settings.h"
#include "services/geo_localise.h"
#include "tools/wymap_cli.h"
#include "tools/wymap_service_wait.h"

namespace wy {

using wymap_detail::FailLine;
using wymap_detail::PumpFor;
using wymap_detail::ReadLatLng;

namespace {

std::string Kilometres(int metres) {
  return FloatToStrFixedDot(metres >= 100000 ? 1 : 3, metres / 1000.0) + " km";
}

// The server that answers routes, for failure lines.
std::string RouteServer() {
  return TOpenMapQuestServices::BackendOf(mkDirections) == sbOsrm ? GetEndpoint("osrm")
                                                                  : GetEndpoint("mapquest-open");
}

}  // namespace

std::string DurationText(int seconds) {
  if (seconds < 0) seconds = 0;
  if (seconds < 60) return std::to_string(seconds) + " s";
  if (seconds < 3600) {
    const int s = seconds % 60;
    return std::to_string(seconds / 60) + " min" + (s ? " " + std::to_string(s) + " s" : "");
  }
  const int minutes = (seconds + 30) / 60;
  const int m = minutes % 60;
  return std::to_string(minutes / 60) + " h " + (m < 10 ? "0" : "") + std::to_string(m) + " min";
}

std::string CheckRouteOperands(const std::vector<std::string>& operands) {
  if (operands.size() != 2)
    return "route wants FROM and TO, each LAT,LNG or an address (quote addresses with blanks)";
  for (const std::string& place : operands)
    if (place.find_first_not_of(" \t") == std::string::npos) return "route wants non-empty places";
  return "";
}

int RunRouteCommand(const TServiceCommand& command, std::ostream& out, std::ostream& err) {
  TWyGeoLocalise geo;
  geo.SetLocalCache(command.Cache);
  TOpenMapQuestServices& services = geo.MapQuestServices();

  // Coordinates stay as they are; an address is geocoded first (an address
  // pair goes to the services client's own address form).
  std::vector<double> points;
  std::vector<bool> isPoint;
  for (const std::string& place : command.Operands) {
    double lat = 0, lng = 0;
    isPoint.push_back(ReadLatLng(place, lat, lng));
    points.push_back(lat);
    points.push_back(lng);
  }
  std::string text;
  if (!isPoint[0] && !isPoint[1]) {
    text = TWyGeoLocalise::RouteByAddressText(EncodeQueryValue(command.Operands[0]),
                                              EncodeQueryValue(command.Operands[1]), "");
  } else {
    for (size_t i = 0; i < 2; ++i) {
      if (isPoint[i]) continue;
      bool found = false;
      services.OnSearch = [&found](TOpenMapQuestServices*) { found = true; };
      services.AsyncSearch(EncodeQueryValue(command.Operands[i]));
      if (!PumpFor([&found] { return found; }, command.TimeoutSeconds))
        return FailLine(err, "route", "no answer from " + GetEndpoint("nominatim"));
      if (services.SearchCount() == 0)
        return FailLine(err, "route", "address not found: " + command.Operands[i]);
      TNominatimResult& place = services.SearchResult(0);
      points[2 * i] = place.Latitude();
      points[2 * i + 1] = place.Longitude();
    }
    text = TWyGeoLocalise::RouteFromText(points, "");
  }

  bool done = false;
  TWyRoutePath route;
  geo.OnRoutePath = [&](TWyGeoLocalise*, const std::string&, const TWyRoutePath& path) {
    route = path;
    done = true;
  };
  geo.AsyncRoutePath(text);
  if (!PumpFor([&done] { return done; }, command.TimeoutSeconds))
    return FailLine(err, "route", "no answer from " + RouteServer());
  if (route.count() == 0) {
    const std::string& why = services.Answer(mkDirections).Error;
    return FailLine(err, "route", why.empty() ? "no route in the answer" : why);
  }

  // A point's distance runs to the end of its manoeuvre: the stretch of a
  // manoeuvre is the difference to the one before.
  int before = 0;
  if (command.Json) {
    out << "{\"distance_m\":" << route.Distance() << ",\"duration_s\":" << route.Duration()
        << ",\"instructions\":[";
    bool first = true;
    for (int i = 0; i < route.count(); ++i) {
      const TWyRoutePathPoint& p = *route.Items(i);
      if (p.Instructions().empty()) continue;
      out << (first ? "\n" : ",\n") << "  {\"lat\":" << FloatToStrDot(p.Latitude())
          << ",\"lng\":" << FloatToStrDot(p.Longitude())
          << ",\"distance_m\":" << p.Distance() - before << ",\"text\":" << JsonString(p.Text())
          << "}";
      before = p.Distance();
      first = false;
    }
    out << (first ? "]}\n" : "\n]}\n");
    return kWymapOk;
  }
  out << Kilometres(route.Distance()) << '\t' << DurationText(route.Duration()) << '\n';
  for (int i = 0; i < route.count(); ++i) {
    const TWyRoutePathPoint& p = *route.Items(i);
    if (p.Instructions().empty()) continue;
    std::string text = p.Text();
    for (char& c : text)
      if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    out << Kilometres(p.Distance() - before) << '\t' << text << '\n';
    before = p.Distance();
  }
  return kWymapOk;
}

}  // namespace wy

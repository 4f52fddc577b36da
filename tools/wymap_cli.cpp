#include "tools/wymap_cli.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string_view>
#include <utility>

#include "formats/export_text.h"
#include "geo/coordinate_text.h"
#include "geo/enums.h"
#include "geo/query_value.h"
#include "geo/settings.h"
#include "geo/text_convert.h"
#include "geo/utf.h"
#include "map/map_control.h"
#include "map/map_picture_file.h"
#include "map/map_renderer.h"
#include "platform/ascii.h"
#include "platform/window_thread.h"
#include "services/geocoding.h"
#include "services/mapquest_services.h"
#include "services/places.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_line.h"
#include "shapes/shape_marker.h"
#include "shapes/shape_poi.h"
#include "shapes/shapes_group.h"
#include "tiles/graphic_pool.h"
#include "tiles/tile_catalog.h"
#include "tiles/tile_server.h"
#include "tools/wymap_cache.h"
#include "tools/wymap_convert.h"
#include "tools/wymap_elevation.h"
#include "tools/wymap_profile.h"
#include "tools/wymap_route.h"
#include "tools/wymap_service_wait.h"
#include "tools/wymap_stats.h"

namespace wy {
namespace {

constexpr const char* kDefaultTags = "node[amenity=*]";
constexpr int kDefaultMax = 100;
constexpr int kMaxMax = 100000;
constexpr int kMaxRadius = 100000;
constexpr double kDefaultTimeoutSeconds = 60;
constexpr double kMaxTimeoutSeconds = 86400;
constexpr int kMaxImageSide = 8192;

// The endpoint names --endpoint accepts.
const char* const kEndpointNames[] = {"nominatim", "xapi",           "xapi-fallback",
                                      "osrm",      "open-elevation", "mapquest-open"};

enum TCommand { cmNone, cmGeocode, cmReverse, cmPlaces, cmRender, cmCache, cmRoute, cmElevation };

bool ParseStrictInt(const std::string& text, int64_t& value);

// One shape drawn by render: a marker (optional icon address), a POI
// (optional figure), a line, a polygon or an info window (its HTML).
struct TShapeOption {
  enum TKind { skMarker, skPoi, skLine, skPolygon, skInfo } Kind = skMarker;
  std::vector<TLatLng> Points;
  std::string Text;  // icon address, POI figure or info content
  TPOIShape Figure = poiEllipse;
};

struct TArguments {
  TCommand Command = cmNone;
  bool Help = false;
  bool Json = false;
  bool Fit = false;  // render: frame the view on the shapes
  bool HasCache = false;
  std::string Cache;
  std::vector<std::pair<std::string, std::string>> Endpoints;
  std::string Address;
  double Latitude = 0, Longitude = 0;
  bool HasLatitude = false, HasLongitude = false, HasRadius = false;
  int Radius = 0;
  std::string Tags = kDefaultTags;
  int Max = kDefaultMax;
  double TimeoutSeconds = kDefaultTimeoutSeconds;
  std::vector<std::string> PlacesOnly;  // places options seen, for the check
  std::vector<std::string> RenderOnly;  // render options seen, for the check
  std::vector<std::string> Position;    // --lat and --lng (places and render)
  // render
  int Zoom = 0;
  bool HasZoom = false;
  int Width = 0, Height = 0;
  bool HasSize = false;
  double Dpi = 96;  // pixels per inch of a PDF page
  TTileServer TileServer = tsOSM;
  std::string TileServerName = "osm";
  bool HasTileServer = false;
  std::string TileUrl;
  bool HasTileUrl = false;
  std::string Tiles;  // a local tile source: MBTiles file or tile folder
  std::string Style;  // the style file of a vector tile source
  bool HasTiles = false;
  std::string Output;
  bool HasOutput = false;
  std::vector<TShapeOption> Shapes;
  // route and elevation
  std::vector<std::string> Operands;
  // cache
  TCacheCommand CacheCommand;
  std::vector<std::string> CacheOnly;  // cache options seen, for the check
  // Files (or http(s) addresses) of saved maps drawn by render, in order,
  // and the file render saves what it drew to.
  std::vector<std::string> ShapeFiles;
  std::string ShapesOut;
  bool HasShapesOut = false;
};

// "LAT,LNG" with a latitude from -90 to 90 and a longitude from -180 to 180.
bool ParseLatLng(const std::string& text, TLatLng& at) {
  double lat = 0, lng = 0;
  if (!ParseLatLngText(text, lat, lng)) return false;
  at.Lat = lat;
  at.Lng = lng;
  return true;
}

// The value of a shape option; an error text, empty when it reads.
std::string ParseShapeOption(const std::string& name, const std::string& value,
                             TShapeOption& shape) {
  // LAT,LNG then, for markers, POIs and info windows, the rest after the
  // second comma as it stands (icon addresses and HTML may hold commas).
  auto head = [&](std::string& rest) {
    const size_t first = value.find(',');
    const size_t second = first == std::string::npos ? first : value.find(',', first + 1);
    TLatLng at;
    if (!ParseLatLng(value.substr(0, second), at)) return false;
    shape.Points.push_back(at);
    rest = second == std::string::npos ? "" : value.substr(second + 1);
    return true;
  };
  if (name == "--marker") {
    shape.Kind = TShapeOption::skMarker;
    if (!head(shape.Text)) return "--marker wants LAT,LNG[,ICON], not \"" + value + "\"";
  } else if (name == "--poi") {
    shape.Kind = TShapeOption::skPoi;
    std::string figure;
    if (!head(figure)) return "--poi wants LAT,LNG[,SHAPE], not \"" + value + "\"";
    const std::pair<const char*, TPOIShape> figures[] = {{"", poiEllipse},
                                                         {"ellipse", poiEllipse},
                                                         {"star", poiStar},
                                                         {"rect", poiRect},
                                                         {"triangle", poiTriangle}};
    bool known = false;
    for (const auto& f : figures)
      if (figure == f.first) {
        shape.Figure = f.second;
        known = true;
      }
    if (!known) return "--poi SHAPE is ellipse, star, rect or triangle, not \"" + figure + "\"";
  } else if (name == "--info") {
    shape.Kind = TShapeOption::skInfo;
    if (!head(shape.Text) || value.find(',', value.find(',') + 1) == std::string::npos)
      return "--info wants LAT,LNG,HTML, not \"" + value + "\"";
  } else {  // --line, --polygon
    const bool polygon = name == "--polygon";
    shape.Kind = polygon ? TShapeOption::skPolygon : TShapeOption::skLine;
    std::string rest = value;
    while (!rest.empty()) {
      const std::string point = NextToken(rest, ";");
      TLatLng at;
      if (!ParseLatLng(point, at))
        return name + " wants \"LAT,LNG;LAT,LNG;...\", not \"" + point + "\"";
      shape.Points.push_back(at);
    }
    const size_t least = polygon ? 3 : 2;
    if (shape.Points.size() < least)
      return name + " wants at least " + std::to_string(least) + " points";
  }
  return "";
}

// "WxH" with both sides whole numbers from 1 to kMaxImageSide.
bool ParseSize(const std::string& text, int& width, int& height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  int64_t w = 0, h = 0;
  if (!ParseStrictInt(text.substr(0, x), w) || !ParseStrictInt(text.substr(x + 1), h)) return false;
  if (w < 1 || h < 1 || w > kMaxImageSide || h > kMaxImageSide) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

// The tile service a name stands for; false when it names none (the
// registry's reader falls back to OSM for unknown names).
bool ParseTileServer(const std::string& text, TTileServer& server) {
  const TTileServer found = StrToTileServer(text);
  const std::string name = TileServerToStr(found);
  if (!AsciiEqualNoCase(name, text)) return false;
  server = found;
  return true;
}

std::string TileServerNames() {
  std::string names;
  for (int i = tsNone + 1; i <= tsOffline; ++i) {
    if (!names.empty()) names += ", ";
    names += TileServerToStr(static_cast<TTileServer>(i));
  }
  return names;
}

// Replaces control characters by blanks, so that a field stays on its line
// and a server cannot send terminal escapes to the user's screen.
std::string OneLine(const std::string& text) {
  std::string out = text;
  for (char& ch : out) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) ch = ' ';
  }
  return out;
}

// A negative number such as "-33.8" is an argument, not an option.
bool LooksLikeNumber(const std::string& text) {
  return text.size() >= 2 && text[0] == '-' &&
         (std::isdigit(static_cast<unsigned char>(text[1])) || text[1] == '.');
}

bool ParseStrictInt(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

// The number as the service wrote it when it is a JSON number, else null.
std::string JsonNumber(const std::string& text) {
  size_t i = 0;
  const size_t n = text.size();
  auto digits = [&] {
    const size_t start = i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i;
    return i - start;
  };
  if (i < n && text[i] == '-') ++i;
  if (i < n && text[i] == '0') {
    ++i;
  } else if (digits() == 0) {
    return "null";
  }
  if (i < n && text[i] == '.') {
    ++i;
    if (digits() == 0) return "null";
  }
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return "null";
  }
  return i == n ? text : std::string("null");
}

bool IsKnownEndpoint(const std::string& name) {
  for (const char* known : kEndpointNames)
    if (name == known) return true;
  return false;
}

// Reads the command line into `a`; returns "" or the reason it is wrong.
std::string ParseArguments(const std::vector<std::string>& args, TArguments& a) {
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' || LooksLikeNumber(arg)) {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg;
    std::string value;
    bool hasValue = false;
    const size_t eq = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      hasValue = true;
    }
    if (name == "-h" || name == "--help" || name == "--json" || name == "--fit") {
      if (hasValue) return "option " + name + " takes no value";
      if (name == "--json") {
        a.Json = true;
      } else if (name == "--fit") {
        a.RenderOnly.push_back(name);
        a.Fit = true;
      } else {
        a.Help = true;
      }
      continue;
    }
    const bool known =
        name == "--cache" || name == "--endpoint" || name == "--tags" || name == "--max" ||
        name == "--lat" || name == "--lng" || name == "--radius" || name == "--timeout" ||
        name == "--zoom" || name == "--size" || name == "--tile-server" || name == "--tile-url" ||
        name == "--tiles" || name == "--style" || name == "-o" || name == "--output" ||
        name == "--marker" || name == "--poi" || name == "--line" || name == "--polygon" ||
        name == "--info" || name == "--older-than" || name == "--shapes" ||
        name == "--shapes-out" || name == "--dpi";
    if (!known) return "unknown option " + name;
    if (!hasValue) {
      if (i + 1 >= args.size()) return "missing value for " + name;
      value = args[++i];
    }
    if (name == "--cache") {
      a.HasCache = true;
      a.Cache = value;
    } else if (name == "--older-than") {
      a.CacheOnly.push_back(name);
      if (!ParseStrictNumber(value, a.CacheCommand.OlderThanDays) ||
          a.CacheCommand.OlderThanDays < 0 || a.CacheCommand.OlderThanDays > 36500)
        return "--older-than wants days from 0 to 36500, not \"" + value + "\"";
      a.CacheCommand.HasOlderThan = true;
    } else if (name == "--endpoint") {
      const size_t sep = value.find('=');
      if (sep == std::string::npos) return "--endpoint wants NAME=URL, not \"" + value + "\"";
      const std::string endpoint = value.substr(0, sep);
      const std::string url = value.substr(sep + 1);
      if (!IsKnownEndpoint(endpoint))
        return "unknown endpoint \"" + endpoint +
               "\" (nominatim, xapi, xapi-fallback, osrm, open-elevation, mapquest-open)";
      if (url.compare(0, 7, "http://") != 0 && url.compare(0, 8, "https://") != 0)
        return "endpoint " + endpoint + " must be an http:// or https:// address";
      a.Endpoints.emplace_back(endpoint, url);
    } else if (name == "--timeout") {
      if (!ParseStrictNumber(value, a.TimeoutSeconds) || a.TimeoutSeconds <= 0 ||
          a.TimeoutSeconds > kMaxTimeoutSeconds)
        return "--timeout wants seconds above 0 and up to 86400, not \"" + value + "\"";
    } else if (name == "--lat" || name == "--lng") {
      a.Position.push_back(name);
      if (name == "--lat") {
        if (!ParseStrictNumber(value, a.Latitude) || std::fabs(a.Latitude) > 90)
          return "--lat wants a latitude from -90 to 90, not \"" + value + "\"";
        a.HasLatitude = true;
      } else {
        if (!ParseStrictNumber(value, a.Longitude) || std::fabs(a.Longitude) > 180)
          return "--lng wants a longitude from -180 to 180, not \"" + value + "\"";
        a.HasLongitude = true;
      }
    } else if (name == "--marker" || name == "--poi" || name == "--line" || name == "--polygon" ||
               name == "--info") {
      a.RenderOnly.push_back(name);
      TShapeOption shape;
      const std::string problem = ParseShapeOption(name, value, shape);
      if (!problem.empty()) return problem;
      a.Shapes.push_back(std::move(shape));
    } else if (name == "--shapes" || name == "--shapes-out") {
      a.RenderOnly.push_back(name);
      if (value.empty()) return name + " wants a file name";
      if (name == "--shapes") {
        a.ShapeFiles.push_back(value);
      } else {
        a.ShapesOut = value;
        a.HasShapesOut = true;
      }
    } else if (name == "--dpi") {
      a.RenderOnly.push_back(name);
      if (!ParseStrictNumber(value, a.Dpi) || a.Dpi < 1 || a.Dpi > 10000)
        return "--dpi wants pixels per inch from 1 to 10000, not \"" + value + "\"";
    } else if (name == "--zoom" || name == "--size" || name == "--tile-server" ||
               name == "--tile-url" || name == "--tiles" || name == "--style" || name == "-o" ||
               name == "--output") {
      a.RenderOnly.push_back(name);
      if (name == "--zoom") {
        int64_t zoom = 0;
        if (!ParseStrictInt(value, zoom) || zoom < 0 || zoom > TVuroduDavControl::kHighestZoom)
          return "--zoom wants a whole zoom level, not \"" + value + "\"";
        a.Zoom = static_cast<int>(zoom);
        a.HasZoom = true;
      } else if (name == "--size") {
        if (!ParseSize(value, a.Width, a.Height))
          return "--size wants WIDTHxHEIGHT, each 1 to " + std::to_string(kMaxImageSide) +
                 ", not \"" + value + "\"";
        a.HasSize = true;
      } else if (name == "--tile-server") {
        if (!ParseTileServer(value, a.TileServer))
          return "unknown tile server \"" + value + "\" (" + TileServerNames() + ")";
        a.TileServerName = TileServerToStr(a.TileServer);
        a.HasTileServer = true;
      } else if (name == "--tile-url") {
        if (value.compare(0, 7, "http://") != 0 && value.compare(0, 8, "https://") != 0)
          return "--tile-url must be an http:// or https:// address";
        if (value.find("{z}") == std::string::npos || value.find("{x}") == std::string::npos ||
            value.find("{y}") == std::string::npos)
          return "--tile-url wants a template holding {z}, {x} and {y}";
        a.TileUrl = value;
        a.HasTileUrl = true;
      } else if (name == "--tiles") {
        if (value.empty()) return "--tiles wants an MBTiles file or a tile folder";
        a.Tiles = value;
        a.HasTiles = true;
      } else if (name == "--style") {
        if (value.empty()) return "--style wants a style file";
        a.Style = value;
      } else {  // -o, --output
        if (value.empty()) return name + " wants a file name";
        a.Output = value;
        a.HasOutput = true;
      }
    } else {
      a.PlacesOnly.push_back(name);
      if (name == "--tags") {
        if (value.empty()) return "--tags wants a filter such as \"node[shop=*]\"";
        a.Tags = value;
      } else if (name == "--max") {
        int64_t max = 0;
        if (!ParseStrictInt(value, max) || max < 1 || max > kMaxMax)
          return "--max wants a whole number from 1 to " + std::to_string(kMaxMax) + ", not \"" +
                 value + "\"";
        a.Max = static_cast<int>(max);
      } else if (name == "--radius") {
        int64_t radius = 0;
        if (!ParseStrictInt(value, radius) || radius < 1 || radius > kMaxRadius)
          return "--radius wants whole metres from 1 to " + std::to_string(kMaxRadius) +
                 ", not \"" + value + "\"";
        a.Radius = static_cast<int>(radius);
        a.HasRadius = true;
      }
    }
  }
  if (a.Help) return "";

  if (positional.empty())
    return "missing command (geocode, reverse, places, render, cache, convert, route or "
           "elevation)";
  const std::string& command = positional[0];
  if (command == "help") {
    a.Help = true;
    return "";
  }
  if (command == "geocode") {
    a.Command = cmGeocode;
  } else if (command == "reverse") {
    a.Command = cmReverse;
  } else if (command == "places") {
    a.Command = cmPlaces;
  } else if (command == "render") {
    a.Command = cmRender;
  } else if (command == "cache") {
    a.Command = cmCache;
  } else if (command == "route") {
    a.Command = cmRoute;
  } else if (command == "elevation") {
    a.Command = cmElevation;
  } else {
    return "unknown command \"" + command + "\"";
  }
  if (a.Command != cmPlaces && !a.PlacesOnly.empty())
    return "option " + a.PlacesOnly[0] + " belongs to the places command";
  if (a.Command != cmRender && !a.RenderOnly.empty())
    return "option " + a.RenderOnly[0] + " belongs to the render command";
  if (a.Command != cmCache && !a.CacheOnly.empty())
    return "option " + a.CacheOnly[0] + " belongs to the cache clear command";
  if (a.Command != cmPlaces && a.Command != cmRender && !a.Position.empty())
    return "option " + a.Position[0] + " belongs to the places and render commands";

  switch (a.Command) {
    case cmGeocode:
      // Unquoted words are one address.
      for (size_t i = 1; i < positional.size(); ++i) {
        if (i > 1) a.Address += ' ';
        a.Address += positional[i];
      }
      if (a.Address.find_first_not_of(" \t") == std::string::npos)
        return "geocode wants an address";
      break;
    case cmReverse:
      if (positional.size() != 3) return "reverse wants a latitude and a longitude";
      if (!ParseStrictNumber(positional[1], a.Latitude) || std::fabs(a.Latitude) > 90)
        return "latitude from -90 to 90 wanted, not \"" + positional[1] + "\"";
      if (!ParseStrictNumber(positional[2], a.Longitude) || std::fabs(a.Longitude) > 180)
        return "longitude from -180 to 180 wanted, not \"" + positional[2] + "\"";
      break;
    case cmPlaces:
      if (positional.size() > 1) return "unexpected argument \"" + positional[1] + "\"";
      if (!a.HasLatitude) return "places wants --lat";
      if (!a.HasLongitude) return "places wants --lng";
      if (!a.HasRadius) return "places wants --radius";
      break;
    case cmRender:
      if (positional.size() > 1) return "unexpected argument \"" + positional[1] + "\"";
      // A saved map places the view itself; the options change what they name.
      if (a.ShapeFiles.empty() && !a.Fit) {
        if (!a.HasLatitude) return "render wants --lat";
        if (!a.HasLongitude) return "render wants --lng";
        if (!a.HasZoom) return "render wants --zoom";
      }
      if (a.Fit && a.ShapeFiles.empty() && a.Shapes.empty()) return "--fit wants shapes to frame";
      if (!a.HasSize) return "render wants --size";
      if (!a.HasOutput) return "render wants -o FILE";
      break;
    case cmCache:
      if (positional.size() < 2 || (positional[1] != "stats" && positional[1] != "clear"))
        return "cache wants stats or clear";
      if (positional.size() > 2) return "unexpected argument \"" + positional[2] + "\"";
      a.CacheCommand.Action = positional[1];
      if (a.CacheCommand.Action != "clear" && a.CacheCommand.HasOlderThan)
        return "option --older-than belongs to the cache clear command";
      break;
    case cmRoute:
    case cmElevation:
      a.Operands.assign(positional.begin() + 1, positional.end());
      return a.Command == cmRoute ? CheckRouteOperands(a.Operands)
                                  : CheckElevationOperands(a.Operands);
    case cmNone:
      break;
  }
  return "";
}

// Runs the window thread's queue until done() holds or the time-out passes.
using wymap_detail::PumpFor;

std::string SecondsText(double seconds) {
  return FloatToStrDot(seconds) + " s";
}

// Why a services request produced no answer.
std::string ServiceFailure(const TServiceAnswer& answer, const std::string& endpoint) {
  if (answer.Error.empty()) return "no answer from " + endpoint;
  return answer.Error + " (" + endpoint + ")";
}

int Fail(std::ostream& err, const std::string& what, const std::string& why) {
  err << "wymap: " << what << " failed: " << OneLine(why) << '\n';
  return kWymapRequestFailed;
}

int RunGeocode(const TArguments& a, std::ostream& out, std::ostream& err) {
  const std::string endpoint = GetEndpoint("nominatim");
  TOpenMapQuestServices services;
  services.SetLocalCache(a.Cache);
  bool done = false;
  services.OnSearch = [&done](TOpenMapQuestServices*) { done = true; };
  services.AsyncSearch(EncodeQueryValue(a.Address));
  if (!PumpFor([&done] { return done; }, a.TimeoutSeconds))
    return Fail(err, "geocode",
                "no answer from " + endpoint + " within " + SecondsText(a.TimeoutSeconds));
  const TServiceAnswer& answer = services.Answer(mkSearch);
  if (!answer.Answered) return Fail(err, "geocode", ServiceFailure(answer, endpoint));
  if (answer.Body.find("<searchresults") == std::string::npos)
    return Fail(err, "geocode", "not a search answer from " + endpoint);

  const TServiceResultList& results = services.SearchResults();
  if (a.Json) out << "[";
  for (int i = 0; i < results.Count(); ++i) {
    TNominatimResult view;
    view.SetDataList(results.Objects(i).get());
    const std::string lat = view.Value("lat");
    const std::string lng = view.Value("lon");
    if (a.Json) {
      out << (i == 0 ? "\n" : ",\n") << "  {\"lat\":" << JsonNumber(lat)
          << ",\"lng\":" << JsonNumber(lng)
          << ",\"display_name\":" << JsonString(results.Strings(i)) << "}";
    } else {
      out << OneLine(lat) << '\t' << OneLine(lng) << '\t' << OneLine(results.Strings(i)) << '\n';
    }
  }
  if (a.Json) out << (results.Count() > 0 ? "\n]\n" : "]\n");
  return kWymapOk;
}

int RunReverse(const TArguments& a, std::ostream& out, std::ostream& err) {
  const std::string endpoint = GetEndpoint("nominatim");
  TOpenMapQuestServices services;
  services.SetLocalCache(a.Cache);
  bool done = false;
  services.OnReverse = [&done](TOpenMapQuestServices*) { done = true; };
  services.AsyncReverse("lat=" + FloatToStrDot(a.Latitude) + "&lon=" + FloatToStrDot(a.Longitude));
  if (!PumpFor([&done] { return done; }, a.TimeoutSeconds))
    return Fail(err, "reverse",
                "no answer from " + endpoint + " within " + SecondsText(a.TimeoutSeconds));
  const TServiceAnswer& answer = services.Answer(mkReverse);
  if (!answer.Answered) return Fail(err, "reverse", ServiceFailure(answer, endpoint));
  if (answer.Body.find("<reversegeocode") == std::string::npos)
    return Fail(err, "reverse", "not a reverse geocoding answer from " + endpoint);

  TNominatimResult& view = services.ReverseResult();
  const std::string name = view.Display_name();
  if (a.Json) {
    if (name.empty())
      out << "null\n";
    else
      out << "{\"lat\":" << JsonNumber(view.Value("lat"))
          << ",\"lng\":" << JsonNumber(view.Value("lon"))
          << ",\"display_name\":" << JsonString(name) << "}\n";
  } else if (!name.empty()) {
    out << OneLine(name) << '\n';
  }
  return kWymapOk;
}

int RunPlaces(const TArguments& a, std::ostream& out, std::ostream& err) {
  // The search takes its first server from the setting when it is created.
  TWyPlaces places;
  places.SetLatitude(a.Latitude);
  places.SetLongitude(a.Longitude);
  places.SetRadius(a.Radius);
  places.SetMaxResult(a.Max);
  places.SetLocalCache(a.Cache);
  bool done = false;
  places.OnPlacesSearch = [&done](TWyPlaces&) { done = true; };
  const std::string servers = places.XapiServer() + " nor from " + GetEndpoint("xapi-fallback");
  places.Search(a.Tags);
  if (!PumpFor([&] { return done && !places.Searching(); }, a.TimeoutSeconds)) {
    places.OnPlacesSearch = nullptr;
    places.Abort();
    return Fail(err, "places",
                "no answer from " + servers + " within " + SecondsText(a.TimeoutSeconds));
  }
  if (places.Status() != TWyPlaces::kStatusOk) return Fail(err, "places", places.Error());

  const TWyPlaceResults& results = places.Results();
  if (a.Json) out << "[";
  for (int i = 0; i < results.count(); ++i) {
    const TWyPlaceResult* place = results.Items(i);
    const std::string id = place->Values("id");
    const std::string lat = place->Values("lat");
    const std::string lng = place->Values("lon");
    const std::string name = place->Values("name");
    const std::string types = place->Values("types");
    if (a.Json) {
      // Ids stay strings: OpenStreetMap ids may exceed what a JSON reader
      // keeps exactly in a double.
      out << (i == 0 ? "\n" : ",\n") << "  {\"id\":" << JsonString(id)
          << ",\"lat\":" << JsonNumber(lat) << ",\"lng\":" << JsonNumber(lng)
          << ",\"name\":" << JsonString(name) << ",\"types\":" << JsonString(types) << "}";
    } else {
      out << OneLine(id) << '\t' << OneLine(lat) << '\t' << OneLine(lng) << '\t' << OneLine(name)
          << '\t' << OneLine(types) << '\n';
    }
  }
  if (a.Json) out << (results.count() > 0 ? "\n]\n" : "]\n");
  return kWymapOk;
}

// Why the image cannot be written to `path`, or "".
std::string OutputProblem(const std::string& path) {
  const QFileInfo info(QString::fromStdString(path));
  if (info.exists() && info.isDir()) return "output " + path + " is a folder";
  if (info.exists() && !info.isWritable()) return "cannot write " + path;
  const QFileInfo folder(info.absolutePath());
  if (!folder.isDir()) return "no folder for the output " + path;
  if (!folder.isWritable()) return "cannot write into the folder of " + path;
  return "";
}

// Puts the shapes of the command line on the map. They show at every zoom
// (groups normally hide shapes outside zoom 2 to 18). Markers with an icon
// are returned: the render waits for their icons.
void AddShapes(TWyVuroduDav& map, const std::vector<TShapeOption>& shapes,
               std::vector<TWyShapeMarker*>& iconMarkers) {
  TWyShapes* group = map.Shapes();
  if (!shapes.empty()) {
    group->SetMinZoom(0);
    group->SetMaxZoom(0);
  }
  for (const TShapeOption& shape : shapes) {
    const TLatLng first = shape.Points.front();
    switch (shape.Kind) {
      case TShapeOption::skMarker: {
        auto* marker = static_cast<TWyShapeMarker*>(map.Add(nsMarker, first.Lat, first.Lng));
        if (!shape.Text.empty()) {
          // A still picture has no waiting bar.
          marker->SetWaitAnimation(false);
          marker->SetFilename(shape.Text);
          iconMarkers.push_back(marker);
        }
        break;
      }
      case TShapeOption::skPoi:
        static_cast<TWyShapePOI*>(map.Add(nsPoi, first.Lat, first.Lng))->SetPOIShape(shape.Figure);
        break;
      case TShapeOption::skLine:
      case TShapeOption::skPolygon: {
        auto* line = static_cast<TWyShapeLine*>(
            map.Add(shape.Kind == TShapeOption::skLine ? nsLine : nsPolygon, first.Lat, first.Lng));
        for (size_t i = 1; i < shape.Points.size(); ++i)
          line->Add(shape.Points[i].Lat, shape.Points[i].Lng, 0);
        break;
      }
      case TShapeOption::skInfo:
        group->InfoWindows()->Add(first.Lat, first.Lng, shape.Text);
        break;
    }
  }
  map.ShapesGroup().ShapesToDraw();
}

// The markers with an icon of the saved maps read so far: the render waits
// for their icons too (drawn without a waiting bar).
void AddFileIconMarkers(TWyVuroduDav& map, std::vector<TWyShapeMarker*>& iconMarkers) {
  for (TWyShapes* group : map.ShapesGroup().Groups()) {
    TWyShapeMarkerList* markers = group->Markers();
    for (int32_t i = 0; i < markers->Count(); ++i) {
      TWyShapeMarker* marker = markers->Items(i);
      if (marker->Filename().empty()) continue;
      marker->SetWaitAnimation(false);
      iconMarkers.push_back(marker);
    }
  }
}

// Every marker icon in view has arrived or failed; icons that failed are
// added to `failed` (a marker without its icon shows the default pin).
bool IconsSettled(TWyVuroduDav& map, const std::vector<TWyShapeMarker*>& markers,
                  std::set<std::string>& failed, std::vector<std::string>& newlyFailed) {
  const int drawn = map.Renderer().ComposeCount();
  TThreadGraphicPool* pool = map.ShapesGroup().GraphicPool();
  bool ready = true;
  std::vector<std::string> queue;
  if (pool) queue = pool->Queue();
  for (TWyShapeMarker* marker : markers) {
    // Markers outside the view are not drawn and need no icon.
    if (!marker->Graphic().isNull() || !marker->ShowOnMap()) continue;
    const std::string& icon = marker->Filename();
    if (failed.count(icon)) continue;
    ready = false;
    // Drawn at least once (so it was asked for), not decoded and no longer
    // queued: the pool dropped it.
    if (pool && drawn > 0 && pool->GetGraphic(icon).isNull() &&
        std::find(queue.begin(), queue.end(), icon) == queue.end()) {
      queue = pool->Queue();  // the GetGraphic above may have queued it again
      if (std::find(queue.begin(), queue.end(), icon) == queue.end()) {
        failed.insert(icon);
        newlyFailed.push_back(icon);
      }
    }
  }
  return ready;
}

int RunRender(const TArguments& a, std::ostream& err) {
  for (const std::string* output : {&a.Output, a.HasShapesOut ? &a.ShapesOut : nullptr}) {
    const std::string problem = output ? OutputProblem(*output) : "";
    if (!problem.empty()) {
      err << "wymap: " << OneLine(problem) << '\n';
      return kWymapUsage;
    }
  }
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
    return Fail(err, "render", "the application object cannot make the map");

  // The map holds the view, the tile service and the shapes and is never
  // shown: its renderer draws the picture.
  TWyVuroduDav map;
  map.SetLocalCache(a.Cache);
  map.resize(a.Width, a.Height);
  TMapRenderer& renderer = map.Renderer();
  renderer.SetSize(a.Width, a.Height, 1.0);
  // Saved maps first: their "[map]" sections place the view (the last one
  // read wins), and the options given then change what they name.
  for (const std::string& file : a.ShapeFiles) {
    if (!map.LoadFromFile(file)) return Fail(err, "render", "cannot read the map " + file);
    // GPX, KML and GeoJSON arrive from a worker: each file is read whole
    // before the next one starts.
    while (map.ShapesGroup().isLoading()) WaitProcessing(5);
    const std::string& failure = map.ShapesGroup().getShapes("")->LoadError();
    if (!failure.empty())
      return Fail(err, "render", "cannot read the map " + file + ": " + failure);
  }
  if (a.HasTileServer || a.ShapeFiles.empty()) map.SetTileServer(a.TileServer);
  const TTileServer service = map.TileServer();
  // The service reads its address template from the settings for every tile.
  if (a.HasTileUrl && *TileCatalogRow(service).Endpoint == '\0') {
    // A service drawn by the program has no address to replace.
    err << "wymap: --tile-url does not apply to " << TileServerToStr(service) << '\n';
    return kWymapUsage;
  }
  if (a.HasTileUrl) SetEndpoint(TileCatalogRow(service).Endpoint, a.TileUrl);
  if (a.HasTiles) {
    // Tiles read from the source in place of the service's.
    std::string problem;
    if (!a.Style.empty()) SetSetting("vector.style", a.Style);
    if (!map.SetLocalTiles(a.Tiles, problem)) {
      err << "wymap: " << OneLine(problem) << '\n';
      return kWymapUsage;
    }
  }
  const TTileServerInfo& info = map.TileServerInfo();
  if (a.HasZoom && (a.Zoom < info.MinZoom || a.Zoom > info.MaxZoom)) {
    err << "wymap: --zoom of " << (a.HasTiles ? a.Tiles : TileServerToStr(service)) << " goes from "
        << int(info.MinZoom) << " to " << int(info.MaxZoom) << ", not " << a.Zoom << '\n';
    return kWymapUsage;
  }
  // The zoom before the centre, which a zoom change would move.
  const double lat = a.HasLatitude ? a.Latitude : map.Latitude();
  const double lng = a.HasLongitude ? a.Longitude : map.Longitude();
  if (a.HasZoom) map.SetZoom(static_cast<uint8_t>(a.Zoom));
  map.setCenter(lat, lng);
  std::vector<TWyShapeMarker*> iconMarkers;
  AddFileIconMarkers(map, iconMarkers);
  AddShapes(map, a.Shapes, iconMarkers);
  if (a.Fit && !map.fitShapes()) return Fail(err, "render", "no shapes to frame");
  map.ShapesGroup().ShapesToDraw();

  // Every visible tile has arrived or failed (a compose started no download
  // and none is in flight), and every marker icon.
  TVuroduDavServer& tiles = map.MapServer();
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<int64_t>(a.TimeoutSeconds * 1000));
  // An icon that cannot be loaded (refused, missing, not an image, too
  // slow) costs its marker the icon, not the picture: the marker keeps the
  // default pin and one warning names the address.
  std::set<std::string> failedIcons;
  auto warn = [&err](const std::string& icon) {
    err << "wymap: render: warning: the marker icon " << OneLine(icon)
        << " could not be loaded; drawn with the default pin\n";
  };
  for (;;) {
    std::vector<std::string> newlyFailed;
    const bool iconsReady = IconsSettled(map, iconMarkers, failedIcons, newlyFailed);
    for (const std::string& icon : newlyFailed) warn(icon);
    if (tiles.ActiveDownloads() == 0) {
      // Markers ask the graphic pool for their icons when they are drawn; a
      // marker whose icon failed is drawn again with the pin.
      renderer.Compose(true);
      if (iconsReady && tiles.ActiveDownloads() == 0) break;
    }
    if (std::chrono::steady_clock::now() >= end) {
      if (tiles.ActiveDownloads() != 0)
        return Fail(err, "render",
                    "the visible tiles did not arrive within " + SecondsText(a.TimeoutSeconds));
      // Icons still on their way are given up: their markers show the pin.
      TThreadGraphicPool* pool = map.ShapesGroup().GraphicPool();
      for (TWyShapeMarker* marker : iconMarkers)
        if (marker->Graphic().isNull() && marker->ShowOnMap() &&
            failedIcons.insert(marker->Filename()).second) {
          if (pool) pool->GiveUp(marker->Filename());
          warn(marker->Filename());
        }
      renderer.Compose(true);
      break;
    }
    WaitProcessing(5);
  }

  std::string problem;
  if (!WriteMapPicture(renderer, a.Output, a.Dpi, problem)) return Fail(err, "render", problem);
  // What was drawn, in the format the extension names.
  if (a.HasShapesOut && !map.SaveToFile(a.ShapesOut))
    return Fail(err, "render", "cannot write the shapes to " + a.ShapesOut);
  return kWymapOk;
}

}  // namespace

bool ParseStrictNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  // from_chars reads "inf", "nan" and hexadecimal only on request; the first
  // two are refused below, "0x1" stops at "x".
  const char* end = text.data() + text.size();
  double parsed = 0;
  const auto result = std::from_chars(text.data(), end, parsed);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

std::string JsonString(const std::string& text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

std::string WymapUsage() {
  return "Usage: wymap [options] COMMAND [arguments]\n"
         "\n"
         "Commands:\n"
         "  geocode ADDRESS        places matching an address, one a line:\n"
         "                         lat TAB lng TAB display name\n"
         "  reverse LAT LNG        the address at a position, on one line\n"
         "  places --lat LAT --lng LNG --radius METRES [--tags FILTER] [--max N]\n"
         "                         points of interest around a position, one a line:\n"
         "                         id TAB lat TAB lng TAB name TAB types\n"
         "  render --lat LAT --lng LNG --zoom Z --size WxH -o FILE\n"
         "         [--tile-server NAME] [--tile-url TEMPLATE] [--tiles PATH [--style FILE]]\n"
         "         [shapes]\n"
         "  render --shapes FILE --size WxH -o FILE [options and shapes as above]\n"
         "  render --fit --size WxH -o FILE [shapes]\n"
         "                         the map around a position as a PNG, PDF or SVG\n"
         "                         picture (by the extension of FILE), once\n"
         "                         every visible tile has arrived or failed\n"
         "  cache stats            the disk cache of tiles, one line per tile folder:\n"
         "                         name TAB tiles TAB bytes TAB least recent use TAB\n"
         "                         most recent use (UTC); then total TAB tiles TAB\n"
         "                         bytes TAB the budget (tiles.disk-cache-bytes)\n"
         "  cache clear [--older-than DAYS]\n"
         "                         deletes the cached tiles, or those not used for\n"
         "                         DAYS days; prints removed TAB tiles TAB bytes\n" +
         ConvertUsage() + StatsUsage() + ProfileUsage() +
         "  route FROM TO          a route; FROM and TO each LAT,LNG or an address\n"
         "                         (quoted): the total distance in km TAB the time,\n"
         "                         then one instruction a line: the distance of its\n"
         "                         stretch in km TAB the instruction\n"
         "  elevation LAT,LNG ...  one height in whole metres a line (-9999: none)\n"
         "\n"
         "Shapes drawn by render (each option may be repeated):\n"
         "  --marker LAT,LNG[,ICON]   a marker; ICON an http(s) address, a file or a\n"
         "                            data: address of a PNG or JPEG (the pin without)\n"
         "  --poi LAT,LNG[,SHAPE]     a point figure: ellipse, star, rect or triangle\n"
         "  --line \"LAT,LNG;LAT,LNG;...\"     a line through the points\n"
         "  --polygon \"LAT,LNG;LAT,LNG;...\"  a filled polygon\n"
         "  --info LAT,LNG,HTML       an info window with that content\n"
         "  --shapes FILE             a map saved in the system's own format, or a\n"
         "                            GPX, KML, KMZ or GeoJSON file (a file or an\n"
         "                            http(s) address): its shapes, and for own\n"
         "                            text its view where --lat, --lng, --zoom and\n"
         "                            --tile-server do not say otherwise; with it\n"
         "                            --lat, --lng and --zoom may be left out\n"
         "  --fit                     frames the view on all the shapes drawn (then\n"
         "                            --lat, --lng and --zoom may be left out and\n"
         "                            give way to it)\n"
         "  --shapes-out FILE         saves the map drawn, shapes and view, in the\n"
         "                            format of the extension (own text: .txt)\n"
         "\n"
         "Options:\n"
         "  --json                 print JSON instead of lines\n"
         "  --tags FILTER          XAPI tag filter of places (default \"node[amenity=*]\")\n"
         "  --max N                at most N places, 1 to 100000 (default 100)\n"
         "  --radius METRES        whole metres, 1 to 100000\n"
         "  --zoom Z               zoom level within the tile service's range\n"
         "  --size WxH             image size in pixels, each side 1 to 8192\n"
         "  -o, --output FILE      the picture render writes: PDF for .pdf, SVG for .svg,\n"
         "                         PNG otherwise (PDF and SVG keep shapes and text as vectors)\n"
         "  --dpi N                pixels per inch of a PDF page (96)\n"
         "  --tile-server NAME     " +
         TileServerNames() +
         "\n"
         "                         (default osm)\n"
         "  --tile-url TEMPLATE    http(s) address of the tiles with {z}, {x} and {y},\n"
         "                         e.g. http://localhost:8080/{z}/{x}/{y}.png\n"
         "  --tiles PATH           tiles from an MBTiles file or a folder of\n"
         "                         <z>/<x>/<y>.png files instead of a tile server;\n"
         "                         vector tiles from a PMTiles archive (a file or an\n"
         "                         http(s) address), an MBTiles file of format pbf,\n"
         "                         a folder of <z>/<x>/<y>.pbf or .mvt files, or\n"
         "                         \"vector\" for the endpoint.vector template\n"
         "  --style FILE           the MapLibre style vector tiles are drawn with\n"
         "                         (default: the built-in one)\n"
         "  --cache DIR            answer and tile cache folder; \"\" for none\n"
         "                         (default: the user's cache folder, " +
         GetCacheDir() +
         ")\n"
         "  --endpoint NAME=URL    http(s) address of a service; NAME is nominatim,\n"
         "                         xapi, xapi-fallback, osrm, open-elevation or\n"
         "                         mapquest-open (may be repeated)\n"
         "  --timeout SECONDS      give up after this long (default 60)\n"
         "  -h, --help             show this text\n"
         "\n"
         "LAT is -90 to 90 and LNG -180 to 180, written with \".\" (-33.8688).\n"
         "Finding nothing is not an error: nothing is printed ([] or null with\n"
         "--json) and the exit code is 0.\n"
         "Exit codes: 0 done, 1 the request failed (render: tiles still loading at\n"
         "the time-out, or the image could not be written), 2 bad command line.\n";
}

namespace {

QtMessageHandler previousMessageHandler = nullptr;

void DropRuntimeDirNote(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtWarningMsg && text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
    return;
  if (previousMessageHandler != nullptr) {
    previousMessageHandler(type, context, text);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
  }
}

}  // namespace

void PrepareApplication() {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static bool installed = false;
  if (!installed) {
    installed = true;
    previousMessageHandler = qInstallMessageHandler(DropRuntimeDirNote);
  }
}

int RunWymap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // convert has options of its own and needs no service endpoints.
  if (!args.empty() && args[0] == "convert")
    return RunConvert(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
  // So have the track commands.
  if (!args.empty() && args[0] == "stats")
    return RunStats(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
  if (!args.empty() && args[0] == "profile")
    return RunProfile(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
  TArguments a;
  const std::string problem = ParseArguments(args, a);
  if (!problem.empty()) {
    err << "wymap: " << OneLine(problem) << " (try wymap --help)\n";
    return kWymapUsage;
  }
  if (a.Help) {
    out << WymapUsage();
    return kWymapOk;
  }

  // Completions come through the application object's event queue; the map
  // render keeps its state in is a widget (never shown) and needs a
  // QApplication.
  static int fallbackArgc = 1;
  static char fallbackName[] = "wymap";
  static char* fallbackArgv[] = {fallbackName, nullptr};
  std::unique_ptr<QApplication> ownApp;
  if (QCoreApplication::instance() == nullptr) {
    PrepareApplication();
    ownApp = std::make_unique<QApplication>(fallbackArgc, fallbackArgv);
  }

  for (const auto& endpoint : a.Endpoints) SetEndpoint(endpoint.first, endpoint.second);
  if (!a.HasCache) a.Cache = GetCacheDir();

  switch (a.Command) {
    case cmGeocode:
      return RunGeocode(a, out, err);
    case cmReverse:
      return RunReverse(a, out, err);
    case cmPlaces:
      return RunPlaces(a, out, err);
    case cmRender:
      return RunRender(a, err);
    case cmCache: {
      TCacheCommand command = a.CacheCommand;
      command.Folder = a.Cache;
      command.Json = a.Json;
      return RunCacheCommand(command, out, err);
    }
    case cmRoute:
    case cmElevation: {
      TServiceCommand command;
      command.Operands = a.Operands;
      command.Json = a.Json;
      command.TimeoutSeconds = a.TimeoutSeconds;
      command.Cache = a.Cache;
      return a.Command == cmRoute ? RunRouteCommand(command, out, err)
                                  : RunElevationCommand(command, out, err);
    }
    case cmNone:
      break;
  }
  return kWymapUsage;
}

}  // namespace wy

#include "geo/settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/log.h"

namespace wy {

namespace {

// Built-in defaults. Later subsystems add their keys here so that the
// registry stays the one place that lists them.
const std::map<std::string, std::string>& Defaults() {
  static const std::map<std::string, std::string> defaults = {
      {"user-agent", "wyVuroduDav"},
      // Whole-body downloads: connect, no-progress and overall limits, and
      // the size cap used when the caller gives none.
      {"timeout.connect", "10000"},
      {"timeout.low-speed", "30000"},
      {"timeout.total", "300000"},
      // Tile downloads: a stalled tile holds one of the few connections a
      // tile host allows, so they give up sooner.
      {"timeout.tile-low-speed", "10000"},
      {"timeout.tile-total", "120000"},
      {"timeout.elevation-pause", "100"},
      {"download.max-bytes", "67108864"},
      // Process-wide service keys.
      {"key.cloudmade", "9a1e07c3b5d24f6e8a0c71d3e5f9b248"},
      {"key.bing", "Qm7ZtR2vXb9LkPw4HsN0cYe6JfUa1DgTi8OqWn3MxVr5KpBl-yEhCz7SdGoAu2Fj"},
      {"key.mapquest", "Qbxzk%7Cpwre8m3v5n%2Cht%3Dk7-42jq9w"},
      // Tile services: URL templates ({s} the varying host part, {z}, {x},
      // {y}, {key}, {style}) and the simultaneous connections per host:port.
      {"endpoint.osm", "https://tile.openstreetmap.org/{z}/{x}/{y}.png"},
      {"endpoint.mapquest", "http://otile{s}.mqcdn.com/tiles/1.0.0/vx/map/{z}/{x}/{y}.jpg"},
      {"endpoint.mapquest-sat", "http://otile{s}.mqcdn.com/tiles/1.0.0/vx/sat/{z}/{x}/{y}.jpg"},
      {"endpoint.cloudmade", "http://{s}.tile.cloudmade.com/{key}/{style}/256/{z}/{x}/{y}.png"},
      {"endpoint.opencyclemap", "http://{s}.tile.opencyclemap.org/cycle/{z}/{x}/{y}.png"},
      {"endpoint.opnv", "http://tile.memomaps.de/tilegen/{z}/{x}/{y}.png"},
      {"endpoint.arcgis-world-topo-map",
       "http://server.arcgisonline.com/ArcGIS/rest/services/World_Topo_Map/MapServer/tile/{z}/{y}/{x}.png"},
      {"endpoint.arcgis-world-street-map",
       "http://server.arcgisonline.com/ArcGIS/rest/services/World_Street_Map/MapServer/tile/{z}/{y}/{x}.png"},
      {"endpoint.arcgis-world-imagery",
       "http://server.arcgisonline.com/ArcGIS/rest/services/World_Imagery/MapServer/tile/{z}/{y}/{x}.png"},
      // The same services' high-resolution tiles (512 pixels for the same
      // 256-pixel square of the map), asked for on high-density screens:
      // "endpoint.<service>-2x". Empty where a service offers none (then
      // its tiles are enlarged instead). None of the built-in services
      // serves such tiles at the addresses above.
      {"endpoint.osm-2x", ""},
      {"endpoint.mapquest-2x", ""},
      {"endpoint.mapquest-sat-2x", ""},
      {"endpoint.cloudmade-2x", ""},
      {"endpoint.opencyclemap-2x", ""},
      {"endpoint.opnv-2x", ""},
      {"endpoint.arcgis-world-topo-map-2x", ""},
      {"endpoint.arcgis-world-street-map-2x", ""},
      {"endpoint.arcgis-world-imagery-2x", ""},
      {"max-connections.tile.openstreetmap.org:443", "2"},
      // Vector tiles: the URL template of an HTTP source ({z}, {x}, {y}),
      // used by the tile source "vector" (no public host is assumed), and
      // the deepest zoom it serves; the style file vector sources are drawn
      // with (empty: built-in).
      {"endpoint.vector", ""},
      {"vector.max-zoom", "14"},
      {"vector.style", ""},
      // Decoded tiles kept beside each tile layer's memory cache, in bytes
      // (two 3840 x 2160 screens of 32-bit tiles); 0 keeps none.
      {"tiles.decoded-cache-bytes", "67108864"},
      // The disk cache of tiles below the cache folder, in bytes of tile
      // files and their records; 0: no bound.
      {"tiles.disk-cache-bytes", "500000000"},
      // A tile host that answers 429 is asked nothing for its Retry-After,
      // at most tiles.host-pause-max, else for tiles.host-pause (ms).
      {"tiles.host-pause", "60000"},
      {"tiles.host-pause-max", "3600000"},
      // The longest wait before a failed tile is asked for again (ms); the
      // wait starts at 2 s and doubles on every further failure.
      {"tiles.retry-max-ms", "300000"},
      // Places search: the public Overpass server's XAPI interface first,
      // a second XAPI server in the classic "/xapi/api/0.6/" form after it.
      {"endpoint.xapi", "https://overpass-api.de/api/xapi?"},
      {"endpoint.xapi-fallback", "https://overpass.kumi.systems/xapi/api/0.6/"},
      // Geocoding: the base before "/search?" and "/reverse?" (today's
      // Nominatim at its host; "http://host/nominatim/v1" for the historic
      // open-services form), the base of the other open-services kinds, the
      // public Nominatim host's one-request-a-second policy (ms between
      // requests per host) and the size cap of a service answer.
      {"endpoint.nominatim", "https://nominatim.openstreetmap.org"},
      {"rate.nominatim.openstreetmap.org", "1000"},
      // The open directions, guidance, elevation and static map services
      // are retired: no default base, so their forms send nothing. Routes
      // and heights then come from an OSRM and an Open-Elevation server,
      // whose public hosts ask for at most one request a second.
      {"endpoint.mapquest-open", ""},
      {"endpoint.osrm", "https://router.project-osrm.org"},
      {"endpoint.open-elevation", "https://api.open-elevation.com"},
      {"rate.router.project-osrm.org", "1000"},
      {"rate.api.open-elevation.com", "1000"},
      // Traffic incidents and geotagged photos: the public services are
      // retired or need a key, so there is no default host; a request then
      // fails at once. "endpoint.traffic" is the base before
      // "/REST/v1/Traffic/Incidents/", "endpoint.photos" the base before
      // "/map/get_panoramas.php?".
      {"endpoint.traffic", ""},
      {"endpoint.photos", ""},
      // Where the incident icons are read from (base + "stop.png", ...);
      // empty: the icons the map draws itself.
      {"traffic.icon-base", ""},
      {"services.max-bytes", "16777216"},
      // The folder (or address) the demo's marker icons are read from. The
      // demo program sets where it installs them as the default at start-up
      // (SetSettingDefault); without it, "icons" beside the working folder.
      {"demo.icon-base", "icons"},
      // The log's threshold: debug, info, warning, error or off.
      {"log.level", "warning"},
  };
  return defaults;
}

std::mutex gSettingsMutex;
std::map<std::string, std::string>& Overrides() {
  static auto* overrides = new std::map<std::string, std::string>();
  return *overrides;
}
// Defaults the program set at run time (SetSettingDefault), under the lock.
std::map<std::string, std::string>& ProgramDefaults() {
  static auto* defaults = new std::map<std::string, std::string>();
  return *defaults;
}

std::string EnvironmentValue(const std::string& key) {
  const char* value = std::getenv(SettingEnvironmentVariable(key).c_str());
  return value == nullptr ? std::string() : std::string(value);
}

const char* ServiceKeyName(TServiceKey key) {
  switch (key) {
    case skCloudMade: return "key.cloudmade";
    case skBing: return "key.bing";
    case skMapQuest: return "key.mapquest";
  }
  return "key.unknown";
}

// The log's threshold follows "log.level" from the start of the process.
const bool gLogLevelApplied = (ApplyLogLevelSetting(), true);

}  // namespace

std::string SettingEnvironmentVariable(const std::string& key) {
  std::string name = "WYMAP_";
  for (char c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c == '.' || c == '-') c = '_';
    name += c;
  }
  return name;
}

std::string DefaultSetting(const std::string& key) {
  {
    std::lock_guard<std::mutex> lock(gSettingsMutex);
    auto it = ProgramDefaults().find(key);
    if (it != ProgramDefaults().end()) return it->second;
  }
  auto it = Defaults().find(key);
  return it == Defaults().end() ? std::string() : it->second;
}

std::string GetSetting(const std::string& key) {
  {
    std::lock_guard<std::mutex> lock(gSettingsMutex);
    auto it = Overrides().find(key);
    if (it != Overrides().end()) return it->second;
  }
  std::string env = EnvironmentValue(key);
  if (!env.empty()) return env;
  return DefaultSetting(key);
}

void SetSetting(const std::string& key, const std::string& value) {
  {
    std::lock_guard<std::mutex> lock(gSettingsMutex);
    if (value.empty())
      Overrides().erase(key);
    else
      Overrides()[key] = value;
  }
  if (key == "log.level") ApplyLogLevelSetting();
}

void ApplyLogLevelSetting() {
  const std::string text = GetSetting("log.level");
  TLogLevel level = llWarning;
  if (!LogLevelFromName(text, level))
    LogWarning("geo", "log.level \"" + text + "\" is not a level; warnings are logged");
  SetLogLevel(level);
}

void SetSettingDefault(const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> lock(gSettingsMutex);
  if (value.empty())
    ProgramDefaults().erase(key);
  else
    ProgramDefaults()[key] = value;
}

void ResetSettings() {
  {
    std::lock_guard<std::mutex> lock(gSettingsMutex);
    Overrides().clear();
  }
  ApplyLogLevelSetting();
}

std::vector<std::string> KnownSettingKeys() {
  std::vector<std::string> keys;
  for (const auto& entry : Defaults()) keys.push_back(entry.first);
  return keys;
}

std::string GetEndpoint(const std::string& name) { return GetSetting("endpoint." + name); }

void SetEndpoint(const std::string& name, const std::string& value) {
  SetSetting("endpoint." + name, value);
}

std::string GetUserAgent() { return GetSetting("user-agent"); }

std::string GetCacheDir() {
  std::string dir = GetSetting("cache-dir");
  if (dir.empty()) {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    if (xdg != nullptr && xdg[0] == '/')
      dir = std::string(xdg) + "/wymap";
    else if (home != nullptr && home[0] != '\0')
      dir = std::string(home) + "/.cache/wymap";
    else
      dir = "/tmp/wymap-cache";
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

int64_t GetSettingInt(const std::string& key, int64_t fallback) {
  const std::string text = GetSetting(key);
  if (text.empty()) return fallback;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') return fallback;
  return value;
}

uint32_t GetTimeoutMs(const std::string& name, uint32_t fallback) {
  const int64_t value = GetSettingInt("timeout." + name, -1);
  if (value < 0) return fallback;
  return static_cast<uint32_t>(std::min<int64_t>(value, UINT32_MAX));
}

std::string GetServiceKey(TServiceKey key) { return GetSetting(ServiceKeyName(key)); }

void SetServiceKey(TServiceKey key, const std::string& value) {
  SetSetting(ServiceKeyName(key), value);
}

}  // namespace wy

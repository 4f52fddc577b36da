#include "tiles/tile_catalog.h"

#include <mutex>
#include <random>

#include "geo/settings.h"

namespace wy {

namespace {

// OpenStreetMap data is published under the Open Database License, which
// asks for this credit and a link to the page that explains it.
constexpr const char* kOsmCopyRight = "\u00A9 OpenStreetMap contributors";
constexpr const char* kOsmCopyRightUrl = "https://www.openstreetmap.org/copyright";

// In TTileServer order. Rows drawn from OpenStreetMap data lead with its
// credit; imagery rows credit their own sources.
const TTileCatalogRow kRows[] = {
    {"OSM", stPng, 18, hrLetterAC, "osm", kOsmCopyRight, kOsmCopyRightUrl},  // tsNone
    {"MQ-ROAD", stJpeg, 18, hrDigit14, "mapquest",
     "\u00A9 OpenStreetMap contributors, Tiles Courtesy of MapQuest", kOsmCopyRightUrl},
    {"MQ-SAT", stJpeg, 11, hrDigit14, "mapquest-sat",
     "Tiles Courtesy of MapQuest - Portions Courtesy NASA/JPL-Caltech and U.S. Depart. of "
     "Agriculture, Farm Service Agency",
     ""},
    {"CM-ROAD", stPng, 18, hrLetterAC, "cloudmade",
     "\u00A9 OpenStreetMap contributors, Imagery \u00A9 CloudMade", kOsmCopyRightUrl},
    {"OSM", stPng, 18, hrLetterAC, "osm", kOsmCopyRight, kOsmCopyRightUrl},
    {"OCM", stPng, 18, hrLetterAC, "opencyclemap",
     "\u00A9 OpenStreetMap contributors, OpenCycleMap", kOsmCopyRightUrl},
    {"OPNV", stPng, 18, hrFixed, "opnv", "\u00A9 OpenStreetMap contributors, OPNV",
     kOsmCopyRightUrl},
    {"World_Topo_Map", stPng, 19, hrFixed, "arcgis-world-topo-map",
     "Esri, DeLorme, NAVTEQ, TomTom, Intermap, increment P Corp., GEBCO, USGS, FAO, NPS, NRCAN, "
     "GeoBase, IGN, Kadaster NL, Ordnance Survey, Esri Japan, METI, Esri China (Hong Kong), "
     "swisstopo, and the GIS User Community",
     ""},
    {"World_Street_Map", stPng, 19, hrFixed, "arcgis-world-street-map",
     "Esri, DeLorme, NAVTEQ, USGS, Intermap, iPC, NRCAN, Esri Japan, METI, Esri China (Hong "
     "Kong), Esri (Thailand), TomTom",
     ""},
    {"World_Imagery", stPng, 19, hrFixed, "arcgis-world-imagery",
     "Esri, DigitalGlobe, GeoEye, i-cubed, USDA, USGS, AEX, Getmapping, Aerogrid, IGN, IGP, "
     "swisstopo, and the GIS User Community",
     ""},
    // Drawn by the program itself (basemap.h); no address.
    {"OFFLINE", stPng, 10, hrFixed, "", "Natural Earth, GeoNames (CC BY)",
     "https://www.naturalearthdata.com"},
};

// Seeded once per process; URLs are built on the window thread, the lock
// only keeps a stray caller elsewhere safe.
int RandomBelow(int n) {
  static std::mutex mutex;
  static std::mt19937 generator{std::random_device{}()};
  std::lock_guard<std::mutex> lock(mutex);
  return std::uniform_int_distribution<int>(0, n - 1)(generator);
}

std::string HostPart(THostRule rule) {
  switch (rule) {
    case hrDigit14:
      return std::string(1, static_cast<char>('1' + RandomBelow(4)));
    case hrLetterAC:
      return std::string(1, static_cast<char>('a' + RandomBelow(3)));
    case hrFixed:
      break;
  }
  return "a";
}

}  // namespace

const TTileCatalogRow& TileCatalogRow(TTileServer server) {
  const size_t index = static_cast<size_t>(server);
  if (index >= sizeof(kRows) / sizeof(kRows[0])) return kRows[tsOSM];
  return kRows[index];
}

void TTileServerInfo::SetTileFormat(TStreamType value) {
  StreamType = value;
  if (FUpdate) FUpdate(*this);
}

std::string FillTileUrlTemplate(const std::string& urlTemplate, THostRule rule, int x, int y, int z,
                                const std::string& key, const std::string& style) {
  std::string out;
  out.reserve(urlTemplate.size() + 32);
  size_t i = 0;
  while (i < urlTemplate.size()) {
    if (urlTemplate[i] == '{') {
      const size_t close = urlTemplate.find('}', i);
      if (close != std::string::npos) {
        const std::string name = urlTemplate.substr(i + 1, close - i - 1);
        bool known = true;
        if (name == "s")
          out += HostPart(rule);
        else if (name == "z")
          out += std::to_string(z);
        else if (name == "x")
          out += std::to_string(x);
        else if (name == "y")
          out += std::to_string(y);
        else if (name == "key")
          out += key;
        else if (name == "style")
          out += style;
        else
          known = false;
        if (known) {
          i = close + 1;
          continue;
        }
      }
    }
    out += urlTemplate[i++];
  }
  return out;
}

namespace {

std::string HighResolutionTemplate(const TTileCatalogRow& row) {
  // A row without an address of its own (drawn tiles) has none either.
  if (row.Endpoint[0] == '\0') return std::string();
  return GetEndpoint(std::string(row.Endpoint) + "-2x");
}

}  // namespace

std::string CatalogTileUrl(TTileServer server, int x, int y, int z, const std::string& key,
                           const std::string& style, bool highResolution) {
  const TTileCatalogRow& row = TileCatalogRow(server);
  const std::string urlTemplate =
      highResolution ? HighResolutionTemplate(row) : GetEndpoint(row.Endpoint);
  if (urlTemplate.empty()) return std::string();
  return FillTileUrlTemplate(urlTemplate, row.HostRule, x, y, z, key, style);
}

bool CatalogHasHighResolution(TTileServer server) {
  return !HighResolutionTemplate(TileCatalogRow(server)).empty();
}

std::string SanitizePathComponent(const std::string& text) {
  if (text.empty() || text == "." || text == "..") return std::string();
  std::string out = text;
  for (char& c : out)
    if (c == '/' || c == '\\' || c == ':' || c == '\0') c = '_';
  return out;
}

}  // namespace wy

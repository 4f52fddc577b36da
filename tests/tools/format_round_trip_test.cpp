// What a round trip between formats keeps: a document in the style of each
// program that writes one (a GPS watch's GPX, a globe's KML, a web
// converter's GeoJSON) is converted to every format and back to the own
// text; names, descriptions, times (zones, fractions), elevations, the
// segments of a track and foreign properties are compared with what each
// format can carry. The README's round-trip table says the same.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "formats/kmz_archive.h"
#include "formats/param_parser.h"
#include "formats/shape_file.h"
#include "geo/attributes.h"
#include "geo/iso_time.h"
#include "support/external_tools.h"
#include "support/test_helpers.h"
#include "tool_files.h"
#include "tools/wymap_cli.h"

namespace wy {
namespace {

using test_support::TScratchDir;

const char kName[] =
    "Caf\xC3\xA9 \"Le Z\xC3\xA8"
    "bre\" ;=#";
const char kDesc[] = "pizza;italian = #1";
const char kTrackName[] = "Ride ;=#";
// 2024-05-01T12:00:00.25Z, written with a zone.
const double kMarkerTime = 1714564800.25;
const double kPointTimes[2][2] = {{1714564800, 1714564801.5}, {1714565400, 1714565402}};
const double kPointAlts[2][2] = {{380.2, 381}, {390, 391.25}};

const char* const kGpx =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"watch\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
    "<wpt lat=\"46.5\" lon=\"6.6\"><ele>372.5</ele>"
    "<time>2024-05-01T14:00:00.250+02:00</time>"
    "<name>Caf\xC3\xA9 \"Le Z\xC3\xA8"
    "bre\" ;=#</name><desc>pizza;italian = #1</desc></wpt>\n"
    "<trk><name>Ride ;=#</name><trkseg>\n"
    "<trkpt lat=\"46.51\" lon=\"6.61\"><ele>380.2</ele><time>2024-05-01T12:00:00Z</time></trkpt>\n"
    "<trkpt lat=\"46.52\" lon=\"6.62\"><ele>381</ele><time>2024-05-01T12:00:01.5Z</time></trkpt>\n"
    "</trkseg><trkseg>\n"
    "<trkpt lat=\"46.53\" lon=\"6.63\"><ele>390</ele><time>2024-05-01T12:10:00Z</time></trkpt>\n"
    "<trkpt lat=\"46.54\" lon=\"6.64\"><ele>391.25</ele><time>2024-05-01T12:10:02Z</time></trkpt>\n"
    "</trkseg></trk></gpx>\n";

const char* const kKml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\">"
    "<Document>\n"
    "<Placemark><name>Caf\xC3\xA9 \"Le Z\xC3\xA8"
    "bre\" ;=#</name>"
    "<description>pizza;italian = #1</description>"
    "<TimeStamp><when>2024-05-01T14:00:00.250+02:00</when></TimeStamp>"
    "<Point><altitudeMode>absolute</altitudeMode><coordinates>6.6,46.5,372.5</coordinates></Point>"
    "</Placemark>\n"
    "<Placemark><name>Ride ;=#</name><gx:MultiTrack>"
    "<gx:Track><altitudeMode>absolute</altitudeMode>"
    "<when>2024-05-01T12:00:00Z</when><when>2024-05-01T12:00:01.5Z</when>"
    "<gx:coord>6.61 46.51 380.2</gx:coord><gx:coord>6.62 46.52 381</gx:coord></gx:Track>"
    "<gx:Track><when>2024-05-01T12:10:00Z</when><when>2024-05-01T12:10:02Z</when>"
    "<gx:coord>6.63 46.53 390</gx:coord><gx:coord>6.64 46.54 391.25</gx:coord></gx:Track>"
    "</gx:MultiTrack></Placemark>\n"
    "</Document></kml>\n";

const char* const kGeoJson =
    "{\"type\":\"FeatureCollection\",\"features\":[\n"
    "{\"type\":\"Feature\",\"properties\":{\"name\":\"Caf\xC3\xA9 \\\"Le Z\xC3\xA8"
    "bre\\\" ;=#\","
    "\"desc\":\"pizza;italian = #1\",\"time\":\"2024-05-01T14:00:00.250+02:00\","
    "\"cuisine\":\"pizza;italian\",\"stars\":4.5,\"open\":true,\"phone\":null,"
    "\"tags\":[\"a\",\"b\"],\"addr\":{\"city\":\"Z\\u00fcrich\"}},"
    "\"geometry\":{\"type\":\"Point\",\"coordinates\":[6.6,46.5,372.5]}},\n"
    "{\"type\":\"Feature\",\"properties\":{\"name\":\"Ride ;=#\",\"coordTimes\":["
    "[\"2024-05-01T12:00:00Z\",\"2024-05-01T12:00:01.5Z\"],"
    "[\"2024-05-01T12:10:00Z\",\"2024-05-01T12:10:02Z\"]]},"
    "\"geometry\":{\"type\":\"MultiLineString\",\"coordinates\":["
    "[[6.61,46.51,380.2],[6.62,46.52,381]],[[6.63,46.53,390],[6.64,46.54,391.25]]]}}]}\n";

// The foreign properties of the GeoJSON document, as JSON texts.
const std::map<std::string, std::string> kForeign = {{"cuisine", "pizza;italian"},
                                                     {"stars", "4.5"},
                                                     {"open", "true"},
                                                     {"phone", "null"},
                                                     {"tags", "[\"a\",\"b\"]"},
                                                     {"addr", "{\"city\":\"Z\\u00fcrich\"}"}};

struct TLine {
  std::vector<double> alts, times;
  std::string track;
  TWyAttributes attributes;
};

struct TShapes {
  double markerAlt = -9999;
  TWyAttributes marker;
  int markers = 0;
  std::vector<TLine> lines;
};

std::vector<double> Numbers(std::string_view list) {
  std::vector<double> out;
  while (!list.empty()) {
    const size_t comma = list.find(',');
    double v = -1;
    if (!ParseParamDouble(list.substr(0, comma), v)) v = -1;
    out.push_back(v);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
  }
  return out;
}

// The shapes of an own text, read field by field.
TShapes Read(const std::string& text) {
  TShapes s;
  std::istringstream lines(text);
  std::string line, section;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const TWyParamParser p(line);
    if (section == "markers" && s.markers++ == 0) {
      s.markerAlt = p.ToDouble("alt", -9999);
      s.marker.ReadFields(line);
    } else if (section == "polylines") {
      TLine l;
      std::string_view v;
      if (p.Find("alt", v)) l.alts = Numbers(v);
      if (p.Find("time", v)) l.times = Numbers(v);
      l.track = p.ToStr("trk");
      l.attributes.ReadFields(line);
      s.lines.push_back(l);
    }
  }
  return s;
}

int Convert(const std::string& in, const std::string& out, std::string& err) {
  std::ostringstream o, e;
  const int code = RunWymap({"convert", in, out}, o, e);
  err = e.str();
  return code;
}

TEST(FormatRoundTrip, EachFormatKeepsWhatItCanCarry) {
  TScratchDir dir;
  const std::map<std::string, std::string> sources = {
      {"watch.gpx", kGpx}, {"globe.kml", kKml}, {"web.geojson", kGeoJson}};
  for (const auto& source : sources) {
    std::ofstream(dir.Sub(source.first), std::ios::binary) << source.second;
    const bool foreign = source.first == "web.geojson";
    for (const std::string target : {"gpx", "kml", "kmz", "geojson", "txt"}) {
      SCOPED_TRACE(source.first + " to " + target + " and back");
      const std::string there = dir.Sub(source.first + "." + target);
      const std::string back = dir.Sub(source.first + "." + target + ".txt");
      std::string err;
      ASSERT_EQ(Convert(dir.Sub(source.first), there, err), kWymapOk) << err;
      ASSERT_EQ(Convert(there, back, err), kWymapOk) << err;
      const TShapes s = Read(ReadFile(back));

      ASSERT_EQ(s.markers, 1);
      EXPECT_EQ(s.marker.Get("name"), kName);
      EXPECT_EQ(s.marker.Get("desc"), kDesc);
      double time = 0;
      EXPECT_TRUE(ParseIsoTime(s.marker.Get("time"), time)) << s.marker.Get("time");
      EXPECT_NEAR(time, kMarkerTime, 1e-6);
      EXPECT_EQ(s.markerAlt, 372.5);

      // One track of two segments, with its name, times and elevations.
      ASSERT_EQ(s.lines.size(), 2u);
      EXPECT_FALSE(s.lines[0].track.empty());
      EXPECT_EQ(s.lines[0].track, s.lines[1].track);
      for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(s.lines[i].attributes.Get("name"), kTrackName);
        ASSERT_EQ(s.lines[i].times.size(), 2u);
        ASSERT_EQ(s.lines[i].alts.size(), 2u);
        for (int k = 0; k < 2; ++k) {
          EXPECT_NEAR(s.lines[i].times[k], kPointTimes[i][k], 1e-6);
          EXPECT_EQ(s.lines[i].alts[k], kPointAlts[i][k]);
        }
      }

      // Foreign properties: GeoJSON and the own text keep their JSON types;
      // KML keeps them as texts; GPX has no room for them.
      if (!foreign) continue;
      for (const auto& f : kForeign) {
        const TWyAttribute* a = s.marker.Find(f.first);
        if (target == "gpx") {
          EXPECT_EQ(a, nullptr) << f.first;
          continue;
        }
        ASSERT_NE(a, nullptr) << f.first;
        EXPECT_EQ(a->Value, f.second) << f.first;
        const bool json = f.first != "cuisine";
        EXPECT_EQ(a->Kind, json && target != "kml" && target != "kmz" ? akJson : akText) << f.first;
      }
    }
  }
}

// Other programs read our exports with the same values: GDAL's ogrinfo the
// GeoJSON, GPX and KML (attributes, times, elevations, both segments),
// GPSBabel the GPX (times to the millisecond, elevations).
TEST(FormatRoundTrip, ExternalReadersAgree) {
  using test_support::HaveTool;
  using test_support::RunCommand;
  using test_support::ShellQuote;
  if (!HaveTool("ogrinfo") && !HaveTool("gpsbabel")) GTEST_SKIP() << "no ogrinfo, no gpsbabel";
  TScratchDir dir;
  std::ofstream(dir.Sub("web.geojson"), std::ios::binary) << kGeoJson;
  std::string err;
  for (const char* ext : {"gpx", "kml", "geojson"})
    ASSERT_EQ(Convert(dir.Sub("web.geojson"), dir.Sub(std::string("out.") + ext), err), kWymapOk)
        << err;
  const std::string name = kName, desc = kDesc;
  const std::string segments =
      "((6.61 46.51 380.2,6.62 46.52 381),(6.63 46.53 390,6.64 46.54 391.25))";
  const struct {
    const char* file;
    const char* layers;
    std::vector<std::string> lines;
  } ogr[] = {
      {"out.geojson",
       "",
       {"name (String) = " + name, "desc (String) = " + desc, "cuisine (String) = pizza;italian",
        "stars (Real) = 4.5", "time (DateTime) = 2024/05/01 14:00:00.250+02",
        "POINT Z (6.6 46.5 372.5)", "name (String) = Ride ;=#", "MULTILINESTRING Z " + segments}},
      {"out.gpx",
       "waypoints tracks",
       {"name (String) = " + name, "desc (String) = " + desc, "ele (Real) = 372.5",
        "time (DateTime) = 2024/05/01 12:00:00.250+00", "name (String) = Ride ;=#",
        "MULTILINESTRING ((6.61 46.51,6.62 46.52),(6.63 46.53,6.64 46.54))"}},
      {"out.kml",
       "",
       {"Name (String) = " + name, "description (String) = " + desc,
        "timestamp (DateTime) = 2024/05/01 12:00:00.250+00", "cuisine (String) = pizza;italian",
        "POINT Z (6.6 46.5 372.5)", "Name (String) = Ride ;=#", "MULTILINESTRING Z " + segments}},
  };
  if (HaveTool("ogrinfo")) {
    for (const auto& o : ogr) {
      std::string out;
      const std::string layers = *o.layers ? std::string(" ") + o.layers : std::string(" -al");
      ASSERT_EQ(RunCommand("ogrinfo -ro -q " + ShellQuote(dir.Sub(o.file)) + layers + " 2>&1", out),
                0)
          << out;
      for (const std::string& line : o.lines)
        EXPECT_NE(out.find(line), std::string::npos) << o.file << ": " << line << "\n" << out;
    }
  }
  if (HaveTool("gpsbabel")) {
    std::string out;
    ASSERT_EQ(
        RunCommand("gpsbabel -i gpx -f " + ShellQuote(dir.Sub("out.gpx")) + " -o gpx -F -", out), 0)
        << out;
    for (const char* line : {"<ele>372.500</ele>", "<time>2024-05-01T12:00:00.250Z</time>",
                             "<ele>380.200</ele>", "<time>2024-05-01T12:00:01.500Z</time>",
                             "<ele>391.250</ele>", "<time>2024-05-01T12:10:02Z</time>"})
      EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    size_t segmentsSeen = 0;
    for (size_t at = out.find("<trkseg>"); at != std::string::npos;
         at = out.find("<trkseg>", at + 1))
      ++segmentsSeen;
    EXPECT_EQ(segmentsSeen, 2u);
  }
}

}  // namespace
}  // namespace wy

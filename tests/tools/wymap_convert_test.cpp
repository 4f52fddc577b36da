// wymap convert: every format to every other, what survives the trip, and
// the program's behaviour without a display on large and broken input.

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <fstream>
#include <map>
#include <sstream>

#include "formats/kmz_archive.h"
#include "formats/shape_file.h"
#include "support/test_helpers.h"
#include "tool_files.h"
#include "tools/wymap_cli.h"

namespace wy {
namespace {

using test_support::TScratchDir;

const char* const kGpx =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
    "<wpt lat=\"48.85\" lon=\"2.35\"><name>Caf\xC3\xA9 &amp; co</name></wpt>\n"
    "<trk><trkseg><trkpt lat=\"45\" lon=\"1\"><ele>10</ele></trkpt>\n"
    "<trkpt lat=\"45.5\" lon=\"1.5\"/><trkpt lat=\"46\" lon=\"2\"/></trkseg></trk>\n"
    "<rte><rtept lat=\"10\" lon=\"10\"/><rtept lat=\"11\" lon=\"11\"/></rte>\n"
    "</gpx>\n";

const char* const kKml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\n"
    "<Style id=\"s\"><LineStyle><color>ff0000ff</color><width>3</width></LineStyle>"
    "<PolyStyle><color>8000ff00</color></PolyStyle></Style>\n"
    "<Placemark><name>Caf\xC3\xA9 &amp; co</name><Point><coordinates>2.35,48.85,0</coordinates>"
    "</Point></Placemark>\n"
    "<Placemark><styleUrl>#s</styleUrl><LineString><coordinates>1,45 1.5,45.5 2,46"
    "</coordinates></LineString></Placemark>\n"
    "<Placemark><styleUrl>#s</styleUrl><Polygon><outerBoundaryIs><LinearRing><coordinates>"
    "10,10 11,10 11,11 10,10</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark>\n"
    "</Document></kml>\n";

const char* const kGeoJson =
    "{\"type\":\"FeatureCollection\",\"features\":[\n"
    "{\"type\":\"Feature\",\"properties\":{\"title\":\"Caf\xC3\xA9 & co\"},"
    "\"geometry\":{\"type\":\"Point\",\"coordinates\":[2.35,48.85]}},\n"
    "{\"type\":\"Feature\",\"geometry\":{\"type\":\"LineString\","
    "\"coordinates\":[[1,45],[1.5,45.5],[2,46]]},\"properties\":{\"weight\":3}},\n"
    "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Polygon\","
    "\"coordinates\":[[[10,10],[11,10],[11,11],[10,10]]]},\"properties\":{}}]}\n";

const char* const kOwn =
    "[markers]\r\nlat=48.85;lng=2.35;title=Caf\xC3\xA9 & co\r\n"
    "[polylines]\r\nlatlng=45,1,45.5,1.5,46,2\r\n"
    "[polygones]\r\nlatlng=10,10,10,11,11,11\r\n";

// Records per kind of section ("markers", "polylines", "polygones") of a
// shape text; group prefixes ("[roads.markers]") do not count.
std::map<std::string, int> Records(const std::string& text) {
  std::map<std::string, int> count;
  std::istringstream lines(text);
  std::string line, section;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      const size_t dot = section.rfind('.');
      if (dot != std::string::npos) section = section.substr(dot + 1);
      continue;
    }
    if (section == "markers" || section == "pois" || section == "polylines" ||
        section == "polygones")
      ++count[section];
  }
  return count;
}

int Convert(const std::vector<std::string>& args, std::string& err) {
  std::ostringstream out, errors;
  std::vector<std::string> all = {"convert"};
  all.insert(all.end(), args.begin(), args.end());
  const int code = RunWymap(all, out, errors);
  err = errors.str();
  return code;
}

TEST(WymapConvert, EveryFormatToEveryOtherKeepsTheShapes) {
  TScratchDir dir;
  std::string kmz;
  ASSERT_TRUE(KmlToKmz(kKml, kmz));
  const std::map<std::string, std::string> inputs = {{"in.gpx", kGpx},
                                                     {"in.kml", kKml},
                                                     {"in.kmz", kmz},
                                                     {"in.geojson", kGeoJson},
                                                     {"in.txt", kOwn}};
  const char* const outputs[] = {"gpx", "kml", "kmz", "json", "geojson", "txt"};
  for (const auto& input : inputs) {
    WriteFile(dir.Sub(input.first), input.second);
    const bool fromGpx = input.first == "in.gpx";
    for (const char* ext : outputs) {
      SCOPED_TRACE(input.first + " to " + ext);
      const std::string out = dir.Sub(input.first + ".out." + ext);
      std::string err;
      ASSERT_EQ(Convert({dir.Sub(input.first), out}, err), kWymapOk) << err;
      EXPECT_EQ(err, "");
      const std::string text = LoadShapeFile(out);
      std::map<std::string, int> records = Records(text);
      const bool toGpx = std::string(ext) == "gpx";
      EXPECT_EQ(records["markers"] + records["pois"], 1);
      // GPX has no polygons: a ring travels as a closed track.
      if (fromGpx || toGpx) {
        EXPECT_EQ(records["polylines"] + records["polygones"], 2);
      } else {
        EXPECT_EQ(records["polylines"], 1);
        EXPECT_EQ(records["polygones"], 1);
      }
      EXPECT_NE(text.find("lat=48.85;"), std::string::npos) << text;
      EXPECT_NE(text.find("lng=2.35;"), std::string::npos) << text;
      EXPECT_NE(text.find("latlng=45,1,45.5,1.5,46,2"), std::string::npos) << text;
      // The name keeps its accent and ampersand (own text escapes nothing
      // of it either).
      EXPECT_NE(text.find("Caf\xC3\xA9 & co"), std::string::npos) << text;
      // JSON readers reject a byte-order mark.
      const std::string bytes = ReadFile(out);
      if (std::string(ext) == "json" || std::string(ext) == "geojson") {
        EXPECT_EQ(bytes[0], '{');
      }
    }
  }
}

TEST(WymapConvert, FormatOptionsOverrideTheExtensions) {
  TScratchDir dir;
  std::string kmz;
  ASSERT_TRUE(KmlToKmz(kKml, kmz));
  WriteFile(dir.Sub("track.dat"), kGpx);
  WriteFile(dir.Sub("zipped.bin"), kmz);
  std::string err;
  ASSERT_EQ(Convert({"--from", "gpx", dir.Sub("track.dat"), dir.Sub("a.out"), "--to=GeoJSON"}, err),
            kWymapOk)
      << err;
  EXPECT_EQ(ReadFile(dir.Sub("a.out")).rfind("{\"type\":\"FeatureCollection\"", 0), 0u);
  ASSERT_EQ(Convert({dir.Sub("zipped.bin"), dir.Sub("b.out"), "--from=kmz", "--to", "kmz"}, err),
            kWymapOk)
      << err;
  std::string kml;
  ASSERT_TRUE(KmzToKml(ReadFile(dir.Sub("b.out")), kml));
  EXPECT_NE(kml.find("<Polygon>"), std::string::npos);

  // Broken documents: the reader tells where it stopped.
  WriteFile(dir.Sub("broken.json"), "{\"type\":\"FeatureCollection\",\n\"features\":[\n@]}\n");
  WriteFile(dir.Sub("broken.gpx"), "<gpx>\n<trk>\n<trkseg>\n<trkpt lat=\"1\"");
  const struct {
    std::vector<std::string> args;
    int code;
    std::string message;
  } failures[] = {
      {{dir.Sub("missing.gpx"), dir.Sub("x.kml")}, kWymapRequestFailed, "cannot read"},
      {{dir.Sub("track.dat"), dir.Sub("x.kml"), "--from", "kmz"}, kWymapRequestFailed, "no KMZ"},
      {{dir.Sub("track.dat"), dir.Sub("x.kml"), "--from", "kml"}, kWymapRequestFailed, "no shapes"},
      {{dir.Sub("broken.json"), dir.Sub("x.kml")},
       kWymapRequestFailed,
       "no shapes in " + dir.Sub("broken.json") + " at line 3: unexpected '@'"},
      {{dir.Sub("broken.gpx"), dir.Sub("x.kml")},
       kWymapRequestFailed,
       "broken.gpx at line 4: the document ends inside a tag"},
      {{dir.Sub("track.dat"), dir.Sub("no/folder/x.kml"), "--from", "gpx"},
       kWymapRequestFailed,
       "cannot write"},
      {{dir.Sub("track.dat")}, kWymapUsage, "an input and an output"},
      {{dir.Sub("track.dat"), dir.Sub("x.kml"), "--to", "shp"}, kWymapUsage, "--to wants"},
      {{dir.Sub("track.dat"), dir.Sub("x.kml"), "--zip"}, kWymapUsage, "unknown option"},
  };
  for (const auto& f : failures) {
    EXPECT_EQ(Convert(f.args, err), f.code) << f.message;
    EXPECT_EQ(err.rfind("wymap: ", 0), 0u) << err;
    EXPECT_NE(err.find(f.message), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  }
  EXPECT_FALSE(std::ifstream(dir.Sub("x.kml")).good());
}

// The program itself, without a display: a large track reports its stages
// on standard error and comes out whole.
TEST(WymapConvert, ProgramConvertsALargeTrackHeadless) {
  TScratchDir dir;
  std::string gpx =
      "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"t\" "
      "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>\n";
  const int points = 60000;
  for (int i = 0; i < points; ++i)
    gpx += "<trkpt lat=\"" + std::to_string(45 + i * 1e-5) + "\" lon=\"" +
           std::to_string(5 + i * 1e-5) + "\"><ele>" + std::to_string(i % 1000) +
           "</ele><time>2024-05-01T10:00:00Z</time></trkpt>\n";
  gpx += "</trkseg></trk></gpx>\n";
  WriteFile(dir.Sub("big.gpx"), gpx);

  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("DISPLAY");
  environment.remove("QT_QPA_PLATFORM");
  process.setProcessEnvironment(environment);
  process.start(QString::fromUtf8(WYMAP_BINARY),
                QStringList{"convert", QString::fromStdString(dir.Sub("big.gpx")),
                            QString::fromStdString(dir.Sub("big.geojson"))});
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), kWymapOk);
  const std::string err = process.readAllStandardError().toStdString();
  for (const char* stage : {"reading", "converting", "read 0 markers, 1 lines", "writing", "done"})
    EXPECT_NE(err.find(stage), std::string::npos) << err;
  const std::string json = ReadFile(dir.Sub("big.geojson"));
  size_t positions = 0;
  for (size_t at = json.find("],["); at != std::string::npos; at = json.find("],[", at + 1))
    ++positions;
  EXPECT_EQ(positions + 1, static_cast<size_t>(points));
}

}  // namespace
}  // namespace wy

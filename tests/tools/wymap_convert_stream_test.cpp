// The converter's short way from GPX: what it writes must be what the way
// through the shapes writes (here: GPX to own text, own text onwards).

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <fstream>

#include "support/test_helpers.h"
#include "tool_files.h"
#include "wymap_run.h"

namespace wy {
namespace {

using test_support::TScratchDir;

const char* const kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";

struct TCase {
  const char* what;
  const char* body;
};

const TCase kCases[] = {
    {"waypoints with every kept element and markup, separators, unicode in names",
     "<wpt lat=\"45.1\" lon=\"5.2\"><ele>300.5</ele><time>2024-05-01T10:00:00.25+02:00</time>"
     "<name>Caf\xC3\xA9 &lt;b&gt; \"x\";y=z#13#</name><desc>d&amp;e</desc><cmt>c</cmt>"
     "<sym>Flag</sym><type>t</type><link href=\"http://a/b?c=1&amp;d=2\"/></wpt>\n"
     "<wpt lat=\"-45.2\" lon=\"-5.3\"/>\n<wpt lat=\"1e1\" lon=\"2.50\"><name>n</name></wpt>\n"},
    {"a track of several segments, points with and without elevations and times",
     "<trk><name>T1</name><desc>D</desc><type>bike</type><number>2</number><trkseg>\n"
     "<trkpt lat=\"45.0\" lon=\"5.0\"><ele>1</ele><time>2024-05-01T10:00:00Z</time></trkpt>\n"
     "<trkpt lat=\"45.001\" lon=\"5.001\"><time>2024-05-01T10:00:01.5Z</time></trkpt>\n"
     "</trkseg><trkseg><trkpt lat=\"45.002\" lon=\"5.002\"><ele>3</ele></trkpt>\n"
     "<trkpt lat=\"45.003\" lon=\"5.003\"><ele>4</ele></trkpt></trkseg>\n"
     "<trkseg><trkpt lat=\"45.004\" lon=\"5.004\"><time>2024-05-01T12:00:00+01:00</time>"
     "</trkpt></trkseg></trk>\n"},
    {"tracks of one point and of one segment one after the other, a route",
     "<trk><trkseg><trkpt lat=\"46\" lon=\"6\"/></trkseg></trk>\n"
     "<trk><name>T3</name><trkseg><trkpt lat=\"46\" lon=\"6\"/><trkpt lat=\"46.5\" "
     "lon=\"6.5\"/></trkseg></trk>\n"
     "<trk><name>T4</name><trkseg><trkpt lat=\"47\" lon=\"6\"/><trkpt lat=\"47.5\" "
     "lon=\"6.5\"/></trkseg></trk>\n"
     "<rte><name>R</name><number>3</number><rtept lat=\"47\" lon=\"7\"/>"
     "<rtept lat=\"47.1\" lon=\"7.1\"><ele>9</ele></rtept></rte>\n"},
    {"waypoints after tracks, points out of range skipped, a document cut short",
     "<trk><trkseg><trkpt lat=\"91\" lon=\"6\"/><trkpt lat=\"10\" lon=\"6\"/>"
     "<trkpt lat=\"11\" lon=\"7\"/></trkseg></trk>\n"
     "<wpt lat=\"3\" lon=\"4\"><name>late</name></wpt>\n"
     "<trk><trkseg><trkpt lat=\"12\" lon=\"8\"/><trkpt lat=\"13\" lon=\"9\">"},
};

// A GeoJSON document with its bounding box taken out (the short way writes
// it after the Features, the other way before them), and the box.
std::string WithoutBox(std::string json, std::string& box) {
  static const std::regex kBefore("\"bbox\":(\\[[^\\]]*\\]),");
  static const std::regex kAfter(",\"bbox\":(\\[[^\\]]*\\])");
  std::smatch m;
  if (std::regex_search(json, m, kBefore) || std::regex_search(json, m, kAfter)) {
    box = m[1];
    json = m.prefix().str() + m.suffix().str();
  }
  return json;
}

// The Features of a GeoJSON document one per entry, in order (the short way
// writes them in the input's order, the shapes markers before lines).
std::vector<std::string> SortedFeatures(const std::string& json) {
  std::vector<std::string> features;
  std::istringstream lines(json);
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ',')) line.pop_back();
    features.push_back(line);
  }
  std::sort(features.begin(), features.end());
  return features;
}

// A GPX document without its line breaks (the short way ends a track's
// last segment on a line of its own).
std::string WithoutBreaks(std::string text) {
  std::string out;
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

// A track of two long segments (their positions and times go out in
// pieces of their own), the first timed, the second not.
std::string LongTrack() {
  std::string body = "<trk><name>long</name><trkseg>\n";
  for (int i = 0; i < 8000; ++i) {
    if (i == 5000) body += "</trkseg><trkseg>\n";
    body += "<trkpt lat=\"" + std::to_string(45 + i * 1e-5) + "\" lon=\"" +
            std::to_string(5 + i * 1e-5) + "\"><ele>" + std::to_string(i % 700) + ".5</ele>";
    if (i < 5000) body += "<time>2024-05-01T10:00:0" + std::to_string(i % 10) + ".125Z</time>";
    body += "</trkpt>\n";
  }
  return body + "</trkseg></trk>\n";
}

TEST(WymapConvertStream, WritesWhatTheWayThroughTheShapesWrites) {
  std::vector<std::pair<std::string, std::string>> cases;
  for (const TCase& c : kCases) cases.emplace_back(c.what, kHead + std::string(c.body));
  cases.emplace_back("a long track of two segments", kHead + LongTrack());
  // Read whole and turned into UTF-8 rather than in blocks.
  cases.emplace_back("a document in ISO-8859-1",
                     "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<gpx version=\"1.1\">"
                     "<wpt lat=\"1\" lon=\"2\"><name>Caf\xE9</name></wpt>"
                     "<rte><rtept lat=\"1\" lon=\"2\"/><rtept lat=\"3\" lon=\"4\"/></rte>");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    TScratchDir dir;
    WriteFile(dir.Sub("in.gpx"), c.second + "</gpx>\n");
    ASSERT_EQ(Wymap({"convert", dir.Sub("in.gpx"), dir.Sub("in.txt")}).Code, 0);
    for (const char* ext : {".geojson", ".gpx"}) {
      const TRun direct = Wymap({"convert", dir.Sub("in.gpx"), dir.Sub(std::string("a") + ext)});
      const TRun shapes = Wymap({"convert", dir.Sub("in.txt"), dir.Sub(std::string("b") + ext)});
      ASSERT_EQ(direct.Code, 0) << direct.Err;
      ASSERT_EQ(shapes.Code, 0) << shapes.Err;
      const std::string a = ReadFile(dir.Sub(std::string("a") + ext));
      const std::string b = ReadFile(dir.Sub(std::string("b") + ext));
      if (std::string(ext) == ".gpx") {
        EXPECT_EQ(WithoutBreaks(a), WithoutBreaks(b));
      } else {
        std::string boxA, boxB;
        EXPECT_EQ(SortedFeatures(WithoutBox(a, boxA)), SortedFeatures(WithoutBox(b, boxB)));
        EXPECT_EQ(boxA, boxB);
        EXPECT_FALSE(boxA.empty());
      }
    }
  }
}

TEST(WymapConvertStream, NoShapesWritesNoFile) {
  TScratchDir dir;
  WriteFile(dir.Sub("in.gpx"), std::string(kHead) + "<wpt lat=\"95\" lon=\"1\"/></gpx>\n");
  for (const char* out : {"out.geojson", "out.gpx"}) {
    const TRun run = Wymap({"convert", dir.Sub("in.gpx"), dir.Sub(out)});
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Err.find("no shapes"), std::string::npos) << run.Err;
    EXPECT_FALSE(std::ifstream(dir.Sub(out)).good());
  }
}

}  // namespace
}  // namespace wy

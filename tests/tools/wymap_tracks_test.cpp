// wymap stats and wymap profile: the figures of the tracks of every format
// the map reads, as text and as JSON, and the profile as a picture.

#include <gtest/gtest.h>

#include <QImage>
#include <fstream>
#include <sstream>

#include "formats/kmz_archive.h"
#include "support/test_helpers.h"
#include "tools/wymap_cli.h"

namespace wy {
namespace {

using test_support::TScratchDir;

// A meridian from the equator to 1 deg N: 110574.4 m on the ellipsoid
// (111226.3 m on the sphere of the map's own distances).
const char* const kGpx =
    "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
    "<trk><name>climb</name><trkseg><trkpt lat=\"0\" lon=\"10\"><ele>100</ele></trkpt>\n"
    "<trkpt lat=\"0.5\" lon=\"10\"><ele>300</ele></trkpt>"
    "<trkpt lat=\"1\" lon=\"10\"><ele>200</ele></trkpt></trkseg></trk>\n"
    "<trk><trkseg><trkpt lat=\"5\" lon=\"5\"/><trkpt lat=\"5\" lon=\"5.01\"/></trkseg></trk>\n"
    "</gpx>\n";
const char* const kKml =
    "<?xml version=\"1.0\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>"
    "<Placemark><LineString><coordinates>10,0,100 10,0.5,300 10,1,200</coordinates>"
    "</LineString></Placemark></Document></kml>\n";
const char* const kGeoJson =
    "{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\",\"properties\":{},"
    "\"geometry\":{\"type\":\"LineString\",\"coordinates\":[[10,0,100],[10,0.5,300],[10,1,200]]}"
    "}]}\n";
const char* const kOwn = "[polylines]\r\nlatlng=0,10,0.5,10,1,10\r\n";

int RunTool(const std::vector<std::string>& args, std::string& out, std::string& err) {
  std::ostringstream o, e;
  const int code = RunWymap(args, o, e);
  out = o.str();
  err = e.str();
  return code;
}

std::string Write(const TScratchDir& dir, const std::string& name, const std::string& bytes) {
  const std::string path = dir.Sub(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TEST(WymapStats, EveryFormatGivesTheFiguresOfItsTracks) {
  TScratchDir dir;
  std::string kmz;
  ASSERT_TRUE(KmlToKmz(kKml, kmz));
  struct Case {
    std::string file, content, firstJson;
  };
  const std::string climb =
      "\"points\":3,\"distance_m\":110574.4,\"ascent_m\":200,\"descent_m\":100,"
      "\"min_ele_m\":100,\"max_ele_m\":300,\"start\":null,\"end\":null,\"duration_s\":null,"
      "\"moving_s\":null,\"avg_speed_kmh\":null,\"max_speed_kmh\":null}";
  const std::vector<Case> cases = {
      {"a.gpx", kGpx, "{\"tracks\":[{\"name\":\"climb\"," + climb},
      {"a.kml", kKml, "{\"tracks\":[{\"name\":null," + climb},
      {"a.kmz", kmz, "{\"tracks\":[{\"name\":null," + climb},
      {"a.geojson", kGeoJson, "{\"tracks\":[{\"name\":null," + climb},
      {"a.txt", kOwn,
       "{\"tracks\":[{\"name\":null,\"points\":3,\"distance_m\":110574.4,\"ascent_m\":null"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string out, err;
    ASSERT_EQ(RunTool({"stats", Write(dir, c.file, c.content), "--json"}, out, err), 0) << err;
    EXPECT_EQ(out.substr(0, c.firstJson.size()), c.firstJson) << out;
    EXPECT_EQ(err, "");
  }
  // Two tracks: the second has neither elevations nor times; the total adds up.
  std::string out, err;
  ASSERT_EQ(RunTool({"stats", Write(dir, "b.gpx", kGpx), "--json"}, out, err), 0);
  EXPECT_NE(out.find("},{\"name\":null,\"points\":2,\"distance_m\":1109,\"ascent_m\":null,"
                     "\"descent_m\":null,\"min_ele_m\":null"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\"total\":{\"points\":5,\"distance_m\":111683.4,\"ascent_m\":200,"),
            std::string::npos)
      << out;
}

// The times of a file's points and the segments of one recorded track reach
// the figures: two segments of one track are one track, the gap between them
// is neither distance nor moving time, and the duration runs from the first
// time to the last.
TEST(WymapStats, TimesAndSegmentsOfOneTrackComeFromTheFile) {
  TScratchDir dir;
  const std::string gpx =
      "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
      "<trk><name>two parts</name>"
      "<trkseg><trkpt lat=\"0\" lon=\"10\"><time>2024-05-01T08:00:00Z</time></trkpt>"
      "<trkpt lat=\"0.01\" lon=\"10\"><time>2024-05-01T08:10:00Z</time></trkpt></trkseg>"
      "<trkseg><trkpt lat=\"1\" lon=\"10\"><time>2024-05-01T09:00:00+00:00</time></trkpt>"
      "<trkpt lat=\"1.01\" lon=\"10\"><time>2024-05-01T11:10:00+02:00</time></trkpt></trkseg>"
      "</trk></gpx>\n";
  std::string out, err;
  ASSERT_EQ(RunTool({"stats", Write(dir, "t.gpx", gpx), "--json"}, out, err), 0) << err;
  // 0.01 deg of meridian is about 1105.7 m near the equator: twice that, and
  // one track of four points.
  EXPECT_NE(out.find("{\"tracks\":[{\"name\":\"two parts\",\"points\":4,\"distance_m\":2211."),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\"start\":\"2024-05-01T08:00:00Z\",\"end\":\"2024-05-01T09:10:00Z\","
                     "\"duration_s\":4200,"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("},{\"name\""), std::string::npos) << "one track only: " << out;
}

TEST(WymapStats, TextForPeople) {
  TScratchDir dir;
  std::string out, err;
  ASSERT_EQ(RunTool({"stats", Write(dir, "b.gpx", kGpx)}, out, err), 0) << err;
  for (const char* line : {"Track 1: climb\n", "  distance     110.6 km\n", "  ascent       200 m\n",
                           "  elevation    100 m to 300 m\n", "  duration     no time\n",
                           "Track 2\n", "  ascent       no elevation\n", "  distance     1.11 km\n",
                           "Total of 2 tracks\n", "  distance     111.7 km\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << " in\n" << out;
}

TEST(WymapTrackCommands, BadInputIsOneLineAndAnExitCode) {
  TScratchDir dir;
  const std::string gpx = Write(dir, "b.gpx", kGpx);
  const std::string png = dir.Sub("p.png");
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"stats"}, 2, "wymap: stats wants a file (try wymap --help)\n"},
      {{"stats", gpx, "--csv"}, 2, "wymap: unknown option --csv for stats (try wymap --help)\n"},
      {{"stats", dir.Sub("none.gpx")}, 1, "wymap: stats: cannot read "},
      {{"stats", Write(dir, "empty.gpx", "<gpx></gpx>")}, 1, "wymap: stats: no shapes in "},
      {{"profile", gpx}, 2, "wymap: profile wants -o FILE (try wymap --help)\n"},
      {{"profile", gpx, "-o", png, "--size", "10x10"}, 2, "wymap: --size wants WxH from 100x60"},
      {{"profile", gpx, "-o", png, "--track", "0"}, 2, "wymap: --track wants a track number"},
      {{"profile", gpx, "-o", png, "--track", "3"},
       1,
       "wymap: profile: " + gpx + " has 2 tracks, no track 3\n"},
      {{"profile", gpx, "-o", dir.Sub("no/p.png")}, 1, "wymap: profile: cannot write "},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_EQ(RunTool(c.args, out, err), c.code) << c.args.back();
    EXPECT_EQ(err.substr(0, c.err.size()), c.err) << c.args.back();
  }
}

TEST(WymapProfile, DrawsTheChosenTrackAtTheGivenSize) {
  TScratchDir dir;
  const std::string gpx = Write(dir, "b.gpx", kGpx);
  const std::string png = dir.Sub("p.png");
  std::string out, err;
  ASSERT_EQ(RunTool({"profile", gpx, "-o", png, "--size", "640x200"}, out, err), 0) << err;
  QImage image(QString::fromStdString(png));
  ASSERT_EQ(image.size(), QSize(640, 200));
  // The curve is drawn in the track colour over the white plot.
  int coloured = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 200 && c.green() < 120 && c.blue() < 120) ++coloured;
    }
  EXPECT_GT(coloured, 100);
  // The second track has no elevations: a picture all the same, and a note.
  ASSERT_EQ(RunTool({"profile", gpx, "-o", png, "--track", "2"}, out, err), 0);
  EXPECT_EQ(err, "wymap: profile: track 2 has no elevations; the picture shows none\n");
  ASSERT_EQ(RunTool({"profile", gpx, "-o", png, "--time"}, out, err), 0);
  EXPECT_EQ(err, "wymap: profile: track 1 has no times; drawn against distance\n");
}

}  // namespace
}  // namespace wy

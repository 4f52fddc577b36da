#include "formats/gpx_import.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/comma_locale.h"

namespace wy {
namespace {

const char kHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"t\">\n";

struct TCase {
  const char* name;
  const char* body;
  const char* shapes;
};

const TCase kCases[] = {
    {"named waypoint", "<wpt lat=\"48.85\" lon=\"2.35\"><name>Paris</name></wpt>",
     "[markers]\r\ndrag=false;visible=true;clickable=true;lat=48.85;lng=2.35;"
     "name=Paris;title=Paris;@name=Paris;\r\n\r\n"},
    {"waypoint without name, elevation kept", "<wpt lat='1' lon='2'><ele>35.5</ele></wpt>",
     "[markers]\r\ndrag=false;visible=true;clickable=true;lat=1;lng=2;alt=35.5;\r\n\r\n"},
    {"self-closing waypoints each give a marker",
     "<wpt lat=\"1\" lon=\"2\"/><wpt lat=\"3\" lon=\"4\"/>",
     "[markers]\r\ndrag=false;visible=true;clickable=true;lat=1;lng=2;\r\n"
     "drag=false;visible=true;clickable=true;lat=3;lng=4;\r\n\r\n"},
    {"empty name does not take the next text",
     "<wpt lat=\"1\" lon=\"2\"><name></name><sym>Flag</sym></wpt>",
     "[markers]\r\ndrag=false;visible=true;clickable=true;lat=1;lng=2;@sym=Flag;\r\n\r\n"},
    {"name escaped and neutralised", "<wpt lat=\"1\" lon=\"2\"><name>a;b=&lt;i&gt;</name></wpt>",
     "[markers]\r\ndrag=false;visible=true;clickable=true;lat=1;lng=2;"
     "name=a#59#b#61#\xE2\x80\xB9i\xE2\x80\xBA;title=a#59#b#61#\xE2\x80\xB9i\xE2\x80\xBA;"
     "@name=a#59#b#61#<i>;\r\n\r\n"},
    {"track with elevations",
     "<trk><name>Run</name><trkseg><trkpt lat=\"1\" lon=\"2\"><ele>10</ele></trkpt>"
     "<trkpt lat=\"3\" lon=\"4\"><ele>12.5</ele></trkpt></trkseg></trk>",
     "[polylines]\r\ndrag=false;visible=true;latlng=1,2,3,4;alt=10,12.5;@name=Run;\r\n\r\n"},
    {"each segment its own line, the segments sharing their track's key",
     "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"/><trkpt lat=\"3\" lon=\"4\"/></trkseg>"
     "<trkseg><trkpt lat=\"5\" lon=\"6\"/></trkseg></trk>",
     "[polylines]\r\ndrag=false;visible=true;latlng=1,2,3,4;trk=1\r\n"
     "drag=false;visible=true;latlng=5,6;trk=1\r\n\r\n"},
    {"route becomes a line",
     "<rte><name>r</name><rtept lat=\"1\" lon=\"2\"/><rtept lat=\"3\" lon=\"4\"/></rte>",
     "[polylines]\r\ndrag=false;visible=true;latlng=1,2,3,4;@name=r;\r\n\r\n"},
    {"missing altitude of one point",
     "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"/><trkpt lat=\"3\" lon=\"4\"><ele>7</ele></trkpt>"
     "</trkseg></trk>",
     "[polylines]\r\ndrag=false;visible=true;latlng=1,2,3,4;alt=-9999,7\r\n\r\n"},
    {"bad and out-of-range coordinates skipped",
     "<wpt lat=\"x\" lon=\"2\"/><wpt lat=\"91\" lon=\"2\"/><wpt lon=\"2\"/>"
     "<trk><trkseg><trkpt lat=\"1\" lon=\"200\"/><trkpt lat=\"-1\" lon=\"-1.5\"/></trkseg></trk>",
     "[polylines]\r\ndrag=false;visible=true;latlng=-1,-1.5\r\n\r\n"},
    {"plain decimals kept as written, other forms written plainly",
     "<trk><trkseg><trkpt lat=\"48.500\" lon=\"-002.25\"><ele>0010.50</ele></trkpt>"
     "<trkpt lat=\"+48.5\" lon=\" 2.25\"><ele>1.5e1</ele></trkpt>"
     "<trkpt lat=\"4.85E1\" lon=\".5\"><ele>7.</ele></trkpt></trkseg></trk>",
     "[polylines]\r\ndrag=false;visible=true;latlng=48.500,-002.25,48.5,2.25,48.5,0.5;"
     "alt=0010.50,15,7\r\n\r\n"},
    {"waypoint and track elements kept as attributes, point times as seconds",
     "<wpt lat=\"1\" lon=\"2\"><ele>5</ele><time>2024-05-01T12:00:00Z</time><name>N</name>"
     "<cmt>c;1</cmt><desc>d=2</desc><link href=\"https://e.org/\"><text>t</text></link>"
     "<sym>Flag</sym><type>T</type></wpt>"
     "<trk><name>R</name><desc>D</desc><number>3</number><type>bike</type><trkseg>"
     "<trkpt lat=\"1\" lon=\"2\"><time>2024-05-01T14:00:00.25+02:00</time><name>no</name>"
     "</trkpt><trkpt lat=\"3\" lon=\"4\"><time>bad</time></trkpt></trkseg></trk>",
     "[markers]\r\ndrag=false;visible=true;clickable=true;lat=1;lng=2;alt=5;name=N;title=N;"
     "@time=2024-05-01T12:00:00Z;@name=N;@cmt=c#59#1;@desc=d#61#2;@link=https://e.org/;"
     "@sym=Flag;@type=T;\r\n\r\n"
     "[polylines]\r\ndrag=false;visible=true;latlng=1,2,3,4;time=1714564800.25,;"
     "@name=R;@desc=D;@number=3;@type=bike;\r\n\r\n"},
    {"empty track gives nothing", "<trk><trkseg></trkseg></trk>", ""},
    {"prefixed names", "<gpx:wpt lat=\"1\" lon=\"2\"><gpx:name>P</gpx:name></gpx:wpt>",
     "[markers]\r\ndrag=false;visible=true;clickable=true;lat=1;lng=2;name=P;title=P;@name=P;"
     "\r\n\r\n"},
};

TEST(GpxImport, Documents) {
  // Numbers are read and written with "." whatever the locale.
  test_support::CommaLocaleScope comma;
  for (const TCase& c : kCases) {
    TGpxImporter importer;
    EXPECT_EQ(importer.FromText(std::string(kHead) + c.body + "</gpx>"), c.shapes) << c.name;
  }
}

// Garmin style: extensions, several segments, several lines per element;
// read from a file, then the same object converts a second document without
// carrying anything over.
TEST(GpxImport, GarminFileThenAnotherDocument) {
  const std::string garmin =
      std::string(kHead) +
      "<metadata><name>Activity</name></metadata>\n"
      "<wpt lat=\"45.5\" lon=\"6.25\">\n  <ele>1200</ele>\n  <name>Col\n  du Lac</name>\n"
      "  <extensions><gpxx:WaypointExtension><gpxx:DisplayMode>SymbolAndName"
      "</gpxx:DisplayMode></gpxx:WaypointExtension></extensions>\n</wpt>\n"
      "<trk>\n <name>Morning</name>\n <trkseg>\n"
      "  <trkpt lat=\"45.1\" lon=\"6.1\">\n   <ele>1000.2</ele>\n   "
      "<time>2024-06-01T06:00:00Z</time>\n"
      "   <extensions><gpxtpx:TrackPointExtension><gpxtpx:hr>120</gpxtpx:hr>"
      "</gpxtpx:TrackPointExtension></extensions>\n  </trkpt>\n"
      "  <trkpt lat=\"45.2\" lon=\"6.2\"><ele>1001</ele></trkpt>\n </trkseg>\n <trkseg>\n"
      "  <trkpt lat=\"45.3\" lon=\"6.3\"><ele>1002</ele></trkpt>\n </trkseg>\n</trk>\n</gpx>\n";
  const std::string path = testing::TempDir() + "/garmin.gpx";
  {
    std::ofstream f(path, std::ios::binary);
    f << garmin;
  }
  TGpxImporter importer;
  EXPECT_EQ(importer.FromFile(path),
            "[markers]\r\ndrag=false;visible=true;clickable=true;lat=45.5;lng=6.25;alt=1200;"
            "name=Col du Lac;title=Col du Lac;@name=Col du Lac;\r\n\r\n"
            "[polylines]\r\ndrag=false;visible=true;latlng=45.1,6.1,45.2,6.2;alt=1000.2,1001;"
            "time=1717221600,;trk=1;@name=Morning;\r\n"
            "drag=false;visible=true;latlng=45.3,6.3;alt=1002;trk=1;@name=Morning;\r\n\r\n");
  std::remove(path.c_str());
  EXPECT_EQ(importer.FromFile(path), "");
  // A document cut inside a waypoint and a segment leaves nothing behind.
  EXPECT_EQ(importer.FromText("<gpx><wpt lat=\"1\" lon=\"2\"><name>A"), "");
  EXPECT_EQ(importer.FromText("<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\">"),
            "[polylines]\r\ndrag=false;visible=true;latlng=1,2\r\n\r\n");
  EXPECT_EQ(importer.FromText(std::string(kHead) + "<wpt lat=\"1\" lon=\"2\"/></gpx>"),
            "[markers]\r\ndrag=false;visible=true;clickable=true;lat=1;lng=2;\r\n\r\n");
}

// GPSBabel writes ISO-8859-1; names come out as UTF-8.
TEST(GpxImport, Latin1Document) {
  TGpxImporter importer;
  EXPECT_EQ(
      importer.FromText("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<gpx version=\"1.0\">"
                        "<wpt lat=\"1\" lon=\"2\"><name>Caf\xE9</name></wpt></gpx>"),
      "[markers]\r\ndrag=false;visible=true;clickable=true;lat=1;lng=2;"
      "name=Caf\xC3\xA9;title=Caf\xC3\xA9;@name=Caf\xC3\xA9;\r\n\r\n");
}

// Single-line exports (Strava, Komoot) with many points are read whole.
TEST(GpxImport, LongSingleLineTrack) {
  std::string doc = std::string(kHead) + "<trk><trkseg>";
  const int n = 100000;
  for (int i = 0; i < n; ++i) doc += "<trkpt lat=\"10.5\" lon=\"20.25\"></trkpt>";
  doc += "</trkseg></trk></gpx>";
  TGpxImporter importer;
  const std::string out = importer.FromText(doc);
  size_t points = 0;
  for (size_t p = out.find("10.5,20.25"); p != std::string::npos; p = out.find("10.5,20.25", p + 1))
    ++points;
  EXPECT_EQ(points, static_cast<size_t>(n));
}

}  // namespace
}  // namespace wy

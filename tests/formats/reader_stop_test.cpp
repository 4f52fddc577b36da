// Where the GPX, KML and GeoJSON readers say a malformed or cut-short
// document stopped making sense, and that they still keep what they read.

#include <gtest/gtest.h>

#include <string>

#include "formats/geojson_import.h"
#include "formats/shape_file.h"

namespace wy {
namespace {

TEST(ReaderStop, MalformedDocumentsTellTheLine) {
  const struct {
    const char* name;
    TShapeSourceKind kind;
    const char* text;
    const char* where;  // "" for a well-formed document
    bool keepsShapes;
  } cases[] = {
      {"gpx whole", skGPX,
       "<?xml version=\"1.0\"?>\n<gpx>\n<wpt lat=\"1\" lon=\"2\"><name>a</name></wpt>\n"
       "<trk><trkseg><trkpt lat=\"45\" lon=\"1\"/><trkpt lat=\"46\" lon=\"2\"/></trkseg></trk>\n"
       "<!-- a note -->\n</gpx>\n",
       "", true},
      {"gpx elements left open", skGPX,
       "<?xml version=\"1.0\"?>\n<gpx>\n<trk><trkseg>\n<trkpt lat=\"45\" lon=\"1\"/>\n"
       "<trkpt lat=\"46\" lon=\"2\"/>\n",
       "at line 5: the document ends before <trkseg> (line 3) is closed", true},
      {"gpx cut inside a tag", skGPX,
       "<gpx>\n<wpt lat=\"1\" lon=\"2\"><name>a</name></wpt>\n<wpt lat=\"3\"",
       "at line 3: the document ends inside a tag", true},
      {"gpx tags crossed", skGPX, "<gpx>\n<trk>\n<trkseg>\n</trk>\n</trkseg>\n</gpx>\n",
       "at line 4: </trk> closes <trkseg> (line 3)", false},
      {"gpx with crlf line ends", skGPX, "<gpx>\r\n<wpt lat=\"1\" lon=\"2\">\r\n</gpx>\r\n",
       "at line 3: </gpx> closes <wpt> (line 2)", false},
      {"kml whole", skKML,
       "<kml><Document>\n<Placemark><Point><coordinates>2,48</coordinates></Point></Placemark>\n"
       "</Document></kml>",
       "", true},
      {"kml comment left open", skKML,
       "<kml><Document>\n<Placemark><Point><coordinates>2,48</coordinates></Point></Placemark>\n"
       "<!-- later\n<Placemark>\n",
       "at line 3: the document ends inside a comment", true},
      {"kml stray closing tag", skKML, "<kml>\n<Document>\n</Folder>\n</Document>\n</kml>\n",
       "at line 3: </Folder> closes no open element", false},
      {"geojson whole", skGeoJSON,
       "{\"type\":\"FeatureCollection\",\n\"features\":[\n{\"type\":\"Feature\",\"geometry\":"
       "{\"type\":\"Point\",\"coordinates\":[1,2]}}\n]}\n",
       "", true},
      {"geojson bad token", skGeoJSON,
       "{\"type\":\"FeatureCollection\",\n\"features\":[\n{\"type\":\"Feature\", \"geometry\": @}\n"
       "]}\n",
       "at line 3: unexpected '@'", false},
      {"geojson cut inside a string", skGeoJSON,
       "{\"type\":\"FeatureCollection\",\n\"features\":[\n{\"type\":\"Feature\",\"geometry\":"
       "{\"type\":\"Point\",\"coordinates\":[1,2]}},\n{\"type\":\"Feature\",\"geom",
       "at line 4: a string is not closed", true},
      {"geojson cut between features", skGeoJSON,
       "{\"type\":\"FeatureCollection\",\n\"features\":[\n{\"type\":\"Feature\",\"geometry\":"
       "{\"type\":\"Point\",\"coordinates\":[1,2]}},\n",
       "at line 4: the document ends early", true},
  };
  for (const auto& c : cases) {
    std::string where = "unset";
    const std::string shapes = ConvertShapeText(c.kind, c.text, where);
    EXPECT_EQ(where, c.where) << c.name;
    EXPECT_EQ(HasShapeRecords(shapes), c.keepsShapes) << c.name << "\n" << shapes;
  }
}

// A document read again by the same reader reports only its own faults.
TEST(ReaderStop, EachReadStartsAfresh) {
  TGeoJsonImporter reader;
  reader.FromText("{\"type\":\n\"Feature\",\n\"geometry\": ]");
  EXPECT_EQ(reader.ErrorString(), "unexpected ']'");
  EXPECT_EQ(reader.ErrorLine(), 3u);
  EXPECT_EQ(reader.ErrorOffset(), 32u);
  reader.FromText("{\"type\":\"Point\",\"coordinates\":[1,2]}");
  EXPECT_EQ(reader.ErrorString(), "");
}

TEST(ReaderStop, NoShapesTextNamesWhereTheReaderStopped) {
  EXPECT_EQ(NoShapesText("a.kml", ""), "no shapes in a.kml");
  EXPECT_EQ(NoShapesText("a.kml", ReaderStopText("unexpected '@'", 7)),
            "no shapes in a.kml at line 7: unexpected '@'");
}

}  // namespace
}  // namespace wy

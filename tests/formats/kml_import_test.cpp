#include "formats/kml_import.h"

#include <gtest/gtest.h>

#include <string>

namespace wy {
namespace {

std::string Kml(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
         "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">"
         "<Document>" +
         body + "</Document></kml>";
}

struct TCase {
  const char* name;
  const char* body;
  const char* shapes;
};

const TCase kCases[] = {
    {"marker",
     "<Placemark><name>Paris</name><Point><coordinates>2.35,48.85,0</coordinates></Point></"
     "Placemark>",
     "[markers]\r\ndrag=false;lng=2.35;visible=true;lat=48.85;clickable=true;name=Paris;title="
     "Paris;@name=Paris;\r\n\r\n"},
    {"line without style, any white space between tuples",
     "<Placemark><LineString><coordinates>1,2,0\n\t3,4,0</coordinates></LineString></Placemark>",
     "\r\n[polylines]\r\ndrag=false;visible=true;latlng=2,1,4,3\r\n"},
    {"line style",
     "<Style id=\"s\"><LineStyle><color>7f0000ff</color><width>4</width></LineStyle></Style>"
     "<Placemark><styleUrl>#s</styleUrl><LineString><coordinates>1,2 "
     "3,4</coordinates></LineString></Placemark>",
     "\r\n[polylines]\r\ndrag=false;visible=true;latlng=2,1,4,3;weight=4;color=255;opacity=50\r\n"},
    {"polygon: outer ring only without its closing position, fill colour",
     "<Style id='p'><PolyStyle><color>ff00ff00</color></PolyStyle></Style>"
     "<Placemark><styleUrl>other.kml#p</"
     "styleUrl><Polygon><outerBoundaryIs><LinearRing><coordinates>"
     "0,0 1,0 1,1 0,0</coordinates></LinearRing></outerBoundaryIs><innerBoundaryIs><LinearRing>"
     "<coordinates>0.2,0.2 0.3,0.2 "
     "0.2,0.2</coordinates></LinearRing></innerBoundaryIs></Polygon></Placemark>",
     "\r\n[polygones]\r\ndrag=false;visible=true;latlng=0,0,0,1,1,1;fillcolor=65280;"
     "fillopacity=100\r\n"},
    {"StyleMap gives the normal style's icon; bad colour omitted",
     "<Style "
     "id=\"n\"><IconStyle><color>zz00ff00</color><Icon><href>https://e.org/i.png</href></Icon>"
     "<hotSpot x=\"0.5\" y=\"0\" xunits=\"fraction\" yunits=\"fraction\"/></IconStyle></Style>"
     "<Style "
     "id=\"h\"><IconStyle><Icon><href>https://e.org/big.png</href></Icon></IconStyle></Style>"
     "<StyleMap id=\"m\"><Pair><key>normal</key><styleUrl>#n</styleUrl></Pair>"
     "<Pair><key>highlight</key><styleUrl>#h</styleUrl></Pair></StyleMap>"
     "<Placemark><name>A</name><styleUrl>#m</styleUrl><Point><coordinates>1,2</coordinates></"
     "Point></Placemark>",
     "[markers]\r\ndrag=false;lng=1;visible=true;lat=2;clickable=true;icon=https://e.org/i.png;"
     "name=A;title=A;@name=A;\r\n\r\n"},
    {"icon that is not a web address or data is dropped",
     "<Style id=\"x\"><IconStyle><Icon><href>file:///etc/passwd</href></Icon></IconStyle></Style>"
     "<Placemark><styleUrl>#x</styleUrl><Point><coordinates>1,2</coordinates></Point></Placemark>",
     "[markers]\r\ndrag=false;lng=1;visible=true;lat=2;clickable=true;name=;title=\r\n\r\n"},
    {"colour outside a style ignored, folder name not taken",
     "<GroundOverlay><color>7fffffff</color><Icon><href>x.png</href></Icon></GroundOverlay>"
     "<Folder><name>Trips</name><Placemark><Point><coordinates>1,2</coordinates></Point></"
     "Placemark></Folder>",
     "[markers]\r\ndrag=false;lng=1;visible=true;lat=2;clickable=true;name=;title=\r\n\r\n"},
    {"CDATA multi-line description, escaped name, description equal to name not in the title",
     "<Placemark><name>a;b</name><description><![CDATA[<b>line one</b>\nline two]]></description>"
     "<Point><coordinates>1,2</coordinates></Point></Placemark>"
     "<Placemark><name>POI</name><description>POI</description><Point><coordinates>3,4</"
     "coordinates>"
     "</Point></Placemark>",
     "[markers]\r\ndrag=false;lng=1;visible=true;lat=2;clickable=true;name=a#59#b;"
     "title=a#59#b \xE2\x80\xB9"
     "b\xE2\x80\xBAline one\xE2\x80\xB9/b\xE2\x80\xBA#10#line two;@name=a#59#b;"
     "@desc=<b>line one</b>#10#line two;\r\n"
     "drag=false;lng=3;visible=true;lat=4;clickable=true;name=POI;title=POI;@name=POI;@desc=POI;"
     "\r\n\r\n"},
    {"MultiGeometry: one shape per part, its lines one track",
     "<Placemark><name>M</name><MultiGeometry><Point><coordinates>1,2</coordinates></Point>"
     "<LineString><coordinates>1,2 3,4</coordinates></LineString>"
     "<LineString><coordinates>5,6 7,8</coordinates></LineString></MultiGeometry></Placemark>",
     "[markers]\r\ndrag=false;lng=1;visible=true;lat=2;clickable=true;name=M;title=M;@name=M;"
     "\r\n\r\n"
     "\r\n[polylines]\r\ndrag=false;visible=true;latlng=2,1,4,3;trk=1;@name=M;\r\n"
     "drag=false;visible=true;latlng=6,5,8,7;trk=1;@name=M;\r\n"},
    {"prefixes, upper case tags, gx:Track with altitudes (a year alone is no point time)",
     "<kml:Placemark><kml:NAME>T</kml:NAME><gx:Track><when>2020</when><gx:coord>1 2 3</gx:coord>"
     "<gx:coord>4 5 6</gx:coord></gx:Track></kml:Placemark>",
     "\r\n[polylines]\r\ndrag=false;visible=true;latlng=2,1,5,4;alt=3,6;@name=T;\r\n"},
    {"extended data, time stamp and a timed gx:Track; our own type and id are no properties",
     "<Placemark><name>P</name><TimeStamp><when>2024-05-01T12:00:00Z</when></TimeStamp>"
     "<ExtendedData><Data name=\"type\"><value>marker</value></Data><Data name=\"id\">"
     "<value>4</value></Data><Data name=\"a;b\"><value>x=y</value></Data>"
     "<SchemaData schemaUrl=\"#s\"><SimpleData name=\"cuisine\">pizza</SimpleData>"
     "</SchemaData></ExtendedData><Point><coordinates>1,2,35.5</coordinates></Point></Placemark>"
     "<Placemark><gx:Track><when>2024-05-01T12:00:00Z</when><when>2024-05-01T12:00:01.5Z</when>"
     "<gx:coord>1 2 0</gx:coord><gx:coord>3 4 0</gx:coord></gx:Track></Placemark>",
     "[markers]\r\ndrag=false;lng=1;visible=true;lat=2;clickable=true;alt=35.5;name=P;title=P;"
     "@name=P;@time=2024-05-01T12:00:00Z;@a#59#b=x#61#y;@cuisine=pizza;\r\n\r\n"
     "\r\n[polylines]\r\ndrag=false;visible=true;latlng=2,1,4,3;time=1714564800,1714564801.5"
     "\r\n"},
    {"out-of-range and broken tuples skipped",
     "<Placemark><LineString><coordinates>1,95 x,2 7 3,4,0</coordinates></LineString></Placemark>"
     "<Placemark><Point><coordinates>200,1</coordinates></Point></Placemark>",
     "\r\n[polylines]\r\ndrag=false;visible=true;latlng=4,3\r\n"},
};

TEST(KmlImport, Documents) {
  for (const TCase& c : kCases) {
    TKmlImporter importer;
    EXPECT_EQ(importer.FromText(Kml(c.body)), c.shapes) << c.name;
  }
}

// Styles belong to their document: the same object reading a second
// document does not colour it with the first one's style.
TEST(KmlImport, NothingCarriesOverBetweenDocuments) {
  TKmlImporter importer;
  importer.FromText(Kml("<Style id=\"s\"><LineStyle><color>ff0000ff</color></LineStyle></Style>"));
  EXPECT_EQ(
      importer.FromText(Kml("<Placemark><styleUrl>#s</styleUrl><LineString><coordinates>1,2 3,4"
                            "</coordinates></LineString></Placemark>")),
      "\r\n[polylines]\r\ndrag=false;visible=true;latlng=2,1,4,3\r\n");
  EXPECT_EQ(importer.FromText(""), "");
  EXPECT_EQ(importer.FromText("<kml><Placemark><Point><coordinates>1,2"), "");
  // An entity-expansion block is not expanded.
  std::string bomb =
      "<?xml version=\"1.0\"?><!DOCTYPE kml [<!ENTITY a \"aaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c "
      "\"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
      "<kml><Placemark><name>&c;</name><Point><coordinates>1,2</coordinates></Point>"
      "</Placemark></kml>";
  const std::string out = importer.FromText(bomb);
  EXPECT_LT(out.size(), 200u);
  EXPECT_NE(out.find("lat=2"), std::string::npos);
}

TEST(KmlImport, LargeHostileDocument) {
  std::string doc = "<kml>";
  while (doc.size() < 10 * 1024 * 1024)
    doc +=
        "<Placemark><name>\xff\xfe<</name><LineString><coordinates>1,2 3,4</coordinates>"
        "</LineString></Placemark><Folder><Folder>";
  TKmlImporter importer;
  const std::string out = importer.FromText(doc);
  EXPECT_NE(out.find("[polylines]"), std::string::npos);
}

}  // namespace
}  // namespace wy

// Export of shapes to GPX, KML and GeoJSON: the documents pass strict
// readers (xmllint, jq, GDAL's ogrinfo) with every feature and point, keep
// the order the formats demand, and read back through our own importers.

#include <gtest/gtest.h>

#include <cmath>

#include "formats/shape_file.h"
#include "geo/text_convert.h"
#include "platform/log.h"
#include "platform/window_thread.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_line.h"
#include "shapes/shape_list.h"
#include "shapes/shape_poi.h"
#include "shapes_fixture.h"
#include "support/comma_locale.h"
#include "support/external_tools.h"
#include "support/test_helpers.h"

namespace wy {
namespace shapes_test {
namespace {

using test_support::HaveTool;
using test_support::OgrGeometries;
using test_support::RunCommand;
using test_support::ShellQuote;
using TPositions = std::vector<std::pair<double, double>>;  // (lng, lat)

const std::string kBom = "\xEF\xBB\xBF";
const std::string kHint = "a\"b<&c";
const std::string kIcon = "C:\\icons\\a\"b.png";

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class ShapeExportTest : public TShapesTest {
 protected:
  // Every kind in the default group, two equal lines in a second group, and
  // what must stay out: a hidden line, an info window, an unsaved group.
  void Fill() {
    Poi = static_cast<TWyShapePOI*>(Registry->Add(nsPoi, 48.85, 2.35));
    Poi->SetHint(kHint);
    Poi->SetAltitude(35);
    Marker = AddMarker(0.000001, -0.000001);
    Marker->SetHint("m]]>k");
    Marker->SetFilename(kIcon);
    Long = static_cast<TWyShapeLine*>(Registry->Add(nsLine, 45, 1));
    for (int i = 1; i < 1002; ++i)
      Long->Add(45 + i * 0.001, 1 + i * 0.0005, i % 3 == 0 ? TWyShape::kNoAltitude : i);
    Long->SetColor(0x00FF8000);
    Long->SetWeight(6);
    Poly = static_cast<TWyShapePolygone*>(Registry->Add(nsPolygon, 10, 10));
    Poly->Add(10, 11, TWyShape::kNoAltitude);
    Poly->Add(11, 11, TWyShape::kNoAltitude);
    Poly->Add(11, 10, TWyShape::kNoAltitude);
    Poly->SetColor(255);
    Poly->SetFillColor(16711680);
    Poly->SetOpacity(50);
    Poly->SetWeight(2);
    for (int i = 0; i < 2; ++i) {
      auto* line = static_cast<TWyShapeLine*>(Registry->Add(nsLine, -33.9, 151.2 + i, "b"));
      line->Add(-33.8, 151.3 + i, TWyShape::kNoAltitude);
      line->SetColor(255);
      line->SetWeight(4);
    }
    auto* hidden = static_cast<TWyShapeLine*>(Registry->Add(nsLine, 60, 60));
    hidden->Add(61, 61, TWyShape::kNoAltitude);
    hidden->SetVisible(false);
    Default()->InfoWindows()->Add(1, 1, "window");
    Registry->getShapes("traffic")->SetSerialize(false);
    AddMarker(70, 70, "traffic");
  }

  // What a GIS reader must find, feature by feature, in export order.
  std::vector<TPositions> Waypoints() const { return {{{2.35, 48.85}}, {{-0.000001, 0.000001}}}; }
  std::vector<TPositions> Tracks(bool closeRings) const {
    std::vector<TPositions> tracks;
    TPositions longLine;
    for (int i = 0; i < Long->Count(); ++i)
      longLine.emplace_back(Long->getPoints(i)->Lng(), Long->getPoints(i)->Lat());
    tracks.push_back(longLine);
    TPositions ring;
    for (int i = 0; i < Poly->Count(); ++i)
      ring.emplace_back(Poly->getPoints(i)->Lng(), Poly->getPoints(i)->Lat());
    if (closeRings) ring.push_back(ring.front());
    tracks.push_back(ring);
    tracks.push_back({{151.2, -33.9}, {151.3, -33.8}});
    tracks.push_back({{152.2, -33.9}, {152.3, -33.8}});
    return tracks;
  }
  std::vector<TPositions> AllFeatures() const {
    auto all = Waypoints();
    for (auto& t : Tracks(true)) all.push_back(t);
    return all;
  }

  static void ExpectSamePositions(const std::vector<TPositions>& got,
                                  const std::vector<TPositions>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t f = 0; f < want.size(); ++f) {
      ASSERT_EQ(got[f].size(), want[f].size()) << what << " feature " << f;
      for (size_t i = 0; i < want[f].size(); ++i) {
        EXPECT_NEAR(got[f][i].first, want[f][i].first, 1e-12) << what << " " << f << "/" << i;
        EXPECT_NEAR(got[f][i].second, want[f][i].second, 1e-12) << what << " " << f << "/" << i;
      }
    }
  }

  TWyShapePOI* Poi = nullptr;
  TWyShapeMarker* Marker = nullptr;
  TWyShapeLine* Long = nullptr;
  TWyShapePolygone* Poly = nullptr;
  test_support::TScratchDir Dir;
};

TEST_F(ShapeExportTest, DocumentsPassStrictReaders) {
  Fill();
  ASSERT_TRUE(Registry->SaveToFile(Dir.Sub("all.gpx")));
  ASSERT_TRUE(Registry->SaveToFile(Dir.Sub("all.kml")));
  ASSERT_TRUE(Registry->SaveToFile(Dir.Sub("all.geojson")));
  std::string out;
  if (!HaveTool("xmllint") || !HaveTool("jq")) GTEST_SKIP() << "xmllint or jq missing";
  for (const char* name : {"all.gpx", "all.kml"})
    EXPECT_EQ(RunCommand("xmllint --noout " + ShellQuote(Dir.Sub(name)) + " 2>&1", out), 0)
        << name << "\n"
        << out;
  // One flat collection; positions [lng, lat] in range; closed rings; the
  // bounding box west, south, east, north.
  const std::string check =
      "jq -e '.type == \"FeatureCollection\" and (.features | length) == 6"
      " and ([.features[].geometry | select(.type == \"Polygon\") | .coordinates[]"
      " | .[0] == .[-1] and length >= 4] | all)"
      " and ([.. | arrays | select(length == 2 and (.[0] | type) == \"number\")"
      " | .[0] >= -180 and .[0] <= 180 and .[1] >= -90 and .[1] <= 90] | all)"
      " and .bbox[0] <= .bbox[2] and .bbox[1] <= .bbox[3]"
      " and .features[0].properties.title == \"a\\\"b<&c\""
      " and .features[1].properties.icon == \"C:\\\\icons\\\\a\\\"b.png\"' ";
  EXPECT_EQ(RunCommand(check + ShellQuote(Dir.Sub("all.geojson")), out), 0) << out;
}

TEST_F(ShapeExportTest, GisReaderFindsEveryFeatureAndPoint) {
  Fill();
  for (const char* name : {"all.gpx", "all.kml", "all.geojson"})
    ASSERT_TRUE(Registry->SaveToFile(Dir.Sub(name)));
  if (!HaveTool("ogrinfo")) GTEST_SKIP() << "ogrinfo missing";
  ExpectSamePositions(OgrGeometries(Dir.Sub("all.gpx"), "waypoints"), Waypoints(), "gpx wpt");
  ExpectSamePositions(OgrGeometries(Dir.Sub("all.gpx"), "tracks"), Tracks(true), "gpx trk");
  ExpectSamePositions(OgrGeometries(Dir.Sub("all.kml")), AllFeatures(), "kml");
  ExpectSamePositions(OgrGeometries(Dir.Sub("all.geojson")), AllFeatures(), "geojson");
}

TEST_F(ShapeExportTest, DocumentsKeepTheOrderTheFormatsDemand) {
  Fill();
  // A second marker in the second group: its waypoint still comes before
  // the default group's tracks.
  AddMarker(5, 5, "b");
  const std::string gpx = Registry->GetToGpx();
  EXPECT_EQ(gpx.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?><gpx ", 0), 0u);
  EXPECT_LT(gpx.rfind("<wpt"), gpx.find("<trk>"));
  EXPECT_EQ(CountOf(gpx, "<wpt"), 3u);
  EXPECT_EQ(CountOf(gpx, "<trkpt"), 1002u + 5u + 2u + 2u);  // every point; closed ring
  EXPECT_NE(
      gpx.find("<wpt lat=\"48.85\" lon=\"2.35\"><ele>35</ele><name>a&quot;b&lt;&amp;c</name>"),
      std::string::npos);
  EXPECT_NE(gpx.find("lat=\"0.000001\" lon=\"-0.000001\""), std::string::npos);
  EXPECT_EQ(gpx.find("E-"), std::string::npos);
  EXPECT_EQ(gpx.substr(gpx.size() - 8), "</gpx>\r\n");

  const std::string kml = Registry->GetToKml();
  EXPECT_LT(kml.rfind("<Style "), kml.find("<Placemark>"));
  EXPECT_EQ(kml.find("<styleUrl>#</styleUrl>"), std::string::npos);
  EXPECT_EQ(CountOf(kml, "<Placemark>"), 7u);
  // ExtendedData before the geometry in every Placemark.
  for (size_t at = kml.find("<Placemark>"); at != std::string::npos;
       at = kml.find("<Placemark>", at + 1)) {
    const std::string placemark = kml.substr(at, kml.find("</Placemark>", at) - at);
    const size_t geometry = std::min(
        {placemark.find("<Point>"), placemark.find("<LineString>"), placemark.find("<Polygon>")});
    EXPECT_LT(placemark.find("</ExtendedData>"), geometry) << placemark.substr(0, 200);
  }
  // The POI keeps its stored altitude; the ring closes on its first vertex.
  EXPECT_NE(kml.find("<coordinates>2.35,48.85,35</coordinates>"), std::string::npos);
  EXPECT_NE(kml.find("10,10,0 11,10,0 11,11,0 10,11,0 10,10,0 </coordinates>"), std::string::npos);

  const std::string json = Registry->GetToGeoJSon();
  EXPECT_EQ(json.rfind("{\"type\":\"FeatureCollection\",\"bbox\":[", 0), 0u);
  EXPECT_EQ(json.find("70,70"), std::string::npos);  // the unsaved group
  EXPECT_EQ(json.find("window"), std::string::npos);
}

TEST_F(ShapeExportTest, StylesAreSharedAndCarryTheOpacityInTheirIds) {
  const struct {
    TColor color;
    uint8_t opacity;
    uint8_t weight;
    const char* id;
    const char* style;
  } lines[] = {{255, 100, 4, "FF0000FF4", "<color>FF0000FF</color><width>4</width>"},
               {255, 50, 4, "800000FF4", "<color>FF0000FF</color><width>4</width>"}};
  for (const auto& c : lines) {
    auto* line = static_cast<TWyShapeLine*>(Registry->Add(nsLine, 1, 1));
    line->Add(2, 2, TWyShape::kNoAltitude);
    line->SetColor(c.color);
    line->SetOpacity(c.opacity);
    line->SetWeight(c.weight);
    const std::string kml = line->GetToKml();
    EXPECT_NE(kml.find(std::string("<Style id=\"") + c.id + "\"><LineStyle>" + c.style),
              std::string::npos)
        << kml;
    EXPECT_NE(kml.find(std::string("<styleUrl>#") + c.id + "</styleUrl>"), std::string::npos);
    line->Remove();
  }
  auto* poly = static_cast<TWyShapePolygone*>(Registry->Add(nsPolygon, 1, 1));
  poly->Add(1, 2, TWyShape::kNoAltitude);
  poly->Add(2, 2, TWyShape::kNoAltitude);
  poly->SetColor(255);
  poly->SetFillColor(16711680);
  poly->SetOpacity(50);
  poly->SetWeight(2);
  EXPECT_NE(poly->GetToKml().find("<Style id=\"800000FF80FF00002\"><LineStyle><color>800000FF"
                                  "</color><width>2</width></LineStyle><PolyStyle><color>80FF0000"),
            std::string::npos);

  for (int i = 0; i < 2; ++i) {
    auto* line = static_cast<TWyShapeLine*>(Registry->Add(nsLine, 1, 1, "twins"));
    line->Add(2, 2 + i, TWyShape::kNoAltitude);
  }
  const std::string kml = Registry->getShapes("twins")->Lines()->GetToKml();
  EXPECT_EQ(CountOf(kml, "<Style "), 1u);
  EXPECT_EQ(CountOf(kml, "<Placemark>"), 2u);
}

TEST_F(ShapeExportTest, ExportReadsBackThroughOurImporters) {
  Fill();
  const struct {
    const char* file;
    bool colours;  // colours and weights travel
    bool opacity;  // the line opacity travels
  } formats[] = {{"back.gpx", false, false},
                 {"back.kml", true, false},
                 {"back.kmz", true, false},
                 {"back.json", true, true}};
  for (const auto& f : formats) {
    ASSERT_TRUE(Registry->SaveToFile(Dir.Sub(f.file))) << f.file;
    TWyShapesGroup other(&Canvas, &Host, &World);
    other.UseGraphicPool(Pool.get());
    ASSERT_TRUE(other.LoadFromFile(Dir.Sub(f.file))) << f.file;
    // Documents of other programs are converted in the background.
    for (int i = 0; i < 1000 && other.isLoading(); ++i) WaitProcessing(5);
    ASSERT_FALSE(other.isLoading()) << f.file;
    TWyShapes* g = other.getShapes("");
    // POIs come back as markers.
    ASSERT_EQ(g->Markers()->Count(), 2) << f.file;
    EXPECT_EQ(g->Markers()->Items(0)->Latitude(), 48.85) << f.file;
    EXPECT_EQ(g->Markers()->Items(1)->Latitude(), 0.000001) << f.file;
    EXPECT_EQ(g->Markers()->Items(1)->Longitude(), -0.000001) << f.file;
    // Hints travel as names (GPX, KML) and titles (GeoJSON); importers
    // neutralise markup in what they read.
    EXPECT_EQ(g->Markers()->Items(0)->Hint(), NeutraliseMarkup(kHint)) << f.file;
    const int polygons = g->Polygones()->Count();
    // GPX has no polygons: the closed track comes back as a line.
    ASSERT_EQ(g->Lines()->Count() + polygons, 4) << f.file;
    TWyShapeLine* line = g->Lines()->Items(0);
    ASSERT_EQ(line->Count(), 1002) << f.file;
    for (int i : {0, 1, 3, 1001}) {
      // Written with 15 significant digits.
      EXPECT_NEAR(line->getPoints(i)->Lat(), Long->getPoints(i)->Lat(), 1e-12) << f.file << i;
      EXPECT_NEAR(line->getPoints(i)->Lng(), Long->getPoints(i)->Lng(), 1e-12) << f.file << i;
    }
    if (f.colours) {
      EXPECT_EQ(line->Color(), Long->Color()) << f.file;
      EXPECT_EQ(line->Weight(), Long->Weight()) << f.file;
      ASSERT_EQ(polygons, 1) << f.file;
      TWyShapePolygone* poly = g->Polygones()->Items(0);
      EXPECT_EQ(poly->Count(), 4) << f.file;  // the closing vertex is dropped
      EXPECT_EQ(poly->Color(), Poly->Color()) << f.file;
      EXPECT_EQ(poly->FillColor(), Poly->FillColor()) << f.file;
      EXPECT_EQ(poly->Weight(), Poly->Weight()) << f.file;
      if (f.opacity) {
        EXPECT_EQ(poly->Opacity(), Poly->Opacity()) << f.file;
      }
    }
  }
}

TEST_F(ShapeExportTest, NumbersIgnoreTheProcessLocale) {
  Fill();
  const std::string gpx = Registry->GetToGpx();
  const std::string kml = Registry->GetToKml();
  const std::string json = Registry->GetToGeoJSon();
  test_support::CommaLocaleScope comma;
  if (!comma.active()) GTEST_SKIP() << "no comma locale available";
  EXPECT_EQ(Registry->GetToGpx(), gpx);
  EXPECT_EQ(Registry->GetToKml(), kml);
  EXPECT_EQ(Registry->GetToGeoJSon(), json);
}

TEST_F(ShapeExportTest, ShapesWithoutEnoughPointsAndUnsavedGroupsWriteNothing) {
  auto* line = static_cast<TWyShapeLine*>(Registry->Add(nsLine, 1, 1));
  line->Delete(0);
  auto* poly = static_cast<TWyShapePolygone*>(Registry->Add(nsPolygon, 1, 1));
  poly->Add(2, 2, TWyShape::kNoAltitude);
  for (TWyShape* shape : {static_cast<TWyShape*>(line), static_cast<TWyShape*>(poly)}) {
    EXPECT_EQ(shape->GetToKml(), "");
    EXPECT_EQ(shape->GetToGeoJSon(), "");
  }
  EXPECT_EQ(line->GetToGpx(), "");
  EXPECT_EQ(Default()->Lines()->GetToGeoJSOn(), "");
  EXPECT_NE(Registry->GetToGeoJSon().find("\"features\":[\r\n\r\n]}"), std::string::npos);

  TWyShapes* unsaved = Registry->getShapes("photos");
  unsaved->SetSerialize(false);
  AddMarker(3, 3, "photos");
  EXPECT_EQ(unsaved->GetToGpx(), "");
  EXPECT_EQ(unsaved->GetToKml(), "");
  EXPECT_NE(unsaved->GetToGeoJSon().find("\"Point\""), std::string::npos);
  EXPECT_EQ(Registry->GetToGpx().find("<wpt"), std::string::npos);
}

// A line of one point and a polygon of two vertices have no KML or GeoJSON
// form: they are left out with a warning that says so (a line without
// points is empty, not lost); GPX writes them.
TEST_F(ShapeExportTest, ShapesTheFormatCannotCarryAreNamedInTheLog) {
  auto* line = static_cast<TWyShapeLine*>(Registry->Add(nsLine, 1, 1));
  auto* poly = static_cast<TWyShapePolygone*>(Registry->Add(nsPolygon, 1, 1));
  poly->Add(2, 2, TWyShape::kNoAltitude);
  auto* empty = static_cast<TWyShapeLine*>(Registry->Add(nsLine, 1, 1));
  empty->Delete(0);
  ASSERT_EQ(line->Count(), 1);
  ASSERT_EQ(poly->Count(), 2);
  const struct {
    TWyShape* shape;
    const char* what;
  } cases[] = {{line, "a line of one point"}, {poly, "a polygon of fewer than three vertices"}};
  for (const auto& c : cases) {
    for (const char* format : {"KML", "GeoJSON"}) {
      TScopedLogCapture log(llWarning);
      EXPECT_EQ(std::string(format) == "KML" ? c.shape->GetToKml() : c.shape->GetToGeoJSon(), "");
      EXPECT_TRUE(log.Contains("shapes", std::string(c.what) + " left out of the " + format))
          << c.what << " " << format;
    }
    EXPECT_NE(c.shape->GetToGpx().find("<trkpt"), std::string::npos) << c.what;
  }
  TScopedLogCapture log(llWarning);
  EXPECT_EQ(empty->GetToKml() + empty->GetToGeoJSon(), "");
  EXPECT_TRUE(log.Records().empty());
}

}  // namespace
}  // namespace shapes_test
}  // namespace wy

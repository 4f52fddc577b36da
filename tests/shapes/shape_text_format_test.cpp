// The shape text format: the registry's golden text, round trips of every
// kind of shape, escapes, defaults and malformed input, cancelling, and
// reading in one pass over the text.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "formats/map_data_file.h"
#include "geo/text_convert.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_line.h"
#include "shapes/shape_marker.h"
#include "shapes/shape_poi.h"
#include "shapes/shapes_group.h"
#include "shapes_fixture.h"
#include "support/comma_locale.h"

namespace wy {
namespace shapes_test {
namespace {

using test_support::CommaLocaleScope;

// A host that also records the groups that finished reading.
class TLoadHost : public TCountingHost {
 public:
  void GroupLoaded(TWyShapes* group) override { Loaded.push_back(group->Name()); }
  std::vector<std::string> Loaded;
};

class ShapeTextTest : public TShapesTest {
 protected:
  // A second, empty registry on the same viewport and pool.
  std::unique_ptr<TWyShapesGroup> NewRegistry(TWyShapesHost* host) {
    auto registry = std::make_unique<TWyShapesGroup>(&Canvas, host, &World);
    registry->UseGraphicPool(Pool.get());
    return registry;
  }
  // A line of the default group through the points, without altitudes.
  TWyShapeLine* AddLine(const std::vector<double>& path, TWyShapesGroup& registry,
                        TNativeShape kind = nsLine, const std::string& group = "") {
    auto* line = static_cast<TWyShapeLine*>(registry.Add(kind, path[0], path[1], group));
    line->Clear();
    for (size_t i = 0; i + 1 < path.size(); i += 2) line->Add(path[i], path[i + 1], kNoAltitude);
    return line;
  }
  TLoadHost LoadHost;
};

const char* const kGoldenMarker =
    "name=;adress=;clickable=true;alt=-9999;w=32;h=32;tag=0;zindex=0;drag=false;visible=true;"
    "lat=43.6;lng=1.45;title=;opacity=100;rot=true;xa=16;ya=32;icon-id=-1;icon=;color=4737279;"
    "hcolor=4508245;";
const char* const kGoldenLine =
    "color=4737279;hcolor=4508245;weight=4;zindex=0;ps=solid;lt=straight;opacity=100;"
    "latlng=43.6,1.45,43.7,1.5;visible=true;showtxt=false;edit=false;";

TEST_F(ShapeTextTest, RegistryWritesTheGoldenTextAndReadsItBack) {
  CommaLocaleScope comma;
  ASSERT_TRUE(comma.active()) << "no comma locale could be made";
  SetViewport(World, 43.6, 1.45, 14, kWidth, kHeight);
  TWyShapeMarker* marker = AddMarker(43.6, 1.45);
  AddLine({43.6, 1.45, 43.7, 1.5}, *Registry);
  // Drawn with the built-in pin: the pin's box is not the marker's own.
  Registry->ShapesToDraw();
  Paint();
  ASSERT_EQ(marker->Width(), 12);
  const std::string golden =
      std::string("\r\n[groupes]\r\n") + "name=;minzoom=2;maxzoom=18;clickable=true;zindex=0\r\n" +
      "name=_infowindow_0;minzoom=2;maxzoom=18;clickable=true;zindex=10010\r\n" +
      "\r\n[markers]\r\n" + kGoldenMarker + "\r\n[polylines]\r\n" + kGoldenLine + "\r\n\r\n";
  EXPECT_EQ(Registry->GetToTxt(), golden);

  auto other = NewRegistry(&LoadHost);
  other->SetToTxt(golden);
  TWyShapes* group = other->getShapes("");
  ASSERT_EQ(group->Markers()->Count(), 1);
  ASSERT_EQ(group->Lines()->Count(), 1);
  EXPECT_EQ(group->Lines()->Items(0)->Count(), 2);
  EXPECT_EQ(group->Markers()->Items(0)->Latitude(), 43.6);
  TWyShapes* hintGroup = other->getShapes("_infowindow_0");
  EXPECT_EQ(hintGroup->Zindex(), 10010);
  EXPECT_EQ(hintGroup->Markers()->Count() + hintGroup->InfoWindows()->Count(), 0);
  EXPECT_EQ(other->GetToTxt(), golden);
  EXPECT_EQ(LoadHost.Loaded, (std::vector<std::string>{"", "_infowindow_0"}));
  EXPECT_FALSE(group->isLoading());
}

TEST_F(ShapeTextTest, EveryKindRoundTripsIdenticallyUnderACommaLocale) {
  CommaLocaleScope comma;
  ASSERT_TRUE(comma.active());
  // Default group: a POI, markers with texts that need escaping, a line
  // with altitudes and labels, a raised polygon, an info window.
  TWyShapes* main = Default();
  auto* poi = static_cast<TWyShapePOI*>(Registry->Add(nsPoi, 48.86, 2.36));
  poi->SetPOIShape(poiTriangle);
  poi->SetPOIUnit(puMeter);
  poi->SetWidth(120);
  poi->SetColor(0xFF000016);  // a system colour
  poi->SetHint("a;b=c");
  TWyShapeMarker* marker = AddMarker(48.851, 2.351);
  marker->SetName("x;lat=5");
  marker->SetAddress("1 rue=du Four;\r\nParis");
  marker->SetFilename("data:image/png;base64,iVBORw0KGgo=");
  marker->SetAltitude(-1);
  marker->SetTag(7);
  marker->SetDraggable(true);
  marker->SetZIndex(4);
  marker->SetOpacity(60);
  TWyShapeMarker* hidden = AddMarker(48.852, 2.352);
  hidden->SetVisible(false);
  hidden->SetIcon(2);
  hidden->SetClickable(false);
  TWyShapeLine* line = AddLine({48.85, 2.35, 48.86, 2.37, 48.87, 2.33}, *Registry);
  line->getPoints(0)->SetAlt(-1);
  line->getPoints(1)->SetAlt(152.5);
  line->getPoints(0)->SetText("start^here; a=b");
  line->getPoints(2)->SetText("end");
  line->SetShowText(true);
  line->SetPenStyle(psDashDot);
  line->SetLineType(ltBezier);
  line->SetWeight(7);
  auto* polygon = static_cast<TWyShapePolygone*>(
      AddLine({48.84, 2.34, 48.845, 2.35, 48.84, 2.36}, *Registry, nsPolygon));
  polygon->SetFillColor(0x0000FF00);
  polygon->SetStyle(bsCross);
  polygon->SetLevel(12);
  TWyShapeInfoWindow* window =
      main->InfoWindows()->Items(main->InfoWindows()->Add(48.853, 2.353, "<b>A&nbsp;B</b>; x=1"));
  window->SetZIndex(5);
  window->SetWidth(200);
  // A named group, hidden and outside its zoom range while saving.
  TWyShapes* roads = Registry->getShapes("Roads");
  roads->SetMinZoom(12);
  roads->SetMaxZoom(16);
  roads->SetClickable(false);
  roads->SetZindex(3);
  AddMarker(48.8, 2.3, "Roads")->SetHint("r");
  AddLine({48.8, 2.3, 48.81, 2.31}, *Registry, nsLine, "Roads");
  roads->SetVisible(false);

  const std::string text = Registry->GetToTxt();
  EXPECT_NE(text.find("name=roads;minzoom=12;maxzoom=16;clickable=false;zindex=3\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\r\n[roads.markers]\r\n"), std::string::npos);
  EXPECT_NE(text.find("[roads.polylines]"), std::string::npos);
  EXPECT_NE(text.find(";title=a#59#b#61#c;"), std::string::npos);
  EXPECT_NE(text.find("name=x#59#lat#61#5;adress=1 rue#61#du Four#59##13##10#Paris;"),
            std::string::npos);
  EXPECT_NE(text.find(";icon=data:image/png#59#base64,iVBORw0KGgo#61#;"), std::string::npos);
  EXPECT_NE(text.find(";content=<b>A&nbsp#59#B</b>#59# x#61#1"), std::string::npos);
  EXPECT_NE(text.find(";color=-16777194;"), std::string::npos);
  EXPECT_NE(text.find("latlng=48.85,2.35,48.86,2.37,48.87,2.33;alt=-1,152.5,-9999;"
                      "txt=start#94#here#59# a#61#b^^end;"),
            std::string::npos);
  EXPECT_NE(text.find("[pois]\r\nname="), std::string::npos);
  // The shapes of the hidden group keep their own flag.
  EXPECT_NE(text.find("visible=true;lat=48.8;lng=2.3;title=r;"), std::string::npos);

  auto other = NewRegistry(&LoadHost);
  other->SetToTxt(text);
  EXPECT_EQ(other->GetToTxt(), text);

  TWyShapes* copy = other->getShapes("");
  const TWyShapeMarker* m = copy->Markers()->Items(0);
  EXPECT_EQ(m->Name(), "x;lat=5");
  EXPECT_EQ(m->Latitude(), 48.851);
  EXPECT_EQ(m->Filename(), "data:image/png;base64,iVBORw0KGgo=");
  EXPECT_FALSE(copy->Markers()->Items(1)->Visible());
  const TWyShapeLine* l = copy->Lines()->Items(0);
  EXPECT_EQ(l->getPoints(0)->Alt(), -1);
  EXPECT_EQ(l->getPoints(2)->Alt(), kNoAltitude);
  EXPECT_EQ(l->getPoints(0)->Text(), "start^here; a=b");
  EXPECT_EQ(l->getPoints(1)->Text(), "");
  EXPECT_EQ(l->Shapes()->Pois()->Count(), 2);  // the labels of both ends
  EXPECT_EQ(copy->Pois()->Items(0)->Hint(), "a;b=c");
  EXPECT_EQ(copy->InfoWindows()->Items(0)->Content(), "<b>A&nbsp;B</b>; x=1");
  EXPECT_EQ(copy->Polygones()->Items(0)->Level(), 12);
  EXPECT_EQ(other->getShapes("roads")->Lines()->Count(), 1);
}

TEST_F(ShapeTextTest, MissingAndMalformedFields) {
  auto other = NewRegistry(&LoadHost);
  TWyShapes* group = other->getShapes("");
  group->SetToTxt(
      "[markers]\r\n"
      "lat=43,6;lng=1.45\r\n"
      "\r\n   \r\n"
      "lat=abc;lng=2;w=abc;drag=TRUE;visible=yes;alt=;opacity=300\r\n"
      "[polylines]\r\n"
      "latlng=1,2,3;alt=-1,x\r\n"
      "[infowindows]\r\n"
      "lat=1;lng=2;content=x\r\n"
      "[map]\r\nlat=5;lng=5\r\n[circles]\r\nlat=5;lng=5\r\n[rectangles]\r\nlat=5\r\n");
  ASSERT_EQ(group->Markers()->Count(), 2);
  TWyShapeMarker* a = group->Markers()->Items(0);
  EXPECT_EQ(a->Latitude(), 43.6);
  EXPECT_EQ(a->XAnchor(), 16);
  EXPECT_EQ(a->YAnchor(), 32);
  EXPECT_EQ(a->Width(), 32);
  EXPECT_EQ(a->Icon(), -1);
  EXPECT_EQ(a->Altitude(), kNoAltitude);
  EXPECT_TRUE(a->Visible());
  EXPECT_TRUE(a->Clickable());
  EXPECT_FALSE(a->Draggable());
  EXPECT_FALSE(a->Rotation());
  EXPECT_EQ(a->Opacity(), 100);
  const TWyShapeMarker* b = group->Markers()->Items(1);
  EXPECT_EQ(b->Latitude(), -1);
  EXPECT_EQ(b->Width(), 32);
  EXPECT_TRUE(b->Draggable());
  EXPECT_FALSE(b->Visible());
  EXPECT_EQ(b->Opacity(), 255);  // clamped, not wrapped
  ASSERT_EQ(group->Lines()->Count(), 1);
  const TWyShapeLine* line = group->Lines()->Items(0);
  ASSERT_EQ(line->Count(), 2);
  EXPECT_EQ(line->getPoints(1)->Lat(), 3);
  EXPECT_EQ(line->getPoints(1)->Lng(), -1);
  EXPECT_EQ(line->getPoints(0)->Alt(), -1);
  EXPECT_EQ(line->getPoints(1)->Alt(), kNoAltitude);
  EXPECT_TRUE(line->ShowText());  // missing showtxt: shown
  // A record without a size keeps the kind's own: a hand-written info
  // window is as wide as one made in code, not a marker's 32 pixels.
  ASSERT_EQ(group->InfoWindows()->Count(), 1);
  EXPECT_EQ(group->InfoWindows()->Items(0)->Width(), 180);
  EXPECT_EQ(group->Pois()->Count() + group->Polygones()->Count(), 0);
}

TEST_F(ShapeTextTest, HeadersAreLinesOfTheirOwnAndATruncatedFileLoadsWhatItCan) {
  auto other = NewRegistry(&LoadHost);
  other->SetToTxt(
      "\r\n[groupes]\r\nname=;\r\nnot a header\r\nname=Trails;zindex=x;minzoom=300\r\n"
      "[markers]\r\nname=m;title=[polylines];lat=1;lng=2;\r\n"
      "[polylines]\r\nlatlng=1,2,3,4;\r\n"
      "[trails.markers]\r\nname=a;lat=1;lng=2;\r\nname=b;lat=3;ln");
  TWyShapes* group = other->getShapes("");
  ASSERT_EQ(group->Markers()->Count(), 1);
  EXPECT_EQ(group->Markers()->Items(0)->Hint(), "[polylines]");
  ASSERT_EQ(group->Lines()->Count(), 1);
  EXPECT_EQ(group->Lines()->Items(0)->Count(), 2);
  TWyShapes* trails = other->getShapes("trails");
  EXPECT_EQ(trails->Zindex(), 0);
  EXPECT_EQ(trails->MinZoom(), 255);
  ASSERT_EQ(trails->Markers()->Count(), 2);
  EXPECT_EQ(trails->Markers()->Items(1)->Name(), "b");
  EXPECT_EQ(trails->Markers()->Items(1)->Longitude(), -1);
  // "not a header" did not read the default group a second time.
  EXPECT_EQ(LoadHost.Loaded, (std::vector<std::string>{"", "trails"}));
}

TEST_F(ShapeTextTest, ListedGroupsKeepTheirOrderThroughSaveAndLoad) {
  // The default group's polygon makes a group of its own while it is read;
  // "later", listed after the default group, must still come right after it.
  const std::string text =
      "[groupes]\r\nname=;\r\nname=later;\r\n[polygones]\r\nlatlng=1,2,3,4,5,6\r\n";
  auto first = NewRegistry(&LoadHost);
  first->SetToTxt(text);
  const std::string once = first->GetToTxt();
  const size_t later = once.find("name=later;");
  const size_t level = once.find("name=level_");
  ASSERT_NE(later, std::string::npos);
  ASSERT_NE(level, std::string::npos);
  EXPECT_LT(later, level);
  // Read and written again, nothing moves.
  auto second = NewRegistry(&LoadHost);
  second->SetToTxt(once);
  EXPECT_EQ(second->GetToTxt(), once);
}

TEST_F(ShapeTextTest, ReadingTwiceDoublesAndAltitudesAndTextsAreWrittenOnlyWhenUsed) {
  AddLine({1, 2, 3, 4}, *Registry);
  AddMarker(1, 2);
  const std::string text = Default()->GetToTxt();
  EXPECT_EQ(text.find("alt="), text.rfind("alt="));  // the marker's only
  EXPECT_EQ(text.find(";txt="), std::string::npos);
  auto other = NewRegistry(&LoadHost);
  other->getShapes("")->SetToTxt(text);
  other->getShapes("")->SetToTxt(text);
  EXPECT_EQ(other->getShapes("")->Markers()->Count(), 2);
  EXPECT_EQ(other->getShapes("")->Lines()->Count(), 2);
  // A line without points writes a bare "latlng" and reads back empty.
  TWyShapeLine* empty = AddLine({1, 2}, *Registry);
  empty->Clear();
  const std::string record = empty->GetToTxt();
  EXPECT_NE(record.find(";opacity=100;latlng;visible=true;"), std::string::npos);
  TWyShapeLine* back = AddLine({1, 2}, *Registry);
  back->SetToTxt(record);
  EXPECT_EQ(back->Count(), 0);
}

TEST_F(ShapeTextTest, CancellingStopsTheListAndSkipsTheLaterKinds) {
  std::string text = "[pois]\r\nlat=1;lng=1\r\n[markers]\r\n";
  for (int i = 0; i < 100; ++i) text += "lat=1;lng=" + std::to_string(i) + "\r\n";
  text += "[polylines]\r\nlatlng=1,2,3,4\r\n[polygones]\r\nlatlng=1,2,3,4,5,6\r\n";
  text += "[infowindows]\r\nlat=1;lng=2;content=x\r\n";
  auto other = NewRegistry(&LoadHost);
  std::vector<std::string> reports;
  other->OnLoadShapes = [&](TObject* sender, const std::string& type, int32_t index, int32_t max,
                            bool& cancel) {
    EXPECT_EQ(sender, LoadHost.EventSender());
    reports.push_back(type + " " + std::to_string(index) + "/" + std::to_string(max));
    if (type == "TWyShapeMarker" && index == 10) cancel = true;
  };
  TWyShapes* group = other->getShapes("");
  group->SetToTxt(text);
  EXPECT_EQ(group->Pois()->Count(), 1);
  EXPECT_EQ(group->Markers()->Count(), 10);
  EXPECT_EQ(group->Lines()->Count() + group->Polygones()->Count(), 0);
  EXPECT_EQ(group->InfoWindows()->Count(), 0);
  ASSERT_EQ(reports.size(), 11u);
  EXPECT_EQ(reports[0], "TWyShapePOI 1/1");
  EXPECT_EQ(reports[10], "TWyShapeMarker 10/100");
  EXPECT_FALSE(group->isLoading());
  EXPECT_EQ(LoadHost.Loaded, std::vector<std::string>{""});
  // The next read starts afresh.
  group->SetToTxt("[polylines]\r\nlatlng=1,2,3,4\r\n");
  EXPECT_EQ(group->Lines()->Count(), 1);
}

TEST_F(ShapeTextTest, AGroupWithoutAParentReadsNothingButEndsLoading) {
  auto orphan = NewRegistry(nullptr);
  orphan->SetToTxt("[markers]\r\nlat=1;lng=2\r\n");
  TWyShapes* group = orphan->getShapes("");
  EXPECT_EQ(group->Markers()->Count(), 0);
  EXPECT_FALSE(group->isLoading());
  EXPECT_FALSE(orphan->isLoading());
}

TEST_F(ShapeTextTest, ReadingIndexesTheTextOnceHoweverManyGroupsItNames) {
  // Every info window brings a group of its own ("_infowindow_<Id>"), so a
  // file of n windows names n groups: each reads its sections from the one
  // index instead of going through the whole text again.
  TWyShapes* main = Default();
  for (int i = 0; i < 400; ++i) main->InfoWindows()->Add(1, 2, "w" + std::to_string(i));
  const std::string text = Registry->GetToTxt();
  auto other = NewRegistry(&LoadHost);
  TWyMapDataFile::ResetWork();
  other->SetToTxt(text);
  const TWyMapDataFile::TWork work = TWyMapDataFile::Work();
  EXPECT_EQ(other->getShapes("")->InfoWindows()->Count(), 400);
  EXPECT_EQ(LoadHost.Loaded.size(), 401u);  // the default group and 400 window groups
  EXPECT_EQ(work.Indexed, 1u);
  EXPECT_EQ(work.IndexedBytes, text.size());
  EXPECT_LE(work.SectionBytes, text.size());
  EXPECT_EQ(work.Lookups, 1u + 5u * LoadHost.Loaded.size());
}

}  // namespace
}  // namespace shapes_test
}  // namespace wy

namespace wy {
namespace shapes_test {
namespace {

// What files bring besides the shapes' own fields (attributes, point times,
// track keys) and hints holding markup characters survive a save and a
// load, also under a comma locale; the parts of one track stay one track
// and two tracks stay apart.
TEST_F(ShapeTextTest, AttributesTimesTrackKeysAndHintsSurviveSaveAndLoad) {
  test_support::CommaLocaleScope comma;
  TWyShapeMarker* marker = AddMarker(1, 2);
  marker->SetHint("a<b> & c &lt; &AMP;&#160; \"d\"");
  marker->Attributes().Set("name",
                           "Caf\xC3\xA9 \"Le Z\xC3\xA8"
                           "bre\"");
  marker->Attributes().Set("cuisine", "pizza;italian=#59#");
  marker->Attributes().Set("stars", "4.5", akJson);
  std::vector<TWyShapeLine*> lines;
  for (int i = 0; i < 3; ++i) {
    TWyShapeLine* line = AddLine({1, 2, 3, 4}, *Registry);
    line->getPoints(0)->SetTime(1714564800.25);
    line->getPoints(1)->SetAlt(12.5);
    line->SetTrackKey(i < 2 ? "ride" : "walk");
    line->Attributes().Set("name", i < 2 ? "Ride" : "Walk");
    lines.push_back(line);
  }
  const std::string text = Registry->GetToTxt();
  auto other = NewRegistry(&LoadHost);
  other->SetToTxt(text);
  TWyShapes* group = other->getShapes("");
  ASSERT_EQ(group->Markers()->Count(), 1);
  const TWyShape* m = group->Markers()->Items(0);
  EXPECT_EQ(m->Hint(), marker->Hint());
  EXPECT_EQ(m->Attributes(), marker->Attributes());
  ASSERT_EQ(group->Lines()->Count(), 3);
  for (int i = 0; i < 3; ++i) {
    const TWyShapeLine* line = group->Lines()->Items(i);
    EXPECT_EQ(line->Attributes(), lines[i]->Attributes());
    EXPECT_TRUE(line->getPoints(0)->HasTime());
    EXPECT_DOUBLE_EQ(line->getPoints(0)->Time(), 1714564800.25);
    EXPECT_FALSE(line->getPoints(1)->HasTime());
    EXPECT_EQ(line->getPoints(1)->Alt(), 12.5);
  }
  const auto* l = group->Lines();
  EXPECT_FALSE(TrackKeyOf(*l->Items(0)).empty());
  EXPECT_EQ(TrackKeyOf(*l->Items(0)), TrackKeyOf(*l->Items(1)));
  EXPECT_NE(TrackKeyOf(*l->Items(1)), TrackKeyOf(*l->Items(2)));
  // Read a second time into the same group, the tracks are new ones.
  group->SetToTxt(Default()->GetToTxt());
  ASSERT_EQ(group->Lines()->Count(), 6);
  EXPECT_NE(TrackKeyOf(*group->Lines()->Items(3)), TrackKeyOf(*l->Items(0)));
  EXPECT_EQ(TrackKeyOf(*group->Lines()->Items(3)), TrackKeyOf(*group->Lines()->Items(4)));
  // Records of older files hold none of these: nothing is made up.
  group->SetToTxt("[markers]\r\nlat=1;lng=2;title=x\r\n[polylines]\r\nlatlng=1,2,3,4\r\n");
  EXPECT_TRUE(group->Markers()->Items(2)->Attributes().Empty());
  EXPECT_EQ(group->Markers()->Items(2)->Hint(), "x");
  EXPECT_FALSE(group->Lines()->Items(6)->getPoints(0)->HasTime());
  EXPECT_EQ(TrackKeyOf(*group->Lines()->Items(6)), "");
}

}  // namespace
}  // namespace shapes_test
}  // namespace wy

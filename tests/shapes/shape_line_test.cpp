// Lines: length and position along the path, the path operations, edit
// handles, labels of routes, altitudes, hover, and what the drawing keeps
// of a long path.

#include "shapes/shape_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <set>

#include "geo/geodesy.h"
#include "geo/route_path.h"
#include "geo/settings.h"
#include "line_fixture.h"
#include "platform/window_thread.h"
#include "shapes/shape_marker.h"
#include "shapes/shape_poi.h"

namespace wy {
namespace shapes_test {
namespace {

class LineTest : public TLineFixture {
 protected:
  // The labels and handles of a line that are shown, by tag.
  static std::vector<TWyShape*> Handles(const TWyShapeLine* line) {
    std::vector<TWyShape*> out;
    TWyShapes* aux = line->Shapes();
    for (TWyShapeList* list :
         {static_cast<TWyShapeList*>(aux->Markers()), static_cast<TWyShapeList*>(aux->Pois())})
      for (int32_t i = 0; i < list->Count(); ++i)
        if (list->Items(i)->Visible()) out.push_back(list->Items(i));
    std::sort(out.begin(), out.end(),
              [](const TWyShape* a, const TWyShape* b) { return a->Tag() < b->Tag(); });
    return out;
  }
  // Paints the registry and, on a second surface, the line's whole
  // projected path in one polyline; counts the pixels of the second that
  // the first lacks and those the first has in addition.
  std::pair<int, int> CompareWithWholePolyline(TWyShapeLine* line, TColor color) {
    Paint();
    TWyCanvas whole;
    whole.SetSize(kWidth, kHeight);
    whole.Poly(false, line->XYPoints(), line->Count(), line->Weight(), color, psSolid);
    const QImage& a = Canvas.Bitmap();
    const QImage& b = whole.Bitmap();
    int missing = 0, extra = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        if (a.pixel(x, y) == b.pixel(x, y)) continue;
        (b.pixel(x, y) == qRgb(255, 255, 255) ? extra : missing)++;
      }
    return {missing, extra};
  }
  static std::vector<int32_t> Tags(const std::vector<TWyShape*>& shapes) {
    std::vector<int32_t> tags;
    for (const TWyShape* s : shapes) tags.push_back(s->Tag());
    return tags;
  }
};

// ---------------------------------------------------------------------------
// Length and position along the path

TEST_F(LineTest, LengthIsCachedAndEveryPathOperationDropsTheCache) {
  struct Row {
    const char* name;
    std::function<void(TWyShapeLine*)> change;
    double expected;  // km after the change
  };
  const double degree = 111.2262553;
  const std::vector<Row> rows = {
      {"Add", [](TWyShapeLine* l) { l->Add(0, 2, 0); }, 2 * degree},
      {"Insert", [](TWyShapeLine* l) { l->Insert(1, 0, 3, 0); }, 5 * degree},
      {"Delete", [](TWyShapeLine* l) { l->Delete(1); }, 0},
      {"Clear", [](TWyShapeLine* l) { l->Clear(); }, 0},
      {"SetPath",
       [](TWyShapeLine* l) {
         l->SetPath({0, 0, 0, 4});
       },
       4 * degree},
  };
  for (const Row& row : rows) {
    TWyShapeLine* line = LineThrough({0, 0, 0, 1});
    EXPECT_NEAR(line->Distance(), degree, 1e-6) << row.name;
    row.change(line);
    EXPECT_NEAR(line->Distance(), row.expected, 1e-6) << row.name;
    line->Remove();
  }
}

TEST_F(LineTest, PositionAlongTheLineComparesMetresWithMetres) {
  struct Row {
    bool forward;
    int32_t metres;
    bool result;
    bool end;
    int32_t point;
    double lng;  // checked when result is true
    int32_t heading;
  };
  const Row rows[] = {
      {true, 55613, true, false, 0, 0.5, 90},
      {false, 55613, true, false, 0, 0.5, -90},  // travelling back: not normalised
      {true, -1, false, true, 0, 0, 0},
      {true, 0, true, false, 0, 0, 90},
      {true, 111226, true, false, 0, 1, 90},  // the last whole metre on the line
      {true, 111227, false, true, 1, 0, 0},
      {true, 111300, false, true, 1, 0, 0},
  };
  TWyShapeLine* line = LineThrough({0, 0, 0, 1});
  for (const Row& row : rows) {
    double lat = 99, lng = 99;
    int32_t id = -5, heading = 999;
    bool end = !row.end;
    const bool result =
        line->getLatLngFromMeter(row.forward, row.metres, lat, lng, id, heading, end);
    EXPECT_EQ(result, row.result) << row.metres;
    EXPECT_EQ(end, row.end) << row.metres;
    EXPECT_EQ(id, row.point) << row.metres;
    if (row.result) {
      EXPECT_NEAR(lat, 0, 1e-9) << row.metres;
      EXPECT_NEAR(lng, row.lng, 1e-5) << row.metres;
      EXPECT_EQ(heading, row.heading) << row.metres;
    }
  }
}

TEST_F(LineTest, RouteLengthInMetresBecomesKilometresAndSurvivesThePathEvent) {
  TWyRoutePath route;
  route.add(0, 0, TWyRoutePathPoint::kNoAltitude, 0, "Start");
  route.add(0, 1, TWyRoutePathPoint::kNoAltitude, 120000, "");
  route.SetDistance(120000);  // by road, longer than the straight line
  route.SetDuration(3600);
  TWyShapeLine* line = LineThrough({10, 10, 10, 11});
  int events = 0;
  line->OnShapePathChange = [&](TObject*) { ++events; };
  line->SetRoutePath(&route);
  EXPECT_EQ(events, 1);
  EXPECT_DOUBLE_EQ(line->Distance(), 120.0);
  EXPECT_EQ(line->Duration(), 3600);
  EXPECT_EQ(line->getPoints(1)->Distance(), 120000);
  double lat = 0, lng = 0;
  int32_t id = 0, heading = 0;
  bool end = true;
  // Half way: a position on the line, not "beyond the end".
  EXPECT_TRUE(line->getLatLngFromMeter(true, 55613, lat, lng, id, heading, end));
  EXPECT_FALSE(end);
  EXPECT_NEAR(lng, 0.5, 1e-5);
  // A real change of the path measures again.
  line->Add(0, 2, 0);
  EXPECT_NEAR(line->Distance(), 2 * 111.2262553, 1e-6);
}

TEST_F(LineTest, RoutePointTextTurnsTheServiceBlocksIntoLines) {
  const TWyRoutePathPoint point(
      0, 0, 0, 0, " Turn <b>left</b></div><div style=\"font-size:0.9em\">Main &amp; 5th</div> ");
  EXPECT_EQ(point.Text(), "Turn left\nMain & 5th");
}

// ---------------------------------------------------------------------------
// Path operations

TEST_F(LineTest, SetPathOverwritesPairsAndNeverReadsPastTheArray) {
  struct Row {
    const char* name;
    std::vector<double> start;  // lat, lng pairs (altitude 7 each)
    std::vector<double> values;
    std::vector<double> expected;  // lat, lng, alt triples
    bool changed;
  };
  const double X = TWyShape::kNoAltitude;
  const std::vector<Row> rows = {
      {"overwrite two of three",
       {1, 1, 2, 2, 3, 3},
       {10, 11, 12, 13},
       {10, 11, 7, 12, 13, 7, 3, 3, 7},
       true},
      {"grow from one", {1, 1}, {10, 11, 12, 13, 14, 15}, {10, 11, 7, 12, 13, X, 14, 15, X}, true},
      {"odd count drops the last value", {1, 1, 2, 2}, {10, 11, 12}, {10, 11, 7, 2, 2, 7}, true},
      {"empty changes nothing", {1, 1, 2, 2}, {}, {1, 1, 7, 2, 2, 7}, false},
  };
  for (const Row& row : rows) {
    TWyShapeLine* line = LineThrough(row.start);
    for (int32_t i = 0; i < line->Count(); ++i) line->getPoints(i)->SetAlt(7);
    int events = 0;
    line->OnShapePathChange = [&](TObject*) { ++events; };
    line->SetPath(row.values);
    ASSERT_EQ(line->Count() * 3, static_cast<int32_t>(row.expected.size())) << row.name;
    for (int32_t i = 0; i < line->Count(); ++i) {
      EXPECT_EQ(line->getPoints(i)->Lat(), row.expected[3 * i]) << row.name << " " << i;
      EXPECT_EQ(line->getPoints(i)->Lng(), row.expected[3 * i + 1]) << row.name << " " << i;
      EXPECT_EQ(line->getPoints(i)->Alt(), row.expected[3 * i + 2]) << row.name << " " << i;
    }
    EXPECT_EQ(events, row.changed ? 1 : 0) << row.name;
    line->Remove();
  }
}

TEST_F(LineTest, PointIndexOutsideThePathIsAnAssertion) {
  TWyShapeLine* line = LineThrough({0, 0, 0, 1});
  for (int32_t index : {-1, 2}) {
    try {
      line->getPoints(index);
      ADD_FAILURE() << index;
    } catch (const EShapeAssertion& e) {
      EXPECT_STREQ(e.what(), "TWyShapeLine.getPoints");
    }
  }
}

TEST_F(LineTest, AClearedLineIsNeitherDrawnNorHitAndItsOldPixelsGo) {
  TWyShapeLine* line = LineOnScreen({{20, 128}, {230, 128}});
  line->SetColor(0x000000FF);
  Paint();
  ASSERT_EQ(At(128, 128), qRgb(255, 0, 0));
  const int repaints = Host.Repaints;
  line->Clear();
  EXPECT_GT(Host.Repaints, repaints);
  EXPECT_TRUE(line->XYPoints().empty());
  EXPECT_FALSE(line->ShowOnMap());
  EXPECT_FALSE(line->IsHover(128, 128));
  const auto& list = Default()->DrawList();
  EXPECT_EQ(std::find(list.begin(), list.end(), line), list.end());
  Paint();
  EXPECT_EQ(At(128, 128), qRgb(255, 255, 255));

  // The same through an empty route.
  TWyShapeLine* route = LineOnScreen({{20, 100}, {230, 100}});
  route->SetRoutePath(nullptr);
  EXPECT_EQ(route->Count(), 0);
  EXPECT_FALSE(route->ShowOnMap());
}

TEST_F(LineTest, MovingTheLineShiftsEveryPointQuietly) {
  TWyShapeLine* line = LineThrough({10, 20, 12, 26});
  line->getPoints(0)->SetAlt(100);
  int moves = 0, paths = 0;
  Default()->OnMove = [&](TObject*, TWyShape*, bool&) { ++moves; };
  line->OnShapePathChange = [&](TObject*) { ++paths; };
  line->SetPosition(0, 0);  // the centre (11, 23) goes to (0, 0)
  EXPECT_DOUBLE_EQ(line->getPoints(0)->Lat(), -1);
  EXPECT_DOUBLE_EQ(line->getPoints(0)->Lng(), -3);
  EXPECT_DOUBLE_EQ(line->getPoints(1)->Lat(), 1);
  EXPECT_DOUBLE_EQ(line->getPoints(1)->Lng(), 3);
  EXPECT_EQ(line->getPoints(0)->Alt(), TWyShape::kNoAltitude);
  EXPECT_EQ(moves, 0);
  EXPECT_EQ(paths, 0);
  EXPECT_DOUBLE_EQ(line->Latitude(), 0);
}

// ---------------------------------------------------------------------------
// Edit handles

TEST_F(LineTest, EditModeGivesEachPointADraggableHandleAboveTheLine) {
  TWyShapeLine* line = LineOnScreen({{20, 20}, {60, 20}, {100, 20}, {140, 20}}, "roads");
  EXPECT_EQ(line->NameShapes(), "roads_line_0");
  line->SetZIndex(5);
  line->SetEditable(true);
  const auto handles = Handles(line);
  ASSERT_EQ(Tags(handles), (std::vector<int32_t>{0, 1, 2, 3}));
  for (const TWyShape* h : handles) {
    EXPECT_TRUE(h->Draggable());
    EXPECT_TRUE(h->Clickable());
    EXPECT_EQ(h->ZIndex(), 15);
    EXPECT_DOUBLE_EQ(h->Latitude(), line->getPoints(h->Tag())->Lat());
  }
  EXPECT_EQ(line->Shapes()->Zindex(), Registry->getShapes("roads")->Zindex() + 1);
  line->SetEditable(false);
  EXPECT_TRUE(Handles(line).empty());
}

TEST_F(LineTest, DoubleClickOnAHandleDeletesItsPointWithoutFreeingTheHandleUnderTheMap) {
  TWyShapeLine* line = LineOnScreen({{20, 20}, {60, 20}, {100, 20}, {140, 20}});
  line->SetEditable(true);
  TWyShape* third = Handles(line)[2];
  const std::weak_ptr<char> life = third->LifeToken();
  Registry->SetShapeHover(third);
  // What the map does: the handle's own handler, then the observers get
  // the same handle.
  third->OnShapeDblClick(&Host.Sender, third);
  ASSERT_FALSE(life.expired());
  EXPECT_EQ(third->Tag(), -1);  // read after the event, as the observers do
  EXPECT_FALSE(third->Clickable());
  EXPECT_EQ(Registry->ShapeHover(), nullptr);
  EXPECT_EQ(line->Count(), 3);
  EXPECT_DOUBLE_EQ(line->getPoints(2)->Lat(), LatLngAt(140, 20).Lat);
  EXPECT_EQ(Tags(Handles(line)), (std::vector<int32_t>{0, 1, 2}));
  // A second event on the retired handle does nothing.
  third->OnShapeDblClick(&Host.Sender, third);
  EXPECT_EQ(line->Count(), 3);
  // Later, from the message queue, the handles are rebuilt.
  ProcessPendingMessages();
  EXPECT_TRUE(life.expired());
  const auto handles = Handles(line);
  EXPECT_EQ(Tags(handles), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(line->Shapes()->Markers()->Count(), 3);
  EXPECT_DOUBLE_EQ(handles[2]->Longitude(), line->getPoints(2)->Lng());
}

TEST_F(LineTest, DraggingAHandleMovesItsPointAndRaisesThePathEvent) {
  TWyShapeLine* line = LineOnScreen({{20, 20}, {60, 20}, {100, 20}});
  line->SetEditable(true);
  int registryEvents = 0;
  Registry->OnShapePathChange = [&](TObject* s) {
    EXPECT_EQ(s, line);
    ++registryEvents;
  };
  TWyShape* handle = Handles(line)[1];
  const TLatLng first = LatLngAt(60, 80);
  const TLatLng last = LatLngAt(70, 90);
  // The map raises the drag step, then moves the handle: the point follows
  // one step behind ...
  handle->SetPosition(first.Lat, first.Lng);
  bool cancel = false;
  handle->OnShapeDrag(&Host.Sender, handle, cancel);
  EXPECT_DOUBLE_EQ(line->getPoints(1)->Lat(), first.Lat);
  EXPECT_EQ(registryEvents, 1);
  handle->SetPosition(last.Lat, last.Lng);
  EXPECT_DOUBLE_EQ(line->getPoints(1)->Lat(), first.Lat);
  // ... and catches up when the drag ends.
  handle->OnShapeDragEnd(handle);
  EXPECT_DOUBLE_EQ(line->getPoints(1)->Lat(), last.Lat);
  EXPECT_DOUBLE_EQ(line->getPoints(1)->Lng(), last.Lng);
  EXPECT_EQ(registryEvents, 2);
  // The line's own handler takes precedence.
  int ownEvents = 0;
  line->OnShapePathChange = [&](TObject*) { ++ownEvents; };
  handle->OnShapeDrag(&Host.Sender, handle, cancel);
  EXPECT_EQ(ownEvents, 1);
  EXPECT_EQ(registryEvents, 2);
}

TEST_F(LineTest, InsertOnTheHoveredSegmentGoesBetweenItsEnds) {
  TWyShapeLine* line = LineOnScreen({{20, 50}, {120, 50}, {220, 50}});
  line->SetEditable(true);
  // Away from the handles, on the second segment.
  ASSERT_TRUE(line->IsHover(170, 52));
  ASSERT_EQ(line->HoverPoint(), 2);
  const TLatLng c = LatLngAt(170, 52);
  line->Insert(line->HoverPoint(), c.Lat, c.Lng, TWyShape::kNoAltitude);
  EXPECT_EQ(line->Count(), 4);
  EXPECT_DOUBLE_EQ(line->getPoints(2)->Lng(), c.Lng);
  EXPECT_EQ(line->getPoints(2)->Alt(), TWyShape::kNoAltitude);
  EXPECT_EQ(Tags(Handles(line)), (std::vector<int32_t>{0, 1, 2, 3}));
}

// ---------------------------------------------------------------------------
// Labels of routes

TEST_F(LineTest, RouteLabelsAreRoundAtTheEndsAndPinsBetweenAndNotClickable) {
  TWyRoutePath route;
  route.add(48.85, 2.30, 35, 0, "Depart");
  route.add(48.86, 2.32, TWyRoutePathPoint::kNoAltitude, 800, "");
  route.add(48.87, 2.34, TWyRoutePathPoint::kNoAltitude, 1500, "Turn right");
  route.add(48.88, 2.36, TWyRoutePathPoint::kNoAltitude, 2400, "Arrive");
  TWyShapeLine* line = LineThrough({0, 0});
  line->SetColor(0x00FF0000);
  line->SetShowText(true);
  line->SetRoutePath(&route);
  ASSERT_EQ(line->Count(), 4);
  EXPECT_EQ(line->getPoints(0)->Alt(), 35);
  EXPECT_EQ(line->getPoints(2)->Text(), "Turn right");
  const auto labels = Handles(line);
  ASSERT_EQ(Tags(labels), (std::vector<int32_t>{0, 2, 3}));
  for (const TWyShape* label : labels) {
    EXPECT_FALSE(label->Clickable());
    EXPECT_EQ(label->Color(), 0x00FF0000u);
    EXPECT_EQ(label->Hint(), line->getPoints(label->Tag())->Text());
    const auto* poi = dynamic_cast<const TWyShapePOI*>(label);
    if (label->Tag() == 2) {
      EXPECT_NE(dynamic_cast<const TWyShapeMarker*>(label), nullptr);
    } else {
      ASSERT_NE(poi, nullptr);
      EXPECT_EQ(poi->POIShape(), poiEllipse);
      EXPECT_EQ(poi->Width(), 16);
      EXPECT_EQ(poi->Height(), 16);
    }
  }
  line->SetShowText(false);
  EXPECT_TRUE(Handles(line).empty());
}

// ---------------------------------------------------------------------------
// Altitudes

class TRecordingGeo : public TWyShapeGeoServices {
 public:
  std::string ReverseGeocode(double, double) override { return ""; }
  bool Elevations(const std::vector<TLatLng>& points, std::vector<double>& altitudes) override {
    Requests.push_back(points);
    const size_t call = Requests.size() - 1;
    if (call < Replies.size()) {
      if (Fail.count(call)) return false;
      altitudes = Replies[call];
      return true;
    }
    altitudes.clear();
    for (const TLatLng& p : points) altitudes.push_back(p.Lng * 1000 + 0.5);
    return true;
  }
  std::vector<std::vector<TLatLng>> Requests;
  std::vector<std::vector<double>> Replies;  // per call; beyond: lng*1000+0.5
  std::set<size_t> Fail;
};

class AltitudeTest : public LineTest {
 protected:
  AltitudeTest() {
    SetSetting("timeout.elevation-pause", "0");
    Registry->SetGeoLocalise(&Geo2);
  }
  ~AltitudeTest() override { SetSetting("timeout.elevation-pause", ""); }
  TWyShapeLine* Line(int n) {
    std::vector<double> path;
    for (int i = 0; i < n; ++i) {
      path.push_back(0);
      path.push_back(i);
    }
    TWyShapeLine* line = LineThrough(path);
    for (int i = 0; i < n; ++i) line->getPoints(i)->SetAlt(-1);
    return line;
  }
  TRecordingGeo Geo2;
};

TEST_F(AltitudeTest, PointsGoInOverlappingChunksOfTwentyOneWithProgress) {
  TWyShapeLine* line = Line(45);
  std::vector<int32_t> progress;
  line->getAltitudes([&](TWyShapeLine* sender, int32_t total, bool&) {
    EXPECT_EQ(sender, line);
    progress.push_back(total);
  });
  ASSERT_EQ(Geo2.Requests.size(), 3u);
  const std::pair<int, int> spans[] = {{0, 20}, {20, 40}, {40, 44}};
  for (size_t r = 0; r < 3; ++r) {
    const auto& request = Geo2.Requests[r];
    ASSERT_EQ(static_cast<int>(request.size()), spans[r].second - spans[r].first + 1);
    EXPECT_EQ(request.front().Lng, spans[r].first);
    EXPECT_EQ(request.back().Lng, spans[r].second);
  }
  EXPECT_EQ(progress, (std::vector<int32_t>{20, 40, 44}));
  // i * 1000 + 0.5 rounds half to even: to i * 1000.
  for (int i = 0; i < 45; ++i) EXPECT_EQ(line->getPoints(i)->Alt(), i * 1000) << i;
}

TEST_F(AltitudeTest, CancelStopsAfterTheCurrentChunk) {
  TWyShapeLine* line = Line(45);
  line->getAltitudes([](TWyShapeLine*, int32_t, bool& cancel) { cancel = true; });
  EXPECT_EQ(Geo2.Requests.size(), 1u);
  EXPECT_EQ(line->getPoints(20)->Alt(), 20000);
  EXPECT_EQ(line->getPoints(21)->Alt(), -1);
}

TEST_F(AltitudeTest, UntrustedRepliesTouchOnlyTheirOwnPoints) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Row {
    const char* name;
    std::vector<double> reply;
    bool fail;
    std::vector<double> expected;  // the 5 points afterwards
  };
  const std::vector<Row> rows = {
      {"rounded half to even", {2.5, 3.5, -2.5, 10.49, 7}, false, {2, 4, -2, 10, 7}},
      {"too many values", {1, 2, 3, 4, 5, 6, 7, 8, 9}, false, {1, 2, 3, 4, 5}},
      {"too few values", {1, 2}, false, {1, 2, -1, -1, -1}},
      {"not numbers skipped",
       {nan, 2, std::numeric_limits<double>::infinity(), 4, 5},
       false,
       {-1, 2, -1, 4, 5}},
      {"failed request", {1, 2, 3, 4, 5}, true, {-1, -1, -1, -1, -1}},
  };
  for (const Row& row : rows) {
    Geo2.Requests.clear();
    Geo2.Replies = {row.reply};
    Geo2.Fail.clear();
    if (row.fail) Geo2.Fail.insert(0);
    TWyShapeLine* line = Line(5);
    line->getAltitudes({});
    ASSERT_EQ(Geo2.Requests.size(), 1u) << row.name;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(line->getPoints(i)->Alt(), row.expected[i]) << row.name;
    line->Remove();
  }
}

TEST_F(AltitudeTest, AProgressHandlerMayFreeTheLine) {
  TWyShapeLine* line = Line(45);
  line->getAltitudes([](TWyShapeLine* sender, int32_t, bool&) { sender->Remove(); });
  EXPECT_EQ(Geo2.Requests.size(), 1u);
  EXPECT_EQ(Default()->Lines()->Count(), 0);
}

TEST_F(AltitudeTest, NothingWithoutGeoServicesOrASecondPoint) {
  Line(1)->getAltitudes({});
  EXPECT_TRUE(Geo2.Requests.empty());
  Registry->SetGeoLocalise(nullptr);
  Line(5)->getAltitudes({});
  EXPECT_TRUE(Geo2.Requests.empty());
}

// ---------------------------------------------------------------------------
// Hover and drawing

TEST_F(LineTest, SegmentHoverReachesExactlyTheWeight) {
  TWyShapeLine* line = LineOnScreen({{20, 100}, {120, 100}, {220, 100}});
  struct Row {
    int x, y;
    bool hit;
    int32_t point;
  };
  const Row rows[] = {
      {60, 100, true, 1}, {60, 104, true, 1},   {60, 105, false, -1},
      {170, 96, true, 2}, {170, 95, false, -1}, {224, 100, true, 2},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(line->IsHover(row.x, row.y), row.hit) << row.x << "," << row.y;
    EXPECT_EQ(line->HoverPoint(), row.point) << row.x << "," << row.y;
  }
}

// A long wandering track, mostly outside a small view, with many points on
// the same pixel: what is drawn and hit must be what the whole path gives.
TEST_F(LineTest, CuttingTheTrackToTheViewChangesNoPixelAndNoHit) {
  std::mt19937 random(11);
  std::normal_distribution<double> turn(0, 0.3);
  std::vector<double> path;
  double x = 128, y = 128, heading = 0;
  for (int i = 0; i < 8000; ++i) {
    heading += turn(random);
    x += 0.4 * std::cos(heading);
    y += 0.4 * std::sin(heading);
    if (x < -300 || x > 556) heading = M_PI - heading;
    if (y < -300 || y > 556) heading = -heading;
    double lat = 0, lng = 0;
    WorldPixelToLatLng(kZoom, World.Left() + x, World.Top() + y, lat, lng);
    path.push_back(lat);
    path.push_back(lng);
  }
  TWyShapeLine* line = LineThrough(path);
  line->SetColor(0x00000080);
  line->SetWeight(3);
  EXPECT_GT(line->DrawRunCount(), 1);
  EXPECT_LT(line->DrawVertexCount(), 8000 / 2);

  EXPECT_EQ(CompareWithWholePolyline(line, 0x00000080), std::make_pair(0, 0));

  int hits = 0;
  for (int py = -2; py < kHeight + 2; py += 7)
    for (int px = -2; px < kWidth + 2; px += 7) {
      int32_t expected = -1;
      const auto& xy = line->XYPoints();
      for (size_t i = 0; i + 1 < xy.size() && expected < 0; ++i) {
        const double d =
            PointToSegmentDistance(xy[i].x(), xy[i].y(), xy[i + 1].x(), xy[i + 1].y(), px, py);
        if (d >= 0 && d <= 3) expected = static_cast<int32_t>(i + 1);
      }
      line->IsHover(px, py);
      ASSERT_EQ(line->HoverPoint(), expected) << px << "," << py;
      hits += expected >= 0;
    }
  EXPECT_GT(hits, 100);
}

// Segments just outside the view still reach into it with their width and
// their hover band (each line comes from the middle of the view, so that it
// is on the map).
TEST_F(LineTest, SegmentsJustOutsideTheViewAreKept) {
  struct Row {
    QPoint a, b;
    QPoint pointer;  // 1 px inside, within the weight of the segment a-b
  };
  const Row rows[] = {
      {{-50, -2}, {300, -2}, {200, 1}},
      {{kWidth + 1, -40}, {kWidth + 1, 300}, {kWidth - 2, 200}},
      {{-3, 300}, {-3, -40}, {0, 200}},
  };
  for (const Row& row : rows) {
    TWyShapeLine* line = LineOnScreen({{128, 128}, row.a, row.b});
    line->SetColor(0x00000000);
    EXPECT_EQ(CompareWithWholePolyline(line, 0), std::make_pair(0, 0))
        << row.a.x() << "," << row.a.y();
    EXPECT_TRUE(line->IsHover(row.pointer.x(), row.pointer.y())) << row.a.x() << "," << row.a.y();
    EXPECT_EQ(line->HoverPoint(), 2) << row.a.x() << "," << row.a.y();
    line->Remove();
  }
}

// A very long line is drawn in pieces; where they meet, their caps may
// add a pixel or two at a turn, but nothing of the line is lost.
TEST_F(LineTest, ALongLineDrawnInPiecesLosesNoPixel) {
  std::vector<double> path;
  for (int i = 0; i < 30000; ++i) {
    const double a = i * 0.004;
    const double r = 4 + 1.0 * a;
    double lat = 0, lng = 0;
    WorldPixelToLatLng(kZoom, World.Left() + 128 + r * std::cos(a),
                       World.Top() + 128 + r * std::sin(a), lat, lng);
    path.push_back(lat);
    path.push_back(lng);
  }
  TWyShapeLine* line = LineThrough(path);
  line->SetWeight(3);
  line->SetColor(0x00000080);
  const int vertices = line->DrawVertexCount();
  ASSERT_GT(vertices, 3 * 1024);
  const auto [missing, extra] = CompareWithWholePolyline(line, 0x00000080);
  EXPECT_EQ(missing, 0);
  EXPECT_LE(extra, 8 * (vertices / 1024));
}

// The projection kept from zoom 0 lands on the pixels LatLngToXY gives,
// for points anywhere, at every zoom, in views near and far from the
// world's origin; a marker and a POI stand on them too.
TEST_F(LineTest, ProjectedPixelsAreThoseOfLatLngToXYAtEveryZoom) {
  std::mt19937 random(17);
  std::uniform_real_distribution<double> lat(-85, 85), lng(-180, 180), near(-0.05, 0.05);
  std::vector<double> path;
  for (int i = 0; i < 400; ++i) {
    // Half of them around the view's centre, half anywhere.
    path.push_back(i % 2 ? kLat + near(random) : lat(random));
    path.push_back(i % 2 ? kLng + near(random) : lng(random));
  }
  TWyShapeLine* line = LineThrough(path);
  TWyShapeMarker* marker = AddMarker(path[2], path[3]);
  auto* poi = static_cast<TWyShapePOI*>(Registry->Add(nsPoi, path[2], path[3]));
  Default()->SetMinZoom(0);  // shown at every zoom
  Default()->SetMaxZoom(0);
  for (uint8_t zoom = 0; zoom <= 23; ++zoom) {
    for (int shift : {0, 1, -777}) {
      SetViewport(World, kLat, kLng, zoom, kWidth, kHeight);
      World.SetView(zoom, World.Left() + shift, World.Top() - shift, kWidth, kHeight);
      Registry->ShapesToDraw();
      Paint();
      const auto& xy = line->XYPoints();
      ASSERT_EQ(xy.size(), path.size() / 2);
      for (size_t i = 0; i < xy.size(); ++i) {
        int32_t x = 0, y = 0;
        World.LatLngToXY(path[2 * i], path[2 * i + 1], x, y);
        ASSERT_EQ(xy[i], QPoint(x, y)) << int(zoom) << " " << shift << " point " << i;
      }
      int32_t x = 0, y = 0;
      World.LatLngToXY(path[2], path[3], x, y);
      if (!QRect(0, 0, kWidth, kHeight).contains(x, y)) continue;  // not drawn
      EXPECT_EQ(QPoint(marker->X(), marker->Y()), QPoint(x, y)) << int(zoom);
      EXPECT_EQ(QPoint(poi->X(), poi->Y()), QPoint(x, y)) << int(zoom);
    }
  }
}

TEST_F(LineTest, ProjectionFollowsTheViewportAndThePath) {
  TWyShapeLine* line = LineOnScreen({{20, 20}, {200, 200}});
  const QPoint before = line->XYPoints()[1];
  SetViewport(World, kLat, kLng, kZoom + 1, kWidth, kHeight);
  Registry->ShapesToDraw();
  EXPECT_NE(line->XYPoints()[1], before);
  EXPECT_EQ(line->XYPoints()[1], Pixel(line->getPoints(1)->Lat(), line->getPoints(1)->Lng()));
  // A point changed by the application, then Update.
  const TLatLng c = LatLngAt(30, 40);
  line->getPoints(0)->SetLat(c.Lat);
  line->getPoints(0)->SetLng(c.Lng);
  line->Update();
  EXPECT_EQ(line->XYPoints()[0], QPoint(30, 40));
}

TEST_F(LineTest, AShapeSpanningTheWorldAtHighZoomKeepsASaneBox) {
  // At zoom 23 the world is 2^31 pixels wide: the ends of a polygon from
  // pole to pole and across every longitude project beyond the int32 range
  // and saturate; its box must not overflow (the sanitizer build aborts on
  // a signed overflow).
  SetViewport(World, kLat, kLng, 23, kWidth, kHeight);
  auto* poly = static_cast<TWyShapePolygone*>(
      LineThrough({-85, -180, 85, -180, 85, 180, -85, 180, -85, -180}, "", nsPolygon));
  Registry->ShapesToDraw();
  EXPECT_GT(poly->Width(), 0);
  EXPECT_GT(poly->Height(), 0);
  Registry->Draw();
}

TEST_F(LineTest, BezierWithAnIncompleteLastSegmentDrawsTheCompleteOnes) {
  TWyShapeLine* line = LineOnScreen({{20, 200}, {20, 40}, {236, 40}, {236, 200}, {128, 250}});
  line->SetColor(0x00000000);
  line->SetLineType(ltBezier);
  Paint();
  // The curve's top is at y = 200 - 0.75 * 160 = 80, far from the control
  // points; the straight line through them would cross (128, 40).
  bool top = false;
  for (int y = 76; y <= 84; ++y) top = top || At(128, y) == qRgb(0, 0, 0);
  EXPECT_TRUE(top);
  EXPECT_EQ(At(128, 40), qRgb(255, 255, 255));
}

TEST_F(LineTest, DashesAreCountedInPixels) {
  TWyShapeLine* line = LineOnScreen({{10, 128}, {250, 128}});
  line->SetColor(0x00000000);
  line->SetWeight(2);
  line->SetPenStyle(psDash);
  Paint();
  // Dash 8 px, gap 4 px at width 2: ten dashes on 120 px (counted in pen
  // widths it would be five).
  int dashes = 0;
  bool inDash = false;
  for (int x = 40; x < 40 + 120; ++x) {
    const bool on = At(x, 128) == qRgb(0, 0, 0);
    dashes += on && !inDash;
    inDash = on;
  }
  EXPECT_GE(dashes, 9);
  EXPECT_LE(dashes, 11);
}

}  // namespace
}  // namespace shapes_test
}  // namespace wy

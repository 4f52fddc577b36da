// Documents of other programs and addresses read in the background: one load
// at a time, progress after every shape, cancelling, and closing the map
// while a download stalls.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "map/map_control.h"
#include "map_test_support.h"
#include "platform/window_thread.h"
#include "shapes/shape_list.h"
#include "shapes/shapes_group.h"
#include "support/test_helpers.h"

namespace wy {
namespace {

using maptest::PumpUntil;
using test_support::TScratchDir;

// A GPX document of `count` waypoints.
std::string Waypoints(int count) {
  std::string gpx = "<gpx version=\"1.1\">";
  for (int i = 0; i < count; ++i) gpx += "<wpt lat=\"48." + std::to_string(i) + "\" lon=\"2.35\"/>";
  return gpx + "</gpx>";
}

class MapBackgroundLoadTest : public maptest::TMapWindowTest {
 protected:
  void SetUp() override {
    MakeMap(400, 300);
    FMap->OnLoad = [this](TObject*, const std::string& name, bool finished) {
      FLoads.push_back(name);
      FFinished = finished;
    };
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(FDir.Sub(name), std::ios::binary) << bytes;
    return FDir.Sub(name);
  }
  TWyShapes& Default() { return *FMap->ShapesGroup().getShapes(""); }
  TFixtureServer& Server() { return FTiles.Server(); }

  TScratchDir FDir;
  std::vector<std::string> FLoads;
  bool FFinished = false;
};

// While an address is downloading, the registry is loading and refuses a
// second load; once it arrived a new one is accepted.
TEST_F(MapBackgroundLoadTest, OneLoadAtATime) {
  Server().Serve("/walk.gpx", Waypoints(3), "application/gpx+xml");
  Server().Stall("/walk.gpx");
  ASSERT_TRUE(FMap->LoadFromFile(Server().Url("/walk.gpx")));
  ASSERT_TRUE(Server().WaitForInFlight(1));
  EXPECT_TRUE(FMap->ShapesGroup().isLoading());
  const std::string local = Write("more.gpx", Waypoints(2));
  EXPECT_FALSE(FMap->LoadFromFile(local));
  EXPECT_FALSE(FMap->ShapesGroup().LoadFromFile(local));
  EXPECT_TRUE(FLoads.empty());

  Server().Release("/walk.gpx");
  ASSERT_TRUE(PumpUntil([&] { return FLoads.size() == 1; }, 5000));
  EXPECT_TRUE(FFinished);
  EXPECT_EQ(Default().Markers()->Count(), 3);
  EXPECT_EQ(Default().LoadedCount(), 3);
  EXPECT_EQ(Default().LoadError(), "");

  EXPECT_TRUE(FMap->LoadFromFile(local));
  ASSERT_TRUE(PumpUntil([&] { return FLoads.size() == 2; }, 5000));
  EXPECT_EQ(Default().Markers()->Count(), 5);
}

// Cancelling a stalled download reads nothing, ends the load at once with
// "cancelled", and the answer that comes later is dropped.
TEST_F(MapBackgroundLoadTest, CancellingEndsTheLoadAndDropsTheLateAnswer) {
  Server().Serve("/walk.gpx", Waypoints(3), "application/gpx+xml");
  Server().Stall("/walk.gpx");
  ASSERT_TRUE(FMap->ShapesGroup().LoadFromFile(Server().Url("/walk.gpx")));
  ASSERT_TRUE(Server().WaitForInFlight(1));
  FMap->ShapesGroup().CancelLoading();
  EXPECT_FALSE(FMap->ShapesGroup().isLoading());
  EXPECT_EQ(Default().LoadError(), "cancelled");
  Server().Release("/walk.gpx");
  ASSERT_TRUE(PumpUntil([&] { return FLoads.size() == 1; }, 5000));
  WaitProcessing(50);
  EXPECT_EQ(FLoads.size(), 1u);
  EXPECT_EQ(Default().Markers()->Count(), 0);
}

// Closing the map while the download stalls returns without waiting for
// the server, and nothing arrives afterwards.
TEST_F(MapBackgroundLoadTest, ClosingTheMapWhileADownloadStallsReturns) {
  Server().Serve("/walk.gpx", Waypoints(3), "application/gpx+xml");
  Server().Stall("/walk.gpx");
  ASSERT_TRUE(FMap->LoadFromFile(Server().Url("/walk.gpx")));
  ASSERT_TRUE(Server().WaitForInFlight(1));
  FWindow.reset();  // the map with it; returns while the answer is held
  FMap = nullptr;
  Server().Release("/walk.gpx");
  WaitProcessing(50);
  EXPECT_TRUE(FLoads.empty());
}

// Progress comes after every shape with its place and the total; a cancel
// from the handler keeps what was read. Every hundredth shape lets the
// window's queue run (user input excepted) unless the map is told not to.
TEST_F(MapBackgroundLoadTest, ProgressAfterEveryShapeWithCancelAndQueueRuns) {
  for (const bool antiFreeze : {true, false}) {
    SCOPED_TRACE(antiFreeze);
    Default().Clear();
    FMap->SetAntiFreezeOnLoad(antiFreeze);
    std::vector<int32_t> indexes;
    bool queueRan = false;
    int32_t ranAt = -1;
    FMap->OnLoadShapes = [&](TObject* sender, const std::string& type, int32_t index, int32_t max,
                             bool& cancel) {
      EXPECT_EQ(sender, FMap);
      EXPECT_EQ(type, "TWyShapeMarker");
      EXPECT_EQ(max, 250);
      if (index == 1) PostToWindowThread([&] { queueRan = true; });
      if (queueRan && ranAt < 0) ranAt = index;
      indexes.push_back(index);
      cancel = index == 150;
    };
    FLoads.clear();
    ASSERT_TRUE(FMap->LoadFromFile(Write("many.gpx", Waypoints(250))));
    ASSERT_TRUE(PumpUntil([&] { return FLoads.size() == 1; }, 5000));
    ASSERT_EQ(indexes.size(), 150u);
    for (size_t i = 0; i < indexes.size(); ++i) EXPECT_EQ(indexes[i], int32_t(i) + 1);
    EXPECT_EQ(Default().Markers()->Count(), 150);
    EXPECT_EQ(Default().LoadedCount(), 150);
    EXPECT_EQ(ranAt, antiFreeze ? 100 : -1);
    FMap->OnLoadShapes = nullptr;
    WaitProcessing(10);
  }
}

// A document handed to a group's setter is converted in the background
// into that group.
TEST_F(MapBackgroundLoadTest, GroupSettersConvertInTheBackground) {
  TWyShapes* trips = FMap->ShapesGroup().getShapes("trips");
  trips->SetToKml(
      "<kml><Placemark><Point><coordinates>2.35,48.85</coordinates></Point></Placemark></kml>");
  EXPECT_TRUE(trips->isLoading());
  ASSERT_TRUE(PumpUntil([&] { return FLoads == std::vector<std::string>{"trips"}; }, 5000));
  EXPECT_EQ(trips->Markers()->Count(), 1);
  trips->SetToGeoJSon("{\"type\":\"FeatureCollection\",\"features\":[]}");
  ASSERT_TRUE(PumpUntil([&] { return FLoads.size() == 2; }, 5000));
  EXPECT_EQ(trips->LoadError(), "no shapes in the document");
  EXPECT_EQ(trips->Markers()->Count(), 1);
}

}  // namespace
}  // namespace wy

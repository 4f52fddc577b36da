// The elevation profile linked to the map, both driven by Qt mouse and key
// events: the profile's cursor shows as a dot on the map, its selection as
// a highlight over the track, and a click on the track moves the cursor.

#include "map/track_profile_link.h"

#include <gtest/gtest.h>

#include <QTest>
#include <cmath>
#include <memory>

#include "graphics/track_profile_widget.h"
#include "map_test_support.h"
#include "shapes/shape_line.h"
#include "shapes/shape_list.h"
#include "shapes/shape_poi.h"
#include "shapes/shape_track.h"
#include "shapes/shapes_group.h"

namespace wy {
namespace {

namespace Pointer = maptest::Pointer;

class TrackProfileLinkTest : public maptest::TMapWindowTest {
 protected:
  static constexpr int kPoints = 31;
  void SetUp() override {
    MakeMap(QSize(820, 620), QRect(10, 10, 800, 600));
    TWyShapeLineList* lines = FMap->Shapes()->Lines();
    const TLatLng first = FMap->FromXYToLatLng(100, 300);
    Line = lines->Items(lines->Add(first.Lat, first.Lng));
    Line->Clear();
    for (int i = 0; i < kPoints; ++i) {
      const TLatLng c = FMap->FromXYToLatLng(100 + 20 * i, 300);
      Line->Add(c.Lat, c.Lng, 100 + 3 * i);
    }
    FMap->RedrawMap(false);
    Profile = std::make_unique<TTrackProfileWidget>();
    Profile->resize(600, 200);
    Profile->move(900, 0);  // beside the map's window, not under it
    Link = std::make_unique<TTrackProfileLink>(FMap, Profile.get());
    const std::vector<TLineTrack> tracks = TracksFromLines(*FMap->Shapes());
    ASSERT_EQ(tracks.size(), 1u);
    Link->SetTrack(tracks[0]);
    Profile->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Profile.get()));
    Profile->repaint();
  }
  void TearDown() override {
    Link.reset();
    Profile.reset();
    TMapWindowTest::TearDown();
  }
  QPoint ProfileAt(size_t index) const {
    return QPoint(static_cast<int>(std::lround(Profile->Profile().XOfIndex(index))), 100);
  }

  TWyShapeLine* Line = nullptr;
  std::unique_ptr<TTrackProfileWidget> Profile;
  std::unique_ptr<TTrackProfileLink> Link;
};

TEST_F(TrackProfileLinkTest, CursorAndSelectionShowOnTheMap) {
  EXPECT_EQ(Profile->Profile().Count(), static_cast<size_t>(kPoints));
  QTest::mouseMove(Profile.get(), ProfileAt(10));
  ASSERT_EQ(Profile->CursorIndex(), 10);
  TWyShapePOI* dot = Link->CursorDot();
  ASSERT_NE(dot, nullptr);
  EXPECT_TRUE(dot->Visible());
  EXPECT_DOUBLE_EQ(dot->Latitude(), Line->getPoints(10)->Lat());
  EXPECT_DOUBLE_EQ(dot->Longitude(), Line->getPoints(10)->Lng());
  QTest::keyClick(Profile.get(), Qt::Key_Right);
  EXPECT_DOUBLE_EQ(dot->Longitude(), Line->getPoints(11)->Lng());

  QTest::mousePress(Profile.get(), Qt::LeftButton, Qt::NoModifier, ProfileAt(5));
  QTest::mouseMove(Profile.get(), ProfileAt(12));
  QTest::mouseRelease(Profile.get(), Qt::LeftButton, Qt::NoModifier, ProfileAt(12));
  TWyShapeLine* highlight = Link->Highlight();
  ASSERT_NE(highlight, nullptr);
  EXPECT_TRUE(highlight->Visible());
  ASSERT_EQ(highlight->Count(), 8);
  EXPECT_DOUBLE_EQ(highlight->getPoints(0)->Lng(), Line->getPoints(5)->Lng());
  EXPECT_DOUBLE_EQ(highlight->getPoints(7)->Lng(), Line->getPoints(12)->Lng());
  // The helpers are never saved with the map.
  EXPECT_FALSE(highlight->Serialize());
  EXPECT_EQ(FMap->ShapesGroup().GetToTxt().find("_track_profile"), std::string::npos);

  QTest::mouseClick(Profile.get(), Qt::LeftButton, Qt::NoModifier, ProfileAt(20));
  EXPECT_FALSE(highlight->Visible());

  // Whoever clears every group takes the dot along; the next move makes it
  // again.
  FMap->ShapesGroup().getShapes(TTrackProfileLink::kLinkGroupName)->Clear();
  EXPECT_EQ(Link->CursorDot(), nullptr);
  QTest::mouseMove(Profile.get(), ProfileAt(25));
  ASSERT_NE(Link->CursorDot(), nullptr);
  EXPECT_DOUBLE_EQ(Link->CursorDot()->Longitude(), Line->getPoints(25)->Lng());
}

TEST_F(TrackProfileLinkTest, ClickingTheTrackOnTheMapMovesTheCursor) {
  for (int i : {3, 17, 29}) {
    const QPoint at(10 + 100 + 20 * i + 4, 10 + 300);  // the window's pixels
    const QPoint local = FMap->mapFrom(FWindow.get(), at);
    Pointer::mouseMove(FMap, local);
    Pointer::mousePress(FMap, Qt::LeftButton, Qt::NoModifier, local);
    Pointer::mouseRelease(FMap, Qt::LeftButton, Qt::NoModifier, local);
    EXPECT_EQ(Profile->CursorIndex(), i);
    ASSERT_NE(Link->CursorDot(), nullptr);
    EXPECT_DOUBLE_EQ(Link->CursorDot()->Longitude(), Line->getPoints(i)->Lng());
  }
  // The track's line gone, a new one in its place is not taken for it.
  Line->Remove();
  TWyShapeLineList* lines = FMap->Shapes()->Lines();
  const TLatLng a = FMap->FromXYToLatLng(100, 300), b = FMap->FromXYToLatLng(700, 300);
  TWyShapeLine* other = lines->Items(lines->Add(a.Lat, a.Lng));
  other->Add(b.Lat, b.Lng, 0);
  FMap->RedrawMap(false);
  const QPoint local(300, 300);
  Pointer::mouseMove(FMap, local);
  Pointer::mousePress(FMap, Qt::LeftButton, Qt::NoModifier, local);
  Pointer::mouseRelease(FMap, Qt::LeftButton, Qt::NoModifier, local);
  EXPECT_EQ(Profile->CursorIndex(), 29);
}

}  // namespace
}  // namespace wy

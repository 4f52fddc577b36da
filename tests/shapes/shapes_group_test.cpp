// Groups and the registry: z-order, draw lists, hover, hints, update
// brackets, bounds, freeing and the shared graphic pool.

#include "shapes/shapes_group.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "geo/geodesy.h"
#include "platform/log.h"
#include "shapes/animation.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_line.h"
#include "shapes/shape_poi.h"
#include "shapes_fixture.h"
#include "support/test_helpers.h"

namespace wy {
namespace shapes_test {
namespace {

class ShapesGroupTest : public TShapesTest {};

// Far outside the test viewport.
constexpr double kAwayLat = -40;
constexpr double kAwayLng = 100;

TEST_F(ShapesGroupTest, RegistryStartsWithTheDefaultGroupAndAHiddenHintWindow) {
  const std::vector<TWyShapes*> groups = Registry->Groups();
  ASSERT_GE(groups.size(), 3u);
  EXPECT_EQ(groups[0]->Name(), "");
  EXPECT_EQ(Registry->HintShapes(), Registry->getShapes("_hint_"));
  EXPECT_FALSE(Registry->HintShapes()->Serialize());
  EXPECT_EQ(Registry->HintShapes()->Zindex(), 10000);
  TWyShapeInfoWindow* hint = Registry->HintWindow();
  ASSERT_NE(hint, nullptr);
  EXPECT_FALSE(hint->CloseButton());
  EXPECT_EQ(hint->ContentFlags(), 2u);
  EXPECT_EQ(hint->Color(), 0x00DCF5F5u);
  EXPECT_EQ(hint->Style(), iwsRectangle);
  EXPECT_EQ(hint->ZIndex(), 10000);
  EXPECT_FALSE(hint->Visible());
  EXPECT_EQ(Registry->getShapes("_infowindow_0")->Zindex(), 10010);
}

TEST_F(ShapesGroupTest, GroupNamesAreLowerCaseAndLookedUpWithoutRegardToCase) {
  TWyShapes* roads = Registry->getShapes("Roads");
  EXPECT_EQ(Registry->getShapes("roads"), roads);
  EXPECT_EQ(Registry->getShapes("ROADS"), roads);
  EXPECT_EQ(roads->Name(), "roads");
}

TEST_F(ShapesGroupTest, HigherGroupCoversLowerGroupWhateverTheShapesZIndex) {
  TWyShapeMarker* a = AddMarker(kLat, kLng, "a");
  TWyShapeMarker* b = AddMarker(kLat, kLng, "b");
  Registry->getShapes("a")->SetZindex(5);
  Registry->getShapes("b")->SetZindex(1);
  a->SetColor(0x000000FF);
  b->SetColor(0x00FF0000);
  b->SetZIndex(99);
  Paint();
  EXPECT_EQ(At(a->Left() + 3, a->Top() + 3), Rgb(0x000000FF));
  const QPoint p = Pixel(kLat, kLng);
  EXPECT_EQ(Registry->ShapeByHover(p.x(), p.y() - 6), a);
  // The lower group was not asked.
  EXPECT_EQ(Registry->getShapes("b")->ShapeHover(), nullptr);
}

TEST_F(ShapesGroupTest, DrawOrderFollowsTheSinglePrecisionKey) {
  // Ids 0..102; only 1 (draggable), 99 and 102 are on the map.
  std::vector<TWyShapeMarker*> markers;
  for (int i = 0; i <= 102; ++i) markers.push_back(AddMarker(kAwayLat, kAwayLng));
  Default()->BeginUpdate();
  for (int id : {1, 99, 102}) markers[id]->SetPosition(kLat, kLng);
  markers[1]->SetDraggable(true);
  markers[1]->SetColor(0x0000FF00);
  markers[99]->SetColor(0x00FF0000);
  markers[102]->SetColor(0x000000FF);
  Default()->EndUpdate();
  const std::vector<TWyShape*> expected = {markers[99], markers[1], markers[102]};
  EXPECT_EQ(Default()->DrawList(), expected);  // 0.099 < 0.101 < 0.102

  Paint();
  const TWyShapeMarker* top = markers[102];
  EXPECT_EQ(At(top->Left() + 3, top->Top() + 3), Rgb(0x000000FF));
  const QPoint p = Pixel(kLat, kLng);
  EXPECT_EQ(Registry->ShapeByHover(p.x(), p.y() - 6), markers[102]);
  markers[102]->SetVisible(false);
  EXPECT_EQ(Registry->ShapeByHover(p.x(), p.y() - 6), markers[1]);
}

TEST_F(ShapesGroupTest, EqualKeysKeepKindOrderThenInsertionOrder) {
  TWyShapes* g = Default();
  // Id 1 in every list (a polygon takes two identifiers, so its Id is 1).
  g->Pois()->Add(kLat, kLng);
  g->Markers()->Add(kLat, kLng);
  g->Lines()->Add(kLat, kLng);
  g->InfoWindows()->Add(kLat, kLng, "x");
  TWyShape* poi = g->Pois()->Items(g->Pois()->Add(kLat, kLng));
  TWyShape* marker = g->Markers()->Items(g->Markers()->Add(kLat, kLng));
  TWyShapeLine* line = g->Lines()->Items(g->Lines()->Add(kLat, kLng));
  line->Add(kLat + 0.01, kLng + 0.01, 0);
  TWyShapePolygone* polygon = g->Polygones()->Items(g->Polygones()->Add(kLat, kLng));
  polygon->Add(kLat + 0.01, kLng, 0);
  polygon->Add(kLat, kLng + 0.01, 0);
  TWyShape* window = g->InfoWindows()->Items(g->InfoWindows()->Add(kLat, kLng, "y"));
  for (TWyShapeList* list :
       std::vector<TWyShapeList*>{g->Pois(), g->Markers(), g->Lines(), g->InfoWindows()})
    list->Items(0)->SetVisible(false);
  ASSERT_EQ(polygon->Id(), 1);
  const std::vector<TWyShape*> expected = {poi, marker, line, polygon, window};
  EXPECT_EQ(g->DrawList(), expected);
}

TEST_F(ShapesGroupTest, HiddenGroupIsNeitherDrawnNorHitAndItsShapesKeepTheirFlag) {
  TWyShapeMarker* m = AddMarker(kLat, kLng, "layer");
  TWyShapes* layer = Registry->getShapes("layer");
  layer->SetVisible(false);
  Paint();
  const QPoint p = Pixel(kLat, kLng);
  EXPECT_EQ(At(p.x(), p.y() - 9), qRgb(255, 255, 255));
  EXPECT_EQ(Registry->ShapeByHover(p.x(), p.y() - 6), nullptr);
  layer->SetVisible(true);
  EXPECT_TRUE(m->Visible());
  Paint();
  EXPECT_EQ(Registry->ShapeByHover(p.x(), p.y() - 6), m);
}

TEST_F(ShapesGroupTest, UpdateBracketTurnsTenThousandAddsIntoOneRebuildAndOneRepaint) {
  TWyShapes* g = Default();
  const uint32_t rebuilds = g->RebuildCount();
  const int repaints = Host.Repaints;
  Registry->BeginUpdate();
  EXPECT_TRUE(Registry->isBeginUpdate());
  for (int i = 0; i < 10000; ++i) AddMarker(kLat + (i % 100) * 1e-4, kLng + (i / 100) * 1e-4);
  EXPECT_EQ(g->RebuildCount(), rebuilds);
  EXPECT_EQ(Host.Repaints, repaints);
  Registry->EndUpdate();
  EXPECT_FALSE(Registry->isBeginUpdate());
  EXPECT_EQ(g->RebuildCount(), rebuilds + 1);
  EXPECT_EQ(Host.Repaints, repaints + 1);
  EXPECT_EQ(g->DrawList().size(), 10000u);
}

TEST_F(ShapesGroupTest, ListAndGroupBounds) {
  TWyShapeMarkerList* markers = Default()->Markers();
  // Empty: the viewport.
  markers->getBounds();
  EXPECT_EQ(markers->NorthEastLatitude(), World.NorthEastLatitude());
  EXPECT_EQ(markers->SouthWestLongitude(), World.SouthWestLongitude());

  // One shape: a 0.5 km circle around it, visible or not.
  TWyShapeMarker* m = AddMarker(10, 20);
  double latSW, lngSW, latNE, lngNE;
  boundingCoordinates(10, 20, 0.5, latSW, lngSW, latNE, lngNE);
  markers->getBounds();
  EXPECT_EQ(markers->SouthWestLatitude(), latSW);
  EXPECT_EQ(markers->NorthEastLongitude(), lngNE);

  // Several: the box of the visible ones.
  AddMarker(11, 21);
  AddMarker(12, 25)->SetVisible(false);
  AddMarker(9, 22);
  Default()->SetMinZoom(0);
  markers->getBounds();
  EXPECT_EQ(markers->SouthWestLatitude(), 9);
  EXPECT_EQ(markers->NorthEastLatitude(), 11);
  EXPECT_EQ(markers->SouthWestLongitude(), 20);
  EXPECT_EQ(markers->NorthEastLongitude(), 22);
  (void)m;

  // The group: the union of the POI, marker, line and polygon lists (empty
  // lists count as the viewport); info windows do not count.
  Default()->InfoWindows()->Add(-60, -120, "far");
  Default()->getBounds();
  EXPECT_EQ(Default()->SouthWestLatitude(), 9);
  EXPECT_EQ(Default()->NorthEastLongitude(), 22);
  EXPECT_EQ(Default()->SouthWestLongitude(), World.SouthWestLongitude());
  EXPECT_EQ(Default()->NorthEastLatitude(), World.NorthEastLatitude());
}

TEST_F(ShapesGroupTest, LoadingGroupDrawsNothingUntilItIsDone) {
  AddMarker();
  Default()->SetLoading(true);
  EXPECT_TRUE(Default()->DrawList().empty());
  Default()->SetLoading(false);
  EXPECT_EQ(Default()->DrawList().size(), 1u);
}

// Every way of freeing a shape drops the registry's and the group's
// references to it and its name, so nothing can reach the freed shape.
TEST_F(ShapesGroupTest, FreeingByAnyRouteClearsReferencesAndTheNameIndex) {
  enum Route { kShapeRemove, kRegistryRemove, kListDelete, kListClear, kGroupClear };
  for (Route route : {kShapeRemove, kRegistryRemove, kListDelete, kListClear, kGroupClear}) {
    TWyShapes* g = Registry->getShapes("routes");
    TWyShapeMarker* m = AddMarker(kLat, kLng, "routes");
    m->SetName("victim");
    m->SetAnimation(std::make_unique<TWyAnimationShapeColor>(0));
    Registry->SetShapeHover(m);
    Registry->SetShapeDrag(m);
    ASSERT_EQ(g->ShapeHover(), m);
    ASSERT_EQ(g->ShapeDrag(), m);
    switch (route) {
      case kShapeRemove:
        m->Remove();
        break;
      case kRegistryRemove:
        Registry->Remove(m);
        break;
      case kListDelete:
        g->Markers()->Delete(g->Markers()->IndexOf(m));
        break;
      case kListClear:
        g->Markers()->Clear();
        break;
      case kGroupClear:
        g->Clear();
        break;
    }
    EXPECT_EQ(Registry->ShapeHover(), nullptr) << route;
    EXPECT_EQ(Registry->ShapeDrag(), nullptr) << route;
    EXPECT_EQ(g->ShapeHover(), nullptr) << route;
    EXPECT_EQ(g->ShapeDrag(), nullptr) << route;
    EXPECT_TRUE(g->DrawList().empty()) << route;
    EXPECT_TRUE(g->AnimationList().empty()) << route;
    EXPECT_EQ(g->Markers()->ShapeByName("VICTIM"), nullptr) << route;
    // A new shape can take the name.
    TWyShapeMarker* next = AddMarker(kLat, kLng, "routes");
    next->SetName("victim");
    EXPECT_EQ(next->Name(), "victim") << route;
    Paint();
    Registry->AnimationShapes();
    g->Clear();
  }
}

TEST_F(ShapesGroupTest, HoverShowsTheHintAboveEveryGroupAndLeavingHidesIt) {
  Registry->getShapes("high")->SetZindex(20000);
  TWyShapeMarker* m = AddMarker();
  m->SetHint("  Tour Eiffel ");
  Paint();
  const QPoint p = Pixel(kLat, kLng);
  ASSERT_EQ(Registry->ShapeByHover(p.x(), p.y() - 6), m);
  TWyShapeInfoWindow* hint = Registry->HintWindow();
  EXPECT_TRUE(hint->Visible());
  EXPECT_EQ(hint->Content(), "  Tour Eiffel ");
  EXPECT_EQ(hint->YAnchor(), -(m->Height() + 10));
  EXPECT_EQ(Registry->HintShapes()->Zindex(), 20001);
  EXPECT_TRUE(m->Hover());
  EXPECT_EQ(Registry->ShapeByHover(p.x() + 100, p.y() + 100), nullptr);
  EXPECT_FALSE(hint->Visible());
  EXPECT_FALSE(m->Hover());
}

// The pointer goes from a shape of a lower group onto an overlapping shape
// of a higher group: the lower one lets go of its hover (and of its hint),
// the higher one takes it and shows its own hint, if it has one.
TEST_F(ShapesGroupTest, AHigherGroupWinningClearsTheLowerGroupsHover) {
  for (const char* highHint : {"", "high"}) {
    SCOPED_TRACE(highHint);
    const QPoint p = Pixel(kLat, kLng);
    double lat = 0, lng = 0;
    World.XYToLatLng(p.x() + 8, p.y(), lat, lng);
    // Two pins, the high one 8 pixels to the right: their 12 x 12 boxes
    // overlap on 4 columns.
    TWyShapeMarker* low = AddMarker(kLat, kLng, "low");
    TWyShapeMarker* high = AddMarker(lat, lng, "high");
    Registry->getShapes("low")->SetZindex(1);
    Registry->getShapes("high")->SetZindex(2);
    low->SetHint("low");
    high->SetHint(highHint);
    Paint();
    TWyShapeInfoWindow* hint = Registry->HintWindow();
    ASSERT_EQ(Registry->ShapeByHover(p.x() - 3, p.y() - 6), low);
    EXPECT_TRUE(low->Hover());
    EXPECT_TRUE(hint->Visible());

    EXPECT_EQ(Registry->ShapeByHover(p.x() + 4, p.y() - 6), high);
    EXPECT_TRUE(high->Hover());
    EXPECT_FALSE(low->Hover());
    EXPECT_EQ(Registry->getShapes("low")->ShapeHover(), nullptr);
    EXPECT_EQ(Registry->getShapes("high")->ShapeHover(), high);
    EXPECT_EQ(hint->Visible(), *highHint != 0);
    if (*highHint) {
      EXPECT_EQ(hint->Content(), "high");
    }
    Paint();
    EXPECT_EQ(At(low->Left() + 3, low->Top() + 4), Rgb(low->Color()));

    // A group inside an update keeps its hovered shape.
    ASSERT_EQ(Registry->ShapeByHover(p.x() - 3, p.y() - 6), low);
    Registry->getShapes("low")->BeginUpdate();
    Registry->getShapes("high")->BeginUpdate();
    EXPECT_EQ(Registry->ShapeByHover(p.x() + 4, p.y() - 6), nullptr);
    EXPECT_TRUE(low->Hover());
    Registry->getShapes("high")->EndUpdate();
    Registry->getShapes("low")->EndUpdate();
    low->Remove();
    high->Remove();
  }
}

// A shape that is not clickable (an area drawn over the map) lies over a
// clickable pin, in the pin's group or in a higher one: the pin still gets
// the pointer. Over the area alone, the area is the hovered shape as before.
TEST_F(ShapesGroupTest, AShapeThatIsNotClickableLetsTheClickableOneUnderItWin) {
  for (const char* coverGroup : {"pins", "cover"}) {
    SCOPED_TRACE(coverGroup);
    TWyShapeMarker* pin = AddMarker(kLat, kLng, "pins");
    TWyShapeMarker* cover = AddMarker(kLat, kLng, coverGroup);
    cover->SetClickable(false);
    Registry->getShapes("pins")->SetZindex(-1);
    Registry->getShapes("cover")->SetZindex(1);
    Paint();
    const QPoint p = Pixel(kLat, kLng);
    EXPECT_EQ(Registry->ShapeByHover(p.x(), p.y() - 6), pin);
    EXPECT_TRUE(pin->Hover());
    EXPECT_FALSE(cover->Hover());
    pin->SetVisible(false);
    Paint();
    EXPECT_EQ(Registry->ShapeByHover(p.x(), p.y() - 6), cover);
    pin->Remove();
    cover->Remove();
  }
}

TEST_F(ShapesGroupTest, NoHintForBlankHintsTheDraggedShapeOrWithShowHintOff) {
  enum Case { kBlank, kDragged, kShowHintOff };
  for (Case c : {kBlank, kDragged, kShowHintOff}) {
    TWyShapeMarker* m = AddMarker();
    m->SetHint(c == kBlank ? " \t" : "hint");
    if (c == kDragged) Registry->SetShapeDrag(m);
    Default()->SetShowHint(c != kShowHintOff);
    Paint();
    const QPoint p = Pixel(kLat, kLng);
    ASSERT_EQ(Registry->ShapeByHover(p.x(), p.y() - 6), m) << c;
    EXPECT_FALSE(Registry->HintWindow()->Visible()) << c;
    Registry->SetShapeDrag(nullptr);
    m->Remove();
  }
}

TEST_F(ShapesGroupTest, AuxiliaryShapeStandsForItsOwnerInTheHoverSearch) {
  TWyShapeMarker* owner = AddMarker(kAwayLat, kAwayLng);
  TWyShapes* aux = Registry->getShapes("aux");
  aux->SetSerialize(false);
  TWyShapeMarker* wall = AddMarker(kLat, kLng, "aux");
  wall->SetItem(owner);
  Paint();
  const QPoint p = Pixel(kLat, kLng);
  EXPECT_EQ(Registry->ShapeByHover(p.x(), p.y() - 6), owner);
  EXPECT_EQ(Registry->ShapeHover(), owner);
  // With Serialize on, the shape itself is found.
  aux->SetSerialize(true);
  EXPECT_EQ(Registry->ShapeByHover(p.x(), p.y() - 6), wall);
}

TEST_F(ShapesGroupTest, DrawingInsideDrawIsRefusedAndAFailingShapeStopsOnlyItsGroup) {
  TWyShapeMarker* reenter = AddMarker(kLat, kLng, "low");
  bool refused = false;
  reenter->OnAfterDraw = [&](TWyCanvas&, TRect&, TWyShape*) {
    try {
      Registry->Draw();
    } catch (const EShapeAssertion& e) {
      refused = std::string(e.what()) == "TWyShapesGroup.Draw";
    }
  };
  Paint();
  EXPECT_TRUE(refused);
  reenter->Remove();

  TWyShapeMarker* thrower = AddMarker(kLat, kLng, "low");
  TWyShapeMarker* after = AddMarker(kLat + 0.02, kLng, "low");  // later in the draw list
  TWyShapeMarker* high = AddMarker(kLat - 0.02, kLng, "high");
  Registry->getShapes("high")->SetZindex(1);
  thrower->OnAfterDraw = [](TWyCanvas&, TRect&, TWyShape*) { throw std::runtime_error("boom"); };
  after->SetColor(0x000000FF);
  high->SetColor(0x00FF0000);
  TScopedLogCapture log(llWarning);
  Paint();
  EXPECT_TRUE(log.Contains("shapes", "boom"));
  const QPoint pa = Pixel(kLat + 0.02, kLng);
  const QPoint ph = Pixel(kLat - 0.02, kLng);
  EXPECT_EQ(At(pa.x() - 3, pa.y() - 9), qRgb(255, 255, 255));
  EXPECT_EQ(At(ph.x() - 3, ph.y() - 9), Rgb(0x00FF0000));
  EXPECT_FALSE(Registry->InDraw());
}

class TClickable : public TWyShapeMarker {
 public:
  using TWyShapeMarker::TWyShapeMarker;
  bool HandleClick(int32_t, int32_t) override {
    ++Clicks;
    return true;
  }
  int Clicks = 0;
};

TEST_F(ShapesGroupTest, HandledClickAsksOnlyAnAssignedClickableShape) {
  auto owned = std::make_unique<TClickable>(Default()->Markers());
  TClickable* shape = owned.get();
  Default()->Markers()->AddItem(std::move(owned));
  EXPECT_FALSE(Registry->HandledClick(nullptr, 1, 1));
  EXPECT_TRUE(Registry->HandledClick(shape, 1, 1));
  shape->SetClickable(false);
  EXPECT_FALSE(Registry->HandledClick(shape, 1, 1));
  shape->SetClickable(true);
  Default()->SetClickable(false);
  EXPECT_FALSE(Registry->HandledClick(shape, 1, 1));
  EXPECT_EQ(shape->Clicks, 1);
}

// Handlers that free shapes while the registry is working (drawing,
// moving) leave it consistent; run under ASan this shows no use of freed
// memory.
TEST_F(ShapesGroupTest, HandlersMayFreeTheirOwnShapeAndOthers) {
  TWyShapeMarker* self = AddMarker(kLat, kLng);
  TWyShapeMarker* other = AddMarker(kLat + 0.01, kLng);
  other->SetDraggable(true);  // drawn after `self`
  TWyShapeMarker* survivor = AddMarker(kLat - 0.01, kLng);
  survivor->SetZIndex(5);
  int survivorDraws = 0;
  survivor->OnAfterDraw = [&](TWyCanvas&, TRect&, TWyShape*) { ++survivorDraws; };
  Registry->SetShapeHover(self);
  self->OnAfterDraw = [&](TWyCanvas&, TRect&, TWyShape* item) {
    other->Remove();
    item->Remove();
  };
  Paint();
  EXPECT_EQ(survivorDraws, 1);
  EXPECT_EQ(Default()->Markers()->Count(), 1);
  EXPECT_EQ(Registry->ShapeHover(), nullptr);
  const std::vector<TWyShape*> expected = {survivor};
  EXPECT_EQ(Default()->DrawList(), expected);

  // The move handler frees the moving shape.
  Default()->OnMove = [](TObject*, TWyShape* item, bool&) { item->Remove(); };
  survivor->SetPosition(48.9, 2.4);
  EXPECT_EQ(Default()->Markers()->Count(), 0);
  Paint();
}

TEST_F(ShapesGroupTest, WithoutParentNothingIsRebuiltOrRepainted) {
  TWyShapeMarker* m = AddMarker();
  Registry->SetParent(nullptr);
  const uint32_t rebuilds = Default()->RebuildCount();
  const int repaints = Host.Repaints;
  m->SetColor(0x00123456);
  m->SetPosition(48.9, 2.4);
  AddMarker();
  Registry->RequestRepaint();
  EXPECT_EQ(Default()->RebuildCount(), rebuilds);
  EXPECT_EQ(Host.Repaints, repaints);
}

// Two maps share the process's graphic pool. The one without a parent
// window must not stop it when an icon arrives, and leaving it must keep it
// running for the other.
TEST(SharedGraphicPoolTest, MapWithoutParentLeavesTheSharedPoolToTheOthers) {
  TWyWorldInfo world;
  SetViewport(world, kLat, kLng, kZoom, kWidth, kHeight);
  TWyCanvas canvas;
  TCountingHost host;
  const int usersBefore = GraphicPoolUserCount();
  auto orphan = std::make_unique<TWyShapesGroup>(&canvas, nullptr, &world);
  auto shown = std::make_unique<TWyShapesGroup>(&canvas, &host, &world);
  TThreadGraphicPool* pool = shown->GraphicPool();
  ASSERT_EQ(orphan->GraphicPool(), pool);

  const std::string url = DataUrl(SolidIcon(qRgb(0, 128, 0), 8));
  const int repaints = host.Repaints;
  orphan->PreLoadGraphic(url);
  ASSERT_TRUE(test_support::PumpUntil([&] { return host.Repaints > repaints; }, 10000));
  EXPECT_FALSE(pool->Terminated());
  EXPECT_FALSE(shown->GetGraphic(url).isNull());

  orphan.reset();
  EXPECT_EQ(SharedGraphicPool(), pool);
  EXPECT_EQ(GraphicPoolUserCount(), usersBefore + 1);
  EXPECT_FALSE(pool->Terminated());
  const std::string second = DataUrl(SolidIcon(qRgb(0, 0, 128), 8));
  shown->PreLoadGraphic(second);
  EXPECT_TRUE(test_support::PumpUntil([&] { return !shown->GetGraphic(second).isNull(); }, 10000));
  shown.reset();
}

}  // namespace
}  // namespace shapes_test
}  // namespace wy

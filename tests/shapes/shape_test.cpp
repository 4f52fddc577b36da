// The shape base: defaults, colours, visibility, moves, names, hit tests,
// the built-in pin, the hint, items and the lazy geo look-ups.

#include "shapes/shape.h"

#include <gtest/gtest.h>

#include "shapes/animation.h"
#include "shapes/shape_list.h"
#include "shapes_fixture.h"

namespace wy {
namespace shapes_test {
namespace {

class ShapeTest : public TShapesTest {};

TEST_F(ShapeTest, NewShapeHasTheDocumentedDefaults) {
  TWyShapeMarker* m = AddMarker();
  EXPECT_EQ(m->Color(), 0x004848FFu);
  EXPECT_EQ(m->HoverColor(), 0x0044CA55u);
  EXPECT_EQ(m->BorderColor(), 0x002828DFu);
  EXPECT_EQ(m->HoverBorder(), 0x0024AA35u);
  EXPECT_EQ(m->Opacity(), 100);
  EXPECT_EQ(m->Altitude(), -9999);  // no geo services attached
  EXPECT_TRUE(m->Visible());
  EXPECT_TRUE(m->Clickable());
  EXPECT_FALSE(m->Draggable());
}

TEST_F(ShapeTest, BorderColoursAreDarkerByThirtyTwoAndFloorAtZero) {
  struct Row {
    TColor color;
    TColor border;
  };
  const TColor light = ColorToRGB(cl3DLight);
  const Row rows[] = {
      {0x00102030, 0x00000010},
      {0x004848FF, 0x002828DF},
      {0x00000000, 0x00000000},
      // A system colour is resolved to its RGB first.
      {cl3DLight, DarkerColor(light, 32)},
  };
  TWyShapeMarker* m = AddMarker();
  for (const Row& row : rows) {
    m->SetColor(row.color);
    m->SetHoverColor(row.color);
    EXPECT_EQ(m->BorderColor(), row.border) << std::hex << row.color;
    EXPECT_EQ(m->HoverBorder(), row.border) << std::hex << row.color;
  }
  EXPECT_EQ(DarkerColor(light, 32), 0x00C3C3C3u);
}

TEST_F(ShapeTest, GroupZoomLimitsAreInclusiveAndZeroMeansNone) {
  struct Row {
    uint8_t minZoom, maxZoom, zoom;
    bool visible;
  };
  const Row rows[] = {{10, 0, 9, false},  {10, 0, 10, true}, {2, 18, 1, false}, {2, 18, 18, true},
                      {2, 18, 19, false}, {0, 0, 0, true},   {0, 0, 23, true}};
  TWyShapeMarker* m = AddMarker();
  for (const Row& row : rows) {
    Default()->SetMinZoom(row.minZoom);
    Default()->SetMaxZoom(row.maxZoom);
    World.SetZoom(row.zoom);
    EXPECT_EQ(m->Visible(), row.visible)
        << int(row.minZoom) << ".." << int(row.maxZoom) << " at " << int(row.zoom);
  }
  // The shape's own flag was never touched.
  Default()->SetMinZoom(0);
  Default()->SetMaxZoom(0);
  EXPECT_TRUE(m->Visible());
}

TEST_F(ShapeTest, SetPositionRaisesTheMoveEventOnlyWhenItShouldAndRepaintsUnlessCancelled) {
  enum Kind { kPlain, kCancel, kZeroLat, kZeroLng, kDragged, kInUpdate };
  struct Row {
    Kind kind;
    bool moveEvent;
    bool moved;
    bool repaint;
  };
  const Row rows[] = {
      {kPlain, true, true, true},    {kCancel, true, false, false}, {kZeroLat, false, true, true},
      {kZeroLng, false, true, true}, {kDragged, false, true, true}, {kInUpdate, false, true, false},
  };
  for (const Row& row : rows) {
    TWyShapeMarker* m = AddMarker();
    int events = 0;
    TObject* sender = nullptr;
    Default()->OnMove = [&](TObject* s, TWyShape* item, bool& cancel) {
      ++events;
      sender = s;
      EXPECT_EQ(item, m);
      cancel = row.kind == kCancel;
    };
    if (row.kind == kDragged) Registry->SetShapeDrag(m);
    if (row.kind == kInUpdate) Default()->BeginUpdate();
    const double lat = row.kind == kZeroLat ? 0 : 48.9;
    const double lng = row.kind == kZeroLng ? 0 : 2.4;
    const int before = Host.Repaints;
    m->SetPosition(lat, lng);
    EXPECT_EQ(events, row.moveEvent ? 1 : 0) << row.kind;
    if (row.moveEvent) {
      EXPECT_EQ(sender, Default()) << row.kind;
    }
    EXPECT_EQ(m->Latitude(), row.moved ? lat : kLat) << row.kind;
    EXPECT_EQ(m->Longitude(), row.moved ? lng : kLng) << row.kind;
    EXPECT_EQ(Host.Repaints - before, row.repaint ? 1 : 0) << row.kind;
    if (row.kind == kInUpdate) Default()->EndUpdate();
    Registry->SetShapeDrag(nullptr);
    Default()->OnMove = nullptr;
    m->Remove();
  }
}

TEST_F(ShapeTest, HidingOrShowingAShapeOnTheMapAsksForARepaint) {
  // Hiding a marker that is on the map must paint it away; hiding one that
  // is already hidden or outside the view needs nothing.
  TWyShapeMarker* onMap = AddMarker();
  TWyShapeMarker* away = AddMarker(kLat + 40, kLng);
  struct Row {
    TWyShapeMarker* shape;
    bool visible;
    bool repaint;
  } rows[] = {
      {onMap, false, true}, {onMap, false, false}, {onMap, true, true}, {away, false, false}};
  for (const Row& row : rows) {
    const int before = Host.Repaints;
    row.shape->SetVisible(row.visible);
    EXPECT_EQ(Host.Repaints > before, row.repaint) << (row.shape == onMap) << row.visible;
  }
}

TEST_F(ShapeTest, NamesAreUniquePerListWithoutRegardToCase) {
  TWyShapeMarker* a = AddMarker();
  TWyShapeMarker* b = AddMarker();
  a->SetName("ABC");
  b->SetName("abc");
  EXPECT_EQ(b->Name(), "");
  EXPECT_EQ(Default()->Markers()->ShapeByName("aBc"), a);
  // Renaming frees the old name.
  a->SetName("other");
  b->SetName("abc");
  EXPECT_EQ(b->Name(), "abc");
  EXPECT_EQ(Default()->Markers()->ShapeByName("ABC"), b);
  EXPECT_EQ(Default()->Markers()->ShapeByName("other"), a);
}

TEST_F(ShapeTest, HoverBoxIncludesEveryEdgeAndAlwaysRecordsThePointer) {
  TWyShapeMarker* m = AddMarker();
  m->SetLeft(100);
  m->SetTop(50);
  // 32 x 32 box.
  struct Row {
    int x, y;
    bool hover;
  };
  const Row rows[] = {{100, 50, true},  {132, 82, true}, {132, 50, true},  {100, 82, true},
                      {133, 60, false}, {99, 60, false}, {110, 83, false}, {110, 49, false}};
  for (const Row& row : rows) {
    EXPECT_EQ(m->IsHover(row.x, row.y), row.hover) << row.x << "," << row.y;
    EXPECT_EQ(m->XHover(), row.x - 100);
    EXPECT_EQ(m->YHover(), row.y - 50);
  }
}

TEST_F(ShapeTest, IsHitNotifiesOnlyWhenTheResultFlips) {
  TWyShapeMarker* m = AddMarker();
  m->SetLeft(10);
  m->SetTop(10);
  const uint32_t start = Default()->RebuildCount();
  EXPECT_TRUE(m->isHit(20, 20));
  EXPECT_EQ(Default()->RebuildCount(), start + 1);
  EXPECT_TRUE(m->isHit(21, 21));
  EXPECT_EQ(Default()->RebuildCount(), start + 1);
  EXPECT_FALSE(m->isHit(200, 200));
  EXPECT_EQ(Default()->RebuildCount(), start + 2);
}

TEST_F(ShapeTest, PinIsATwelvePixelBallStandingOnThePoint) {
  TWyShapeMarker* m = AddMarker();
  m->SetColor(0x000000FF);       // red
  m->SetHoverColor(0x00FF0000);  // blue
  Paint();
  const QPoint p = Pixel(kLat, kLng);
  EXPECT_EQ(m->Width(), 12);
  EXPECT_EQ(m->Height(), 12);
  EXPECT_EQ(m->XAnchor(), 6);
  EXPECT_EQ(m->YAnchor(), 12);
  EXPECT_EQ(m->Left(), p.x() - 6);
  EXPECT_EQ(m->Top(), p.y() - 12);
  const int l = m->Left(), t = m->Top();
  EXPECT_EQ(At(l + 3, t + 3), Rgb(0x000000FF));
  // The dark disc shows below and right of the ball.
  EXPECT_EQ(At(l + 10, t + 6), Rgb(0x616161));
  // Nothing outside the 12 x 12 box.
  for (int y = t - 4; y < t + 16; ++y)
    for (int x = l - 4; x < l + 16; ++x)
      if (x < l || x >= l + 12 || y < t || y >= t + 12) {
        ASSERT_EQ(At(x, y), qRgb(255, 255, 255)) << x - l << "," << y - t;
      }

  Registry->SetShapeHover(m);
  Paint();
  EXPECT_EQ(At(l + 3, t + 3), Rgb(0x00FF0000));
}

TEST_F(ShapeTest, AssigningTheCurrentAnimationAgainKeepsIt) {
  TWyShapeMarker* m = AddMarker();
  auto blink = std::make_unique<TWyAnimationShapeColor>(4);
  TWyAnimationShape* raw = blink.get();
  const std::weak_ptr<char> life = raw->LifeToken();
  m->SetAnimation(std::move(blink));
  m->SetAnimation(std::unique_ptr<TWyAnimationShape>(raw));
  EXPECT_EQ(m->Animation(), raw);
  EXPECT_FALSE(life.expired());
  EXPECT_EQ(raw->Shape(), m);
  EXPECT_EQ(Default()->AnimationList().size(), 1u);

  // A different one replaces and frees it; none leaves the animation list.
  m->SetAnimation(std::make_unique<TWyAnimationShapeColor>(2));
  EXPECT_TRUE(life.expired());
  EXPECT_EQ(Default()->AnimationList().size(), 1u);
  m->SetAnimation(nullptr);
  EXPECT_TRUE(Default()->AnimationList().empty());
}

class TTracked : public TObject {
 public:
  explicit TTracked(int& freed) : FFreed(freed) {}
  ~TTracked() override { ++FFreed; }

 private:
  int& FFreed;
};

TEST_F(ShapeTest, OwnedItemsAreFreedWhenReplacedAndWithTheShape) {
  int freed = 0;
  TWyShapeMarker* m = AddMarker();
  m->SetOwnItem(true);
  auto* first = new TTracked(freed);
  m->SetItem(first);
  m->SetItem(first);  // the same item: kept
  EXPECT_EQ(freed, 0);
  m->SetItem(new TTracked(freed));
  EXPECT_EQ(freed, 1);
  m->Remove();
  EXPECT_EQ(freed, 2);

  // Not owned: never freed.
  TTracked kept(freed);
  TWyShapeMarker* n = AddMarker();
  n->SetItem(&kept);
  n->Remove();
  EXPECT_EQ(freed, 2);
}

TEST_F(ShapeTest, AddressAndAltitudeAreLookedUpLazilyAndRetriedAfterFailure) {
  Registry->SetGeoLocalise(&Geo);
  TWyShapeMarker* m = AddMarker();
  Geo.Succeed = false;
  EXPECT_EQ(m->Altitude(), -9999);
  EXPECT_EQ(m->Address(), "");
  Geo.Succeed = true;
  Geo.Altitude = 35;
  Geo.Address = "1 Rue de Rivoli";
  EXPECT_EQ(m->Altitude(), 35);
  EXPECT_EQ(m->Address(), "1 Rue de Rivoli");
  EXPECT_EQ(m->Altitude(), 35);
  EXPECT_EQ(m->Address(), "1 Rue de Rivoli");
  EXPECT_EQ(Geo.ElevationCalls, 2);
  EXPECT_EQ(Geo.AddressCalls, 2);
}

TEST_F(ShapeTest, ShowHintPlacesTheHintWindowAboveTheShapeForTwoSeconds) {
  TWyShapeMarker* m = AddMarker(48.86, 2.36);
  m->SetHint("Louvre");
  m->ShowHint();
  TWyShapeInfoWindow* hint = Registry->HintWindow();
  ASSERT_NE(hint, nullptr);
  EXPECT_EQ(hint->Latitude(), 48.86);
  EXPECT_EQ(hint->Longitude(), 2.36);
  EXPECT_EQ(hint->Content(), "Louvre");
  EXPECT_EQ(hint->YAnchor(), -(32 + 10));
  EXPECT_TRUE(hint->Visible());
  auto* hide = dynamic_cast<TWyAnimationAutoHide*>(hint->Animation());
  ASSERT_NE(hide, nullptr);
  EXPECT_EQ(hide->MaxTiming(), 2000u);
  m->HideHint();
  EXPECT_FALSE(hint->Visible());
}

}  // namespace
}  // namespace shapes_test
}  // namespace wy

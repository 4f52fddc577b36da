// Markers: the pin, registry icons, graphics loading through the pool with
// the waiting bar, the box and anchors.

#include "shapes/shape_marker.h"

#include <gtest/gtest.h>

#include "shapes/animation.h"
#include "shapes_fixture.h"

namespace wy {
namespace shapes_test {
namespace {

class MarkerTest : public TShapesTest {};

const QRgb kWhite = qRgb(255, 255, 255);

TEST_F(MarkerTest, RegistryIconsAreDrawnForValidIndexesAndThePinOtherwise) {
  const QRgb colors[5] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 0),
                          qRgb(0, 255, 255)};
  std::vector<QImage> icons;
  for (QRgb c : colors) icons.push_back(SolidIcon(c));
  Registry->SetIcons(icons);
  struct Row {
    int icon;
    bool pin;
  };
  for (const Row& row : {Row{4, false}, Row{0, false}, Row{5, true}, Row{-1, true}}) {
    TWyShapeMarker* m = AddMarker();
    m->SetColor(0x00FF00FF);
    m->SetIcon(row.icon);
    Paint();
    const QPoint p = Pixel(kLat, kLng);
    if (row.pin) {
      EXPECT_EQ(m->Width(), 12) << row.icon;
      EXPECT_EQ(At(p.x() - 3, p.y() - 9), Rgb(0x00FF00FF)) << row.icon;
    } else {
      EXPECT_EQ(m->Left(), p.x() - 16);
      EXPECT_EQ(m->Top(), p.y() - 32);
      EXPECT_EQ(At(p.x() - 16, p.y() - 32), colors[row.icon]) << row.icon;
      EXPECT_EQ(At(p.x() + 15, p.y() - 1), colors[row.icon]) << row.icon;
      EXPECT_EQ(At(p.x() + 16, p.y()), kWhite) << row.icon;
    }
    m->Remove();
  }
}

TEST_F(MarkerTest, IconArrivesInThreePaintsWithTheWaitingBarMeanwhile) {
  const QRgb green = qRgb(0, 160, 0);
  const std::string url = DataUrl(SolidIcon(green));
  TWyShapeMarker* m = AddMarker();
  int appDraws = 0;
  m->OnAfterDraw = [&](TWyCanvas&, TRect&, TWyShape*) { ++appDraws; };
  m->SetFilename(url);
  ASSERT_EQ(Pool->Queue(), std::vector<std::string>{url});
  auto* wait = dynamic_cast<TWyAnimationGraphicWait*>(m->Animation());
  ASSERT_NE(wait, nullptr);
  const std::weak_ptr<char> waitLife = wait->LifeToken();

  // Paint 1: only the bar (the application's hook was replaced).
  Paint();
  const QPoint p = Pixel(kLat, kLng);
  const int l = p.x() - 16, t = p.y() - 32;
  EXPECT_EQ(appDraws, 0);
  EXPECT_EQ(At(l + 1, t + 2), kWhite);    // no pin, no graphic
  EXPECT_NE(At(l + 20, t + 16), kWhite);  // the bar
  EXPECT_EQ(At(l + 20, t + 25), kWhite);

  // The pool delivers and tells the map.
  const int before = Host.Repaints;
  Deliver();
  EXPECT_EQ(Host.Repaints, before + 1);

  // Paint 2: the bar goes, one more repaint, still nothing drawn.
  Paint();
  EXPECT_TRUE(waitLife.expired());
  EXPECT_EQ(m->Animation(), nullptr);
  EXPECT_FALSE(static_cast<bool>(m->OnAfterDraw));
  EXPECT_EQ(Host.Repaints, before + 2);
  EXPECT_EQ(At(l + 20, t + 16), kWhite);

  // Paint 3: the graphic.
  Paint();
  EXPECT_EQ(At(l + 1, t + 2), green);
  EXPECT_EQ(At(l + 31, t + 31), green);
  EXPECT_EQ(m->Width(), 32);
}

TEST_F(MarkerTest, WithoutWaitAnimationOnlyTheApplicationHookIsDrawnWhileLoading) {
  TWyShapeMarker* m = AddMarker();
  m->SetWaitAnimation(false);
  int appDraws = 0;
  m->OnAfterDraw = [&](TWyCanvas&, TRect&, TWyShape*) { ++appDraws; };
  m->SetFilename(DataUrl(SolidIcon(qRgb(1, 2, 3))));
  Paint();
  EXPECT_EQ(m->Animation(), nullptr);
  EXPECT_EQ(appDraws, 1);
  const QImage& image = Canvas.Bitmap();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ASSERT_EQ(image.pixel(x, y), kWhite) << x << "," << y;
}

TEST_F(MarkerTest, SetFilenameAsksThePoolOnlyWhenItMust) {
  const std::string url = DataUrl(SolidIcon(qRgb(9, 9, 9)));
  TWyShapeMarker* m = AddMarker();
  m->SetFilename(url);
  Deliver();
  m->SetFilename(url);  // arrives: the bar goes, one repaint
  ASSERT_FALSE(m->Graphic().isNull());
  const int repaints = Host.Repaints;

  // Shown already: nothing happens.
  m->SetFilename(url);
  EXPECT_EQ(Host.Repaints, repaints);

  // Waiting: the pool is asked again.
  const std::string other = DataUrl(SolidIcon(qRgb(7, 7, 7)));
  m->SetFilename(other);
  Pool->Clear();
  m->SetFilename(other);
  EXPECT_EQ(Pool->Queue(), std::vector<std::string>{other});
  EXPECT_NE(dynamic_cast<TWyAnimationGraphicWait*>(m->Animation()), nullptr);

  // Empty: back to the pin, without the waiting bar.
  m->SetFilename("");
  EXPECT_EQ(m->Animation(), nullptr);
  EXPECT_FALSE(static_cast<bool>(m->OnAfterDraw));
  Paint();
  EXPECT_EQ(m->Width(), 12);
}

TEST_F(MarkerTest, LargeGraphicIsDrawnWholeWhileTheBoxStaysThirtyTwo) {
  const QRgb blue = qRgb(0, 0, 200);
  TWyShapeMarker* m = AddMarker();
  m->SetGraphic(SolidIcon(blue, 64));
  Paint();
  const QPoint p = Pixel(kLat, kLng);
  EXPECT_EQ(At(m->Left() + 63, m->Top() + 63), blue);
  EXPECT_EQ(At(m->Left() + 64, m->Top() + 10), kWhite);
  EXPECT_EQ(m->Width(), 32);
  EXPECT_EQ(m->Height(), 32);
  EXPECT_TRUE(m->IsHover(p.x() + 16, p.y()));
  EXPECT_FALSE(m->IsHover(p.x() + 17, p.y()));
}

TEST_F(MarkerTest, GraphicAfterThePinUsesTheMarkersOwnAnchors) {
  TWyShapeMarker* m = AddMarker();
  Paint();  // the pin: 12 x 12 at (6, 12)
  ASSERT_EQ(m->XAnchor(), 6);
  const QRgb red = qRgb(200, 0, 0);
  const std::string url = DataUrl(SolidIcon(red));
  Registry->PreLoadGraphic(url);
  Deliver();
  m->SetFilename(url);
  Paint();
  const QPoint p = Pixel(kLat, kLng);
  EXPECT_EQ(m->XAnchor(), 16);
  EXPECT_EQ(m->YAnchor(), 32);
  EXPECT_EQ(m->Left(), p.x() - 16);
  EXPECT_EQ(m->Top(), p.y() - 32);
  EXPECT_EQ(At(p.x() - 16, p.y() - 32), red);

  // Anchors the application set while the pin showed are kept.
  TWyShapeMarker* n = AddMarker(kLat + 0.05, kLng);
  Paint();
  n->SetXAnchor(16);
  n->SetYAnchor(16);
  n->SetFilename(url);
  Paint();
  EXPECT_EQ(n->YAnchor(), 16);
}

TEST_F(MarkerTest, IndexOfFilenameIgnoresLetterCase) {
  TWyShapeMarkerList* list = Default()->Markers();
  AddMarker()->SetFilename("http://example.invalid/a.png");
  AddMarker()->SetFilename("http://example.invalid/B.png");
  EXPECT_EQ(list->IndexOfFilename("HTTP://EXAMPLE.INVALID/b.PNG"), 1);
  EXPECT_EQ(list->IndexOfFilename("http://example.invalid/c.png"), -1);
}

TEST_F(MarkerTest, ClearingWhileIconsAreStillLoadingIsSafe) {
  for (int i = 0; i < 20; ++i) {
    TWyShapeMarker* m = AddMarker(kLat + i * 0.001, kLng, i % 2 ? "a" : "b");
    m->SetFilename(DataUrl(SolidIcon(qRgb(i, 0, 0), 4)));
  }
  Paint();
  EXPECT_EQ(Registry->AnimationShapesCount(), 20);
  Registry->getShapes("a")->Clear();
  Registry->getShapes("b")->Markers()->Clear();
  EXPECT_EQ(Registry->AnimationShapesCount(), 0);
  Deliver();
  Registry->AnimationShapes();
  Paint();
}

}  // namespace
}  // namespace shapes_test
}  // namespace wy

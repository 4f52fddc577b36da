// Animations stepped by the registry with an injected clock.

#include "shapes/animation.h"

#include <gtest/gtest.h>

#include <thread>

#include "geo/global_lock.h"
#include "platform/tick.h"
#include "shapes_fixture.h"

namespace wy {
namespace shapes_test {
namespace {

class AnimationTest : public TShapesTest {
 protected:
  // The clock starts well above any Timing, or the first tick could not step.
  uint32_t Now = 100000;
  TScopedTickSource Clock{[this] { return Now; }};

  // Advances the clock by `ms` and runs one tick of the map's timer.
  void Tick(uint32_t ms = 200) {
    Now += ms;
    Registry->AnimationShapes();
  }
};

TEST_F(AnimationTest, TwentyColourStepsBlinkTwentyTimesThenEndOnce) {
  TWyShapeMarker* m = AddMarker();
  const TColor color = m->Color(), hover = m->HoverColor();
  auto blink = std::make_unique<TWyAnimationShapeColor>(20);
  blink->SetTiming(250);
  int steps = 0, ends = 0;
  std::vector<TColor> seen;
  blink->OnAnimation = [&](TObject* sender) {
    EXPECT_EQ(sender, m);
    ++steps;
    seen.push_back(m->Color());
  };
  blink->OnEndAnimation = [&](TObject*) { ++ends; };
  const std::weak_ptr<char> life = blink->LifeToken();
  m->SetAnimation(std::move(blink));
  for (int i = 0; i < 60; ++i) Tick();
  EXPECT_EQ(steps, 20);
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(life.expired());
  EXPECT_EQ(m->Animation(), nullptr);
  EXPECT_EQ(m->Color(), color);
  EXPECT_EQ(m->HoverColor(), hover);
  ASSERT_EQ(seen.size(), 20u);
  EXPECT_EQ(seen[0], hover);
  EXPECT_EQ(seen[1], color);
}

TEST_F(AnimationTest, StepsComeAfterMoreThanTimingAndSurviveTheTickWrap) {
  for (uint32_t start : {100000u, 0xFFFFFF00u}) {
    Now = start;
    TWyShapeMarker* m = AddMarker();
    auto anim = std::make_unique<TWyAnimationShapeColor>(0);
    anim->SetTiming(250);
    std::vector<int> stepTicks;
    int tick = 0;
    anim->OnAnimation = [&](TObject*) { stepTicks.push_back(tick); };
    m->SetAnimation(std::move(anim));
    for (tick = 0; tick < 7; ++tick) Tick();
    // The first tick steps; then every second 200 ms tick (400 > 250).
    EXPECT_EQ(stepTicks, (std::vector<int>{0, 2, 4, 6})) << std::hex << start;
    m->Remove();
  }
}

TEST_F(AnimationTest, HintHidesAtTheFirstTickAfterTwoSeconds) {
  TWyShapeMarker* m = AddMarker();
  m->SetHint("hint");
  m->ShowHint();
  TWyShapeInfoWindow* hint = Registry->HintWindow();
  ASSERT_TRUE(hint->Visible());
  for (int i = 0; i < 10; ++i) Tick();  // up to exactly 2000 ms: not more than MaxTiming
  EXPECT_TRUE(hint->Visible());
  Tick();
  EXPECT_FALSE(hint->Visible());
  EXPECT_EQ(hint->Animation(), nullptr);
}

TEST_F(AnimationTest, WaitingBarWalksForthAndBackAndNeverEnds) {
  TWyShapeMarker* m = AddMarker();
  m->SetFilename("http://example.invalid/never.png");  // never delivered
  auto* wait = dynamic_cast<TWyAnimationGraphicWait*>(m->Animation());
  ASSERT_NE(wait, nullptr);
  std::vector<int> steps;
  for (int i = 0; i < 14; ++i) {
    Tick(251);
    steps.push_back(wait->Step());
  }
  EXPECT_EQ(steps, (std::vector<int>{1, 2, 3, 4, 5, 6, 5, 4, 3, 2, 1, 0, 1, 2}));
  EXPECT_EQ(m->Animation(), wait);

  // Step 2: the block covers x = L+8 .. L+16 over the bar, rows T+11 .. T+22.
  Paint();
  const QPoint p = Pixel(kLat, kLng);
  const int l = p.x() - 16, t = p.y() - 32;
  const QRgb block = At(l + 12, t + 16);
  const QRgb bar = At(l + 24, t + 16);
  EXPECT_NE(block, bar);
  EXPECT_NE(bar, qRgb(255, 255, 255));
  EXPECT_EQ(At(l + 4, t + 16), bar);
  EXPECT_EQ(At(l + 12, t + 9), qRgb(255, 255, 255));
  EXPECT_EQ(At(l + 12, t + 24), qRgb(255, 255, 255));
  // Blue-ish block (0x00FF9F40 at half opacity over the grey bar).
  EXPECT_GT(qBlue(block), qRed(block));
}

TEST_F(AnimationTest, HiddenGroupPausesAndNothingAnimatedMeansNoWork) {
  TWyShapeMarker* m = AddMarker(kLat, kLng, "blink");
  TWyShapes* group = Registry->getShapes("blink");
  int steps = 0;
  auto anim = std::make_unique<TWyAnimationShapeColor>(0);
  anim->OnAnimation = [&](TObject*) { ++steps; };
  m->SetAnimation(std::move(anim));
  Tick();
  ASSERT_EQ(steps, 1);
  group->SetVisible(false);
  EXPECT_EQ(Registry->AnimationShapesCount(), 0);
  const uint32_t rebuilds = Default()->RebuildCount();
  const int repaints = Host.Repaints;
  Tick();
  Tick();
  EXPECT_EQ(steps, 1);
  // No update bracket, no repaint.
  EXPECT_EQ(Default()->RebuildCount(), rebuilds);
  EXPECT_EQ(Host.Repaints, repaints);
  group->SetVisible(true);
  Tick();
  EXPECT_EQ(steps, 2);
}

TEST_F(AnimationTest, EndHandlerMayStartANewAnimation) {
  TWyShapeMarker* m = AddMarker();
  int rounds = 0;
  std::function<void(TObject*)> again = [&](TObject*) {
    if (++rounds > 2) return;
    auto next = std::make_unique<TWyAnimationShapeColor>(2);
    next->OnEndAnimation = again;
    m->SetAnimation(std::move(next));
  };
  auto first = std::make_unique<TWyAnimationShapeColor>(2);
  first->OnEndAnimation = again;
  m->SetAnimation(std::move(first));
  Tick();
  Tick();  // ends; the handler starts round 2, which must survive
  ASSERT_EQ(rounds, 1);
  ASSERT_NE(m->Animation(), nullptr);
  Tick();
  Tick();
  Tick();
  Tick();
  EXPECT_EQ(rounds, 3);
  EXPECT_EQ(m->Animation(), nullptr);
}

TEST_F(AnimationTest, HandlersRunWithoutTheGlobalLockAndMayFreeTheirShape) {
  TWyShapeMarker* a = AddMarker(kLat, kLng);
  TWyShapeMarker* b = AddMarker(kLat + 0.01, kLng);
  TWyShapeMarker* c = AddMarker(kLat + 0.02, kLng);
  bool lockFree = false;
  auto onA = std::make_unique<TWyAnimationShapeColor>(0);
  onA->OnAnimation = [&](TObject*) {
    // Another thread can take the lock while the handler runs.
    std::thread probe([&] {
      if (GlobalMapLock().try_lock()) {
        lockFree = true;
        GlobalMapLock().unlock();
      }
    });
    probe.join();
  };
  a->SetAnimation(std::move(onA));
  auto onB = std::make_unique<TWyAnimationShapeColor>(0);
  onB->OnAnimation = [](TObject* sender) { static_cast<TWyShape*>(sender)->Remove(); };
  b->SetAnimation(std::move(onB));
  auto onC = std::make_unique<TWyAnimationShapeColor>(1);
  onC->OnEndAnimation = [](TObject* sender) { static_cast<TWyShape*>(sender)->Remove(); };
  c->SetAnimation(std::move(onC));
  Tick();
  EXPECT_TRUE(lockFree);
  EXPECT_EQ(Default()->Markers()->Count(), 1);
  EXPECT_EQ(Registry->AnimationShapesCount(), 1);
  Tick();
  Paint();
}

}  // namespace
}  // namespace shapes_test
}  // namespace wy

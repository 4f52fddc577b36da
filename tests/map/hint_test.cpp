// The tooltip's timing with an injected tick: shown only after more than a
// second of waiting, hidden more than two seconds after it appeared, placed
// with its bottom-left corner on the anchor and never wider than 200 px.

#include <gtest/gtest.h>

#include <QLabel>

#include "map/hint.h"
#include "platform/tick.h"

namespace wy {
namespace {

TEST(HintTest, ShowsAfterTheWaitAndHidesAfterItsTime) {
  uint32_t now = 5000;
  TScopedTickSource tick([&] { return now; });
  TWyHint hint;
  hint.SetPosition(QPoint(300, 400));
  hint.SetHint("Paris");

  struct Step {
    uint32_t at;
    bool shown;
  };
  // Set at 5000: shown after more than 1000 ms (at 6001), hidden after
  // more than 2000 ms of showing (at 8002); nothing is pending afterwards.
  const Step steps[] = {{5500, false}, {6000, false}, {6001, true},
                        {8001, true},  {8002, false}, {20000, false}};
  for (const Step& s : steps) {
    now = s.at;
    hint.HideShow();
    EXPECT_EQ(hint.Window() != nullptr, s.shown) << "at " << s.at;
  }
}

TEST(HintTest, WaitsAcrossTheTickWrap) {
  uint32_t now = 0xFFFFFF00u;
  TScopedTickSource tick([&] { return now; });
  TWyHint hint;
  hint.SetHint("wrap");
  now = 0x100;  // 512 ms later
  hint.HideShow();
  EXPECT_EQ(hint.Window(), nullptr);
  now = 0x300;  // 1024 ms later
  hint.HideShow();
  EXPECT_NE(hint.Window(), nullptr);
}

TEST(HintTest, PlacedBottomLeftOnTheAnchorAndWrappedAt200) {
  TWyHint hint;
  hint.SetPosition(QPoint(120, 500));
  hint.SetHint(
      "A long tooltip text about a place on the map that needs more than one line, "
      "since it is far wider than two hundred pixels at any usual font size");
  hint.Show();
  ASSERT_NE(hint.Window(), nullptr);
  const QRect g = hint.Window()->geometry();
  EXPECT_EQ(g.left(), 120);
  EXPECT_EQ(g.top() + g.height(), 500);
  EXPECT_LE(g.width(), TWyHint::kMaxWidth + 8);

  hint.SetHint("");  // an empty text hides at once
  EXPECT_EQ(hint.Window(), nullptr);
  hint.Show();  // and there is nothing to show
  EXPECT_EQ(hint.Window(), nullptr);
}

}  // namespace
}  // namespace wy

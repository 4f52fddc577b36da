#include "shapes/animation.h"

#include <vector>

#include "platform/tick.h"
#include "shapes/shape.h"

namespace wy {

TWyAnimationShape::TWyAnimationShape(uint32_t value)
    : FMaxAnimation(value), FStartTick(TickCount()), FLife(std::make_shared<char>(0)) {}

TWyAnimationShape::~TWyAnimationShape() = default;

void TWyAnimationShape::DrawAnimation(TWyCanvas&, TRect&, TWyShape*) {}

void TWyAnimationAutoHide::Animate() {
  if (!FShape) return;
  if (TickElapsed(TickCount(), FStartTick) > FMaxTiming) {
    FShape->SetVisible(false);
    FMaxAnimation = 1;
  }
}

void TWyAnimationShapeColor::Animate() {
  if (!FShape) return;
  const TColor color = FShape->Color();
  FShape->SetColor(FShape->HoverColor());
  FShape->SetHoverColor(color);
  FShape->Update();
}

TWyAnimationGraphicWait::TWyAnimationGraphicWait(uint32_t value) : TWyAnimationShape(value) {
  FTiming = 250;
}

void TWyAnimationGraphicWait::Animate() {
  if (FStep >= 6) FDelta = -1;
  if (FStep <= 0) FDelta = 1;
  FStep += FDelta;
  if (FShape) FShape->Update();
}

void TWyAnimationGraphicWait::DrawAnimation(TWyCanvas& canvas, TRect& rect, TWyShape*) {
  const int l = rect.Left;
  const int t = rect.Top;
  const int r = rect.Right;
  canvas.AlphaBlendPolygon({{l, t + 11}, {r, t + 11}, {r, t + 22}, {l, t + 22}, {l, t + 11}},
                           FBackgroundColor, FOpacity);
  const int x = l + 4 * FStep;
  canvas.AlphaBlendPolygon(
      {{x, t + 11}, {x + 8, t + 11}, {x + 8, t + 22}, {x, t + 22}, {x, t + 11}}, FColor, FOpacity);
}

}  // namespace wy

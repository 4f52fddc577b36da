#pragma once
// Shape animations: small state machines that the map's timer advances in
// fixed steps through the registry (TWyShapesGroup::AnimationShapes).
//
// A shape owns at most one animation (TWyShape::SetAnimation). An animation
// steps when more than Timing milliseconds passed since its previous step
// (unsigned tick differences, so the 32-bit wrap is harmless; the first step
// comes at the first tick after Timing ms of process uptime). After each step
// OnAnimation is raised; a counted animation raises OnEndAnimation after its
// last step and is then removed from the shape, unless the handler already
// gave the shape another animation.

#include <cstdint>
#include <memory>

#include "geo/object.h"
#include "geo/text_convert.h"
#include "shapes/shape_types.h"

namespace wy {

class TWyAnimationShape : public TObject {
 public:
  // `value` steps (0 = endless); Timing 100 ms; the start tick is now.
  explicit TWyAnimationShape(uint32_t value = 0);
  ~TWyAnimationShape() override;

  // One step; nothing in the base class.
  virtual void Animate() {}
  // Draws over the shape; same parameters as a shape's OnAfterDraw.
  virtual void DrawAnimation(TWyCanvas& canvas, TRect& rect, TWyShape* item);

  TWyShape* Shape() const { return FShape; }
  void SetShape(TWyShape* v) { FShape = v; }
  uint32_t Timing() const { return FTiming; }
  void SetTiming(uint32_t v) { FTiming = v; }
  uint32_t MaxAnimation() const { return FMaxAnimation; }
  void SetMaxAnimation(uint32_t v) { FMaxAnimation = v; }
  uint32_t StartTick() const { return FStartTick; }
  uint32_t LastTick() const { return FLastTick; }
  void SetLastTick(uint32_t v) { FLastTick = v; }
  // Expires when the animation is freed.
  std::weak_ptr<char> LifeToken() const { return FLife; }

  // Sender: the animated shape.
  TNotifyEvent OnAnimation;
  TNotifyEvent OnEndAnimation;

 protected:
  uint32_t FMaxAnimation = 0;
  uint32_t FStartTick = 0;
  uint32_t FLastTick = 0;
  uint32_t FTiming = 100;
  TWyShape* FShape = nullptr;

 private:
  std::shared_ptr<char> FLife;
};

// Hides its shape at the first step more than MaxTiming ms after it was
// created, and ends there.
class TWyAnimationAutoHide : public TWyAnimationShape {
 public:
  TWyAnimationAutoHide() : TWyAnimationShape(0) {}
  void Animate() override;
  uint32_t MaxTiming() const { return FMaxTiming; }
  void SetMaxTiming(uint32_t v) { FMaxTiming = v; }

 private:
  uint32_t FMaxTiming = 0;
};

// Swaps the shape's colour and hover colour at every step (blinking). An
// even number of steps gives the original colours back.
class TWyAnimationShapeColor : public TWyAnimationShape {
 public:
  explicit TWyAnimationShapeColor(uint32_t value = 0) : TWyAnimationShape(value) {}
  void Animate() override;
};

// The waiting bar over a marker whose graphic is still loading: an 8-pixel
// block that walks 0..6..0 in 4-pixel steps along a translucent bar.
class TWyAnimationGraphicWait : public TWyAnimationShape {
 public:
  explicit TWyAnimationGraphicWait(uint32_t value = 0);
  void Animate() override;
  void DrawAnimation(TWyCanvas& canvas, TRect& rect, TWyShape* item) override;

  int32_t Step() const { return FStep; }
  TColor Color() const { return FColor; }
  void SetColor(TColor v) { FColor = v; }
  TColor BackgroundColor() const { return FBackgroundColor; }
  void SetBackgroundColor(TColor v) { FBackgroundColor = v; }
  uint8_t Opacity() const { return FOpacity; }
  void SetOpacity(uint8_t v) { FOpacity = v; }

 private:
  int32_t FStep = 0;
  int32_t FDelta = 1;
  TColor FColor = 0x00FF9F40;
  TColor FBackgroundColor = 0x00808080;
  uint8_t FOpacity = 50;
};

}  // namespace wy

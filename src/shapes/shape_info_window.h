#pragma once
// TWyShapeInfoWindow: a balloon standing on a point, with a body of text
// and an optional close button. The registry's hint window is one.
//
// For now the body is drawn as plain text (markup tags are skipped) in a
// plain box with a tip; the window's height follows the text. Clicks are
// not handled by the window yet (HandleClick returns false).
//
// Each window owns the auxiliary group "_infowindow_<Id>" (z-index 10, then
// its own z-index + 10), meant for placeholders of content images; hiding
// the window empties it. Identifiers restart per list, so windows with the
// same Id in different groups share that group.

#include <cstdint>
#include <string>

#include "shapes/shape.h"

namespace wy {

enum TInfoWindowStyle : uint8_t { iwsRectangle, iwsRoundRect };

class TWyShapeInfoWindow : public TWyShape {
 public:
  // Layout flags of the content (the text layout's values).
  static constexpr uint32_t ckqAlignRight = 1;
  static constexpr uint32_t ckqAlignCenter = 2;
  static constexpr uint32_t ckqMeasureOnly = 4;

  explicit TWyShapeInfoWindow(TWyShapeList* owner);

  void SetVisible(bool value) override;
  void SetZIndex(int32_t value) override;
  void SetWidth(int32_t value) override;
  void Draw() override;
  bool HandleClick(int32_t x, int32_t y) override;
  // The box test; the window has no active areas yet.
  bool IsHover(int32_t iX, int32_t iY) override;
  bool isHit(int32_t x, int32_t y) override;
  // Visible and the box touches the control.
  bool ShowOnMap() override;
  // The screen box: bottom centre on the anchored point.
  void getBounds() override;

  const std::string& Content() const { return FContent; }
  void SetContent(const std::string& v);
  // Off while a rotated map turns the window.
  bool CloseButton() const;
  void SetCloseButton(bool v);
  TInfoWindowStyle Style() const { return FInfoWindowStyle; }
  void SetStyle(TInfoWindowStyle v);
  uint32_t ContentFlags() const { return FckqFlags; }
  void SetContentFlags(uint32_t v) { FckqFlags = v; }
  bool ContentCenter() const { return FckqFlags == ckqAlignCenter; }
  void SetContentCenter(bool v) { FckqFlags = v ? ckqAlignCenter : 0; }
  TWyShapes* Shapes() const { return FShapes; }

 private:
  uint32_t FckqFlags = 0;
  int32_t FHitHotSPot = -1;
  bool FHitCloseButton = false;
  bool FCloseButton = true;
  std::string FContent;
  TInfoWindowStyle FInfoWindowStyle = iwsRoundRect;
  TWyShapes* FShapes = nullptr;
};

}  // namespace wy

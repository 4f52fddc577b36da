#pragma once
// TWyShapeInfoWindow: a balloon standing on a point, whose body is a short
// mini-HTML text (see graphics/html_text.h) with an optional close button.
// The registry's hint window is one.
//
// Geometry. The window is Width pixels wide; its height follows the content
// at every drawing (the laid-out height + 30, + 20 with a close button), so
// Height as set is only a starting value. Its bottom centre stands on the
// anchored point (Left = X + XAnchor - Width div 2, Top = Y + YAnchor -
// Height) and a tip points 6 pixels below it.
//
// Active areas, in control pixels of the last drawn frame: the close zone
// (the top-right corner, x >= Left + Width - 14 and y <= Top + 14, inside
// the box) and one hot spot per laid-out piece of each link. A click there
// hides the window and raises the registry's OnCloseInfoWindow, or raises
// the registry's OnHotSpot with the link's address exactly as written. The
// window opens nothing itself: content is untrusted, and what a link may
// open is the map's decision.
//
// Images of the content come from the registry's graphic pool, and only
// when their address is http, https or data: (content may come from a file
// or a service answer, so it never names local files to load). While an
// image loads, a placeholder marker stands in the auxiliary group
// "_infowindow_<Id>" (z-index 10, then the window's z-index + 10) and keeps
// the download queued; it goes when the image arrives. Hiding or freeing
// the window empties that group. The window notifies a change only when a
// placeholder comes or goes, so a window whose images are all there asks
// for no repaints of its own.

#include <QImage>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "geo/object.h"
#include "graphics/html_text.h"
#include "shapes/shape.h"

namespace wy {

enum TInfoWindowStyle : uint8_t { iwsRectangle, iwsRoundRect };

// The screen area of one piece of a link, in control pixels; every edge
// belongs to it.
class TwyHotSpot : public TObject {
 public:
  TwyHotSpot() = default;
  TwyHotSpot(int32_t left, int32_t top, int32_t width, int32_t height, std::string url)
      : FLeft(left), FTop(top), FWidth(width), FHeight(height), FUrl(std::move(url)) {}

  bool isHit(int32_t X, int32_t Y) const {
    return FLeft <= X && X <= FLeft + FWidth && FTop <= Y && Y <= FTop + FHeight;
  }

  int32_t Left() const { return FLeft; }
  void SetLeft(int32_t v) { FLeft = v; }
  int32_t Top() const { return FTop; }
  void SetTop(int32_t v) { FTop = v; }
  int32_t width() const { return FWidth; }
  void SetWidth(int32_t v) { FWidth = v; }
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t v) { FHeight = v; }
  const std::string& Url() const { return FUrl; }
  void SetUrl(const std::string& v) { FUrl = v; }

 private:
  int32_t FLeft = 0;
  int32_t FTop = 0;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  std::string FUrl;
};

class TWyShapeInfoWindow : public TWyShape {
 public:
  // The layout flags of the content are the text layout's own.
  static constexpr uint32_t ckqAlignRight = wy::ckqAlignRight;
  static constexpr uint32_t ckqAlignCenter = wy::ckqAlignCenter;
  static constexpr uint32_t ckqMeasureOnly = wy::ckqMeasureOnly;

  explicit TWyShapeInfoWindow(TWyShapeList* owner);
  // Takes the window's placeholders with it (they refer to the window).
  ~TWyShapeInfoWindow() override;

  // Hiding a shown window empties its auxiliary group.
  void SetVisible(bool value) override;
  void SetZIndex(int32_t value) override;
  void SetWidth(int32_t value) override;
  void Draw() override;
  // The record of the shape text format (shape_text_records.cpp).
  std::string GetToTxt() override;
  // Close zone first, then the hot spots from the last to the first.
  bool HandleClick(int32_t x, int32_t y) override;
  // The box test (every edge included), then isHit; returns the box test.
  bool IsHover(int32_t iX, int32_t iY) override;
  // Whether (x, y) is on the close button or a hot spot; a change of the
  // answer is notified (the close button's colour follows the pointer).
  bool isHit(int32_t x, int32_t y) override;
  // Visible and the box touches the control.
  bool ShowOnMap() override;
  // The screen box: bottom centre on the anchored point.
  void getBounds() override;

  // Lays the content out without drawing and sets the height from it.
  void MeasureContent();
  // Image callback of the layout (see the .cpp).
  void DoGetDrawGraphic(const std::string& Filename, const QImage*& gfx, int x, int y, int& l,
                        int& h);
  // Link callback of the layout: records one hot spot.
  void AddHotSpot(int x, int y, int l, int h, const std::string& anchor);
  void ClearHotSpots() { FHotSpots.clear(); }
  // The hot spots of the last drawn frame, in drawing order.
  const std::vector<TwyHotSpot>& HotSpots() const { return FHotSpots; }

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
  // True sets the flags to centred lines; false clears every flag.
  void SetContentCenter(bool v) { FckqFlags = v ? ckqAlignCenter : 0; }
  // The auxiliary group of the placeholders.
  TWyShapes* Shapes() const { return FShapes; }
  // Index of the hot spot under the pointer at the last isHit, -1 for none.
  int32_t HitHotSpot() const { return FHitHotSPot; }
  bool HitCloseButton() const { return FHitCloseButton; }

 protected:
  void FromTxt(const TWyParamParser& parser) override;

 private:
  // Whether an image address may be handed to the graphic pool.
  static bool IsLoadableImage(const std::string& Filename);
  bool InCloseZone(int32_t x, int32_t y) const;
  // The index of the last hot spot containing (x, y), or -1.
  int32_t HotSpotAt(int32_t x, int32_t y) const;
  // Runs the layout with this window's callbacks.
  bool LayoutContent(TRect& rect, uint32_t flags, bool withHotSpots);

  std::vector<TwyHotSpot> FHotSpots;
  uint32_t FckqFlags = 0;
  int32_t FHitHotSPot = -1;
  bool FHitCloseButton = false;
  bool FCloseButton = true;
  std::string FContent;
  TInfoWindowStyle FInfoWindowStyle = iwsRoundRect;
  TWyShapes* FShapes = nullptr;

  // Images handed to the layout during one drawing; the layout keeps
  // pointers to them until it returns.
  std::map<std::string, QImage> FFrameImages;
  // A placeholder came or went during the current layout.
  bool FPlaceholdersChanged = false;
};

}  // namespace wy

#pragma once
// TWyShapeMarker: a picture pinned to a point - a graphic from the shared
// graphic pool (web address, file or data: address), an icon of the
// registry's image list, or the built-in pin.
//
// The marker asks the pool on every paint until its graphic is there and
// shows a waiting bar meanwhile; it never blocks. Loading takes three
// paints: the first queues the address and starts the bar; the next one
// finds the graphic, removes the bar and asks for one more repaint; the one
// after draws the graphic.
//
// The box is 32 x 32 with anchors (16, 32), so it stands with its bottom
// centre on the point; a graphic is drawn whole from the box's top-left
// corner at its own size, while hover and clicks use the box. The pin uses
// a 12 x 12 box with anchors (6, 12) only while it is what the marker
// shows: once the marker shows a graphic or an icon, the box and anchors it
// had before the pin come back (unless the application changed them in the
// meantime), so a graphic never appears shifted by the pin's geometry.

#include <QImage>
#include <cstdint>
#include <string>

#include "shapes/shape.h"

namespace wy {

class TWyShapeMarker : public TWyShape {
 public:
  explicit TWyShapeMarker(TWyShapeList* owner);

  void Draw() override;
  // The record of the shape text format (shape_text_records.cpp).
  std::string GetToTxt() override;
  // A waypoint, a Placemark, a Point Feature (shape_export.cpp).
  void WriteGpx(TGpxWriter& out) override;
  void WriteKml(TKmlWriter& out, int32_t index) override;
  void WriteGeoJson(TGeoJsonWriter& out) override;
  // See the .cpp: the same address with a graphic changes nothing; anything
  // else asks the pool again.
  void SetFilename(const std::string& value);
  const std::string& Filename() const { return FFilename; }
  int32_t Icon() const { return FIcon; }
  void SetIcon(int32_t v) { FIcon = v; }
  int32_t OriginX() const { return FOriginX; }
  void SetOriginX(int32_t v);
  int32_t OriginY() const { return FOriginy; }
  void SetOriginY(int32_t v);
  // The decoded graphic (a shared copy of the pool's image; no pixels are
  // copied). An application may hand one directly.
  const QImage& Graphic() const { return FGraphic; }
  void SetGraphic(const QImage& v) { FGraphic = v; }
  bool WaitAnimation() const { return FWaitAnimation; }
  void SetWaitAnimation(bool v) { FWaitAnimation = v; }

 protected:
  void FromTxt(const TWyParamParser& parser) override;

 private:
  // Takes the pin's box, remembering the box it replaces.
  void EnterPinBox();
  // Gives back the box the pin replaced, if the pin's box is untouched.
  void LeavePinBox();
  // Ends the waiting bar (the hook and the animation).
  void StopWaiting();

  std::string FFilename;
  int32_t FOriginX = 0;
  int32_t FOriginy = 0;
  int32_t FIcon = -1;
  QImage FGraphic;
  bool FWaitAnimation = true;

  bool FPinBox = false;  // the pin's box is in use
  int32_t FSavedW = 32, FSavedH = 32, FSavedXAnchor = 16, FSavedYAnchor = 32;
};

}  // namespace wy

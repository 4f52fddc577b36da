#pragma once
// Types shared by every part of the shapes library: forward declarations,
// the event signatures and the error a shape operation reports with.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "geo/enums.h"
#include "geo/object.h"
#include "graphics/canvas.h"

namespace wy {

class TWyShape;
class TWyShapeList;
class TWyShapes;
class TWyShapesGroup;
class TWyAnimationShape;

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TOnShapeMouseEvent = std::function<void(TObject* Sender, TWyShape* Item)>;
using TOnShapeMove = std::function<void(TObject* Sender, TWyShape* Item, bool& Cancel)>;
using TOnDrawShape = std::function<void(TWyCanvas& Canvas, TRect& Rect, TWyShape* Item)>;
// A link of an info window was clicked.
using TOnHotSpot = std::function<void(TObject* Sender, const std::string& Url)>;
// Reading shapes from text: shape `index` of `max` of the list being read
// (ShapeType its class name, "TWyShapeMarker"); setting `cancel` stops.
using TOnLoadShapes = std::function<void(TObject* Sender, const std::string& ShapeType,
                                         int32_t index, int32_t max, bool& cancel)>;

// An internal consistency failure of the shapes (drawing the registry while
// it draws, a point index out of range). The label names the operation.
// The map's paint catches it; nothing else escapes a group's drawing loop.
class EShapeAssertion : public std::logic_error {
 public:
  explicit EShapeAssertion(const std::string& label) : std::logic_error(label) {}
};

// Lower-cases the letters A to Z only (group names and the name index
// compare that way; other bytes, UTF-8 included, are kept).
std::string LowerAZ(const std::string& text);

}  // namespace wy

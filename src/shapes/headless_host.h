#pragma once
// A host for shapes that no window shows: tools and background jobs that
// read, convert and write shapes. Groups only read their text when they
// have a host; this one takes the repaint requests and drops them.

#include "geo/object.h"
#include "shapes/shapes_host.h"

namespace wy {

class THeadlessShapesHost : public TWyShapesHost {
 public:
  void RequestRepaint() override {}
  TObject* EventSender() override { return &FSender; }

 private:
  TObject FSender;
};

}  // namespace wy

#pragma once
// The polymorphic root of the objects that travel through untyped slots:
// a shape's application object (Item), the sender of events. "Is this item
// a shape?" is a dynamic_cast from here.

namespace wy {

class TObject {
 public:
  virtual ~TObject() = default;
};

}  // namespace wy

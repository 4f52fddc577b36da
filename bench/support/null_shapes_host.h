#pragma once
// The shapes host of the benchmarks: no map behind the shapes; it only
// counts the repaints they ask for.

#include <atomic>

#include "shapes/shapes_host.h"

namespace wy {

class TNullShapesHost : public TWyShapesHost {
 public:
  // Any thread (the graphic pool's listener asks from its own).
  void RequestRepaint() override { Repaints.fetch_add(1, std::memory_order_relaxed); }
  TObject* EventSender() override { return nullptr; }

  std::atomic<int> Repaints{0};
};

}  // namespace wy

// The map's own shape text, read into groups without a window. What a read
// keeps must survive being written and read again: the second text written
// equals the first.

#include <QGuiApplication>

#include "fuzz_target.h"
#include "geo/world_info.h"
#include "graphics/canvas.h"
#include "shapes/headless_host.h"
#include "shapes/shapes_group.h"
#include "tiles/graphic_pool.h"

namespace {

// Reads `text` into a fresh registry and writes it back.
std::string ReadAndWrite(const std::string& text) {
  wy::TWyWorldInfo world;
  wy::TWyCanvas canvas;
  // A pool that never runs: marker icons are not fetched.
  wy::TThreadGraphicPool pool(true, wy::TThreadGraphicPool::TOptions());
  wy::THeadlessShapesHost host;
  std::string written;
  {
    wy::TWyShapesGroup registry(&canvas, &host, &world);
    registry.UseGraphicPool(&pool);
    registry.SetToTxt(text);
    written = registry.GetToTxt();
    registry.UseGraphicPool(nullptr);
  }
  return written;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wy::QuietFuzzLogs();
  wy::EnsureFuzzGuiApplication();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string first = ReadAndWrite(wy::FuzzText(data, size));
  const std::string second = ReadAndWrite(first);
  if (first != second) {
    std::fprintf(stderr, "first write:\n%s\nsecond write:\n%s\n", first.c_str(), second.c_str());
    wy::FuzzFailure("shape text changes when written and read again");
  }
  return 0;
}

#pragma once
// What the commands that read shapes need without a window: an application
// object for the duration of a command, and a shape registry with a host
// that drops repaint requests and a graphic pool of its own that never runs
// (marker icons are not fetched).

#include <memory>
#include <string>

#include "formats/shape_file.h"
#include "geo/world_info.h"
#include "graphics/canvas.h"
#include "shapes/headless_host.h"
#include "shapes/shapes_group.h"
#include "tiles/graphic_pool.h"

class QGuiApplication;

namespace wy {

// Makes a QGuiApplication for its lifetime when none exists.
class TToolApplication {
 public:
  TToolApplication();
  ~TToolApplication();
  TToolApplication(const TToolApplication&) = delete;
  TToolApplication& operator=(const TToolApplication&) = delete;

 private:
  std::unique_ptr<QGuiApplication> FApp;
};

// The shapes of a shape text (own text, or converted from another format:
// `kind` says which), read into a registry of their own.
class THeadlessShapes {
 public:
  THeadlessShapes(TShapeSourceKind kind, const std::string& shapes);
  ~THeadlessShapes();
  THeadlessShapes(const THeadlessShapes&) = delete;
  THeadlessShapes& operator=(const THeadlessShapes&) = delete;
  TWyShapesGroup& Registry() { return FRegistry; }
  TWyWorldInfo& World() { return FWorld; }

 private:
  TWyWorldInfo FWorld;
  TWyCanvas FCanvas;
  TThreadGraphicPool FPool{true, TThreadGraphicPool::TOptions()};
  THeadlessShapesHost FHost;
  TWyShapesGroup FRegistry{&FCanvas, &FHost, &FWorld};
};

}  // namespace wy

#include "tools/wymap_headless_shapes.h"

#include <QGuiApplication>

#include "tools/wymap_cli.h"

namespace wy {

TToolApplication::TToolApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "wymap";
  static char* argv[] = {name, nullptr};
  PrepareApplication();
  FApp = std::make_unique<QGuiApplication>(argc, argv);
}

TToolApplication::~TToolApplication() = default;

THeadlessShapes::THeadlessShapes(TShapeSourceKind kind, const std::string& shapes) {
  FRegistry.UseGraphicPool(&FPool);
  if (kind == skText)
    FRegistry.SetToTxt(shapes);
  else
    FRegistry.ReadConvertedText(shapes);
}

THeadlessShapes::~THeadlessShapes() {
  FRegistry.UseGraphicPool(nullptr);
}

}  // namespace wy

// The demonstration program.
#include <QApplication>
#include <QMainWindow>

#include "geo/settings.h"
#include "map/map_control.h"

int main(int argc, char** argv) {
  // Before anything reads the settings: where this program's icons are.
  wy::SetSettingDefault("demo.icon-base", WY_DEMO_ICON_DIR);
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle("Demo RiduzeZirudiruzire");
  auto* map = new wy::TWyVuroduDav(&window);
  map->SetLocalCache(wy::GetCacheDir());
  window.setCentralWidget(map);
  window.resize(1024, 768);
  window.show();
  return app.exec();
}

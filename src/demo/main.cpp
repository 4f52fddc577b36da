// The demonstration program.
#include <QApplication>
#include <QMainWindow>

#include "geo/settings.h"
#include "map/map_control.h"

int main(int argc, char** argv) {
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

// Shows a map of Europe drawn from the built-in offline world map, with a
// marker on Paris: no network needed.
//   hello_map              a window
//   hello_map --grab FILE  draws the map into FILE (PNG) and exits; exit
//                          status 1 when nothing but one colour was drawn
#include <QApplication>
#include <QImage>
#include <QSet>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "map/map_control.h"
#include "geo/enums.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  wy::TWyVuroduDav map;
  map.resize(640, 480);
  map.SetTileServer(wy::tsOffline);
  map.SetZoom(4);
  map.setCenter(48.85, 2.35);
  map.Add(wy::nsMarker, 48.85, 2.35);
  map.setWindowTitle("hello_map");
  map.show();

  const char* grab = argc == 3 && std::strcmp(argv[1], "--grab") == 0 ? argv[2] : nullptr;
  if (!grab) return app.exec();
  int status = 0;
  QTimer::singleShot(2000, [&] {
    const QImage image = map.grab().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
      for (int x = 0; x < image.width(); x += 4) colours.insert(image.pixel(x, y));
    status = image.save(grab) && colours.size() > 1 ? 0 : 1;
    std::printf("%s: %lld colours\n", grab, static_cast<long long>(colours.size()));
    app.quit();
  });
  app.exec();
  return status;
}

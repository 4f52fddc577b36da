// Shows a map of Europe drawn from the built-in offline world map, with a
// marker on Paris: no network needed.
//   hello_map              a window
//   hello_map --grab FILE  draws the map into FILE (PNG) and exits; exit
//                          status 1 when nothing but one colour was drawn
//   hello_map --picture FILE  writes the picture without showing a window
//                          (PNG, PDF or SVG by the extension)
#include <QApplication>
#include <QImage>
#include <QSet>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include <wymap/wymap.h>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "--picture") == 0) {
    // A renderer of its own: no widget, no window.
    wy::TVuroduDavServer tiles(0, wy::TMapRenderer::PlaceholderColor());
    tiles.SetTileServer(wy::tsOffline);
    wy::TMapRenderer renderer;
    renderer.SetTileLayers(&tiles, nullptr);
    renderer.SetSize(640, 480, 1.0);
    renderer.Viewport().SetZoom(4);
    renderer.Viewport().CenterOn(48.85, 2.35);
    std::string error;
    if (wy::WriteMapPicture(renderer, argv[2], 96, error)) return 0;
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
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

// The demonstration program: opens the window "Demo RiduzeZirudiruzire".
//
// Options (each also reachable through the environment, WYMAP_<KEY>, see
// geo/settings.h):
//   --set KEY=VALUE        any setting, e.g. endpoint.osm=http://host/{z}/{x}/{y}.png,
//                          endpoint.nominatim=..., endpoint.xapi=...; repeatable
//   --cache DIR            disk cache folder (default: the user's cache folder)
//   --cache-beside-program the folder "cache" next to the program file
//   --no-cache             no disk cache
//   --tiles PATH           tiles from an MBTiles file or a folder of
//                          <z>/<x>/<y>.png files instead of a tile server;
//                          vector tiles from PMTiles, MBTiles (pbf) or a folder
//                          of .pbf/.mvt files
//   --style FILE           the MapLibre style of vector tiles (Qt's own -style
//                          option is not available in this program)
//   --view ZOOM/LAT/LNG    the view to start with (a navigation address)
//   --quit-after-first-frame  prints how long the first map frame took and
//                          exits (start-up measurements)
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <string>

#include "demo/demo_window.h"
#include "geo/settings.h"
#include "map/map_control.h"

namespace {

// Takes "--style FILE", "--style=FILE", "-style FILE" and "-style=FILE" out
// of the command line before Qt sees it: Qt reads them as its widget style
// and drops them. Returns the last file given ("" for none).
std::string TakeStyleOption(int& argc, char** argv) {
  std::string style;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--style" || arg == "-style") && i + 1 < argc) {
      style = argv[++i];
      continue;
    }
    if (arg.rfind("--style=", 0) == 0 || arg.rfind("-style=", 0) == 0) {
      style = arg.substr(arg.find('=') + 1);
      continue;
    }
    argv[kept++] = argv[i];
  }
  argv[kept] = nullptr;
  argc = kept;
  return style;
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer started;
  started.start();
  const std::string style = TakeStyleOption(argc, argv);
  if (!style.empty()) wy::SetSetting("vector.style", style);
  QApplication app(argc, argv);
  QApplication::setApplicationName("wymap-demo");
  // Before anything reads the settings: where this program's icons are,
  // beside an installed program (<prefix>/share/wymap/icons) or in the
  // source tree it was built from.
  const QString installed = QApplication::applicationDirPath() + "/../share/wymap/icons";
  wy::SetSettingDefault("demo.icon-base", QDir(installed).exists()
                                              ? QDir(installed).canonicalPath().toStdString()
                                              : std::string(WY_DEMO_ICON_DIR));

  QCommandLineParser parser;
  parser.setApplicationDescription("wymap demonstration window");
  parser.addHelpOption();
  const QCommandLineOption setOption("set", "Sets a setting (KEY=VALUE); repeatable.", "KEY=VALUE");
  const QCommandLineOption cacheOption("cache", "Disk cache folder.", "DIR");
  const QCommandLineOption besideOption("cache-beside-program",
                                        "Keeps the cache in the folder \"cache\" beside the "
                                        "program file.");
  const QCommandLineOption noCacheOption("no-cache", "Uses no disk cache.");
  const QCommandLineOption firstFrameOption("quit-after-first-frame",
                                            "Prints the time to the first map frame and exits.");
  const QCommandLineOption tilesOption(
      "tiles", "Tiles from an MBTiles file or a folder of <z>/<x>/<y>.png files.", "PATH");
  const QCommandLineOption viewOption("view", "The view to start with.", "ZOOM/LAT/LNG");
  parser.addOptions({setOption, cacheOption, besideOption, noCacheOption, firstFrameOption,
                     tilesOption, viewOption});
  parser.process(app);

  for (const QString& pair : parser.values(setOption)) {
    const int eq = pair.indexOf('=');
    if (eq <= 0) {
      std::fprintf(stderr, "wymap-demo: --set needs KEY=VALUE, got \"%s\"\n",
                   pair.toUtf8().constData());
      return 2;
    }
    wy::SetSetting(pair.left(eq).toStdString(), pair.mid(eq + 1).toUtf8().toStdString());
  }

  std::string cache = wy::GetCacheDir();
  if (parser.isSet(noCacheOption))
    cache.clear();
  else if (parser.isSet(cacheOption))
    cache = parser.value(cacheOption).toUtf8().toStdString();
  else if (parser.isSet(besideOption))
    cache = (QApplication::applicationDirPath() + "/cache").toUtf8().toStdString();

  wy::TFZeduZavireRozuvidu window(cache);
  if (parser.isSet(tilesOption)) {
    auto* map = window.findChild<wy::TWyVuroduDav*>();
    std::string error;
    if (map == nullptr ||
        !map->SetLocalTiles(parser.value(tilesOption).toUtf8().toStdString(), error)) {
      std::fprintf(stderr, "wymap-demo: %s\n", error.empty() ? "no map" : error.c_str());
      return 2;
    }
  }
  if (parser.isSet(viewOption)) {
    if (auto* map = window.findChild<wy::TWyVuroduDav*>())
      map->SetUrl("#" + parser.value(viewOption).toUtf8().toStdString());
  }
  window.show();
  if (parser.isSet(firstFrameOption)) {
    auto* poll = new QTimer(&app);
    QObject::connect(poll, &QTimer::timeout, [&] {
      if (window.MapRenderCount() == 0) return;
      std::printf("first map frame after %lld ms\n", static_cast<long long>(started.elapsed()));
      std::fflush(stdout);
      app.quit();
    });
    poll->start(1);
  }
  return app.exec();
}

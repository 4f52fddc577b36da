#include <QGuiApplication>
#include <QtGlobal>
#include <cstdlib>

#include "fuzz_target.h"
#include "platform/log.h"

namespace wy {

void QuietFuzzLogs() {
  SetLogLevel(llOff);
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

void EnsureFuzzGuiApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "wymap-fuzz";
  static char* argv[] = {name, nullptr};
  // A static object, not a pointer set later: its destructor then runs at
  // exit before those of the globals Qt creates while it is built.
  static QGuiApplication app(argc, argv);
}

}  // namespace wy

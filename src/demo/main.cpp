// The demonstration program.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include "geo/settings.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle("Demo RiduzeZirudiruzire");
  auto* label = new QLabel(
      QString("The map comes here.\nCache folder: %1").arg(QString::fromStdString(wy::GetCacheDir())));
  label->setAlignment(Qt::AlignCenter);
  window.setCentralWidget(label);
  window.resize(1024, 768);
  window.show();
  return app.exec();
}

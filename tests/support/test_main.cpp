// main() of every test executable: a QApplication on the main thread, which
// is the window thread of the code under test.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  // Test discovery runs this binary during the build, where there may be no
  // display at all.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Routes and heights have public servers by default; a test that does not
  // point them at its loopback server gets a refused connection instead.
  for (const char* name : {"WYMAP_ENDPOINT_OSRM", "WYMAP_ENDPOINT_OPEN_ELEVATION"})
    if (std::getenv(name) == nullptr) setenv(name, "http://127.0.0.1:1", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

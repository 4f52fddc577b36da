// The wymap command-line tool.

#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "tools/wymap_cli.h"

int main(int argc, char** argv) {
  // The services hand their completions to the thread of the application
  // object; RunWymap waits for them by running its event queue. render
  // keeps its map in a widget it never shows, hence a QApplication, on no
  // display by default.
  wy::PrepareApplication();
  QApplication app(argc, argv);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return wy::RunWymap(args, std::cout, std::cerr);
}

#include "support/bench_main.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

namespace wy {

int RunBenchmarks(int argc, char** argv, const std::function<void()>& beforeRun) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (beforeRun) beforeRun();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace wy

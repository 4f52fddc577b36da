#pragma once
// The common main() of the benchmark programs.

#include <functional>

namespace wy {

// Sets up a QApplication (offscreen unless QT_QPA_PLATFORM says otherwise),
// reads Google Benchmark's arguments, calls `beforeRun` and runs the
// benchmarks. Returns the program's exit code.
int RunBenchmarks(int argc, char** argv, const std::function<void()>& beforeRun = {});

}  // namespace wy

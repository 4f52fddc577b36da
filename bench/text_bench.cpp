// Benchmarks of the number and fingerprint conversions that every file
// format and service request goes through.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <string>
#include <vector>

#include "geo/text_convert.h"
#include "support/bench_main.h"

namespace {

const std::vector<double>& Values() {
  static const std::vector<double> values = {
      43.232951, 0.078082, -9999, 1.0 / 3, 2, 1e-7, 1.5e15, 12345.123456789, -179.99999, 0.1 + 0.2};
  return values;
}

void BM_FloatToStrDot(benchmark::State& state) {
  const auto& values = Values();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(wy::FloatToStrDot(values[i]));
    if (++i == values.size()) i = 0;
  }
}
BENCHMARK(BM_FloatToStrDot);

void BM_FloatToStrFixedDot(benchmark::State& state) {
  const auto& values = Values();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(wy::FloatToStrFixedDot(6, values[i]));
    if (++i == values.size()) i = 0;
  }
}
BENCHMARK(BM_FloatToStrFixedDot);

void BM_StrToFloatDot(benchmark::State& state) {
  std::vector<std::string> texts;
  for (double v : Values()) texts.push_back(wy::FloatToStrDot(v));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(wy::StrToFloatDot(texts[i]));
    if (++i == texts.size()) i = 0;
  }
}
BENCHMARK(BM_StrToFloatDot);

void BM_StrToFloatDotComma(benchmark::State& state) {
  const std::string text = "43,232951";  // the fallback path
  for (auto _ : state) benchmark::DoNotOptimize(wy::StrToFloatDot(text));
}
BENCHMARK(BM_StrToFloatDotComma);

// A typical request text: a search with a key appended.
void BM_CrcText(benchmark::State& state) {
  std::string text = "q=" + wy::UpperNoAccents("Rue de la République 12, Montauban") +
                     "&format=xml&key=Fmjtd%7Cluub2l0y2h%2C2x%3Do5-96ant0";
  text.resize(static_cast<size_t>(state.range(0)), 'x');
  for (auto _ : state) benchmark::DoNotOptimize(wy::CrcText(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_CrcText)->Arg(64)->Arg(1024)->Arg(64 * 1024);

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv);
}

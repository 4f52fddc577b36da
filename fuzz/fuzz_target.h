#pragma once
// What every fuzz target shares. A target defines LLVMFuzzerTestOneInput
// (and, when it needs one, LLVMFuzzerInitialize); the same source builds
// into a libFuzzer program (scripts/fuzz.sh) and into a replay program that
// runs the committed corpus under the sanitizers of the ordinary build.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace wy {

// A property the input broke: reported on standard error, then abort(), so
// that the fuzzer keeps the input as a crash and a replay fails.
[[noreturn]] inline void FuzzFailure(const char* what) {
  std::fprintf(stderr, "fuzz property failed: %s\n", what);
  std::abort();
}

#define WY_FUZZ_CHECK(cond)                 \
  do {                                      \
    if (!(cond)) ::wy::FuzzFailure(#cond);  \
  } while (0)

// Quietens the program's log (malformed input is the normal case here) and
// the Qt messages of image and font code.
void QuietFuzzLogs();

// A QGuiApplication on the offscreen platform, for targets that lay out
// text (fonts need one). Created once, kept for the process.
void EnsureFuzzGuiApplication();

inline std::string FuzzText(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace wy

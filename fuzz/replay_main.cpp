// Runs a fuzz target over files and folders of inputs, as libFuzzer would
// run them once each: the committed corpus is replayed by the tests under
// the ordinary build's sanitizers, without a fuzzing compiler.
//   replay_<target> PATH...   (a folder's files in name order)

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_target.h"

// Targets without a set-up step get this one.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int*, char***) { return 0; }

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  LLVMFuzzerInitialize(&argc, &argv);
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    const fs::path path(argv[i]);
    if (fs::is_directory(path, error)) {
      for (const auto& entry : fs::directory_iterator(path, error))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    } else if (fs::is_regular_file(path, error)) {
      inputs.push_back(path);
    } else {
      std::fprintf(stderr, "replay: no such file or folder: %s\n", argv[i]);
      return 2;
    }
  }
  std::sort(inputs.begin(), inputs.end());
  if (inputs.empty()) {
    std::fprintf(stderr, "replay: no inputs\n");
    return 2;
  }
  for (const fs::path& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
      return 2;
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}

#pragma once
// Small helpers shared by the tests: a scratch folder and waiting on the
// window thread.

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/window_thread.h"

namespace wy {
namespace test_support {

// A folder below the system's temporary folder, removed with its content.
class TScratchDir {
 public:
  TScratchDir() {
    std::random_device random;
    FPath = std::filesystem::temp_directory_path() /
            ("wy-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(FPath);
  }
  ~TScratchDir() {
    std::error_code error;
    std::filesystem::remove_all(FPath, error);
  }
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;

  std::string Path() const { return FPath.string(); }
  // A path below the folder.
  std::string Sub(const std::string& name) const { return (FPath / name).string(); }
  // Names of the entries directly in a sub folder.
  std::vector<std::string> FilesIn(const std::string& sub) const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(FPath / sub, error))
      names.push_back(entry.path().filename().string());
    return names;
  }
  // Number of files anywhere below the folder.
  size_t FileCount() const {
    size_t count = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(FPath, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error))
      if (it->is_regular_file()) ++count;
    return count;
  }

 private:
  std::filesystem::path FPath;
};

// Lets the window thread run queued calls until pred() holds or timeoutMs
// of real time passes. Returns pred().
template <typename Pred>
bool PumpUntil(Pred pred, uint32_t timeoutMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return pred();
    WaitProcessing(2);
  }
  return true;
}

}  // namespace test_support
}  // namespace wy

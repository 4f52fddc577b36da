#pragma once
// Small helpers shared by the service tests: a scratch folder and waiting on
// the window thread.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "platform/window_thread.h"

namespace wy {
namespace service_test {

// A folder below the system's temporary folder, removed with its content.
class TScratchDir {
 public:
  TScratchDir() {
    std::random_device random;
    FPath = std::filesystem::temp_directory_path() /
            ("wy-services-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(FPath);
  }
  ~TScratchDir() {
    std::error_code error;
    std::filesystem::remove_all(FPath, error);
  }
  std::string Path() const { return FPath.string(); }
  // Number of files below the folder.
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

// Lets the window thread run queued calls until pred holds or timeoutMs
// passes. Returns pred().
inline bool PumpUntil(const std::function<bool()>& pred, uint32_t timeoutMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return pred();
    WaitProcessing(5);
  }
  return true;
}

}  // namespace service_test
}  // namespace wy

#include "platform/wall_clock.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

namespace wy {

namespace {
std::mutex gClockMutex;
std::shared_ptr<const TWallClockSource> gClockSource;
// Most calls find no replacement: they skip the lock.
std::atomic<bool> gReplaced{false};
}  // namespace

int64_t SystemWallClock() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

int64_t WallClockSeconds() {
  if (!gReplaced.load(std::memory_order_acquire)) return SystemWallClock();
  std::shared_ptr<const TWallClockSource> source;
  {
    std::lock_guard<std::mutex> lock(gClockMutex);
    source = gClockSource;
  }
  return source ? (*source)() : SystemWallClock();
}

void SetWallClockSource(TWallClockSource source) {
  std::lock_guard<std::mutex> lock(gClockMutex);
  if (source)
    gClockSource = std::make_shared<const TWallClockSource>(std::move(source));
  else
    gClockSource.reset();
  gReplaced.store(gClockSource != nullptr, std::memory_order_release);
}

}  // namespace wy

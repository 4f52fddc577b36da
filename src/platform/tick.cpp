#include "platform/tick.h"

#include <chrono>
#include <memory>
#include <mutex>

namespace wy {

namespace {
std::mutex gTickMutex;
std::shared_ptr<const TTickSource> gTickSource;
}  // namespace

uint32_t SystemTick() {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

uint32_t TickCount() {
  std::shared_ptr<const TTickSource> source;
  {
    std::lock_guard<std::mutex> lock(gTickMutex);
    source = gTickSource;
  }
  return source ? (*source)() : SystemTick();
}

void SetTickSource(TTickSource source) {
  std::lock_guard<std::mutex> lock(gTickMutex);
  if (source)
    gTickSource = std::make_shared<const TTickSource>(std::move(source));
  else
    gTickSource.reset();
}

}  // namespace wy

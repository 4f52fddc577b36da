#include "services/rate_limit.h"

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "geo/settings.h"

namespace wy {

namespace {

using TClock = std::chrono::steady_clock;

std::mutex gSlotsMutex;
std::map<std::string, TClock::time_point>& NextSlots() {
  static auto* slots = new std::map<std::string, TClock::time_point>();
  return *slots;
}

}  // namespace

uint32_t EndpointIntervalMs(const std::string& host) {
  if (host.empty()) return 0;
  const int64_t value = GetSettingInt("rate." + host, 0);
  if (value <= 0) return 0;
  return value > 3600000 ? 3600000u : static_cast<uint32_t>(value);
}

bool WaitForEndpointSlot(const std::string& url, const std::function<bool()>& abort) {
  const std::string host = UrlHost(url);
  const uint32_t interval = EndpointIntervalMs(host);
  if (interval == 0) return !(abort && abort());
  TClock::time_point slot;
  {
    std::lock_guard<std::mutex> lock(gSlotsMutex);
    const TClock::time_point now = TClock::now();
    auto& next = NextSlots()[host];
    slot = next > now ? next : now;
    next = slot + std::chrono::milliseconds(interval);
  }
  for (;;) {
    if (abort && abort()) return false;
    const TClock::time_point now = TClock::now();
    if (now >= slot) return true;
    const auto left = slot - now;
    const auto step = std::chrono::milliseconds(10);
    std::this_thread::sleep_for(left < step ? left : TClock::duration(step));
  }
}

void ResetEndpointSlots() {
  std::lock_guard<std::mutex> lock(gSlotsMutex);
  NextSlots().clear();
}

}  // namespace wy

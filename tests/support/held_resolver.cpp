#include "support/held_resolver.h"

#include <dlfcn.h>
#include <netdb.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace wy {

namespace {

using Clock = std::chrono::steady_clock;

struct THeldState {
  std::mutex Mutex;
  std::condition_variable Changed;
  std::string Host;  // empty: nothing is held
  bool Released = false;
  int Inside = 0;  // lookups of the host inside getaddrinfo
  int Held = 0;    // of those, the ones waiting for the release
  uint32_t SafetyMs = 0;
};

THeldState& State() {
  // Never destroyed: a lookup thread left running may come back late.
  static auto* state = new THeldState();
  return *state;
}

using TGetAddrInfo = int (*)(const char*, const char*, const struct addrinfo*, struct addrinfo**);

TGetAddrInfo RealGetAddrInfo() {
  static const auto real = reinterpret_cast<TGetAddrInfo>(dlsym(RTLD_NEXT, "getaddrinfo"));
  return real;
}

// True when `node` is the held host; then holds it.
bool HoldLookup(const char* node) {
  THeldState& state = State();
  std::unique_lock<std::mutex> lock(state.Mutex);
  if (node == nullptr || state.Host.empty() || state.Host != node) return false;
  ++state.Inside;
  ++state.Held;
  state.Changed.notify_all();
  state.Changed.wait_for(lock, std::chrono::milliseconds(state.SafetyMs),
                         [&state] { return state.Released; });
  --state.Held;
  --state.Inside;
  state.Changed.notify_all();
  return true;
}

}  // namespace

THeldResolver::THeldResolver(const std::string& host, uint32_t safetyMs) {
  RealGetAddrInfo();  // looked up before anything is held
  THeldState& state = State();
  std::lock_guard<std::mutex> lock(state.Mutex);
  state.Host = host;
  state.Released = false;
  state.SafetyMs = safetyMs;
}

THeldResolver::~THeldResolver() {
  Release();
  THeldState& state = State();
  std::unique_lock<std::mutex> lock(state.Mutex);
  state.Changed.wait_for(lock, std::chrono::milliseconds(state.SafetyMs),
                         [&state] { return state.Inside == 0; });
  state.Host.clear();
}

bool THeldResolver::Holding() const {
  THeldState& state = State();
  std::lock_guard<std::mutex> lock(state.Mutex);
  return state.Held > 0;
}

bool THeldResolver::WaitUntilHolding(uint32_t timeoutMs) const {
  THeldState& state = State();
  std::unique_lock<std::mutex> lock(state.Mutex);
  return state.Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&state] { return state.Held > 0; });
}

void THeldResolver::Release() {
  THeldState& state = State();
  {
    std::lock_guard<std::mutex> lock(state.Mutex);
    state.Released = true;
  }
  state.Changed.notify_all();
}

}  // namespace wy

// Replaces the C library's function for the whole test program.
extern "C" int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                           struct addrinfo** result) {
  if (wy::HoldLookup(node)) return EAI_NONAME;
  return wy::RealGetAddrInfo()(node, service, hints, result);
}

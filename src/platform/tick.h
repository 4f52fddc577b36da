#pragma once
// The process's millisecond tick: a 32-bit counter that wraps after about
// 49.7 days, like the system tick the map's animations and caches count in.
// Always compare ticks with TickElapsed (unsigned subtraction), never with <.

#include <cstdint>
#include <functional>

namespace wy {

using TTickSource = std::function<uint32_t()>;

// Milliseconds from a monotonic clock, truncated to 32 bits.
uint32_t SystemTick();

// The current tick: SystemTick, unless a test replaced the source.
uint32_t TickCount();

// Replaces the process-wide tick source; an empty source restores SystemTick.
void SetTickSource(TTickSource source);

// Milliseconds from `since` to `now`, correct across the 32-bit wrap.
inline uint32_t TickElapsed(uint32_t now, uint32_t since) { return now - since; }

// Replaces the tick source for the lifetime of the object (tests).
class TScopedTickSource {
 public:
  explicit TScopedTickSource(TTickSource source) { SetTickSource(std::move(source)); }
  ~TScopedTickSource() { SetTickSource(nullptr); }
  TScopedTickSource(const TScopedTickSource&) = delete;
  TScopedTickSource& operator=(const TScopedTickSource&) = delete;
};

}  // namespace wy

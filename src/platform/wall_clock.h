#pragma once
// The calendar time in whole seconds since 1970-01-01 UTC: what HTTP dates
// and cache expiry times count in. Tests replace the source to move time
// forward without waiting.

#include <cstdint>
#include <functional>

namespace wy {

using TWallClockSource = std::function<int64_t()>;

// Seconds of the system's calendar clock.
int64_t SystemWallClock();

// The current time: SystemWallClock, unless a test replaced the source.
int64_t WallClockSeconds();

// Replaces the process-wide source; an empty source restores the system's.
void SetWallClockSource(TWallClockSource source);

// Replaces the source for the lifetime of the object (tests).
class TScopedWallClock {
 public:
  explicit TScopedWallClock(TWallClockSource source) { SetWallClockSource(std::move(source)); }
  ~TScopedWallClock() { SetWallClockSource(nullptr); }
  TScopedWallClock(const TScopedWallClock&) = delete;
  TScopedWallClock& operator=(const TScopedWallClock&) = delete;
};

}  // namespace wy

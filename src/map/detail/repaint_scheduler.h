#pragma once
// TRepaintScheduler: the map's repaint cycle. Asynchronous changes (a tile
// arrived, a shape changed, an icon finished loading) ask for a repaint from
// any thread; the map's timer steps the scheduler every 20 ms on the window
// thread, and it lets at most one full render happen per interval, however
// many requests came meanwhile. Its tick is injectable.

#include <atomic>
#include <cstdint>

#include "platform/tick.h"

namespace wy {

class TRepaintScheduler {
 public:
  static constexpr uint32_t kDefaultIntervalMs = 200;

  explicit TRepaintScheduler(uint32_t intervalMs = kDefaultIntervalMs, TTickSource tick = {})
      : FInterval(intervalMs), FTick(std::move(tick)) {}

  // Any thread.
  void Request() { ++FPending; }
  int32_t Pending() const { return FPending.load(); }
  // Forgets every request (the first show renders anyway).
  void Reset() { FPending = 0; }

  // The timer's step. False until more than the interval has passed since
  // the last step that returned true; true records this step, and the
  // caller runs the periodic work (animations) then.
  bool Step() { return Step(Now()); }
  bool Step(uint32_t now) {
    if (TickElapsed(now, FLastStep) <= FInterval) return false;
    FLastStep = now;
    return true;
  }
  // True (and the requests are taken) when at least one repaint was asked
  // for since the last time.
  bool TakeRequests() { return FPending.exchange(0) > 0; }

  uint32_t Now() const { return FTick ? FTick() : TickCount(); }
  uint32_t IntervalMs() const { return FInterval; }

 private:
  const uint32_t FInterval;
  const TTickSource FTick;
  std::atomic<int32_t> FPending{0};
  uint32_t FLastStep = 0;
};

}  // namespace wy

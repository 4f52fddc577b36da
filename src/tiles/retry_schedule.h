#pragma once
// When failed tiles may be asked for again. A tile whose answer failed waits
// for its back-off: the first delay, doubled on every further failure up to
// a maximum (and at least as long as the server asked for). A tile that
// was not asked at all, because its host asked for a pause, waits for that
// pause with its back-off unchanged. A success forgets the tile.
//
// Times come from a tick source (milliseconds, wrapping), so that tests
// can drive it. All operations are thread-safe.

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/tick.h"

namespace wy {

class TRetrySchedule {
 public:
  // An empty tick source reads TickCount(). When more than maxEntries tiles
  // wait, those whose wait has run out are forgotten (they start again from
  // the first delay should they fail once more).
  TRetrySchedule(uint32_t firstMs, uint32_t maxMs, TTickSource tick = {}, size_t maxEntries = 4096);

  // A failed answer: the next wait is the back-off, at least atLeastMs.
  void RecordFailure(const std::string& key, uint32_t atLeastMs = 0);
  // Nothing was asked: the tile waits waitMs, its back-off unchanged.
  void Defer(const std::string& key, uint32_t waitMs);
  // The tile arrived: its back-off starts again from the first delay.
  void Forget(const std::string& key);
  void Clear();

  // The tile waits: it is not to be asked for now.
  bool Pending(const std::string& key) const;
  // The tile failed (or was deferred) since it last arrived, whether its
  // wait has run out or not.
  bool Failed(const std::string& key) const;
  // The back-off the key's next failure would start from; 0 when unknown.
  uint32_t DelayMs(const std::string& key) const;

  // True when some waits have run out since the last call: each wait is
  // reported once.
  bool TakeDue();

 private:
  struct TRetry {
    uint32_t Start = 0;
    uint32_t DelayMs = 0;  // the back-off, doubled on every failure
    uint32_t WaitMs = 0;   // how long this wait lasts
    bool Signalled = false;
  };
  uint32_t Now() const;
  TRetry& EntryLocked(const std::string& key, uint32_t now);

  const uint32_t FFirstMs;
  const uint32_t FMaxMs;
  const TTickSource FTick;
  const size_t FMaxEntries;
  mutable std::mutex FMutex;
  std::map<std::string, TRetry> FRetries;
};

}  // namespace wy

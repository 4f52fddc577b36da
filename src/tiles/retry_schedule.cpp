#include "tiles/retry_schedule.h"

#include <algorithm>
#include <utility>

namespace wy {

TRetrySchedule::TRetrySchedule(uint32_t firstMs, uint32_t maxMs, TTickSource tick,
                               size_t maxEntries)
    : FFirstMs(firstMs), FMaxMs(maxMs), FTick(std::move(tick)), FMaxEntries(maxEntries) {}

uint32_t TRetrySchedule::Now() const {
  return FTick ? FTick() : TickCount();
}

void TRetrySchedule::RecordFailure(const std::string& key, uint32_t atLeastMs) {
  const uint32_t now = Now();
  std::lock_guard<std::mutex> lock(FMutex);
  TRetry& retry = EntryLocked(key, now);
  // Doubled in 64 bits: a large maximum must not wrap the delay to a short
  // one.
  const uint64_t next = retry.DelayMs == 0 ? FFirstMs : uint64_t{retry.DelayMs} * 2;
  retry.DelayMs = static_cast<uint32_t>(std::min<uint64_t>(next, FMaxMs));
  retry.WaitMs = std::max(retry.DelayMs, atLeastMs);
  retry.Start = now;
  retry.Signalled = false;
}

void TRetrySchedule::Defer(const std::string& key, uint32_t waitMs) {
  const uint32_t now = Now();
  std::lock_guard<std::mutex> lock(FMutex);
  TRetry& retry = EntryLocked(key, now);
  retry.WaitMs = waitMs;
  retry.Start = now;
  retry.Signalled = false;
}

void TRetrySchedule::Forget(const std::string& key) {
  std::lock_guard<std::mutex> lock(FMutex);
  FRetries.erase(key);
}

void TRetrySchedule::Clear() {
  std::lock_guard<std::mutex> lock(FMutex);
  FRetries.clear();
}

bool TRetrySchedule::Pending(const std::string& key) const {
  const uint32_t now = Now();
  std::lock_guard<std::mutex> lock(FMutex);
  auto it = FRetries.find(key);
  if (it == FRetries.end()) return false;
  return TickElapsed(now, it->second.Start) < it->second.WaitMs;
}

bool TRetrySchedule::Failed(const std::string& key) const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FRetries.count(key) != 0;
}

uint32_t TRetrySchedule::DelayMs(const std::string& key) const {
  std::lock_guard<std::mutex> lock(FMutex);
  auto it = FRetries.find(key);
  return it == FRetries.end() ? 0 : it->second.DelayMs;
}

bool TRetrySchedule::TakeDue() {
  const uint32_t now = Now();
  std::lock_guard<std::mutex> lock(FMutex);
  bool due = false;
  for (auto& entry : FRetries) {
    TRetry& retry = entry.second;
    if (!retry.Signalled && TickElapsed(now, retry.Start) >= retry.WaitMs) {
      retry.Signalled = true;
      due = true;
    }
  }
  return due;
}

TRetrySchedule::TRetry& TRetrySchedule::EntryLocked(const std::string& key, uint32_t now) {
  if (FRetries.size() >= FMaxEntries && FRetries.count(key) == 0) {
    for (auto it = FRetries.begin(); it != FRetries.end();) {
      if (TickElapsed(now, it->second.Start) >= it->second.WaitMs)
        it = FRetries.erase(it);
      else
        ++it;
    }
  }
  return FRetries[key];
}

}  // namespace wy

#pragma once
// A keyed cache of text answers that expire a number of minutes after they
// were stored. Keys ignore the case of A to Z. Not locked: one thread at a
// time uses a cache.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "platform/tick.h"

namespace wy {

// One stored answer: its text with CR and LF escaped, and the tick at which
// it was stored.
class TStringDataCache {
public:
  std::string FData;
  uint32_t FTime = 0;
};

class TStringDataCacheList {
public:
  // Entries live `minutesValid` minutes. `tick` supplies the millisecond
  // tick; empty means the process tick (TickCount).
  explicit TStringDataCacheList(uint32_t minutesValid, TTickSource tick = {});

  // The text stored under `key` while it is younger than the lifetime, else
  // "" (a miss and an empty text look the same). An expired entry is removed.
  std::string Get(const std::string &key);
  // Stores `data` under `key`, replacing and refreshing an existing entry.
  void Put(const std::string &key, const std::string &data);
  // Number of entries held, expired ones not yet looked up included.
  size_t Count() const { return FList.size(); }

private:
  // Orders keys ignoring the case of A to Z.
  struct TKeyLess {
    bool operator()(const std::string &a, const std::string &b) const;
  };

  uint32_t Now() const;

  uint32_t FTimeMinutValid; // lifetime in milliseconds
  TTickSource FTick;
  std::map<std::string, TStringDataCache, TKeyLess> FList;
};

} // namespace wy

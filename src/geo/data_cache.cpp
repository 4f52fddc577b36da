#include "geo/data_cache.h"

#include <algorithm>
#include <utility>

#include "geo/text_convert.h"
#include "platform/ascii.h"

namespace wy {

namespace {

const char kLineBreaks[] = "\r\n";

unsigned char FoldAscii(char c) {
  return static_cast<unsigned char>(AsciiLower(c));
}

// Milliseconds in `minutes`, kept within the 32-bit tick's range.
uint32_t MinutesToMs(uint32_t minutes) {
  const uint64_t ms = static_cast<uint64_t>(minutes) * 60000u;
  return static_cast<uint32_t>(std::min<uint64_t>(ms, UINT32_MAX));
}

} // namespace

bool TStringDataCacheList::TKeyLess::operator()(const std::string &a,
                                                const std::string &b) const {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](char x, char y) { return FoldAscii(x) < FoldAscii(y); });
}

TStringDataCacheList::TStringDataCacheList(uint32_t minutesValid,
                                           TTickSource tick)
    : FTimeMinutValid(MinutesToMs(minutesValid)), FTick(std::move(tick)) {}

uint32_t TStringDataCacheList::Now() const {
  return FTick ? FTick() : TickCount();
}

std::string TStringDataCacheList::Get(const std::string &key) {
  auto it = FList.find(key);
  if (it == FList.end())
    return "";
  if (TickElapsed(Now(), it->second.FTime) < FTimeMinutValid)
    return UnescapeChars(kLineBreaks, it->second.FData);
  // Expired: drop it, or entries that are never stored again pile up.
  FList.erase(it);
  return "";
}

void TStringDataCacheList::Put(const std::string &key,
                               const std::string &data) {
  TStringDataCache &entry =
      FList[key]; // an existing entry keeps its key's spelling
  entry.FData = EscapeChars(kLineBreaks, data);
  entry.FTime = Now();
}

} // namespace wy

#pragma once
// A keyed cache ordered by use: the most recently stored (or, through Get,
// used) entry first, eviction from the other end by count and by a cost
// each entry carries (its size in bytes, say).
//
// Peek finds an entry without changing the order, so a cache that should
// evict in the order of storing (first in, first out) uses Peek only.
// Not locked: the owner guards it.

#include <cstddef>
#include <functional>
#include <limits>
#include <list>
#include <unordered_map>
#include <utility>

namespace wy {

template <class TKey, class TValue, class THash = std::hash<TKey>>
class TLruCache {
 public:
  struct TEntry {
    TKey Key;
    TValue Value;
    size_t Cost = 0;
  };
  static constexpr size_t kNoLimit = std::numeric_limits<size_t>::max();

  // The entry of the key, or null; the order is left as it is.
  TValue* Peek(const TKey& key) {
    auto found = FIndex.find(key);
    return found == FIndex.end() ? nullptr : &found->second->Value;
  }
  const TValue* Peek(const TKey& key) const {
    auto found = FIndex.find(key);
    return found == FIndex.end() ? nullptr : &found->second->Value;
  }
  // The entry of the key, moved to the front; null when there is none.
  TValue* Get(const TKey& key) {
    auto found = FIndex.find(key);
    if (found == FIndex.end()) return nullptr;
    FEntries.splice(FEntries.begin(), FEntries, found->second);
    return &found->second->Value;
  }

  // Stores the value in front, in place of an older entry of the key. On
  // an allocation failure (std::bad_alloc is passed on) the older entry is
  // gone and the cache is otherwise unchanged.
  TValue& Put(const TKey& key, TValue value, size_t cost = 1) {
    Erase(key);
    FEntries.push_front(TEntry{key, std::move(value), cost});
    try {
      FIndex.emplace(key, FEntries.begin());
    } catch (...) {
      FEntries.pop_front();
      throw;
    }
    FCost += cost;
    return FEntries.front().Value;
  }

  // Removes the key's entry; false when there is none.
  bool Erase(const TKey& key) {
    auto found = FIndex.find(key);
    if (found == FIndex.end()) return false;
    FCost -= found->second->Cost;
    FEntries.erase(found->second);
    FIndex.erase(found);
    return true;
  }

  // Evicts from the least recently used end until at most maxCount entries
  // costing at most maxCost together remain; onEvict sees each entry just
  // before it goes.
  template <class TOnEvict>
  void Trim(size_t maxCount, size_t maxCost, TOnEvict onEvict) {
    while (!FEntries.empty() && (FEntries.size() > maxCount || FCost > maxCost)) {
      TEntry& last = FEntries.back();
      onEvict(last);
      FCost -= last.Cost;
      FIndex.erase(last.Key);
      FEntries.pop_back();
    }
  }
  void Trim(size_t maxCount, size_t maxCost = kNoLimit) {
    Trim(maxCount, maxCost, [](const TEntry&) {});
  }

  void Clear() {
    FIndex.clear();
    FEntries.clear();
    FCost = 0;
  }
  size_t Count() const { return FEntries.size(); }
  size_t Cost() const { return FCost; }
  bool Empty() const { return FEntries.empty(); }
  // From the most recently used to the least.
  const std::list<TEntry>& Entries() const { return FEntries; }

 private:
  std::list<TEntry> FEntries;
  std::unordered_map<TKey, typename std::list<TEntry>::iterator, THash> FIndex;
  size_t FCost = 0;
};

}  // namespace wy

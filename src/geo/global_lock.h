#pragma once
// The process-wide re-entrant lock shared by the map's render and the
// shapes (the tile caches have locks of their own). Lock order:
// GlobalMapLock first, then a list's own lock. Never wait for a worker
// thread while holding it.

#include <mutex>

namespace wy {

std::recursive_mutex& GlobalMapLock();

using TGlobalMapLockGuard = std::lock_guard<std::recursive_mutex>;

}  // namespace wy

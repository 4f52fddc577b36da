#include "geo/global_lock.h"

namespace wy {

std::recursive_mutex& GlobalMapLock() {
  // Never destroyed: worker threads that end during process exit may still
  // take it after static destructors have run.
  static auto* lock = new std::recursive_mutex();
  return *lock;
}

}  // namespace wy

#pragma once
// Calling application handlers safely: through a copy of the handler, since
// the handler may free the object that holds it (a shape deleting itself
// from its own click handler, a window closing the map).

#include <utility>

namespace wy {

// Calls the event unless it is empty; true when it was called.
template <typename F, typename... A>
bool Fire(const F& event, A&&... args) {
  if (!event) return false;
  F copy = event;
  copy(std::forward<A>(args)...);
  return true;
}

// A shape's own handler if it has one, else the map's.
template <typename F, typename... A>
void FireOwnOrMap(const F& own, const F& map, A&&... args) {
  if (!Fire(own, args...)) Fire(map, args...);
}

}  // namespace wy

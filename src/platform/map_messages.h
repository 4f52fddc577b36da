#pragma once
// Private messages posted to a map (or any window-thread object) from any
// thread. A worker posts to a target id, never to an object pointer: when the
// receiving mailbox is gone, the message is dropped without harm.

#include <cstdint>
#include <functional>
#include <memory>

namespace wy {

enum TMapMessage : uint32_t {
  WM_MAPREPAINT = 3024,      // repaint request (tile arrived, shape changed, icon loaded)
  WM_MAPBOUNDS = 3025,       // the visible bounds changed
  WM_MAPGROUPLOADED = 3027,  // a shape group finished reading its text
  WM_MAPROUTEPATH = 3028,    // a route arrived
};

// Id of a mailbox; 0 is no target. Ids are never reused within a process.
using TMessageTarget = uint64_t;

// Receives posted messages on the window thread. Create and destroy it on the
// window thread; the destructor leaves the registry first, so no message is
// delivered afterwards.
class TMessageMailbox {
 public:
  using THandler = std::function<void(uint32_t msg, intptr_t wParam, intptr_t lParam)>;
  explicit TMessageMailbox(THandler handler);
  ~TMessageMailbox();
  TMessageMailbox(const TMessageMailbox&) = delete;
  TMessageMailbox& operator=(const TMessageMailbox&) = delete;

  TMessageTarget Target() const { return FTarget; }

  struct TEntry;

 private:
  TMessageTarget FTarget;
  std::shared_ptr<TEntry> FEntry;
};

// Thread-safe and non-blocking. Returns false when the target does not exist
// (0, or its mailbox already destroyed) or nothing can deliver it.
bool PostMapMessage(TMessageTarget target, uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0);

}  // namespace wy

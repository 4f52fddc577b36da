#include "platform/map_messages.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "platform/window_thread.h"

namespace wy {

struct TMessageMailbox::TEntry {
  THandler FHandler;
  std::atomic<bool> FAlive{true};
};

namespace {

std::mutex gMailboxMutex;
std::unordered_map<TMessageTarget, std::shared_ptr<TMessageMailbox::TEntry>>& Mailboxes() {
  static auto* boxes =
      new std::unordered_map<TMessageTarget, std::shared_ptr<TMessageMailbox::TEntry>>();
  return *boxes;
}
std::atomic<TMessageTarget> gNextTarget{1};

}  // namespace

TMessageMailbox::TMessageMailbox(THandler handler)
    : FTarget(gNextTarget.fetch_add(1)), FEntry(std::make_shared<TEntry>()) {
  FEntry->FHandler = std::move(handler);
  std::lock_guard<std::mutex> lock(gMailboxMutex);
  Mailboxes()[FTarget] = FEntry;
}

TMessageMailbox::~TMessageMailbox() {
  std::lock_guard<std::mutex> lock(gMailboxMutex);
  FEntry->FAlive.store(false);
  Mailboxes().erase(FTarget);
}

bool PostMapMessage(TMessageTarget target, uint32_t msg, intptr_t wParam, intptr_t lParam) {
  if (target == 0) return false;
  std::shared_ptr<TMessageMailbox::TEntry> entry;
  {
    std::lock_guard<std::mutex> lock(gMailboxMutex);
    auto it = Mailboxes().find(target);
    if (it == Mailboxes().end()) return false;
    entry = it->second;
  }
  // The entry is only marked dead on the window thread, where the call runs,
  // so the check below cannot race with the mailbox's destruction.
  return PostToWindowThread([entry, msg, wParam, lParam] {
    if (entry->FAlive.load() && entry->FHandler) entry->FHandler(msg, wParam, lParam);
  });
}

}  // namespace wy

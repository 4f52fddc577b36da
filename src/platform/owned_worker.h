#pragma once
// One worker thread owned by an object that lives on the window thread: the
// pattern every background client uses (a request runs on the worker, its
// outcome goes back to the window thread, the owner joins the finished
// thread there and may start the next queued request).
//
// - Start runs the work on a new thread. When no thread can be started the
//   worker stays idle and Start says why: nothing is left busy.
// - Cancel sets the stop flag the work polls (StopFlag, AbortCheck), which
//   cuts a running transfer; Join waits for the thread.
// - Post, called by the work as its last act, queues the hand-off for the
//   window thread; it is dropped once the worker is destroyed.
// - Alive gives a token to copy before calling an event handler that may
//   destroy the owner.
// - A first-in first-out queue of request texts, safe to fill from any
//   thread, for owners that run their requests one after the other.
//
// Create, start, join and destroy on the window thread. Destroying the
// worker cancels and joins it; its queue is dropped.

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/window_thread.h"

namespace wy {

// Starts a thread running `body`. Throws std::system_error, as the
// std::thread constructor does, when no thread can be started.
using TThreadStarter = std::function<std::thread(std::function<void()> body)>;

// Tells whether the object that handed it out still exists.
class TAliveToken {
 public:
  TAliveToken() = default;
  explicit operator bool() const { return FAlive && FAlive->load(); }

 private:
  friend class TOwnedWorker;
  explicit TAliveToken(std::shared_ptr<const std::atomic<bool>> alive) : FAlive(std::move(alive)) {}
  std::shared_ptr<const std::atomic<bool>> FAlive;
};

class TOwnedWorker {
 public:
  using TWork = std::function<void()>;

  // An empty starter starts a plain std::thread.
  explicit TOwnedWorker(TThreadStarter starter = {});
  ~TOwnedWorker();
  TOwnedWorker(const TOwnedWorker&) = delete;
  TOwnedWorker& operator=(const TOwnedWorker&) = delete;

  // Replaces the starter used by later Start calls (empty: std::thread).
  void SetStarter(TThreadStarter starter) { FStarter = std::move(starter); }

  // Runs `work` on a new thread and marks the worker busy; the stop flag is
  // cleared first. A thread that is still joinable is joined before. False
  // when the worker is busy, or when no thread could be started: then
  // `work` never runs, the worker stays idle and `error` (may be null) says
  // why. The failure is logged under `what`.
  bool Start(TWork work, const std::string& what, std::string* error = nullptr);
  // From a successful Start until Join.
  bool Busy() const { return FBusy; }

  // Asks the running work to stop: sets the stop flag. Any thread.
  void Cancel() { FStop = true; }
  bool Cancelled() const { return FStop.load(); }
  const std::atomic<bool>& StopFlag() const { return FStop; }
  // A predicate for a download's Abort option: true once cancelled.
  std::function<bool()> AbortCheck() const;

  // Waits for the thread (short when its work has ended) and marks the
  // worker idle. Window thread.
  void Join();
  // Cancel, then Join.
  void Stop();

  // Queues fn for the window thread; dropped when the worker has been
  // destroyed by the time it would run. Any thread.
  bool Post(std::function<void()> fn) const { return FGuard.Post(std::move(fn)); }
  // True until the worker is destroyed.
  TAliveToken Alive() const { return TAliveToken(FAlive); }

  // The request queue. Any thread.
  void Push(std::string request);
  void Push(const std::vector<std::string>& requests);
  // The oldest queued request, taken out of the queue; false when the
  // worker is busy or the queue is empty.
  bool TakeNext(std::string& request);
  size_t QueuedCount() const;
  void ClearQueue();

 private:
  TThreadStarter FStarter;
  std::thread FThread;
  bool FBusy = false;
  std::atomic<bool> FStop{false};
  mutable std::mutex FQueueMutex;
  std::deque<std::string> FQueue;
  std::shared_ptr<std::atomic<bool>> FAlive = std::make_shared<std::atomic<bool>>(true);
  TReceiverGuard FGuard;
};

}  // namespace wy

#pragma once
// A timer thread that calls OnTimer on the window thread at a fixed interval
// until it is told to stop.
//
// The thread waits for at most the interval; when the wait times out it runs
// OnTimer on the window thread and waits until that call has returned, so the
// period is the interval plus the time the handler takes. The owner stops and
// joins the thread in its destructor.
//
// Rules for the owner:
// - Set and clear OnTimer on the window thread.
// - doTermine may be called from anywhere, also from inside OnTimer. Once it
//   has returned on the window thread, OnTimer is not called again.
// - Destroying the timer from the window thread never waits for the window
//   thread to process events: a tick still queued there is cancelled.
// - Destroying the timer from inside its own OnTimer (or from any code that
//   OnTimer runs, such as a nested event loop) is not allowed: the thread is
//   waiting for that very call and cannot be joined. Call doTermine there and
//   destroy the timer later.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace wy {

class TThreadedTimer {
 public:
  using TTimerEvent = std::function<void(TThreadedTimer* sender)>;

  // A timer created suspended does nothing until Start. With AIdlePriority
  // the thread lowers its own scheduling priority where the system allows
  // it without privileges (failure is ignored).
  TThreadedTimer(bool ACreateSuspended, uint32_t AInterval, bool AIdlePriority = false);
  // Stops the thread (doTermine) and joins it.
  ~TThreadedTimer();
  TThreadedTimer(const TThreadedTimer&) = delete;
  TThreadedTimer& operator=(const TThreadedTimer&) = delete;

  // Starts a suspended timer; the first tick comes one interval later.
  // Does nothing when the thread already runs or the timer was terminated.
  void Start();
  // Wakes the thread and sets the stop flag: no further tick happens.
  void doTermine();
  // True once the timer was told to stop (or its thread has ended).
  bool Terminated() const { return _FTerminated.load(); }
  uint32_t Interval() const { return FInterval; }

  // Called on the window thread with the timer as sender; empty = skipped.
  TTimerEvent OnTimer;

 private:
  void Execute();
  // Waits for the event for at most the interval and resets it (auto-reset).
  // Returns true when it was signalled.
  bool WaitForEvent();

  std::atomic<bool> _FTerminated{false};
  std::mutex FEventMutex;
  std::condition_variable FEventChanged;
  bool FEventSet = false;  // guarded by FEventMutex
  const uint32_t FInterval;
  const bool FIdlePriority;
  std::mutex FStartMutex;  // guards FThread against Start racing the destructor
  std::thread FThread;
};

}  // namespace wy

#pragma once
// Hand-offs between worker threads and the window (GUI) thread.
//
// The window thread is the thread of the QCoreApplication instance. Worker
// threads never touch widgets: they either post a call that runs later on the
// window thread (PostToWindowThread, TReceiverGuard::Post), or, for the map's
// timer only, run a call there and wait for it (RunOnWindowThreadAndWait).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace wy {

// True on the window thread, and everywhere when no application object exists
// (a command-line use without an event loop is its own window thread).
bool IsWindowThread();

// Queues fn to run on the window thread and returns at once. Returns false
// when there is no application object to run it (the call is dropped).
bool PostToWindowThread(std::function<void()> fn);

// Runs fn on the window thread and waits until it has run. On the window
// thread (or without an application object) fn is called directly.
// When cancel is given and becomes true before fn started, the wait ends and
// fn is dropped; a call already running is always waited for. Returns true
// when fn ran.
bool RunOnWindowThreadAndWait(const std::function<void()>& fn,
                              const std::atomic<bool>* cancel = nullptr);

// Runs the calls and events already queued for the window thread.
void ProcessPendingMessages();
// The same, leaving mouse and key input queued: the window repaints and
// results arrive, but nothing the user does runs until the caller returns
// (for long work on the window thread that must not be re-entered).
void ProcessPendingMessagesExceptInput();
// True when an application object runs the window thread's queue, so that
// posted calls run (false in a command-line use without one).
bool HasWindowThreadQueue();

// Window thread only: until `milliseconds` of real time (SystemTick, whatever
// the process tick says) have passed since the call, lets
// queued calls and events run, then sleeps 1 ms. 0 returns at once.
void WaitProcessing(uint32_t milliseconds);

// Lifetime token of an object that lives on the window thread and receives
// results from workers. Calls posted through the guard run only while the
// guard exists: once its owner is destroyed they are dropped. Create and
// destroy it on the window thread; Post may be called from any thread.
class TReceiverGuard {
 public:
  TReceiverGuard();
  ~TReceiverGuard();
  TReceiverGuard(const TReceiverGuard&) = delete;
  TReceiverGuard& operator=(const TReceiverGuard&) = delete;

  // Queues fn for the window thread; dropped when the guard is gone by then.
  bool Post(std::function<void()> fn) const;
  // Wraps fn so that it does nothing once the guard is gone (window thread).
  std::function<void()> Bind(std::function<void()> fn) const;

 private:
  std::shared_ptr<std::atomic<bool>> FAlive;
};

}  // namespace wy

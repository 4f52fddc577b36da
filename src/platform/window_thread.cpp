#include "platform/window_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/tick.h"

namespace wy {

bool IsWindowThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app == nullptr || QThread::currentThread() == app->thread();
}

namespace {

// Qt's queue of posted calls is guarded by Qt's own lock, which a race
// detector does not see when Qt is not built for it: a call built on a
// worker and run on the window thread would look unsynchronised. So the call
// is built and queued under this lock, and taken under it on the window
// thread before it is run or destroyed. (Recursive: a call that fails to
// queue is destroyed inside invokeMethod, with the lock held.)
std::recursive_mutex& HandOffLock() {
  static std::recursive_mutex lock;
  return lock;
}

class THandOffCall {
 public:
  explicit THandOffCall(std::function<void()> fn) : FFn(std::move(fn)) {}
  THandOffCall(THandOffCall&& other) noexcept : FFn(std::move(other.FFn)) {}
  THandOffCall(const THandOffCall&) = delete;
  THandOffCall& operator=(const THandOffCall&) = delete;
  THandOffCall& operator=(THandOffCall&&) = delete;
  // Runs first in the destructor: the function is destroyed after it.
  ~THandOffCall() { std::lock_guard<std::recursive_mutex> taken(HandOffLock()); }

  void operator()() {
    { std::lock_guard<std::recursive_mutex> taken(HandOffLock()); }
    if (FFn) FFn();
  }

 private:
  std::function<void()> FFn;
};

}  // namespace

bool PostToWindowThread(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || !fn) return false;
  std::lock_guard<std::recursive_mutex> queueing(HandOffLock());
  return QMetaObject::invokeMethod(app, THandOffCall(std::move(fn)), Qt::QueuedConnection);
}

namespace {

// Shared between the waiting thread and the queued call. Its states move
// pending -> running -> done, or pending -> dropped (cancelled, or the queued
// call was destroyed without running because the application went away).
struct TCallState {
  enum TPhase { cpPending, cpRunning, cpDone, cpDropped };
  std::mutex FMutex;
  std::condition_variable FChanged;
  TPhase FPhase = cpPending;

  bool Begin() {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FPhase != cpPending) return false;
    FPhase = cpRunning;
    return true;
  }
  void Finish(TPhase phase) {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      if (FPhase == cpDone || FPhase == cpDropped) return;
      if (phase == cpDropped && FPhase == cpRunning) return;
      FPhase = phase;
    }
    FChanged.notify_all();
  }
};

// Owned by the queued functor: when the functor is destroyed without having
// run, the waiter is released.
struct TCallTicket {
  std::shared_ptr<TCallState> FState;
  ~TCallTicket() { FState->Finish(TCallState::cpDropped); }
};

}  // namespace

bool RunOnWindowThreadAndWait(const std::function<void()>& fn, const std::atomic<bool>* cancel) {
  if (!fn) return false;
  if (IsWindowThread()) {
    fn();
    return true;
  }
  auto state = std::make_shared<TCallState>();
  auto ticket = std::make_shared<TCallTicket>();
  ticket->FState = state;
  const std::function<void()>* call = &fn;  // outlives the wait below
  bool posted = PostToWindowThread([ticket, call] {
    if (!ticket->FState->Begin()) return;
    (*call)();
    ticket->FState->Finish(TCallState::cpDone);
  });
  ticket.reset();
  if (!posted) return false;

  std::unique_lock<std::mutex> lock(state->FMutex);
  for (;;) {
    if (state->FPhase == TCallState::cpDone) return true;
    if (state->FPhase == TCallState::cpDropped) return false;
    if (state->FPhase == TCallState::cpPending && cancel != nullptr && cancel->load()) {
      state->FPhase = TCallState::cpDropped;
      return false;
    }
    state->FChanged.wait_for(lock, std::chrono::milliseconds(2));
  }
}

void ProcessPendingMessages() {
  if (QCoreApplication::instance() == nullptr) return;
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void ProcessPendingMessagesExceptInput() {
  if (QCoreApplication::instance() == nullptr) return;
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool HasWindowThreadQueue() {
  return QCoreApplication::instance() != nullptr;
}

void WaitProcessing(uint32_t milliseconds) {
  if (milliseconds == 0) return;
  // Real time, not the replaceable process tick: a test that freezes the
  // tick must still be able to wait.
  const uint32_t start = SystemTick();
  while (TickElapsed(SystemTick(), start) < milliseconds) {
    ProcessPendingMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TReceiverGuard::TReceiverGuard() : FAlive(std::make_shared<std::atomic<bool>>(true)) {}

TReceiverGuard::~TReceiverGuard() {
  FAlive->store(false);
}

std::function<void()> TReceiverGuard::Bind(std::function<void()> fn) const {
  std::shared_ptr<std::atomic<bool>> alive = FAlive;
  return [alive, fn = std::move(fn)] {
    if (alive->load() && fn) fn();
  };
}

bool TReceiverGuard::Post(std::function<void()> fn) const {
  return PostToWindowThread(Bind(std::move(fn)));
}

}  // namespace wy

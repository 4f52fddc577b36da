#include "geo/threaded_timer.h"

#include <chrono>

#include "platform/window_thread.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace wy {

namespace {

// Lowers the calling thread's priority as far as an unprivileged thread may.
void LowerOwnPriority() {
#if defined(__linux__)
  // On Linux the nice value is per thread; raising it needs no privileges.
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  (void)setpriority(PRIO_PROCESS, tid, 19);
#endif
}

}  // namespace

TThreadedTimer::TThreadedTimer(bool ACreateSuspended, uint32_t AInterval, bool AIdlePriority)
    : FInterval(AInterval), FIdlePriority(AIdlePriority) {
  if (!ACreateSuspended) Start();
}

TThreadedTimer::~TThreadedTimer() {
  doTermine();
  std::lock_guard<std::mutex> lock(FStartMutex);
  if (FThread.joinable()) FThread.join();
}

void TThreadedTimer::Start() {
  std::lock_guard<std::mutex> lock(FStartMutex);
  if (FThread.joinable() || _FTerminated.load()) return;
  FThread = std::thread([this] { Execute(); });
}

void TThreadedTimer::doTermine() {
  {
    std::lock_guard<std::mutex> lock(FEventMutex);
    FEventSet = true;
  }
  _FTerminated.store(true);
  FEventChanged.notify_all();
}

bool TThreadedTimer::WaitForEvent() {
  std::unique_lock<std::mutex> lock(FEventMutex);
  const bool signalled = FEventChanged.wait_for(lock, std::chrono::milliseconds(FInterval),
                                                [this] { return FEventSet; });
  FEventSet = false;
  return signalled;
}

void TThreadedTimer::Execute() {
  if (FIdlePriority) LowerOwnPriority();
  const std::function<void()> step = [this] {
    // Checked again on the window thread: a doTermine that ran there while
    // this call was queued must not be followed by a tick.
    if (!_FTerminated.load() && OnTimer) OnTimer(this);
  };
  while (!_FTerminated.load()) {
    if (WaitForEvent()) {
      _FTerminated.store(true);
      break;
    }
    if (_FTerminated.load()) break;
    // Cancelled by the stop flag while still queued, so that the owner can
    // join this thread from the window thread without pumping events.
    RunOnWindowThreadAndWait(step, &_FTerminated);
  }
}

}  // namespace wy

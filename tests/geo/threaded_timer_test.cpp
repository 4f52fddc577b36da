#include "geo/threaded_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/window_thread.h"
#include "support/test_helpers.h"

namespace wy {
namespace {

using test_support::PumpUntil;

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// Aborts the process when a step that must not hang has not finished in time.
class THangWatchdog {
 public:
  explicit THangWatchdog(int limitMs) {
    FThread = std::thread([this, limitMs] {
      std::unique_lock<std::mutex> lock(FMutex);
      if (!FDone.wait_for(lock, milliseconds(limitMs), [this] { return FFinished; })) {
        std::fprintf(stderr, "hang: step did not finish within %d ms\n", limitMs);
        std::abort();
      }
    });
  }
  ~THangWatchdog() {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FFinished = true;
    }
    FDone.notify_all();
    FThread.join();
  }

 private:
  std::mutex FMutex;
  std::condition_variable FDone;
  bool FFinished = false;
  std::thread FThread;
};

TEST(ThreadedTimer, TicksOnTheWindowThreadWithItselfAsSender) {
  const auto created = Clock::now();
  std::vector<long long> at;
  bool onWindowThread = true;
  TThreadedTimer* sender = nullptr;
  TThreadedTimer timer(false, 20);
  timer.OnTimer = [&](TThreadedTimer* s) {
    at.push_back(MsSince(created));
    onWindowThread = onWindowThread && IsWindowThread();
    sender = s;
  };
  ASSERT_TRUE(PumpUntil([&] { return at.size() >= 3; }));
  EXPECT_TRUE(onWindowThread);
  EXPECT_EQ(sender, &timer);
  EXPECT_GE(at[0], 20);  // one interval after creation, not at once
  EXPECT_FALSE(timer.Terminated());
}

TEST(ThreadedTimer, PeriodIsTheIntervalPlusTheHandler) {
  std::vector<Clock::time_point> at;
  TThreadedTimer timer(false, 20);
  timer.OnTimer = [&](TThreadedTimer*) {
    at.push_back(Clock::now());
    std::this_thread::sleep_for(milliseconds(50));
  };
  ASSERT_TRUE(PumpUntil([&] { return at.size() >= 5; }));
  timer.doTermine();
  for (size_t i = 1; i < at.size(); ++i) {
    const auto gap = std::chrono::duration_cast<std::chrono::microseconds>(at[i] - at[i - 1]);
    EXPECT_GE(gap.count(), 70000) << "tick " << i;
  }
}

TEST(ThreadedTimer, NoTickAfterDoTermine) {
  // Stopped from inside the handler, and from the window thread between ticks.
  for (bool fromHandler : {true, false}) {
    SCOPED_TRACE(fromHandler ? "from the handler" : "between ticks");
    int ticks = 0;
    TThreadedTimer timer(false, 5);
    timer.OnTimer = [&](TThreadedTimer* s) {
      ++ticks;
      if (fromHandler && ticks == 3) s->doTermine();
    };
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }));
    if (!fromHandler) timer.doTermine();
    EXPECT_TRUE(timer.Terminated());
    const int stoppedAt = ticks;
    WaitProcessing(100);
    EXPECT_EQ(ticks, stoppedAt);
  }
}

TEST(ThreadedTimer, StopWhileATickIsQueuedDropsIt) {
  // The window thread is busy (does not pump) while the timer's tick waits to
  // be run there; doTermine must win over the queued tick.
  int ticks = 0;
  TThreadedTimer timer(false, 5);
  timer.OnTimer = [&](TThreadedTimer*) { ++ticks; };
  std::this_thread::sleep_for(milliseconds(50));
  timer.doTermine();
  WaitProcessing(50);
  EXPECT_EQ(ticks, 0);
}

TEST(ThreadedTimer, SuspendedTimerWaitsForStart) {
  int ticks = 0;
  long long firstAt = -1;
  TThreadedTimer timer(true, 10);
  timer.OnTimer = [&](TThreadedTimer*) { ++ticks; };
  WaitProcessing(60);
  EXPECT_EQ(ticks, 0);
  const auto started = Clock::now();
  timer.OnTimer = [&](TThreadedTimer*) {
    if (ticks++ == 0) firstAt = MsSince(started);
  };
  timer.Start();
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 2; }));
  EXPECT_GE(firstAt, 10);
}

TEST(ThreadedTimer, DestroyingDoesNotWaitForTheWindowThread) {
  int ticks = 0;
  auto timer = std::make_unique<TThreadedTimer>(false, 5);
  timer->OnTimer = [&](TThreadedTimer*) { ++ticks; };
  // Without pumping, the timer's thread is by now blocked handing its tick
  // to this thread.
  std::this_thread::sleep_for(milliseconds(50));
  {
    THangWatchdog watchdog(10000);
    timer.reset();
  }
  // The dropped tick is still queued here; running it must do nothing.
  WaitProcessing(30);
  EXPECT_EQ(ticks, 0);
}

TEST(ThreadedTimer, DestroyingASuspendedOrIdlePriorityTimer) {
  THangWatchdog watchdog(10000);
  { TThreadedTimer never(true, 10); }
  int ticks = 0;
  TThreadedTimer idle(false, 10, true);
  idle.OnTimer = [&](TThreadedTimer*) { ++ticks; };
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 2; }));
}

}  // namespace
}  // namespace wy

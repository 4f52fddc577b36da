#include "platform/window_thread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <thread>

#include "platform/tick.h"

namespace wy {
namespace {

TEST(WindowThread, MainThreadIsTheWindowThread) {
  EXPECT_TRUE(IsWindowThread());
  bool workerIsWindow = true;
  std::thread([&] { workerIsWindow = IsWindowThread(); }).join();
  EXPECT_FALSE(workerIsWindow);
}

TEST(WindowThread, RunAndWaitIsDirectOnTheWindowThread) {
  int calls = 0;
  EXPECT_TRUE(RunOnWindowThreadAndWait([&] { ++calls; }));
  EXPECT_EQ(calls, 1);  // ran before returning, without any event processing
}

TEST(WindowThread, RunAndWaitFromAWorkerRunsOnTheWindowThreadAndBlocks) {
  std::atomic<bool> finished{false};
  bool ranOnWindowThread = false;
  bool valueSeenAfterReturn = false;
  int value = 0;
  std::thread worker([&] {
    const bool ran = RunOnWindowThreadAndWait([&] {
      ranOnWindowThread = IsWindowThread();
      value = 42;
    });
    valueSeenAfterReturn = ran && value == 42;
    finished = true;
  });
  const uint32_t start = TickCount();
  while (!finished && TickElapsed(TickCount(), start) < 5000) WaitProcessing(5);
  worker.join();
  EXPECT_TRUE(ranOnWindowThread);
  EXPECT_TRUE(valueSeenAfterReturn);
}

TEST(WindowThread, CancelledWaitReturnsWithoutRunning) {
  std::atomic<bool> cancel{false};
  std::atomic<bool> returned{false};
  std::atomic<int> calls{0};
  bool result = true;
  std::thread worker([&] {
    result = RunOnWindowThreadAndWait([&] { ++calls; }, &cancel);
    returned = true;
  });
  // The window thread does not pump: the worker stays blocked until cancelled.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(returned);
  cancel = true;
  worker.join();  // returns without any event processing
  EXPECT_FALSE(result);
  ProcessPendingMessages();  // the queued call is dropped, not run late
  EXPECT_EQ(calls, 0);
}

TEST(WindowThread, PostedCallsRunLaterInOrder) {
  std::vector<int> order;
  std::thread([&] {
    for (int i = 0; i < 5; ++i) PostToWindowThread([&order, i] { order.push_back(i); });
  }).join();
  EXPECT_TRUE(order.empty());
  ProcessPendingMessages();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(WindowThread, ReceiverGuardDropsCallsForAGoneReceiver) {
  int delivered = 0;
  auto guard = std::make_unique<TReceiverGuard>();
  std::thread([&] {
    guard->Post([&] { ++delivered; });
    guard->Post([&] { ++delivered; });
  }).join();
  ProcessPendingMessages();
  EXPECT_EQ(delivered, 2);

  std::thread([&] { guard->Post([&] { ++delivered; }); }).join();
  guard.reset();  // the receiver goes away before the call is delivered
  ProcessPendingMessages();
  EXPECT_EQ(delivered, 2);
}

TEST(WindowThread, WaitProcessingRunsQueuedCallsAndWaitsAtLeastTheTime) {
  EXPECT_EQ([] {
    const uint32_t start = SystemTick();
    WaitProcessing(0);
    return TickElapsed(SystemTick(), start) < 50;
  }(), true);

  bool ran = false;
  PostToWindowThread([&] { ran = true; });
  const uint32_t start = SystemTick();
  WaitProcessing(30);
  EXPECT_TRUE(ran);
  EXPECT_GE(TickElapsed(SystemTick(), start), 30u);
}

}  // namespace
}  // namespace wy

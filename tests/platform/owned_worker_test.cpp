#include "platform/owned_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "support/test_helpers.h"

namespace wy {
namespace {

using test_support::PumpUntil;

// A starter that cannot start threads, as when the process is out of them.
std::thread FailingStarter(std::function<void()>) {
  throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

TEST(OwnedWorker, AThreadThatCannotStartLeavesTheWorkerIdleWithAReason) {
  TOwnedWorker worker(FailingStarter);
  std::atomic<bool> ran{false};
  std::string error;
  EXPECT_FALSE(worker.Start([&] { ran = true; }, "test work", &error));
  EXPECT_FALSE(worker.Busy());
  EXPECT_NE(error.find("no worker thread"), std::string::npos) << error;
  EXPECT_GT(error.size(), std::string("no worker thread: ").size()) << "the reason is kept";
  // Threads are available again: the same worker starts normally.
  worker.SetStarter({});
  ASSERT_TRUE(worker.Start([&] { ran = true; }, "test work"));
  EXPECT_TRUE(worker.Busy());
  worker.Join();
  EXPECT_FALSE(worker.Busy());
  EXPECT_TRUE(ran);
}

TEST(OwnedWorker, DestroyingCutsTheWorkAndDropsItsHandOff) {
  std::atomic<bool> started{false};
  int handOffs = 0;
  TAliveToken alive;
  {
    TOwnedWorker worker;
    alive = worker.Alive();
    EXPECT_TRUE(alive);
    TOwnedWorker* self = &worker;
    ASSERT_TRUE(worker.Start(
        [&, self] {
          started = true;
          // Stands for a transfer that polls its abort predicate.
          const auto aborted = self->AbortCheck();
          while (!aborted()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          self->Post([&] { ++handOffs; });
        },
        "test work"));
    ASSERT_TRUE(PumpUntil([&] { return started.load(); }));
    EXPECT_FALSE(worker.Cancelled());
  }  // cancels and joins: returns only because the loop saw the stop flag
  EXPECT_FALSE(alive);
  WaitProcessing(30);
  EXPECT_EQ(handOffs, 0);
}

TEST(OwnedWorker, HandOffRunsOnTheWindowThreadThenTheNextRequestStarts) {
  TOwnedWorker worker;
  worker.Push(std::vector<std::string>{"a", "b"});
  worker.Push("c");
  std::vector<std::string> done;
  const std::thread::id windowThread = std::this_thread::get_id();
  std::function<void()> startNext = [&] {
    std::string request;
    if (!worker.TakeNext(request)) return;
    ASSERT_TRUE(worker.Start(
        [&, request] {
          worker.Post([&, request] {
            EXPECT_EQ(std::this_thread::get_id(), windowThread);
            worker.Join();
            done.push_back(request);
            startNext();
          });
        },
        "test work"));
    // Busy: the queue waits for the running request.
    std::string other;
    EXPECT_FALSE(worker.TakeNext(other));
  };
  startNext();
  ASSERT_TRUE(PumpUntil([&] { return done.size() == 3; }));
  EXPECT_EQ(done, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(worker.QueuedCount(), 0u);
}

}  // namespace
}  // namespace wy

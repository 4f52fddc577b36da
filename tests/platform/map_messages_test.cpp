#include "platform/map_messages.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/window_thread.h"

namespace wy {
namespace {

struct TReceived {
  uint32_t msg;
  intptr_t w, l;
  bool operator==(const TReceived& o) const { return msg == o.msg && w == o.w && l == o.l; }
};

TEST(MapMessages, DeliveredOnTheWindowThreadInOrder) {
  std::vector<TReceived> got;
  bool onWindowThread = true;
  TMessageMailbox box([&](uint32_t msg, intptr_t w, intptr_t l) {
    onWindowThread = onWindowThread && IsWindowThread();
    got.push_back({msg, w, l});
  });
  std::thread([&] {
    EXPECT_TRUE(PostMapMessage(box.Target(), WM_MAPREPAINT));
    EXPECT_TRUE(PostMapMessage(box.Target(), WM_MAPGROUPLOADED, 7, -3));
  }).join();
  EXPECT_TRUE(got.empty());
  ProcessPendingMessages();
  EXPECT_EQ(got, (std::vector<TReceived>{{3024, 0, 0}, {3027, 7, -3}}));
  EXPECT_TRUE(onWindowThread);
}

TEST(MapMessages, PostingToAGoneOrMissingTargetIsHarmless) {
  EXPECT_FALSE(PostMapMessage(0, WM_MAPREPAINT));

  int delivered = 0;
  TMessageTarget target;
  {
    TMessageMailbox box([&](uint32_t, intptr_t, intptr_t) { ++delivered; });
    target = box.Target();
    // Queued while the mailbox exists, delivered after it is gone.
    EXPECT_TRUE(PostMapMessage(target, WM_MAPREPAINT));
  }
  EXPECT_FALSE(PostMapMessage(target, WM_MAPREPAINT));
  ProcessPendingMessages();
  EXPECT_EQ(delivered, 0);

  // A new mailbox never takes over an old id.
  TMessageMailbox other([&](uint32_t, intptr_t, intptr_t) { ++delivered; });
  EXPECT_NE(other.Target(), target);
}

TEST(MapMessages, ManyWorkersPostWhileTheTargetIsDestroyed) {
  std::atomic<int> delivered{0};
  auto box = std::make_unique<TMessageMailbox>([&](uint32_t, intptr_t, intptr_t) { ++delivered; });
  const TMessageTarget target = box->Target();
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int i = 0; i < 4; ++i)
    workers.emplace_back([&] {
      while (!stop) PostMapMessage(target, WM_MAPREPAINT);
    });
  ProcessPendingMessages();
  box.reset();
  const int before = delivered;
  ProcessPendingMessages();
  stop = true;
  for (auto& t : workers) t.join();
  ProcessPendingMessages();
  EXPECT_EQ(delivered, before);
}

}  // namespace
}  // namespace wy

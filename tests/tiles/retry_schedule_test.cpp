#include "tiles/retry_schedule.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace wy {
namespace {

struct TClock {
  uint32_t Now = 1000;
  TTickSource Source() {
    return [this] { return Now; };
  }
};

TEST(RetrySchedule, BackOffDoublesUpToTheMaximumAndASuccessForgetsIt) {
  TClock clock;
  TRetrySchedule retries(2000, 7000, clock.Source());
  EXPECT_FALSE(retries.Pending("t"));
  EXPECT_FALSE(retries.Failed("t"));
  const uint32_t expected[] = {2000, 4000, 7000, 7000};
  for (uint32_t wait : expected) {
    SCOPED_TRACE(wait);
    retries.RecordFailure("t");
    EXPECT_TRUE(retries.Failed("t"));
    clock.Now += wait - 1;
    EXPECT_TRUE(retries.Pending("t"));
    clock.Now += 1;
    EXPECT_FALSE(retries.Pending("t"));
    EXPECT_TRUE(retries.Failed("t")) << "failed until it arrives";
  }
  retries.Forget("t");
  retries.RecordFailure("t");
  EXPECT_EQ(retries.DelayMs("t"), 2000u);
}

TEST(RetrySchedule, ServerPauseAndDeferralDoNotShortenOrGrowTheBackOff) {
  TClock clock;
  TRetrySchedule retries(2000, 60000, clock.Source());
  retries.RecordFailure("t", 30000);  // the server asked for 30 s
  clock.Now += 29999;
  EXPECT_TRUE(retries.Pending("t"));
  clock.Now += 1;
  EXPECT_FALSE(retries.Pending("t"));
  EXPECT_EQ(retries.DelayMs("t"), 2000u);
  retries.Defer("t", 500);  // not asked: back-off unchanged
  EXPECT_TRUE(retries.Pending("t"));
  EXPECT_EQ(retries.DelayMs("t"), 2000u);
  clock.Now += 500;
  EXPECT_FALSE(retries.Pending("t"));
  retries.RecordFailure("t");
  EXPECT_EQ(retries.DelayMs("t"), 4000u);
}

TEST(RetrySchedule, EachRunOutWaitIsReportedOnceAcrossTheTickWrap) {
  TClock clock;
  clock.Now = UINT32_MAX - 100;
  TRetrySchedule retries(2000, 60000, clock.Source());
  retries.RecordFailure("a");
  EXPECT_FALSE(retries.TakeDue());
  clock.Now += 2000;  // wraps
  EXPECT_TRUE(retries.TakeDue());
  EXPECT_FALSE(retries.TakeDue());
  retries.RecordFailure("a");
  clock.Now += 4000;
  EXPECT_TRUE(retries.TakeDue());
}

TEST(RetrySchedule, ManyWaitingTilesForgetOnlyThoseWhoseWaitRanOut) {
  TClock clock;
  TRetrySchedule retries(2000, 60000, clock.Source(), 3);
  retries.RecordFailure("old");
  clock.Now += 5000;
  retries.RecordFailure("a");
  retries.RecordFailure("b");
  retries.RecordFailure("c");  // full: "old" has run out and goes
  EXPECT_FALSE(retries.Failed("old"));
  EXPECT_TRUE(retries.Failed("a"));
  EXPECT_TRUE(retries.Failed("c"));
}

}  // namespace
}  // namespace wy

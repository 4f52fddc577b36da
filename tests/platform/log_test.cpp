#include "platform/log.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace wy {
namespace {

TEST(LogTest, ThresholdDecidesWhatIsWrittenAndCaptureRestoresIt) {
  const TLogLevel before = LogLevel();
  {
    TScopedLogCapture capture(llInfo);
    LogDebug("geo", "hidden");
    LogInfo("geo", "shown");
    LogError("tiles", "broken");
    Log(llOff, "tiles", "never");
    const auto records = capture.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Level, llInfo);
    EXPECT_EQ(records[1].Category, "tiles");
    EXPECT_TRUE(capture.Contains("tiles", "broken"));
    EXPECT_FALSE(capture.Contains("geo", "broken"));
  }
  EXPECT_EQ(LogLevel(), before);
}

TEST(LogTest, CaughtExceptionsAreNamedWithTheirContext) {
  TScopedLogCapture capture(llWarning);
  try {
    throw std::runtime_error("disk full");
  } catch (...) {
    LogCaughtException(llWarning, "tiles", "writing tile 1/2/3");
  }
  try {
    throw 42;
  } catch (...) {
    LogCaughtException(llError, "map", "drawing");
  }
  EXPECT_TRUE(capture.Contains("tiles", "writing tile 1/2/3: disk full"));
  EXPECT_TRUE(capture.Contains("map", "drawing: unknown exception"));
}

TEST(LogTest, LevelNamesReadBack) {
  struct Case {
    const char* text;
    bool ok;
    TLogLevel level;
  };
  for (const Case& c :
       {Case{"debug", true, llDebug}, Case{"INFO", true, llInfo}, Case{"warn", true, llWarning},
        Case{"Error", true, llError}, Case{"off", true, llOff}, Case{"loud", false, llDebug}}) {
    TLogLevel level = llDebug;
    EXPECT_EQ(LogLevelFromName(c.text, level), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(level, c.level) << c.text;
    }
  }
}

}  // namespace
}  // namespace wy

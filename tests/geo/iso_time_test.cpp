#include "geo/iso_time.h"

#include <gtest/gtest.h>

#include <cmath>

#include <string>

#include "support/comma_locale.h"

namespace wy {
namespace {

struct TParseCase {
  const char* text;
  bool ok;
  double seconds;
};

TEST(IsoTime, ReadsTheFormsFilesWrite) {
  const TParseCase cases[] = {
      {"1970-01-01T00:00:00Z", true, 0},
      {"2024-05-01T12:00:00Z", true, 1714564800},
      {"2024-05-01T14:00:00+02:00", true, 1714564800},
      {"2024-05-01T07:30:00-0430", true, 1714564800},
      {"2024-05-01T13:00:00+01", true, 1714564800},
      {"2024-05-01T12:00:00.250Z", true, 1714564800.25},
      {"2024-05-01T12:00:00,5Z", true, 1714564800.5},
      {"2024-05-01T12:00:00", true, 1714564800},  // no zone: UTC
      {"2024-05-01 12:00:00Z", true, 1714564800},
      {"2024-05-01T12:00Z", true, 1714564800},
      {"2024-05-01", true, 1714521600},
      {" 2024-05-01T12:00:00Z\n", true, 1714564800},
      {"2024-02-29T00:00:00Z", true, 1709164800},  // leap day
      {"1969-12-31T23:59:59Z", true, -1},
      {"2023-02-29T00:00:00Z", false, 0},
      {"2024-13-01T00:00:00Z", false, 0},
      {"2024-05-01T25:00:00Z", false, 0},
      {"2024-05-01T12:00:00.Z", false, 0},
      {"2024-05-01T12:00:00Zjunk", false, 0},
      {"2020", false, 0},
      {"", false, 0},
      {"yesterday", false, 0},
  };
  for (const TParseCase& c : cases) {
    double seconds = 12345;
    EXPECT_EQ(ParseIsoTime(c.text, seconds), c.ok) << c.text;
    EXPECT_DOUBLE_EQ(seconds, c.ok ? c.seconds : 12345) << c.text;
  }
}

TEST(IsoTime, WritesUtcWithTheFractionThatIsThere) {
  // Whatever the locale, "." separates the fraction.
  test_support::CommaLocaleScope comma;
  const struct {
    double seconds;
    const char* iso;
    const char* plain;
  } cases[] = {
      {0, "1970-01-01T00:00:00Z", "0"},
      {1714564800, "2024-05-01T12:00:00Z", "1714564800"},
      {1714564800.25, "2024-05-01T12:00:00.25Z", "1714564800.25"},
      {1714564800.123456, "2024-05-01T12:00:00.123456Z", "1714564800.123456"},
      {-0.5, "1969-12-31T23:59:59.5Z", "-0.5"},
      {951782400, "2000-02-29T00:00:00Z", "951782400"},  // a century's leap day
      {4102444799, "2099-12-31T23:59:59Z", "4102444799"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsoTimeText(c.seconds), c.iso) << c.seconds;
    EXPECT_EQ(EpochSecondsText(c.seconds), c.plain) << c.seconds;
    // Written and read again, a time is the same to the microsecond.
    double back = 0;
    ASSERT_TRUE(ParseIsoTime(IsoTimeText(c.seconds), back));
    EXPECT_NEAR(back, c.seconds, 1e-6);
  }
  // No date for what is no time.
  for (double none : {std::nan(""), HUGE_VAL, 1e300, kNoTime}) EXPECT_EQ(IsoTimeText(none), "");
}

}  // namespace
}  // namespace wy

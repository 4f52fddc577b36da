#include "geo/http_date.h"

#include <gtest/gtest.h>

#include <string>

namespace wy {
namespace {

// 1994-11-06 08:49:37 UTC.
constexpr int64_t kExample = 784111777;

TEST(HttpDate, ReadsTheThreeFormsAndRefusesTheRest) {
  const struct {
    const char* Text;
    bool Ok;
    int64_t Seconds;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", true, kExample},
      {"Sunday, 06-Nov-94 08:49:37 GMT", true, kExample},
      {"Sun Nov  6 08:49:37 1994", true, kExample},
      {"  Sun, 06 Nov 1994 08:49:37 GMT  ", true, kExample},
      {"Thu, 01 Jan 1970 00:00:00 GMT", true, 0},
      {"Tue, 29 Feb 2028 23:59:59 GMT", true, 1835481599},
      {"Fri, 31 Dec 9999 23:59:59 GMT", true, 253402300799},
      {"Monday, 01-Jan-35 00:00:00 GMT", true, 2051222400},  // two-digit years up to 2069
      {"0", false, 0},
      {"-1", false, 0},
      {"", false, 0},
      {"Sun, 06 Nov 1994 08:49:37", false, 0},      // no zone
      {"Sun, 06 Nov 1994 08:49:37 CET", false, 0},  // not GMT
      {"Sun, 31 Nov 1994 08:49:37 GMT", false, 0},  // no such day
      {"Tue, 29 Feb 2100 00:00:00 GMT", false, 0},  // not a leap year
      {"Sun, 06 Nov 1994 24:00:00 GMT", false, 0},
      {"Sun, 06 Nov 1994 08:49:37 GMT trailing", false, 0},
      {"Sun, 06 nov 1994 08:49:37 GMT", false, 0},  // month names are case-sensitive
  };
  for (const auto& c : cases) {
    int64_t seconds = -42;
    EXPECT_EQ(ParseHttpDate(c.Text, seconds), c.Ok) << c.Text;
    EXPECT_EQ(seconds, c.Ok ? c.Seconds : -42) << c.Text;
  }
}

TEST(HttpDate, FormatsWhatItReads) {
  EXPECT_EQ(FormatHttpDate(kExample), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(FormatHttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
  for (int64_t t :
       {int64_t{0}, kExample, int64_t{951782400}, int64_t{1835481599}, int64_t{4102444800}}) {
    int64_t back = -1;
    ASSERT_TRUE(ParseHttpDate(FormatHttpDate(t), back)) << FormatHttpDate(t);
    EXPECT_EQ(back, t);
  }
}

}  // namespace
}  // namespace wy

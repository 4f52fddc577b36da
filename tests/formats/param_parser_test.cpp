#include "formats/param_parser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace wy {
namespace {

TEST(ParamParser, FindsFieldsByTheirWholeName) {
  TWyParamParser p("lat=1;lng=2", ';');
  EXPECT_EQ(p.Text(), ";lat=1;lng=2;");
  EXPECT_EQ(p.ToStr("lng"), "2");
  EXPECT_EQ(p.ToStr("lat"), "1");
  EXPECT_EQ(p.ToStr("la"), "");
  // The separator is searched in front of the name.
  p.SetText("flat=1");
  EXPECT_EQ(p.ToStr("lat"), "");
  EXPECT_EQ(p.ToDouble("lat", 5), 5);
  // Two lines are one buffer; the first occurrence wins.
  p.SetText("a=1\r\na=2");
  EXPECT_EQ(p.Text(), ";a=1;a=2;");
  EXPECT_EQ(p.ToStr("a"), "1");
  // Escapes come back; a value runs to the next separator.
  p.SetText("name=a#59#b#61#c#13##10#;x=");
  EXPECT_EQ(p.ToStr("name"), "a;b=c\r\n");
  EXPECT_EQ(p.ToStr("x"), "");
}

TEST(ParamParser, SeparatorSetterWrapsTheBufferAgain) {
  TWyParamParser p("a=1", ';');
  p.SetSeparator('|');
  EXPECT_EQ(p.Text(), "|;a=1;||");
  EXPECT_EQ(p.ToStr("a"), "");  // "a=1" is now followed by ";", not "|"
  p.SetText("a=1|b=2");
  EXPECT_EQ(p.ToStr("b"), "2");
}

TEST(ParamParser, ConversionsTable) {
  struct TCase {
    const char* text;
    double asDouble;  // ToDouble(x, 5)
    int32_t asInt;    // ToInt(x, 7)
    bool asBool;      // ToBool(x, true)
  };
  const TCase cases[] = {
      {"x=abc", -1, 7, false},
      {"x=", 5, 7, true},
      {"y=1", 5, 7, true},
      {"x=1,5", 1.5, 7, false},
      {"x=1.5", 1.5, 7, false},
      {"x=1e400", -1, 7, false},
      {"x=nan", -1, 7, false},
      {"x=inf", -1, 7, false},
      {"x=1.5abc", -1, 7, false},
      {"x=$10", -1, 16, false},
      {"x=0x10", -1, 16, false},
      {"x=-$10", -1, -16, false},
      {"x= 12", 12, 12, false},
      {"x=2147483648", 2147483648.0, 7, false},
      {"x=-2147483648", -2147483648.0, INT32_MIN, false},
      {"x=TRUE", -1, 7, true},
      {"x=yes", -1, 7, false},
      {"x=-1", -1, -1, false},
      {"x=43,6", 43.6, 7, false},
  };
  for (const TCase& c : cases) {
    TWyParamParser p(c.text, ';');
    EXPECT_EQ(p.ToDouble("x", 5), c.asDouble) << c.text;
    EXPECT_EQ(p.ToInt("x", 7), c.asInt) << c.text;
    EXPECT_EQ(p.ToBool("x", true), c.asBool) << c.text;
  }
}

TEST(ParamParser, NumbersIgnoreTheProcessLocaleAndReportFailure) {
  double d = 0;
  EXPECT_TRUE(ParseParamDouble("-1", d));
  EXPECT_EQ(d, -1);
  EXPECT_FALSE(ParseParamDouble("", d));
  EXPECT_FALSE(ParseParamDouble("1,5,5", d));
  EXPECT_FALSE(ParseParamDouble("+-1", d));
  EXPECT_EQ(d, -1);  // untouched by the failures
  int32_t i = 3;
  EXPECT_FALSE(ParseParamInt("0x", i));
  EXPECT_FALSE(ParseParamInt("$", i));
  EXPECT_EQ(i, 3);
}

}  // namespace
}  // namespace wy

#include "geo/text_convert.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "geo/crc32.h"
#include "geo/utf.h"
#include "support/comma_locale.h"

namespace wy {
namespace {

using test_support::CommaLocaleScope;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// True when `s` is well-formed UTF-8 (U+0000 allowed).
bool IsValidUtf8(const std::string& s) {
  size_t pos = 0;
  while (pos < s.size()) {
    const size_t at = pos;
    if (DecodeUtf8(s, pos) == kReplacementChar && s.compare(at, 3, "\xEF\xBF\xBD") != 0) {
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Numbers

struct FloatCase {
  double value;
  const char* text;
};

const FloatCase kFloatToStrDotCases[] = {
    {43.232951, "43.232951"},
    {2, "2"},
    {0.1 + 0.2, "0.3"},
    {1.0 / 3, "0.333333333333333"},
    {-9999, "-9999"},
    {0.078082, "0.078082"},
    {-0.5, "-0.5"},
    {100, "100"},
    {0, "0"},
    {-0.0, "0"},
    {0.00001, "0.00001"},
    {0.0000123, "0.0000123"},
    {0.000001, "1E-6"},
    {-1.25e-7, "-1.25E-7"},
    {999999999999999, "999999999999999"},
    {1e15, "1E15"},
    {1.5e15, "1.5E15"},
    {123456789012345678.0, "1.23456789012346E17"},
    {999999999999999.9, "1E15"},  // rounds up to 15 digits first
    {1e300, "1E300"},
    {5e-324, "4.94065645841247E-324"},
    {kNaN, "NAN"},
    {kInf, "INF"},
    {-kInf, "-INF"},
};

TEST(TextNumbers, FloatToStrDotTable) {
  for (const FloatCase& c : kFloatToStrDotCases) EXPECT_EQ(FloatToStrDot(c.value), c.text);
}

// File formats without exponents: the same digits as FloatToStrDot, always
// in plain notation.
TEST(TextNumbers, AppendPlainDecimalTable) {
  const FloatCase cases[] = {{0.000001, "0.000001"},
                             {-1.5e-7, "-0.00000015"},
                             {1.5e15, "1500000000000000"},
                             {48.85, "48.85"},
                             {-0.0, "0"},
                             {0.1 + 0.2, "0.3"},
                             {kNaN, "0"},
                             {-kInf, "0"}};
  for (const FloatCase& c : cases) {
    std::string out = "x";
    AppendPlainDecimal(out, c.value);
    EXPECT_EQ(out, std::string("x") + c.text);
  }
  // Wherever FloatToStrDot writes no exponent, the same text.
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> unit(-10, 10);
  std::uniform_int_distribution<int> exponent(-5, 14);
  for (int i = 0; i < 4000; ++i) {
    const double x = unit(rng) * std::pow(10.0, exponent(rng));
    const std::string dot = FloatToStrDot(x);
    if (dot.find('E') != std::string::npos) continue;
    std::string out;
    AppendPlainDecimal(out, x);
    EXPECT_EQ(out, dot);
  }
}

// A number copied from the text it was read from comes out as the number
// itself would be written, however the text is spelt.
TEST(TextNumbers, AppendPlainDecimalFromItsTextWritesTheNumber) {
  std::vector<std::string> texts = {"45.000000100",
                                    "-0.5",
                                    "007.250",
                                    "0.0005",
                                    "0.00005",
                                    "10",
                                    "5.0",
                                    "-0.0",
                                    "0",
                                    "1e1",
                                    ".5",
                                    "5.",
                                    "-",
                                    "12345678901234.5",
                                    "1234567.890123456789",
                                    "99999999999999.9",
                                    "0.000100"};
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<int> digit(0, 9), length(1, 9);
  for (int i = 0; i < 2000; ++i) {
    std::string t = i % 2 ? "-" : "";
    for (int k = length(rng); k > 0; --k) t += static_cast<char>('0' + digit(rng));
    t += '.';
    for (int k = length(rng); k > 0; --k) t += static_cast<char>('0' + digit(rng));
    texts.push_back(t);
  }
  for (const std::string& t : texts) {
    double value = 0;
    if (!TryStrToFloatDot(t, value)) value = 0;
    std::string expected = "x", out = "x";
    AppendPlainDecimal(expected, value);
    AppendPlainDecimal(out, value, t);
    EXPECT_EQ(out, expected) << t;
  }
}

TEST(TextNumbers, FloatToStrDotReadsBackWithin15Digits) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (int i = 0; i < 2000; ++i) {
    const double x = mantissa(rng) * std::pow(10.0, exponent(rng));
    const std::string text = FloatToStrDot(x);
    const double back = StrToFloatDot(text);
    EXPECT_NEAR(back, x, std::abs(x) * 1e-14) << text;
  }
}

TEST(TextNumbers, FloatToStrDotRoundsTo15Digits) {
  // Between 1E-4 and 1E15 the C library's "%.15G" (in the C locale the tests
  // run in) writes the same text: 15 significant digits, no trailing zeros.
  ASSERT_EQ(std::localeconv()->decimal_point[0], '.');
  std::mt19937_64 rng(9);
  std::uniform_real_distribution<double> unit(1, 10);
  std::uniform_int_distribution<int> exponent(-4, 14);
  std::uniform_int_distribution<int> thousandths(-999999, 999999);
  for (int i = 0; i < 4000; ++i) {
    // Alternately full-precision values and short decimals such as 43.232.
    const double x = i % 2 ? unit(rng) * std::pow(10.0, exponent(rng)) : thousandths(rng) / 1000.0;
    if (std::abs(x) < 1e-4) continue;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.15G", x);
    EXPECT_EQ(FloatToStrDot(x), expected);
  }
}

TEST(TextNumbers, WritingIgnoresACommaLocale) {
  CommaLocaleScope scope;
  if (!scope.active()) GTEST_SKIP() << "no locale with a decimal comma could be set or generated";
  // The process really is in a comma locale now.
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 3.5);
  ASSERT_STREQ(probe, "3,5") << scope.name();
  std::ostringstream cppProbe;
  cppProbe << 3.5;
  ASSERT_EQ(cppProbe.str(), "3,5");

  for (const FloatCase& c : kFloatToStrDotCases) EXPECT_EQ(FloatToStrDot(c.value), c.text);
  EXPECT_EQ(FloatToStrFixedDot(6, 43.2329511), "43.232951");
  EXPECT_EQ(ThreeFloatsToText(1.5, 2, -9999), "1.5,2,0");
  EXPECT_EQ(StrToFloatDot("43.232951"), 43.232951);
  EXPECT_EQ(StrToFloatDot("3,5"), 3.5);
  EXPECT_EQ(TextToIntDef("$1A", 0), 26);
  // And the conversions left the locale as they found it.
  std::snprintf(probe, sizeof probe, "%.1f", 3.5);
  EXPECT_STREQ(probe, "3,5");
}

TEST(TextNumbers, FloatToStrFixedDot) {
  struct Case {
    int digits;
    double value;
    const char* text;
  };
  const Case cases[] = {
      {6, 43.2329511, "43.232951"},
      {6, 12345.123456789, "12345.123460"},  // 10 significant digits, then padded
      {6, 0.0780819999999949, "0.078082"},
      {6, 9999.99999999, "10000.000000"},
      {5, 179.999999999, "180.00000"},
      {5, -0.1234567, "-0.12346"},
      {3, 1e20, "100000000000000000000.000"},
      {2, -0.001, "0.00"},  // no "-0.00"
      {3, -0.0, "0.000"},
      {0, 7.6, "8"},
      {-3, 3.7, "4"},  // digits clamp to 0..18
      {25, 0.5, "0.500000000000000000"},
      {6, kNaN, "NAN"},
      {6, -kInf, "-INF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FloatToStrFixedDot(c.digits, c.value), c.text) << c.digits << " " << c.value;
  }
}

TEST(TextNumbers, TwoAndThreeFloats) {
  EXPECT_EQ(TwoFloatsToText(43.5, -0.25), "43.5,-0.25");
  EXPECT_EQ(ThreeFloatsToText(1.5, 2, -9999), "1.5,2,0");
  EXPECT_EQ(ThreeFloatsToText(1.5, 2, -9998.5), "1.5,2,-9998.5");
}

TEST(TextNumbers, StrToFloatDot) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"3,5", 3.5},      {"abc", -1},        {"", -1},        {"43.232951", 43.232951},
      {" 2 \r\n", 2},    {"+1.5", 1.5},      {"-0.5", -0.5},  {".5", 0.5},
      {"1E-6", 1e-6},    {"1.5E15", 1.5e15}, {"1,", 1},       {"-9999", -9999},
      {"1e400", -1},     {"1e-400", -1},     {"nan", -1},     {"INF", -1},
      {"-infinity", -1}, {"1,5,3", -1},      {"1.234,5", -1}, {"-", -1},
      {"+-1", -1},       {"++1", -1},        {"1 2", -1},     {"0x10", -1},
      {"12a", -1},       {",", -1},          {"1e", -1},      {"   ", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(StrToFloatDot(c.text), c.value) << '"' << c.text << '"';
  EXPECT_EQ(StrToFloatDotDef("", 7), 7);
  EXPECT_EQ(StrToFloatDotDef("x", 7), -1);
  EXPECT_EQ(StrToFloatDotDef("2.5", 7), 2.5);
}

TEST(TextNumbers, TextToIntDef) {
  struct Case {
    const char* text;
    int def;
    int value;
  };
  const Case cases[] = {
      {"$1A", 0, 26},
      {"$1a", 0, 26},
      {"12a", 5, 5},
      {"-12", 0, -12},
      {"+7", 0, 7},
      {" 42 ", 0, 42},
      {"", 3, 3},
      {"$", 3, 3},
      {"-", 3, 3},
      {"-$1A", 0, -26},
      {"$-1A", 9, 9},
      {"0x1A", 9, 9},
      {"1.5", 4, 4},
      {"1 000", 4, 4},
      {"2147483647", 0, 2147483647},
      {"2147483648", 8, 8},
      {"-2147483648", 0, std::numeric_limits<int>::min()},
      {"-2147483649", 8, 8},
      {"$7FFFFFFF", 0, 2147483647},
      {"$80000000", 1, 1},
      {"99999999999999999999", 4, 4},
  };
  for (const Case& c : cases) EXPECT_EQ(TextToIntDef(c.text, c.def), c.value) << c.text;
}

TEST(TextNumbers, NextToken) {
  struct Case {
    const char* text;
    const char* separator;
    const char* token;
    const char* rest;
  };
  const Case cases[] = {
      {"12/43.5/1.2", "/", "12", "43.5/1.2"},
      {"abc", "/", "abc", ""},
      {"a::b::c", "::", "a", "b::c"},
      {"/x", "/", "", "x"},
      {"x/", "/", "x", ""},
      {"", "/", "", ""},
      {"abc", "", "abc", ""},  // an empty separator never loops forever
  };
  for (const Case& c : cases) {
    std::string s = c.text;
    EXPECT_EQ(NextToken(s, c.separator), c.token) << c.text;
    EXPECT_EQ(s, c.rest) << c.text;
  }
  std::string s = "12/43.5/1.2";
  EXPECT_EQ(NextToken(s, "/"), "12");
  EXPECT_EQ(NextToken(s, "/"), "43.5");
  EXPECT_EQ(NextToken(s, "/"), "1.2");
  EXPECT_EQ(s, "");
}

TEST(TextNumbers, TrimDropsBlanksAtBothEndsOnly) {
  EXPECT_EQ(Trim(" \t\r\n a b \r\n"), "a b");
  EXPECT_EQ(Trim("a\n\nb"), "a\n\nb");
  EXPECT_EQ(Trim(" \t\r\n"), "");
  EXPECT_EQ(Trim(""), "");
  // Only these four: other controls and the no-break space stay.
  EXPECT_EQ(Trim("\v\xC2\xA0x\f"), "\v\xC2\xA0x\f");
}

TEST(TextBooleans, NamesAndDefaults) {
  EXPECT_EQ(BoolToText(true), "true");
  EXPECT_EQ(BoolToText(false), "false");
  EXPECT_TRUE(TextToBoolDef("true", false));
  EXPECT_FALSE(TextToBoolDef("false", true));
  EXPECT_TRUE(TextToBoolDef("yes", true));
  EXPECT_FALSE(TextToBoolDef("", false));
  EXPECT_TRUE(TextIsTrue("true"));
  EXPECT_FALSE(TextIsTrue("1"));
  EXPECT_FALSE(TextIsTrue(""));
}

// ---------------------------------------------------------------------------
// Colours

TEST(TextColours, ColorToKml) {
  struct Case {
    TColor color;
    double opacity;
    const char* kml;
  };
  const Case cases[] = {
      {0x0000FF, 0.5, "800000FF"},  // 127.5 -> 128
      {0x0000FF, 0.3, "4C0000FF"},  // 76.5 -> 76 (half to even)
      {0x0000FF, 0.7, "B20000FF"},  // 178.5 -> 178
      {0x123456, 1, "FF123456"},    // alpha, blue, green, red: red is 0x56
      {0x123456, 1.5, "FF123456"},  // clamped
      {0x123456, -0.2, "00123456"}, {0x123456, kNaN, "00123456"},
      {0x123456, kInf, "FF123456"}, {0x12123456, 1, "FF123456"},  // top byte ignored
      {clBtnFace, 1, "FFF0F0F0"},   {clWindow, 0, "00FFFFFF"},
      {clInfoBk, 1, "FFE1FFFF"},    {clSystemColor | 200, 1, "FF000000"},  // unknown system colour
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ColorToKml(c.color, c.opacity), c.kml) << std::hex << c.color << " " << c.opacity;
  }
}

TEST(TextColours, KmlToColor) {
  TColor color = 0x123456;
  double opacity = 0.25;
  EXPECT_TRUE(KmlToColor("ff00ff00", color, opacity));
  EXPECT_EQ(color, 0x00FF00u);
  EXPECT_EQ(opacity, 1);
  EXPECT_TRUE(KmlToColor("7f0000FFtrailing", color, opacity));
  EXPECT_EQ(color, 0x0000FFu);
  EXPECT_DOUBLE_EQ(opacity, 127 / 255.0);
  EXPECT_EQ(ColorToKml(color, opacity), "7F0000FF");

  // Short or malformed texts change nothing.
  for (const char* bad : {"abc", "", "ff00ff0", "zz00ff00", "ff00ff0g", " ff00ff0", "-f00ff00"}) {
    color = 0x123456;
    opacity = 0.25;
    EXPECT_FALSE(KmlToColor(bad, color, opacity)) << bad;
    EXPECT_EQ(color, 0x123456u) << bad;
    EXPECT_EQ(opacity, 0.25) << bad;
  }
}

TEST(TextColours, DarkerColor) {
  EXPECT_EQ(DarkerColor(0x004848FF, 32), 0x002828DFu);
  EXPECT_EQ(DarkerColor(0x0044CA55, 32), 0x0024AA35u);
  EXPECT_EQ(DarkerColor(0x101010, 200), 0u);
  EXPECT_EQ(DarkerColor(clWindow, 200), 0x373737u);
  EXPECT_EQ(DarkerColor(0x000000, -300), 0xFFFFFFu);
  EXPECT_EQ(DarkerColor(0x7F123456, 0), 0x123456u);
}

// ---------------------------------------------------------------------------
// Fingerprint

TEST(TextCrc, HashesTheLowByteOfEachUtf16Unit) {
  EXPECT_EQ(CrcText("abc"), "352441C2");
  EXPECT_EQ(CrcText("\xC3\xA9"), "0BD4B551");      // U+00E9, not the UTF-8 bytes
  EXPECT_EQ(CrcText("\xE2\x82\xAC"), "0D62004E");  // U+20AC
  EXPECT_EQ(CrcText("123456789"), "CBF43926");
  EXPECT_EQ(CrcText(""), "00000000");
  // U+1F600 is the surrogate pair D83D DE00.
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08X", Crc32(std::string("\x3D\x00", 2)));
  EXPECT_EQ(CrcText("\xF0\x9F\x98\x80"), buf);
  // Invalid UTF-8 reads as U+FFFD.
  std::snprintf(buf, sizeof buf, "%08X", Crc32("\xFD"));
  EXPECT_EQ(CrcText("\xFF"), buf);
  // Zero code points count; nothing stops at them.
  std::snprintf(buf, sizeof buf, "%08X", Crc32(std::string("A\0B", 3)));
  EXPECT_EQ(CrcText(std::string("A\0B", 3)), buf);
}

// ---------------------------------------------------------------------------
// "#code#" escapes

TEST(TextEscapes, RoundTrip) {
  const std::string lineBreaks = "\r\n";
  const std::string fields = ";=\r\n";
  EXPECT_EQ(EscapeChars(lineBreaks, "one\r\ntwo"), "one#13##10#two");
  EXPECT_EQ(EscapeChars(fields, "a=b;c\n"), "a#61#b#59#c#10#");
  for (const std::string text : {"one\r\ntwo\r\n", "", "\r\r\n\n", "no breaks", "#\r#\n#"}) {
    EXPECT_EQ(UnescapeChars(lineBreaks, EscapeChars(lineBreaks, text)), text);
    EXPECT_EQ(UnescapeChars(fields, EscapeChars(fields, text)), text);
  }
  // "#" itself may be escaped too and still round-trips.
  const std::string withHash = "#13#\r";
  EXPECT_EQ(EscapeChars("#\r", withHash), "#35#13#35##13#");
  EXPECT_EQ(UnescapeChars("#\r", EscapeChars("#\r", withHash)), withHash);
}

TEST(TextEscapes, Unescape) {
  EXPECT_EQ(UnescapeChars("\r", "x#13#y"), "x\ry");  // stored files rely on this
  EXPECT_EQ(UnescapeChars("\r", "#10#"), "#10#");    // not in the set
  EXPECT_EQ(UnescapeChars("\r", "#013#"), "#013#");
  EXPECT_EQ(UnescapeChars("\r", "#13"), "#13");
  EXPECT_EQ(UnescapeChars("\r", "##13#"), "#\r");
  EXPECT_EQ(UnescapeChars("\r\n", "#10#13#"), "\n13#");
  EXPECT_EQ(UnescapeChars(std::string(1, '\0'), "#0#"), std::string(1, '\0'));
  EXPECT_EQ(UnescapeChars("", "#13#"), "#13#");
}

// ---------------------------------------------------------------------------
// Searching and replacing

TEST(TextReplace, IgnoresCaseOfAsciiLetters) {
  EXPECT_EQ(ReplaceFirst("Hello hello", "HELLO", "bye"), "bye hello");
  EXPECT_EQ(ReplaceAll("Hello hello", "HELLO", "bye"), "bye bye");
  EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");  // replacements are not rescanned
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceFirst("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAll("ab", "abc", "x"), "ab");
  // Only A to Z fold: "É" (C3 89) is not "é" (C3 A9).
  EXPECT_EQ(ReplaceAll("\xC3\x89\xC3\xA9", "\xC3\xA9", "e"),
            "\xC3\x89"
            "e");
}

TEST(TextReplace, PosFromCountsBytesFromOne) {
  struct Case {
    const char* sub;
    const char* text;
    size_t offset;
    size_t pos;
  };
  const Case cases[] = {
      {"b", "abcb", 1, 2},
      {"b", "abcb", 3, 4},
      {"b", "abcb", 4, 4},
      {"b", "abcb", 5, 0},
      {"b", "abcb", 0, 0},
      {"B", "abcb", 1, 0},
      {"", "abc", 1, 0},
      {"cb", "abcb", 1, 3},
      {"c",
       "a\xC3\xA9"
       "c",
       1, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PosFrom(c.sub, c.text, c.offset), c.pos) << c.sub << " " << c.text << " " << c.offset;
  }
}

// ---------------------------------------------------------------------------
// Web text

TEST(TextWeb, HtmlDecodeRunsOnce) {
  struct Case {
    const char* html;
    const char* text;
  };
  const Case cases[] = {
      {"&AMP;", "&"},
      {"&amp;lt;", "&lt;"},  // decoded text is not decoded again
      {"&amp;amp;", "&amp;"},
      {"&lt;b&gt;", "<b>"},
      {"&apos;&#39;&QUOT;", "''\""},
      {"&nbsp;&#160;", "\xC2\xA0\xC2\xA0"},
      {"a & b", "a & b"},
      {"&unknown; &#233;", "&unknown; &#233;"},
      {"&", "&"},
      {"&am", "&am"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(HtmlDecode(c.html), c.text) << c.html;
}

TEST(TextWeb, HtmlToText) {
  EXPECT_EQ(HtmlToText("<b>Caf&amp;eacute;</b>"), "Caf&eacute;");
  EXPECT_EQ(HtmlToText("<a href='x'>link</a> &lt;3"), "link <3");
  EXPECT_EQ(HtmlToText("a > b"), "a  b");
  EXPECT_EQ(HtmlToText("x<unclosed"), "x");
  EXPECT_EQ(HtmlToText(""), "");
}

TEST(TextWeb, NeutraliseMarkupReplacesOnlyAngleBrackets) {
  const struct {
    const char* In;
    const char* Out;
  } cases[] = {
      {"", ""},
      {"12 Rue X & Y", "12 Rue X & Y"},
      {"<img src=http://x/y.png>",
       "\xE2\x80\xB9"
       "img src=http://x/y.png\xE2\x80\xBA"},
      {"a<<b>>c",
       "a\xE2\x80\xB9\xE2\x80\xB9"
       "b\xE2\x80\xBA\xE2\x80\xBA"
       "c"},
      {"Caf\xC3\xA9 &lt;", "Caf\xC3\xA9 &lt;"},  // UTF-8 and entities untouched
  };
  for (const auto& c : cases) EXPECT_EQ(NeutraliseMarkup(c.In), c.Out) << c.In;
}

TEST(TextWeb, JsonUnescapeDecodesFullUnitsAndPairs) {
  struct Case {
    const char* json;
    const char* text;
  };
  const Case cases[] = {
      {"\\u00e9", "\xC3\xA9"},  // at the very end, and no leading space
      {"caf\\u00E9!", "caf\xC3\xA9!"},
      {"\\u20AC", "\xE2\x82\xAC"},  // more than the last two digits
      {"\\u0041\\u0042", "AB"},
      {"\\ud83d\\ude00", "\xF0\x9F\x98\x80"},  // surrogate pair
      {"\\ud83d", "\xEF\xBF\xBD"},             // unpaired high
      {"\\ud83dx", "\xEF\xBF\xBDx"},
      {"\\ud83d\\u0041",
       "\xEF\xBF\xBD"
       "A"},
      {"\\ude00x", "\xEF\xBF\xBDx"},  // unpaired low
      {"\\u00", "\\u00"},             // too short: copied
      {"\\u00zz", "\\u00zz"},
      {"a\\\\u00e9", "a\\\\u00e9"},          // escaped backslash, then plain text
      {"line\\nbreak\\", "line\\nbreak\\"},  // other backslashes copied
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(JsonUnescape(c.json), c.text) << c.json;
  EXPECT_EQ(JsonUnescape("\\u0000"), std::string(1, '\0'));
}

TEST(TextWeb, UrlToId) {
  EXPECT_EQ(UrlToId("http://www.Foo-bar.com/x.png"), "foobarcomxpng");
  EXPECT_EQ(UrlToId("HTTP://WWW.A.B"), "ab");
  EXPECT_EQ(UrlToId("C:\\x\\'y'\"z\""), "cxyz");
  EXPECT_EQ(UrlToId(""), "");
}

// ---------------------------------------------------------------------------
// Unicode normalisation and narrowing

TEST(TextUnicode, DecodeUtf8ReplacesEachBrokenPieceOnce) {
  struct Case {
    std::string in;
    std::u32string out;
  };
  const Case cases[] = {
      {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", U"a\u00E9\u20AC\U0001F600"},
      {"\xE2\x82"
       "a",
       U"\uFFFDa"},                   // cut short: resume at "a"
      {"\xF0\x9F\x98", U"\uFFFD"},    // cut off by the end
      {"\x80\xBF", U"\uFFFD\uFFFD"},  // stray continuation bytes
      {"\xC0\xAF", U"\uFFFD\uFFFD"},  // overlong lead
      {"\xE0\x80\x80", U"\uFFFD\uFFFD\uFFFD"},
      {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},            // surrogate
      {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {std::string("\0", 1), std::u32string(1, U'\0')},
  };
  for (const Case& c : cases) {
    std::u32string got;
    size_t pos = 0;
    while (pos < c.in.size()) got += DecodeUtf8(c.in, pos);
    EXPECT_EQ(got, c.out) << c.in;
  }
  EXPECT_EQ(CodePointToUtf8(0xD800), "\xEF\xBF\xBD");
  EXPECT_EQ(CodePointToUtf8(0x110000), "\xEF\xBF\xBD");
}

TEST(TextUnicode, UpperNoAccents) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
       "e",
       "CREME BRULEE"},
      {"\xC3\x91"
       "and\xC3\xBA \xC3\x98ystein \xC3\x90\xC3\xB0",
       "NANDU OYSTEIN DD"},
      {"\xC2\x80", "\xE2\x82\xAC"},  // U+0080 -> euro sign
      {"\xC2\x9C", "\xC5\x92"},      // U+009C -> U+0152
      {"\xC2\x8C", "\xC5\x92"},      // U+008C -> U+0152
      {"\xC2\x8A\xC2\x9A\xC2\x8E\xC2\x9F", "SSZY"},
      {"\xC2\x81\xC2\x8D", "\xC2\x81\xC2\x8D"},  // undefined codes unchanged
      {"\xC2\xAD", "*"},                         // soft hyphen
      {"\xC3\x9F\xC3\x97\xC3\xB7\xC2\xB5", "\xC3\x9F\xC3\x97\xC3\xB7\xC2\xB5"},  // ß × ÷ µ
      {"\xC3\xA6\xC3\xBE\xC3\xBF", "\xC3\x86\xC3\x9EY"},                         // æ þ ÿ
      // From U+0100 on every character stays as it is, lower case too.
      {"\xC5\x81\xC3\xB3"
       "d\xC5\xBA",
       "\xC5\x81OD\xC5\xBA"},                                    // Łódź
      {"\xE6\x9D\xB1\xE4\xBA\xAC", "\xE6\x9D\xB1\xE4\xBA\xAC"},  // 東京
      {"\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 a",     // Москва
       "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 A"},
      {"\xE2\x82\xAC", "\xE2\x82\xAC"},  // the euro sign itself is above U+00FF
      {"\xF0\x9F\x98\x80!", "\xF0\x9F\x98\x80!"},
      {"x\xFFy", "X\xEF\xBF\xBDY"},  // invalid UTF-8
      {std::string("a\0b", 3), std::string("A\0B", 3)},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(UpperNoAccents(c.in), c.out) << c.in;
}

TEST(TextUnicode, Utf8ToWin1252) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"\xE2\x82\xAC", "\xC2\x80"},  // euro sign -> code 0x80
      {"\xC3\xA9", "\xC3\xA9"},      // é -> 0xE9
      {"\xC4\x80", "?"},             // not in Windows-1252
      {"\xF0\x9F\x98\x80", "?"},     // 4-byte sequence: one "?"
      {"a\xC3", "a?"},               // cut off at the end
      {"\xE2\x82", "?"},
      {"\xC3"
       "A",
       "?A"},  // bad continuation: resume at it
      {"\xE2\x82"
       "bc",
       "?bc"},
      {"\xE2"
       "abc",
       "?abc"},
      {"\x80\x80\x80"
       "b",
       "?b"},  // stray continuation bytes
      {"\xC3\xA9\xA9", "\xC3\xA9?"},
      {"\xE0\x80\x80", "?"},  // overlong
      {"\xC0\xAF", "?"},
      {"\xED\xA0\x80", "?"},                         // surrogate
      {"\xC5\x93\xE2\x84\xA2", "\xC2\x9C\xC2\x99"},  // œ ™
      {"\xC2\x81", "\xC2\x81"},                      // undefined codes map to themselves
      {"\xC2\x80", "?"},                             // U+0080 is not a Windows-1252 character
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToWin1252(c.in), c.out) << c.in;
}

// ---------------------------------------------------------------------------
// KML fragments

TEST(TextKml, ExtendedDataAndDescription) {
  EXPECT_EQ(KmlExtendedData("a=1;b=2"),
            "<ExtendedData><Data name=\"a\"><value>1</value></Data>"
            "<Data name=\"b\"><value>2</value></Data></ExtendedData>");
  EXPECT_EQ(KmlExtendedData("x"),
            "<ExtendedData><Data name=\"x\"><value></value></Data></ExtendedData>");
  EXPECT_EQ(KmlExtendedData("a=1=2;"),
            "<ExtendedData><Data name=\"a\"><value>1=2</value></Data></ExtendedData>");
  EXPECT_EQ(KmlExtendedData(";x=;=y"),
            "<ExtendedData><Data name=\"\"><value></value></Data>"
            "<Data name=\"x\"><value></value></Data>"
            "<Data name=\"\"><value>y</value></Data></ExtendedData>");
  EXPECT_EQ(KmlExtendedData(""), "");
  EXPECT_EQ(KmlDescription("a<b"), "<description><![CDATA[a<b]]></description>");
}

// ---------------------------------------------------------------------------
// Bad input never crashes

TEST(TextBadInput, EmptyInputs) {
  TColor color = 1;
  double opacity = 0.5;
  std::string empty;
  EXPECT_EQ(StrToFloatDot(""), -1);
  EXPECT_EQ(TextToIntDef("", 3), 3);
  EXPECT_EQ(NextToken(empty, ","), "");
  EXPECT_FALSE(KmlToColor("", color, opacity));
  EXPECT_EQ(CrcText(""), "00000000");
  EXPECT_EQ(EscapeChars("\r\n", ""), "");
  EXPECT_EQ(UnescapeChars("\r\n", ""), "");
  EXPECT_EQ(EscapeChars("", "abc"), "abc");
  EXPECT_EQ(ReplaceAll("", "a", "b"), "");
  EXPECT_EQ(PosFrom("a", "", 1), 0u);
  EXPECT_EQ(HtmlDecode(""), "");
  EXPECT_EQ(HtmlToText(""), "");
  EXPECT_EQ(JsonUnescape(""), "");
  EXPECT_EQ(UrlToId(""), "");
  EXPECT_EQ(UpperNoAccents(""), "");
  EXPECT_EQ(Utf8ToWin1252(""), "");
  EXPECT_EQ(KmlExtendedData(""), "");
  EXPECT_FALSE(TextIsTrue(""));
}

TEST(TextBadInput, HugeInputs) {
  const size_t kSize = 10 * 1024 * 1024;
  // Random bytes: mostly invalid UTF-8, with every special character somewhere.
  std::string noise(kSize, '\0');
  std::mt19937 rng(7);
  for (size_t i = 0; i + 4 <= kSize; i += 4) {
    const uint32_t r = rng();
    std::memcpy(&noise[i], &r, 4);
  }

  const std::string crc = CrcText(noise);
  EXPECT_EQ(crc.size(), 8u);
  EXPECT_TRUE(IsValidUtf8(UpperNoAccents(noise)));
  const std::string narrowed = Utf8ToWin1252(noise);
  EXPECT_TRUE(IsValidUtf8(narrowed));
  EXPECT_GE(narrowed.size(), kSize / 4);
  EXPECT_EQ(UnescapeChars("\r\n;=", EscapeChars("\r\n;=", noise)).size(), noise.size());
  EXPECT_LE(HtmlToText(noise).size(), noise.size());
  EXPECT_LE(HtmlDecode(noise).size(), noise.size());
  EXPECT_LE(JsonUnescape(noise).size(), noise.size());
  EXPECT_LE(UrlToId(noise).size(), noise.size());
  EXPECT_EQ(StrToFloatDot(noise), -1);
  EXPECT_EQ(TextToIntDef(noise, 5), 5);
  EXPECT_GT(KmlExtendedData(noise).size(), noise.size());
  std::string rest = noise;
  NextToken(rest, "\x01\x02\x03\x04\x05\x06\x07\x08");

  const std::string digits(kSize, '7');
  EXPECT_EQ(StrToFloatDot(digits), -1);  // out of range
  EXPECT_EQ(StrToFloatDot("0." + digits), 7.0 / 9);
  EXPECT_EQ(TextToIntDef(digits, 5), 5);
  EXPECT_EQ(PosFrom("8", digits + "8", 1), kSize + 1);

  // Texts where every position is special; 2 MB is plenty to show that the
  // work stays linear.
  const size_t kDense = 2 * 1024 * 1024;
  std::string amps;
  for (size_t i = 0; i < kDense / 5; ++i) amps += "&amp;";
  EXPECT_EQ(HtmlDecode(amps), std::string(kDense / 5, '&'));
  EXPECT_EQ(ReplaceAll(amps, "&AMP;", "&"), std::string(kDense / 5, '&'));

  const std::string breaks(kDense, '\r');
  EXPECT_EQ(UnescapeChars("\r", EscapeChars("\r", breaks)), breaks);

  std::string escapes;
  for (size_t i = 0; i < kDense / 6; ++i) escapes += "\\u00e9";
  EXPECT_EQ(JsonUnescape(escapes).size(), kDense / 6 * 2);

  std::string items;
  for (size_t i = 0; i < kDense / 4; ++i) items += "a=1;";
  EXPECT_EQ(KmlExtendedData(items).size(),
            std::string("<ExtendedData></ExtendedData>").size() + kDense / 4 * 38);

  TColor color = 1;
  double opacity = 0.5;
  EXPECT_TRUE(KmlToColor("ff00ff00" + digits, color, opacity));
  KmlToColor(noise, color, opacity);
}

}  // namespace
}  // namespace wy

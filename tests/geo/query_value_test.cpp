#include "geo/query_value.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace wy {
namespace {

TEST(QueryValue, KeepsOnlyUnreservedCharacters) {
  const struct {
    std::string In;
    const char* Out;
  } cases[] = {
      {"", ""},
      {"AZaz09-._~", "AZaz09-._~"},
      // What would end the value, start another or change its meaning.
      {"AT&T", "AT%26T"},
      {"#3 + 50% = ok", "%233%20%2B%2050%25%20%3D%20ok"},
      {"%41", "%2541"},  // an escape typed by a person stays text
      {"a/b?c:d@e!f$g'h(i)j*k,l;m", "a%2Fb%3Fc%3Ad%40e%21f%24g%27h%28i%29j%2Ak%2Cl%3Bm"},
      {"\"<>[]\\^`{|}", "%22%3C%3E%5B%5D%5C%5E%60%7B%7C%7D"},
      {"a\r\nb\t", "a%0D%0Ab%09"},
      {std::string("a\0b", 3), "a%00b"},
      // Non-ASCII: every UTF-8 byte, invalid bytes as they are.
      {"\xC5\x81\xC3\xB3"
       "d\xC5\xBA",
       "%C5%81%C3%B3d%C5%BA"},                             // Łódź
      {"\xE6\x9D\xB1\xE4\xBA\xAC", "%E6%9D%B1%E4%BA%AC"},  // 東京
      {"\xFF\x7F", "%FF%7F"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeQueryValue(c.In), c.Out) << c.In;
}

TEST(QueryValue, DecodingReadsWhatEncodingWrote) {
  std::string every;
  for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
  EXPECT_EQ(DecodeQueryValue(EncodeQueryValue(every)), every);

  const struct {
    const char* In;
    const char* Out;
  } cases[] = {
      {"%41%6a%6A", "Ajj"}, {"a+b", "a b"},  // as a server reads a query
      {"%2B", "+"},         {"100%", "100%"}, {"%4", "%4"},
      {"%zz%4g", "%zz%4g"}, {"%%41", "%A"},   {"%C5%81", "\xC5\x81"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeQueryValue(c.In), c.Out) << c.In;
}

TEST(QueryText, EncodesOnlyWhatAQueryCannotHold) {
  const struct {
    const char* In;
    const char* Out;
  } cases[] = {
      {"lat=1.5&lon=-2", "lat=1.5&lon=-2"},
      {"q=AT%26T&key=k%7Cz", "q=AT%26T&key=k%7Cz"},  // escapes kept
      {"a!$'()*+,;=:@/?b", "a!$'()*+,;=:@/?b"},
      {"10 downing st #2|x", "10%20downing%20st%20%232%7Cx"},
      {"from=Z\xC3\xBCrich&to={a}[b]", "from=Z%C3%BCrich&to=%7Ba%7D%5Bb%5D"},
      {"50%&x=%4g%", "50%25&x=%254g%25"},  // a lone "%" is a character
      {"a\nb", "a%0Ab"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeQueryText(c.In), c.Out) << c.In;

  // Text that is fit comes back unchanged: encoding twice changes nothing.
  std::mt19937 rng(5);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(rng());
  const std::string once = EncodeQueryText(noise);
  EXPECT_EQ(EncodeQueryText(once), once);
  EXPECT_EQ(EncodeQueryText(EncodeQueryValue(noise)), EncodeQueryValue(noise));
}

}  // namespace
}  // namespace wy

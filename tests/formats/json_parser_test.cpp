#include "formats/json_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace wy {
namespace {

// Records the events as one line: S(name) V(value) E {  }.
class TLogParser : public TSAJ {
 public:
  std::string log;
  long events = 0;

 protected:
  void StartElement(const std::string& name) override { Add("S(" + name + ")"); }
  void SetElementValue(const std::string& value) override { Add("V(" + value + ")"); }
  void EndElement() override { Add("E"); }
  void StartObject() override { Add("{"); }
  void EndObject() override { Add("}"); }

 private:
  void Add(const std::string& s) {
    ++events;
    if (log.size() < 4000) {
      if (!log.empty()) log += ' ';
      log += s;
    }
  }
};

struct TCase {
  const char* name;
  const char* input;
  bool ok;
  const char* events;
};

const TCase kCases[] = {
    {"point", R"({"type":"Point","coordinates":[1.5,2]})", true,
     "{ S(type) V(Point) E S(coordinates) S() V(1.5) V(2) E E }"},
    {"top-level array gives nothing", "[1,2]", false, ""},
    {"escaped quote kept raw", R"({"a":"x\"y"})", true, R"({ S(a) V(x\"y) E })"},
    {"members without commas", R"({"a":1 "b":2})", true, "{ S(a) V(1) E S(b) V(2) E }"},
    {"trailing commas", R"({"a":[1,],})", true, "{ S(a) S() V(1) E E }"},
    {"words in any case", R"({"a":TRUE,"b":1})", true, "{ S(a) V(true) E S(b) V(1) E }"},
    {"array of words", R"({"a":[true,false,Null]})", true,
     "{ S(a) S() V(true) V(false) V(null) E E }"},
    {"bad word", R"({"a":trux})", false, "{ S(a)"},
    {"number ending in a point fails from there", R"({"a":2,"b":1.})", false, "{ S(a) V(2) E S(b)"},
    {"exponent and sign", R"({"a":-1.5e+3,"b":+2E2})", true,
     "{ S(a) V(-1.5e+3) E S(b) V(+2E2) E }"},
    {"comment", "{\"a\":1 # note\n,\"b\":2}", true, "{ S(a) V(1) E S(b) V(2) E }"},
    {"byte-order mark skipped", "\xEF\xBB\xBF{\"a\":1}", true, "{ S(a) V(1) E }"},
    {"objects inside arrays", R"({"f":[{"a":1},{}]})", true,
     "{ S(f) S() { S(a) V(1) E } { } E E }"},
    {"unicode escape stepped over", R"({"a":"\u0022x"})", true, R"({ S(a) V(\u0022x) E })"},
    {"unterminated string", R"({"a":"abc)", false, "{ S(a)"},
    {"missing colon", R"({"a" 1})", false, "{ S(a)"},
    {"empty text", "", false, ""},
    {"backslash at the very end", "{\"a\":\"\\", false, "{ S(a)"},
};

TEST(JsonParser, EventsPerDocument) {
  for (const TCase& c : kCases) {
    TLogParser p;
    EXPECT_EQ(p.ParseJSON(c.input), c.ok) << c.name;
    EXPECT_EQ(p.log, c.events) << c.name;
  }
}

// Deep nesting fails cleanly instead of exhausting the stack; nesting just
// under the cap still parses.
TEST(JsonParser, NestingIsCapped) {
  std::string deep = "{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
  TLogParser p;
  EXPECT_FALSE(p.ParseJSON(deep));
  EXPECT_LE(p.events, TSAJ::kMaxDepth + 4);

  int n = TSAJ::kMaxDepth - 1;
  std::string ok = "{\"a\":" + std::string(n, '[') + std::string(n, ']') + "}";
  TLogParser q;
  EXPECT_TRUE(q.ParseJSON(ok));
}

// Every prefix of a valid document parses without reading past its end
// (checked under ASan) and never reports success before the last byte.
TEST(JsonParser, TruncatedDocumentsFailCleanly) {
  const std::string doc =
      R"({"type":"Feature","properties":{"n":"a\"b\u00e9","v":[1,-2.5e3,true,null]},)"
      R"("geometry":{"type":"Point","coordinates":[2.35,48.85]}})";
  for (size_t len = 0; len < doc.size(); ++len) {
    std::string cut = doc.substr(0, len);
    TLogParser p;
    EXPECT_FALSE(p.ParseJSON(std::string_view(cut.data(), cut.size()))) << len;
  }
  TLogParser whole;
  EXPECT_TRUE(whole.ParseJSON(doc));
}

// Hostile bytes, invalid UTF-8 and a large document: no crash, work linear in
// the size (counted events stay proportional).
TEST(JsonParser, HostileInputIsBounded) {
  const char* junk[] = {"{\"\xff\xfe\":\"\xc3\"}",
                        "{{{{",
                        "{\"a\":[[[[",
                        "{\"a\":\"\\u12",
                        "{\"a\":-}",
                        "{\"a\":.5}",
                        "{]",
                        "{\"a\":1e}"};
  for (const char* j : junk) {
    TLogParser p;
    p.ParseJSON(j);
  }
  std::string big = "{\"a\":[";
  while (big.size() < 10 * 1024 * 1024) big += "[1.25,2.5,\"x\"],";
  big += "]}";
  TLogParser p;
  EXPECT_TRUE(p.ParseJSON(big));
  EXPECT_LT(p.events, static_cast<long>(big.size()));
}

TEST(JsonParser, DecodesStrings) {
  struct {
    const char* raw;
    const char* text;
  } cases[] = {
      {R"(a\"b)", "a\"b"},
      {R"(caf\u00e9)", "caf\xC3\xA9"},
      {R"(\ud83d\ude00)", "\xF0\x9F\x98\x80"},
      {R"(\ud83d!)", "\xEF\xBF\xBD!"},
      {R"(l1\nl2\t\/\\)", "l1\nl2\t/\\"},
      {R"(\u12)",
       "\xEF\xBF\xBD"
       "12"},
      {"pizza;italian", "pizza;italian"},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonDecodeString(c.raw), c.text) << c.raw;
}

}  // namespace
}  // namespace wy

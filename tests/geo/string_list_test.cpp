#include "geo/string_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geo/stream.h"

namespace wy {
namespace {

template <typename T>
std::vector<std::string> Items(const TStringListOf<T>& list) {
  std::vector<std::string> items;
  for (int i = 0; i < list.Count(); ++i) items.push_back(list.Strings(i));
  return items;
}

TStringList ListOf(const std::vector<std::string>& items) {
  TStringList list;
  list.AddStrings(items);
  return list;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

using Strings = std::vector<std::string>;
using namespace std::string_literals;

TEST(StringList, NewListIsUnsortedWithDupIgnoreAndAcceptsDuplicates) {
  TStringList list;
  EXPECT_FALSE(list.Sorted());
  EXPECT_EQ(list.Duplicates(), dupIgnore);
  EXPECT_EQ(list.Add("key"), 0);
  EXPECT_EQ(list.Add("KEY"), 1);  // the policy applies only to sorted lists
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.IndexOf("Key"), 0);

  list.SetSorted(true);  // duplicates already present stay
  EXPECT_EQ(list.Count(), 2);
}

TEST(StringList, SortedAddFollowsTheDuplicatesPolicy) {
  TStringListOf<int> list;
  list.SetSorted(true);
  list.AddObject("b", 1);
  list.AddObject("c", 2);
  list.AddObject("a", 3);
  EXPECT_EQ(Items(list), (Strings{"a", "b", "c"}));

  list.SetDuplicates(dupIgnore);
  EXPECT_EQ(list.AddObject("B", 4), 1);  // the existing entry, object untouched
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Objects(1), 1);

  list.SetDuplicates(dupError);
  EXPECT_EQ(list.AddObject("B", 5), -1);
  EXPECT_EQ(list.Count(), 3);

  list.SetDuplicates(dupAccept);  // a new equal entry goes before the old ones
  EXPECT_EQ(list.AddObject("B", 6), 1);
  EXPECT_EQ(list.AddObject("b", 7), 1);
  EXPECT_EQ(Items(list), (Strings{"a", "b", "B", "b", "c"}));
  EXPECT_EQ(list.Objects(1), 7);
  EXPECT_EQ(list.Objects(3), 1);
}

TEST(StringList, FindIsTheBinarySearchOfTheToolkit) {
  TStringList list;
  list.SetSorted(true);
  int index = -7;
  EXPECT_FALSE(list.Find("x", index));
  EXPECT_EQ(index, 0);

  list.AddStrings(Strings{"c", "a", "B"});
  ASSERT_EQ(Items(list), (Strings{"a", "B", "c"}));
  const struct {
    const char* s;
    bool found;
    int index;
  } cases[] = {{"b", true, 1}, {"bb", false, 2}, {"", false, 0},  {"C", true, 2},
               {"A", true, 0}, {"d", false, 3},  {"aa", false, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(list.Find(c.s, index), c.found) << c.s;
    EXPECT_EQ(index, c.index) << c.s;
    EXPECT_EQ(list.IndexOf(c.s), c.found ? c.index : -1) << c.s;
  }
}

TEST(StringList, FindWithDuplicatesFirstUnderDupAcceptOnlyAnEqualOneOtherwise) {
  TStringList list;
  list.SetSorted(true);
  list.SetDuplicates(dupAccept);
  list.AddStrings(Strings{"a", "b", "B", "b", "b", "c", "c"});
  int index = -1;
  EXPECT_TRUE(list.Find("b", index));
  EXPECT_EQ(index, 1);
  EXPECT_TRUE(list.Find("C", index));
  EXPECT_EQ(index, 5);

  for (TDuplicates policy : {dupIgnore, dupError}) {
    list.SetDuplicates(policy);
    EXPECT_TRUE(list.Find("b", index));
    EXPECT_TRUE(SameTextAZ(list.Strings(index), "b")) << index;
  }
  // The search stops at the first equal entry it probes.
  TStringList same = ListOf({"a", "a", "a"});
  same.SetSorted(true);
  EXPECT_TRUE(same.Find("a", index));
  EXPECT_EQ(index, 1);
}

TEST(StringList, ComparisonFoldsOnlyAToZ) {
  const struct {
    std::string a, b;
    int sign;
  } cases[] = {
      {"abc", "ABC", 0},
      {"é", "É", 1},  // C3 A9 vs C3 89: bytes, no folding
      {"_", "a", -1},
      {"_", "A", -1},  // A..Z fold to lower case
      {"z", "é", -1},
      {"ab", "abc", -1},
      {"", "", 0},
      {std::string("a\0b", 3), std::string("A\0B", 3), 0},
      {std::string("a\0", 2), "a", 1},
  };
  for (const auto& c : cases) {
    const int r = CompareTextAZ(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " / " << c.b;
    const int back = CompareTextAZ(c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.a << " / " << c.b;
  }
  EXPECT_LT(CompareStrBytes("B", "a"), 0);
  EXPECT_GT(CompareStrBytes("é", "z"), 0);

  TStringList list = ListOf({"ABC", "é"});
  EXPECT_EQ(list.IndexOf("abc"), 0);
  EXPECT_EQ(list.IndexOf("É"), -1);
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("abc"), -1);
  EXPECT_EQ(list.IndexOf("ABC"), 0);
}

TEST(StringList, SortIsStableAndCaseSensitivityResorts) {
  TStringListOf<int> list;
  const Strings input = {"b", "A", "é", "a", "C", "B"};
  for (size_t i = 0; i < input.size(); ++i) list.AddObject(input[i], static_cast<int>(i));
  list.Sort();
  EXPECT_FALSE(list.Sorted());
  EXPECT_EQ(Items(list), (Strings{"A", "a", "b", "B", "C", "é"}));
  EXPECT_EQ(list.Objects(0), 1);  // objects travel with their strings
  EXPECT_EQ(list.Objects(5), 2);

  list.SetSorted(true);
  list.SetCaseSensitive(true);
  EXPECT_EQ(Items(list), (Strings{"A", "B", "C", "a", "b", "é"}));
}

TEST(StringList, CustomSortSurvivesAnyComparator) {
  TStringList list = ListOf({"ccc", "a", "bb", "dd", "e"});
  list.CustomSort([](const TStringList& l, int i, int j) {
    return static_cast<int>(l.Strings(i).size()) - static_cast<int>(l.Strings(j).size());
  });
  EXPECT_EQ(Items(list), (Strings{"a", "e", "bb", "dd", "ccc"}));

  // Comparators that are not an ordering give some permutation, no fault.
  std::mt19937 random(7);
  Strings many;
  for (int i = 0; i < 500; ++i) many.push_back(std::to_string(i));
  for (int mode = 0; mode < 3; ++mode) {
    TStringList l = ListOf(many);
    l.CustomSort([&](const TStringList&, int, int) {
      return mode == 0 ? -1 : mode == 1 ? 1 : static_cast<int>(random() % 3) - 1;
    });
    Strings sorted = Items(l);
    std::sort(sorted.begin(), sorted.end());
    Strings expected = many;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected) << mode;
  }
}

TEST(StringList, OrderChangingCallsAreRefusedOnASortedList) {
  TStringList list = ListOf({"b", "a"});
  list.SetSorted(true);
  EXPECT_FALSE(list.Insert(0, "z"));
  EXPECT_FALSE(list.Exchange(0, 1));
  EXPECT_FALSE(list.SetStrings(0, "z"));
  list.CustomSort([](const TStringList&, int i, int j) { return j - i; });
  EXPECT_EQ(Items(list), (Strings{"a", "b"}));
  list.SetSorted(false);
  EXPECT_TRUE(list.Exchange(0, 1));
  EXPECT_TRUE(list.Insert(2, "z"));
  EXPECT_EQ(Items(list), (Strings{"b", "a", "z"}));
}

TEST(StringList, BadIndexesChangeNothingAndReadEmpty) {
  TStringList list = ListOf({"a=1", "b"});
  int marker = 0;
  list.SetObjects(0, &marker);
  for (int bad : {-1, 2, 3, INT_MAX, INT_MIN}) {
    EXPECT_EQ(list.Strings(bad), "") << bad;
    EXPECT_EQ(list.Objects(bad), nullptr) << bad;
    EXPECT_EQ(list.Names(bad), "") << bad;
    EXPECT_EQ(list.ValueFromIndex(bad), "") << bad;
    EXPECT_FALSE(list.Delete(bad)) << bad;
    EXPECT_FALSE(list.Exchange(0, bad)) << bad;
    EXPECT_FALSE(list.Exchange(bad, 0)) << bad;
    EXPECT_FALSE(list.SetStrings(bad, "x")) << bad;
    EXPECT_FALSE(list.SetObjects(bad, nullptr)) << bad;
    if (bad != 2) {
      EXPECT_FALSE(list.Insert(bad, "x")) << bad;
    }
  }
  for (int capacity : {-5, 0, 1, INT_MAX}) list.SetCapacity(capacity);
  EXPECT_EQ(Items(list), (Strings{"a=1", "b"}));
  EXPECT_EQ(list.Objects(0), &marker);
  EXPECT_TRUE(list.Insert(2, "end"));  // Count itself is a valid insert position
  EXPECT_EQ(list.Strings(2), "end");
}

TEST(StringList, NameValueLines) {
  TStringListOf<int> list;
  const Strings lines = {"a=1", "B=2", "c", "=x", "d=e=f", "b=3"};
  for (size_t i = 0; i < lines.size(); ++i) list.AddObject(lines[i], static_cast<int>(i) + 10);
  const struct {
    const char* name;
    int index;
    const char* value;
  } lookups[] = {{"a", 0, "1"}, {"b", 1, "2"}, {"c", -1, ""}, {"", 3, "x"}, {"d", 4, "e=f"}};
  for (const auto& l : lookups) {
    EXPECT_EQ(list.IndexOfName(l.name), l.index) << l.name;
    EXPECT_EQ(list.Values(l.name), l.value) << l.name;
  }
  EXPECT_EQ(list.Names(2), "");
  EXPECT_EQ(list.ValueFromIndex(2), "");
  EXPECT_EQ(list.Names(4), "d");

  list.SetValues("A", "9");  // in place, the object stays
  EXPECT_EQ(list.Strings(0), "A=9");
  EXPECT_EQ(list.Objects(0), 10);
  list.SetValues("new", "v");
  EXPECT_EQ(list.Strings(list.Count() - 1), "new=v");
  list.SetValues("b", "");  // an empty value deletes the first line of that name
  EXPECT_EQ(list.IndexOfName("b"), 4);
  EXPECT_EQ(list.Values("b"), "3");
  list.SetValues("missing", "");
  EXPECT_EQ(list.Count(), 6);

  TStringListOf<int> sorted;
  sorted.SetSorted(true);
  sorted.AddObject("a=1", 1);
  sorted.AddObject("m=2", 2);
  sorted.SetValues("a", "z");  // moves to its sorted place with its object
  EXPECT_EQ(Items(sorted), (Strings{"a=z", "m=2"}));
  EXPECT_EQ(sorted.Objects(0), 1);
  sorted.SetValues("n", "0");
  EXPECT_EQ(Items(sorted), (Strings{"a=z", "m=2", "n=0"}));
}

TEST(StringList, TextWritesCrLfAndReadsEveryLineBreak) {
  EXPECT_EQ(ListOf({"a", "b"}).Text(), "a\r\nb\r\n");
  EXPECT_EQ(ListOf({}).Text(), "");
  EXPECT_EQ(ListOf({""}).Text(), "\r\n");

  const struct {
    std::string text;
    Strings lines;
  } cases[] = {
      {"a\r\nb", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"\n", {""}},
      {"a\n\r", {"a", ""}},  // LF then CR are two line breaks
      {"", {}},
      {std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}},  // NUL is kept
  };
  for (const auto& c : cases) {
    TStringList list = ListOf({"old"});
    list.SetText(c.text);
    EXPECT_EQ(Items(list), c.lines) << c.text;
    TStringList back;
    back.SetText(list.Text());
    EXPECT_EQ(Items(back), c.lines) << c.text;
  }

  TStringList sorted;  // a sorted list keeps its order and policy
  sorted.SetSorted(true);
  sorted.SetText("b\nA\na\nc\n");
  EXPECT_EQ(Items(sorted), (Strings{"A", "b", "c"}));
}

struct DelimitedConfig {
  char delimiter, quote;
  bool strict;
};

TEST(StringList, CommaTextQuotesWhatNeedsIt) {
  EXPECT_EQ(ListOf({"a", "b c", "", "d\"e", "f,g", "é"}).CommaText(),
            "a,\"b c\",,\"d\"\"e\",\"f,g\",é");
  EXPECT_EQ(ListOf({""}).CommaText(), "\"\"");
  EXPECT_EQ(ListOf({}).CommaText(), "");
  EXPECT_EQ(ListOf({"a", ""}).CommaText(), "a,");

  const struct {
    const char* text;
    DelimitedConfig config;
    Strings items;
  } cases[] = {
      {"a b,c", {',', '"', false}, {"a", "b", "c"}},
      {"  a , b  ", {',', '"', false}, {"a", "b"}},
      {"a,", {',', '"', false}, {"a", ""}},
      {",", {',', '"', false}, {"", ""}},
      {"\"x\"y,z", {',', '"', false}, {"x", "y", "z"}},
      {"\"abc", {',', '"', false}, {"abc"}},  // an unterminated quote runs to the end
      {"\"a\"\"b\"", {',', '"', false}, {"a\"b"}},
      {"\"\"", {',', '"', false}, {""}},
      {"   ", {',', '"', false}, {}},
      {"a  b", {' ', '"', false}, {"a", "b"}},
      {"a b,c", {',', '"', true}, {"a b", "c"}},
      {" a , b ", {',', '"', true}, {" a ", " b "}},
      {"'x;y';z", {';', '\'', false}, {"x;y", "z"}},
  };
  for (const auto& c : cases) {
    TStringList list;
    list.SetDelimiter(c.config.delimiter);
    list.SetQuoteChar(c.config.quote);
    list.SetStrictDelimiter(c.config.strict);
    list.SetDelimitedText(c.text);
    EXPECT_EQ(Items(list), c.items) << c.text;
  }
}

TEST(StringList, DelimitedTextRoundTripsAwkwardItems) {
  const Strings awkward = {"plain",
                           "with space",
                           "",
                           "quote\"inside",
                           "\"",
                           "\"\"",
                           "comma,inside",
                           " lead",
                           "trail ",
                           "tab\tx",
                           "line\r\nbreak",
                           "é ü €",
                           "semi;colon",
                           "'apos'",
                           std::string("nul\0x", 5),
                           std::string(1, '\0'),
                           ","};
  const DelimitedConfig configs[] = {{',', '"', false},  {';', '\'', false}, {',', '"', true},
                                     {'\t', '"', false}, {' ', '"', false},  {' ', '"', true}};
  std::mt19937 random(42);
  std::vector<Strings> lists = {awkward, {""}, {"", ""}, {}, {" "}};
  for (int n = 0; n < 300; ++n) {  // random lists of random awkward pieces
    Strings items(random() % 5);
    for (std::string& item : items)
      for (int k = random() % 4; k > 0; --k) item += awkward[random() % awkward.size()];
    lists.push_back(items);
  }
  for (const DelimitedConfig& config : configs) {
    for (const Strings& items : lists) {
      TStringList list = ListOf(items);
      list.SetDelimiter(config.delimiter);
      list.SetQuoteChar(config.quote);
      list.SetStrictDelimiter(config.strict);
      TStringList back;
      back.SetDelimiter(config.delimiter);
      back.SetQuoteChar(config.quote);
      back.SetStrictDelimiter(config.strict);
      back.SetDelimitedText(list.DelimitedText());
      ASSERT_EQ(Items(back), items)
          << "[" << list.DelimitedText() << "] delimiter " << static_cast<int>(config.delimiter);
    }
  }
  for (const Strings& items : lists) {
    TStringList back;
    back.SetCommaText(ListOf(items).CommaText());
    ASSERT_EQ(Items(back), items);
  }
}

class StringListFile : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& p : FPaths) std::remove(p.c_str());
  }
  std::string Path(const std::string& name) {
    FPaths.push_back(::testing::TempDir() + "wy_string_list_" + name);
    return FPaths.back();
  }
  std::vector<std::string> FPaths;
};

TEST_F(StringListFile, SavesUtf8WithBomAndReadsItBack) {
  const std::string path = Path("bom.txt");
  const Strings lines = {"é€😀", "", "name=value"};
  ASSERT_TRUE(ListOf(lines).SaveToFile(path));
  EXPECT_EQ(ReadBytes(path),
            "\xEF\xBB\xBF"
            "é€😀\r\n\r\nname=value\r\n");
  TStringList list = ListOf({"old"});
  ASSERT_TRUE(list.LoadFromFile(path));
  EXPECT_EQ(Items(list), lines);

  TStringList noBom = ListOf({"x"});
  noBom.SetWriteBOM(false);
  ASSERT_TRUE(noBom.SaveToFile(path));
  EXPECT_EQ(ReadBytes(path), "x\r\n");
}

TEST_F(StringListFile, DecodesFilesWithoutBomAndOtherMarks) {
  const struct {
    std::string bytes;
    Strings lines;
  } cases[] = {
      {"caf\xC3\xA9\nb", {"café", "b"}},      // UTF-8 without a mark
      {"caf\xE9 \x80\x9F\r\n", {"café €Ÿ"}},  // not UTF-8: Windows-1252
      {"\xC0\xAF", {"À¯"}},                   // an overlong form is not UTF-8
      {"\xFF\xFE"
       "a\0\xE9\0\r\0\n\0=\xD8\0\xDE"s,
       {"aé", "😀"}},                              // UTF-16 LE
      {"\xFE\xFF\0a\xD8\0"s, {"a\xEF\xBF\xBD"}},  // BE, unpaired surrogate
      {"\xEF\xBB\xBF", {}},
      {"", {}},
  };
  const std::string path = Path("decode.txt");
  for (const auto& c : cases) {
    WriteBytes(path, c.bytes);
    TStringList list;
    ASSERT_TRUE(list.LoadFromFile(path));
    EXPECT_EQ(Items(list), c.lines) << c.bytes;
  }
}

TEST_F(StringListFile, UnreadableOrUnwritablePathsGiveFalseAndChangeNothing) {
  TStringList list = ListOf({"keep"});
  EXPECT_FALSE(list.LoadFromFile(Path("missing.txt")));
  EXPECT_FALSE(list.LoadFromFile(::testing::TempDir()));  // a folder
  EXPECT_FALSE(list.SaveToFile(Path("no/such/folder/x.txt")));
  EXPECT_EQ(Items(list), (Strings{"keep"}));
}

TEST(StringList, StreamsReadFromAndWriteAtThePosition) {
  TMemoryStream stream(
      std::string("skip\xEF\xBB\xBF"
                  "a\r\nb"));
  stream.SetPosition(4);
  TStringList list;
  ASSERT_TRUE(list.LoadFromStream(stream));
  EXPECT_EQ(Items(list), (Strings{"a", "b"}));

  TMemoryStream out(std::string("head"));
  out.SetPosition(4);
  ASSERT_TRUE(list.SaveToStream(out));
  EXPECT_EQ(out.DataString(),
            "head\xEF\xBB\xBF"
            "a\r\nb\r\n");
}

TEST(StringList, BulkAddOnASortedListEqualsRepeatedAdd) {
  std::mt19937 random(3);
  const Strings words = {"a", "A", "b", "B", "c", "é", "É", "", "ab", "aB"};
  for (TDuplicates policy : {dupIgnore, dupAccept, dupError}) {
    for (int round = 0; round < 40; ++round) {
      TStringListOf<int> start;  // may hold duplicates from its unsorted days
      for (int k = random() % 12; k > 0; --k) start.AddObject(words[random() % words.size()], -k);
      start.SetSorted(true);
      start.SetDuplicates(policy);
      TStringListOf<int> fresh;
      for (int k = 0; k < 30; ++k) fresh.AddObject(words[random() % words.size()], k);

      TStringListOf<int> bulk = start, oneByOne = start;
      bulk.AddStrings(fresh);
      for (int k = 0; k < fresh.Count(); ++k)
        oneByOne.AddObject(fresh.Strings(k), fresh.Objects(k));
      ASSERT_EQ(Items(bulk), Items(oneByOne)) << policy;
      for (int k = 0; k < bulk.Count(); ++k) ASSERT_EQ(bulk.Objects(k), oneByOne.Objects(k));
    }
  }
}

TEST(StringList, OwningObjectsAreReleasedWithTheirEntries) {
  auto counter = std::make_shared<int>(0);
  struct Counted {
    std::shared_ptr<int> alive;
    explicit Counted(std::shared_ptr<int> c) : alive(std::move(c)) { ++*alive; }
    ~Counted() { --*alive; }
  };
  {
    TStringListOf<std::unique_ptr<Counted>> list;
    for (const char* s : {"a", "b", "c", "d"})
      list.AddObject(s, std::make_unique<Counted>(counter));
    list.SetSorted(true);
    list.SetDuplicates(dupIgnore);
    list.AddObject("A", std::make_unique<Counted>(counter));  // refused: released at once
    EXPECT_EQ(*counter, 4);
    list.Delete(0);
    EXPECT_EQ(*counter, 3);
    list.SetObjects(0, nullptr);
    EXPECT_EQ(*counter, 2);
    EXPECT_EQ(list.Objects(99), nullptr);
  }
  EXPECT_EQ(*counter, 0);
}

TEST(StringList, HugeInputsStayUsable) {
  std::string text;
  const int lines = 200000;
  for (int i = lines; i > 0; --i) text += std::to_string(i % 50000) + "\n";
  TStringList sorted;
  sorted.SetSorted(true);
  sorted.SetText(text);  // O(n log n), not one insert per line
  EXPECT_EQ(sorted.Count(), 50000);

  const std::string big(2 << 20, '"');
  TStringList one = ListOf({big, big + ","});
  TStringList back;
  back.SetCommaText(one.CommaText());
  EXPECT_EQ(back.Count(), 2);
  EXPECT_TRUE(back.Strings(1) == big + ",");
}

TEST(FStringList, LookupsFoldOnlyAToZWhateverCaseSensitiveSays) {
  TFStringList list;
  list.AddStrings(Strings{"ABC", "É", "Lat=1", "plat"});
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("abc"), 0);
  EXPECT_EQ(list.IndexOf("é"), -1);
  EXPECT_EQ(list.SubIndexOf("lat"), 3);  // substring search is case-sensitive
  EXPECT_EQ(list.SubIndexOf("Lat"), 2);
  EXPECT_EQ(list.SubIndexOf(""), -1);
  TFStringList onlyUpper;
  onlyUpper.Add("Lat");
  EXPECT_EQ(onlyUpper.SubIndexOf("lat"), -1);

  list.SetSorted(true);
  int index = -1;
  EXPECT_TRUE(list.Find("lat=1", index));
  EXPECT_EQ(list.Strings(index), "Lat=1");
  EXPECT_EQ(list.IndexOf("PLAT"), 2);
}

}  // namespace
}  // namespace wy

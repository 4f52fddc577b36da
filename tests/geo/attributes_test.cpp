#include "geo/attributes.h"

#include <gtest/gtest.h>

#include <string>

namespace wy {
namespace {

// Names and values that collide with the record's own syntax or with the
// escapes come back exactly as they were set.
TEST(Attributes, FieldsGiveBackAnyText) {
  TWyAttributes a;
  a.Set("name",
        "Caf\xC3\xA9 \"Le Z\xC3\xA8"
        "bre\"");
  a.Set("cuisine", "pizza;italian");
  a.Set("a=b", "x=y");
  a.Set("hash", "#59# and #61# and #");
  a.Set("@id", "node/1");
  a.Set("lines", "one\r\ntwo\nthree");
  a.Set("empty", "");
  a.Set("n", "3", akJson);
  a.Set("nested", "{\"k\":[1,true,null]}", akJson);
  TWyAttributes back;
  back.ReadFields(";lat=1;title=x;" + a.ToFields());
  EXPECT_EQ(back, a);
  EXPECT_EQ(back.Find("n")->Kind, akJson);
  EXPECT_EQ(back.Find("cuisine")->Kind, akText);
  // Nothing of the fields looks like a separator or a line break.
  const std::string fields = a.ToFields();
  EXPECT_EQ(fields.find_first_of("\r\n"), std::string::npos);
}

TEST(Attributes, OrderReplacementAndRecordsWithout) {
  TWyAttributes a;
  a.Set("b", "1");
  a.Set("a", "2");
  a.Set("b", "3");
  a.Set("", "refused");
  ASSERT_EQ(a.Count(), 2u);
  EXPECT_EQ(a[0].Name, "b");
  EXPECT_EQ(a[0].Value, "3");
  EXPECT_TRUE(a.Remove("b"));
  EXPECT_FALSE(a.Remove("b"));
  EXPECT_EQ(a.Get("b"), "");

  // Records of older files, and malformed fields, give no attributes; a
  // name read twice keeps its first value.
  const struct {
    const char* record;
    const char* fields;
  } cases[] = {
      {"name=a;title=b;lat=1;lng=2;", ""},
      {"@=x;@@;@;@x;", ""},
      {"@x=1;@x=2;", "@x=1;"},
      {"@x=1\r\n", "@x=1;"},
  };
  for (const auto& c : cases) {
    TWyAttributes read;
    read.ReadFields(c.record);
    EXPECT_EQ(read.ToFields(), c.fields) << c.record;
  }
}

}  // namespace
}  // namespace wy

#include "services/photo_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wy {
namespace {

TEST(PhotoPageTest, EveryPhotoTakenWithWholeNumbersAndDecodedText) {
  const std::string json =
      "{\"count\":3,\"has_more\":true,\"photos\":[{\"upload_date\":\"12 May "
      "2009\",\"owner_name\":\"Jean\","
      "\"photo_id\":532693,\"longitude\":2.3522,\"photo_title\":\"caf\\u00e9\",\"owner_id\":12345,"
      "\"latitude\":48.8566,\"photo_file_url\":\"http://H/photos/medium/532693.jpg\"},"
      "{\"photo_title\":\"\\u4e2d \\\"q\\\" caf\\u00e9\",\"photo_id\":77}]}";
  std::vector<std::string> items;
  bool more = false;
  ReadPhotoPage(json, items, more);
  EXPECT_TRUE(more);
  EXPECT_EQ(items,
            (std::vector<std::string>{"12 May 2009", "532693", "2.3522", "48.8566", "caf\xC3\xA9",
                                      "12345", "Jean", "http://H/photos/medium/532693.jpg", "",
                                      "77", "", "", "\xE4\xB8\xAD \"q\" caf\xC3\xA9", "", "", ""}));
}

TEST(PhotoPageTest, HasMoreNeedsTheFlagAndAList) {
  struct Case {
    const char* json;
    bool more;
    size_t lines;
  } cases[] = {
      {"{\"has_more\":true,\"photos\":[]}", false, 0},
      {"{\"has_more\":true}", false, 0},
      {"{\"has_more\":false,\"photos\":[{\"photo_id\":1}]}", false, 8},
      {"{\"has_more\":true,\"photos\":[{\"photo_id\":1}]}", true, 8},
      {"{\"has_more\":true,\"photos\":[{\"photo_id\":1},{\"photo_id\":2", false, 8},
      // Values nested inside a photo are skipped, not taken for its end.
      {"{\"has_more\":true,\"photos\":[{\"photo_id\":1,\"tags\":{\"a\":\"}\"},"
       "\"sizes\":[{\"w\":1}]},{\"photo_id\":2}]}",
       true, 16},
      // Spaces and line breaks between tokens, as a server that indents its
      // answers writes them.
      {"{\n  \"has_more\" : true,\n  \"photos\" : [\n    { \"photo_id\" : 1 },\n"
       "    { \"photo_id\": 2, \"latitude\" : 48.5 }\n  ]\n}\n",
       true, 16},
  };
  for (const Case& c : cases) {
    std::vector<std::string> items;
    bool more = !c.more;
    ReadPhotoPage(c.json, items, more);
    EXPECT_EQ(more, c.more) << c.json;
    EXPECT_EQ(items.size(), c.lines) << c.json;
  }
}

}  // namespace
}  // namespace wy

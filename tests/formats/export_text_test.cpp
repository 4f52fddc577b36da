// Escaping of free text in the exported documents.

#include "formats/export_text.h"

#include <gtest/gtest.h>

#include <string>

namespace wy {
namespace {

TEST(ExportText, XmlAndJsonEscaping) {
  const struct {
    std::string text, xml, json;
  } cases[] = {
      {"a\"b<&c>'", "a&quot;b&lt;&amp;c&gt;&apos;", "\"a\\\"b<&c>'\""},
      {"C:\\icons\\a.png", "C:\\icons\\a.png", "\"C:\\\\icons\\\\a.png\""},
      {"]]>", "]]&gt;", "\"]]>\""},
      {"l1\r\nl2\tx", "l1\r\nl2\tx", "\"l1\\r\\nl2\\tx\""},
      // Control characters: forbidden in XML 1.0, escaped in JSON.
      {std::string("a\x01"
                   "b",
                   3),
       "ab", "\"a\\u0001b\""},
      // UTF-8 kept; broken UTF-8 becomes U+FFFD in both.
      {"Caf\xC3\xA9", "Caf\xC3\xA9", "\"Caf\xC3\xA9\""},
      {"x\xC3", "x\xEF\xBF\xBD", "\"x\xEF\xBF\xBD\""},
  };
  for (const auto& c : cases) {
    std::string xml, json;
    AppendXmlText(xml, c.text);
    AppendJsonString(json, c.text);
    EXPECT_EQ(xml, c.xml) << c.text;
    EXPECT_EQ(json, c.json) << c.text;
  }
}

}  // namespace
}  // namespace wy

#include "formats/map_data_file.h"

#include <gtest/gtest.h>

#include <string>

namespace wy {
namespace {

TEST(MapDataFile, SectionsAreFoundByTheirHeaderLineOnly) {
  struct TCase {
    const char* name;
    std::string text;
    const char* section;
    std::string expected;
  };
  const TCase cases[] = {
      {"plain CR LF", "[a]\r\nx=1\r\ny=2\r\n[b]\r\nz=3\r\n", "[b]", "z=3"},
      {"LF only", "[a]\nx=1\ny=2\n[b]\nz=3", "[a]", "x=1\r\ny=2"},
      {"lone CR", "[a]\rx=1\r[b]\r", "[a]", "x=1"},
      {"missing", "[a]\r\nx=1\r\n", "[polylines]", ""},
      {"blanks before, text after the header", "  [a] comment\r\nx=1\r\n", "[a]", "x=1"},
      {"generic mark", "#GENERIC#[markers]\r\nx=1\r\n", "[markers]", "x=1"},
      {"ends at a trimmed [ line", "[a]\r\nx=1\r\n   [other\r\ny=2", "[a]", "x=1"},
      {"blank lines inside stay, ends are trimmed", "[a]\r\n\r\n x=1\r\n\r\ny=2 \r\n\r\n", "[a]",
       "x=1\r\n\r\ny=2"},
      {"a record holding a header text is no header",
       "[markers]\r\nname=;title=[polylines];\r\n[polylines]\r\nline", "[polylines]", "line"},
      {"a header inside a line is no header", "x=[a]\r\n[a]\r\ny=1", "[a]", "y=1"},
      {"the first header wins", "[a]\r\n1\r\n[a]\r\n2", "[a]", "1"},
      {"prefix of a longer header", "[roads.markers]\r\n1\r\n[markers]\r\n2", "[markers]", "2"},
      {"byte-order mark", "\xEF\xBB\xBF[a]\r\nx=1", "[a]", "x=1"},
      {"empty section", "[a]\r\n\r\n[b]", "[a]", ""},
      {"case counts", "[A]\r\nx", "[a]", ""},
  };
  for (const TCase& c : cases) {
    TWyMapDataFile file(c.text);
    EXPECT_EQ(file.ReadSection(c.section), c.expected) << c.name;
  }
}

TEST(MapDataFile, ReadsOnceAndReturnsOnlyWhatSectionsHold) {
  // Many sections, each read once: the text is indexed once and every
  // look-up returns only its own section.
  std::string text;
  for (int i = 0; i < 2000; ++i)
    text += "[s" + std::to_string(i) + "]\r\nvalue=" + std::to_string(i) + "\r\n";
  TWyMapDataFile::ResetWork();
  TWyMapDataFile file(text);
  uint64_t returned = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::string body = file.ReadSection("[s" + std::to_string(i) + "]");
    ASSERT_EQ(body, "value=" + std::to_string(i));
    returned += body.size();
  }
  const TWyMapDataFile::TWork work = TWyMapDataFile::Work();
  EXPECT_EQ(work.Indexed, 1u);
  EXPECT_EQ(work.IndexedBytes, text.size());
  EXPECT_EQ(work.Lookups, 2000u);
  EXPECT_EQ(work.SectionBytes, returned);
}

}  // namespace
}  // namespace wy

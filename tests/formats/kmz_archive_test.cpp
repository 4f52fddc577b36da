#include "formats/kmz_archive.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "formats/shape_file.h"
#include "support/test_helpers.h"

namespace wy {
namespace {

using test_support::TScratchDir;

// Writes a zip archive holding the given entries (name, content).
void WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries) {
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  ASSERT_NE(zip, nullptr);
  for (const auto& e : entries) {
    zip_fileinfo info{};
    ASSERT_EQ(zipOpenNewFileInZip64(zip, e.first.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                    Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0),
              ZIP_OK);
    zipWriteInFileInZip(zip, e.second.data(), static_cast<unsigned>(e.second.size()));
    zipCloseFileInZip(zip);
  }
  zipClose(zip, nullptr);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

const char kKml[] =
    "<kml><Placemark><name>P</name><Point><coordinates>2.35,48.85</coordinates></Point>"
    "</Placemark></kml>";
const char kMarker[] =
    "[markers]\r\ndrag=false;lng=2.35;visible=true;lat=48.85;clickable=true;name=P;title=P;@name=P;"
    "\r\n\r\n";

TEST(KmzArchive, OpensLikeItsKml) {
  TScratchDir dir;
  WriteZip(dir.Sub("a.kmz"), {{"files/icon.png", "png"}, {"doc.kml", kKml}});
  WriteZip(dir.Sub("b.KMZ"), {{"files/icon.png", "png"}, {"places/Paris.KML", kKml}});
  WriteZip(dir.Sub("none.kmz"), {{"readme.txt", "hello"}});
  EXPECT_EQ(LoadShapeFile(dir.Sub("a.kmz")), kMarker);
  EXPECT_EQ(LoadShapeFile(dir.Sub("b.KMZ")), kMarker);
  EXPECT_EQ(LoadShapeFile(dir.Sub("none.kmz")), "");
  std::string text;
  EXPECT_EQ(ReadShapeSource(dir.Sub("a.kmz"), text), skKML);
  EXPECT_EQ(text, kKml);

  // Not an archive, and an archive cut short anywhere before the record
  // that closes its directory (every tenth byte): a clear failure.
  std::ofstream(dir.Sub("plain.kmz"), std::ios::binary) << kKml;
  EXPECT_EQ(ReadShapeSource(dir.Sub("plain.kmz"), text), skError);
  const std::string whole = ReadBytes(dir.Sub("a.kmz"));
  ASSERT_GT(whole.size(), 30u);
  for (size_t len = 0; len + 20 < whole.size(); len += 10) {
    std::string kml;
    EXPECT_FALSE(KmzToKml(whole.substr(0, len), kml)) << len;
    EXPECT_EQ(kml, "");
  }
}

// Archives we write open with our reader and with a standard unzip tool,
// whatever the size of the document.
TEST(KmzArchive, WrittenArchivesOpenAnywhere) {
  std::string big(3u * 1024 * 1024, ' ');
  for (size_t i = 0; i < big.size(); i += 97) big[i] = static_cast<char>('a' + i % 26);
  TScratchDir dir;
  for (const std::string& kml : {std::string(kKml), big}) {
    std::string bytes, back;
    ASSERT_TRUE(KmlToKmz(kml, bytes));
    ASSERT_TRUE(KmzToKml(bytes, back));
    EXPECT_TRUE(back == kml);
    std::ofstream(dir.Sub("w.kmz"), std::ios::binary) << bytes;
    if (std::system("command -v unzip >/dev/null 2>&1") == 0) {
      EXPECT_EQ(std::system(("unzip -tqq " + dir.Sub("w.kmz") + " doc.kml").c_str()), 0);
    }
  }
}

}  // namespace
}  // namespace wy

#include "formats/shape_file.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "support/fixture_server.h"
#include "support/test_helpers.h"

namespace wy {
namespace {

using test_support::TScratchDir;

const std::string kBom = "\xEF\xBB\xBF";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(SaveTextToFile, WritesBomAndCrLfLines) {
  TScratchDir dir;
  const std::string path = dir.Sub("a.txt");
  struct TCase {
    std::string text;
    std::string file;
  };
  const TCase cases[] = {
      {"", kBom},
      {"a", kBom + "a\r\n"},
      {"a\r\nb\r\n", kBom + "a\r\nb\r\n"},
      {"a\nb", kBom + "a\r\nb\r\n"},
      {"\r\n[groupes]\r\n\r\n", kBom + "\r\n[groupes]\r\n\r\n"},
      {"a\rb", kBom + "a\r\nb\r\n"},
      {kBom + "x", kBom + "x\r\n"},  // never two marks
  };
  for (const TCase& c : cases) {
    ASSERT_TRUE(SaveTextToFile(path, c.text));
    EXPECT_EQ(ReadBytes(path), c.file);
  }
  // Only the target is left in the folder.
  EXPECT_EQ(dir.FileCount(), 1u);
}

TEST(SaveTextToFile, AFailedSaveSaysSoAndLeavesTheTargetAlone) {
  TScratchDir dir;
  EXPECT_FALSE(SaveTextToFile(dir.Sub("no/such/folder/a.txt"), "x"));
  EXPECT_FALSE(SaveTextToFile("", "x"));
  // A folder in the way of the target.
  std::filesystem::create_directory(dir.Sub("folder"));
  EXPECT_FALSE(SaveTextToFile(dir.Sub("folder"), "x"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Sub("folder")));
  EXPECT_EQ(dir.FileCount(), 0u);
}

TEST(SaveTextToFile, KeepsThePermissionsOfTheFileItReplaces) {
  TScratchDir dir;
  const std::string path = dir.Sub("a.txt");
  WriteBytes(path, "old");
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(SaveTextToFile(path, "new"));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A child process saves a text of `size` bytes over `path` with its file
// size limited to `limit` bytes, so the kernel stops it in the middle of
// writing; with `ignoreSignal` the write fails instead and the child exits
// with the save's result (0 for true, 1 for false).
int SaveInChild(const std::string& path, size_t size, rlim_t limit, bool ignoreSignal) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (ignoreSignal) ::signal(SIGXFSZ, SIG_IGN);
    rlimit rl{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &rl);
    const bool ok = SaveTextToFile(path, std::string(size, 'n'));
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

TEST(SaveTextToFile, AProcessKilledWhileSavingLeavesTheOldFileWhole) {
  TScratchDir dir;
  const std::string path = dir.Sub("map.txt");
  const std::string old = kBom + "[map]\r\nzoom=3\r\n";
  WriteBytes(path, old);

  // Killed by the kernel when the new text passes 64 KiB.
  const int status = SaveInChild(path, 1 << 20, 64 << 10, false);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
  EXPECT_EQ(ReadBytes(path), old);

  // The same write failing without the signal: the save reports it and
  // tidies up after itself.
  const int failed = SaveInChild(path, 1 << 20, 64 << 10, true);
  ASSERT_TRUE(WIFEXITED(failed));
  EXPECT_EQ(WEXITSTATUS(failed), 1);
  EXPECT_EQ(ReadBytes(path), old);

  // Killed from outside at any moment: old or whole new, nothing between.
  const std::string text(8 << 20, 'k');
  for (int delayMs : {0, 1, 3, 10}) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(SaveTextToFile(path, text) ? 0 : 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    const std::string now = ReadBytes(path);
    EXPECT_TRUE(now == old || now == kBom + text + "\r\n") << "after " << delayMs << " ms";
  }
}

TEST(ReadShapeSource, LocalFilesByExtension) {
  TScratchDir dir;
  struct TCase {
    const char* name;
    std::string bytes;
    TShapeSourceKind kind;
    std::string text;
  };
  const TCase cases[] = {
      {"a.txt", kBom + "[map]\r\nzoom=3\r\n", skText, "[map]\r\nzoom=3\r\n"},
      {"b.TXT", "[map]\nzoom=3\n", skText, "[map]\nzoom=3\n"},
      {"c", "x", skText, "x"},
      {"d.GPX", "<gpx/>", skGPX, "<gpx/>"},
      {"e.kml", "<kml/>", skKML, "<kml/>"},
      {"f.json", "{}", skGeoJSON, "{}"},
      {"g.geojson", kBom + "{}", skGeoJSON, "{}"},
      {"h.txt", "", skText, ""},
      // ".json" and ".geojson" go by content: an object is GeoJSON, anything
      // else (older own files saved under ".geojson") the own format.
      {"i.geojson", kBom + "[markers]\r\nname=a;\r\n", skText, "[markers]\r\nname=a;\r\n"},
      {"j.JSON", kBom + " \r\n\t{\"type\":\"Point\",\"coordinates\":[1,2]}", skGeoJSON,
       " \r\n\t{\"type\":\"Point\",\"coordinates\":[1,2]}"},
  };
  for (const TCase& c : cases) {
    WriteBytes(dir.Sub(c.name), c.bytes);
    std::string text = "junk";
    EXPECT_EQ(ReadShapeSource(dir.Sub(c.name), text), c.kind) << c.name;
    EXPECT_EQ(text, c.text) << c.name;
  }
  std::string text = "junk";
  EXPECT_EQ(ReadShapeSource(dir.Sub("missing.txt"), text), skError);
  EXPECT_EQ(text, "");
  EXPECT_EQ(ReadShapeSource(dir.Path(), text), skError);  // a folder

  // LoadShapeFile converts the foreign formats and hands own text over.
  const std::string noShapes =
      "[map]\r\n[markers]\r\n[polylines]\r\n[polygones]\r\n[rectangles]\r\n[circles]";
  EXPECT_EQ(LoadShapeFile(dir.Sub("g.geojson")), noShapes);
  EXPECT_EQ(LoadShapeFile(dir.Sub("i.geojson")), "[markers]\r\nname=a;\r\n");
  EXPECT_EQ(LoadShapeFile(dir.Sub("j.JSON")),
            "[map]\r\n[markers]\r\nlng=1;lat=2;visible=true;\r\n[polylines]\r\n[polygones]"
            "\r\n[rectangles]\r\n[circles]");
  EXPECT_EQ(LoadShapeFile(dir.Sub("a.txt")), "[map]\r\nzoom=3\r\n");
  EXPECT_EQ(LoadShapeFile(dir.Sub("d.GPX")), "");
  EXPECT_EQ(LoadShapeFile(dir.Sub("missing.txt")), "");
}

TEST(ReadShapeSource, OnlyHttpAndHttpsAddressesAreFetched) {
  TFixtureServer server;
  server.Serve("/shapes.txt", kBom + "[markers]\r\nname=a;\r\n", "text/plain");
  server.Serve("/track.gpx", "<gpx/>", "application/gpx+xml");
  server.ServeStatus("/gone.txt", 404);

  std::string text;
  EXPECT_EQ(ReadShapeSource(server.Url("/shapes.txt"), text), skText);
  EXPECT_EQ(text, "[markers]\r\nname=a;\r\n");
  EXPECT_EQ(ReadShapeSource(server.Url("/track.gpx?session=1"), text), skGPX);
  EXPECT_EQ(ReadShapeSource(server.Url("/gone.txt"), text), skError);
  EXPECT_EQ(text, "");
  EXPECT_EQ(LoadShapeUrl(server.Url("/shapes.txt")), "[markers]\r\nname=a;\r\n");
  EXPECT_EQ(LoadShapeFile(server.Url("/shapes.txt")), "[markers]\r\nname=a;\r\n");
  const size_t fetched = server.RequestCount();

  // Names that are neither files nor web addresses go nowhere.
  const std::string hostPath = server.BaseUrl().substr(7) + "/shapes.txt";
  for (const std::string& name :
       {hostPath, "ftp://" + hostPath, std::string("file:///etc/hostname"),
        std::string("//") + hostPath}) {
    EXPECT_EQ(ReadShapeSource(name, text), skError) << name;
    EXPECT_EQ(LoadShapeUrl(name), "") << name;
  }
  EXPECT_EQ(server.RequestCount(), fetched);
}

// A ".json" file that is no GeoJSON object is read as own text; only
// records under the sections the readers read make it a source of shapes
// or of a view (anything else would reset a map and load nothing).
TEST(ShapeFile, OnlyRecordsOfKnownSectionsAreShapeRecords) {
  const struct {
    const char* text;
    bool records;
  } cases[] = {
      {"[markers]\r\nlat=1;lng=2\r\n", true},
      {"\r\n[groupes]\r\nname=;\r\n[trails.polylines]\r\nlatlng=1,2,3,4\r\n", true},
      {"[map]\r\nzoom=3\r\n", true},
      {"[markers]\r\n\r\n[polylines]\r\n", false},
      {"[\n  1,\n  2\n]\n", false},
      {"[1, 2, 3]", false},
      {"\"just a string\"", false},
      {"lat=1;lng=2", false},
      {"[circles]\r\nlat=1;lng=2;radius=3\r\n", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(HasShapeRecords(c.text), c.records) << c.text;
}

}  // namespace
}  // namespace wy

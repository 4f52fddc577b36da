#include "tools/wymap_cli.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geo/query_value.h"
#include "geo/settings.h"
#include "geo/text_convert.h"
#include "support/fixture_server.h"
#include "support/service_answers.h"
#include "support/test_helpers.h"
#include "wymap_run.h"

namespace wy {
namespace {

using test_support::TScratchDir;

using test_support::kNoNodeAnswer;
using test_support::kNoPlaceBody;
using test_support::kParisBox;
using test_support::kRestaurantAnswer;
using test_support::kReverseBody;
using test_support::kReverseErrorBody;
using test_support::kSearchBody;

namespace fs = std::filesystem;

// A name holding a tab and a terminal escape.
const char kControlBody[] =
    "<searchresults><place lat='1' lon='2' display_name='A&#9;B&#27;[2J'/></searchresults>\n";

std::string ManyNodes(int count) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<osm version=\"0.6\">\n";
  for (int i = 1; i <= count; ++i) {
    text += "  <node id=\"" + std::to_string(i) + "\" lat=\"48.1\" lon=\"2.1\">\n";
    text += "    <tag k=\"amenity\" v=\"cafe\"/>\n  </node>\n";
  }
  return text + "</osm>\n";
}

// One line, ending in a line feed, starting with the prefix.
void ExpectOneLine(const std::string& text, const std::string& prefix) {
  EXPECT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
}

class WymapTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.Running()); }
  void TearDown() override { ResetSettings(); }

  // Arguments that point every service at the loopback server and the cache
  // at the scratch folder, followed by `rest`.
  std::vector<std::string> Args(const std::vector<std::string>& rest) const {
    std::vector<std::string> args = {"--endpoint", "nominatim=" + server.Url("/nominatim/v1"),
                                     "--endpoint", "xapi=" + server.Url("/api/xapi?"),
                                     "--endpoint", "xapi-fallback=" + server.Url("/xapi/api/0.6/"),
                                     "--cache",    cache.Path()};
    args.insert(args.end(), rest.begin(), rest.end());
    return args;
  }
  std::vector<std::string> ParisPlaces(const std::vector<std::string>& rest = {}) const {
    std::vector<std::string> args = {"places", "--lat",    "48.8566", "--lng",
                                     "2.3522", "--radius", "1000"};
    args.insert(args.end(), rest.begin(), rest.end());
    return Args(args);
  }

  TFixtureServer server;
  TScratchDir cache;
};

TEST_F(WymapTest, BadArgumentsGiveOneLineAndExitCodeTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"bogus"},
      {"geocode"},
      {"geocode", "  "},
      {"--frob", "geocode", "x"},
      {"-x", "geocode", "x"},
      {"geocode", "x", "--cache"},
      {"--json=1", "geocode", "x"},
      {"geocode", "x", "--lat", "1"},  // a places option
      {"reverse", "48.8"},
      {"reverse", "48.8", "2", "3"},
      {"reverse", "abc", "2"},
      {"reverse", "48,85", "2"},
      {"reverse", "48.85 ", "2"},
      {"reverse", "+48.85", "2"},
      {"reverse", "91", "0"},
      {"reverse", "-90.5", "0"},
      {"reverse", "0", "180.5"},
      {"reverse", "nan", "0"},
      {"reverse", "inf", "0"},
      {"reverse", "0x10", "0"},
      {"reverse", "1e999", "0"},
      {"places", "--lat", "1", "--lng", "2"},
      {"places", "--lng", "2", "--radius", "5"},
      {"places", "--lat", "1", "--lng", "2", "--radius", "0"},
      {"places", "--lat", "1", "--lng", "2", "--radius", "1e3"},
      {"places", "--lat", "1", "--lng", "2", "--radius", "100001"},
      {"places", "--lat", "1", "--lng", "2", "--radius", "5", "--max", "0"},
      {"places", "--lat", "1", "--lng", "2", "--radius", "5", "--max", "x"},
      {"places", "--lat", "1", "--lng", "2", "--radius", "5", "--tags", ""},
      {"places", "extra", "--lat", "1", "--lng", "2", "--radius", "5"},
      {"places", "--lat", "95", "--lng", "2", "--radius", "5"},
      {"--endpoint", "tiles=http://h/", "geocode", "x"},
      {"--endpoint", "nominatim", "geocode", "x"},
      {"--endpoint", "nominatim=file:///etc/passwd", "geocode", "x"},
      {"--timeout", "0", "geocode", "x"},
      {"--timeout", "-1", "geocode", "x"},
      {"cache"},
      {"cache", "bogus"},
      {"cache", "stats", "extra"},
      {"cache", "stats", "--older-than", "3"},
      {"cache", "clear", "--older-than", "-1"},
      {"cache", "clear", "--older-than", "x"},
      {"geocode", "x", "--older-than", "1"},
      {"--cache", "", "cache", "stats"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& arg : args) shown += "[" + arg + "]";
    SCOPED_TRACE(shown);
    const TRun run = Wymap(args);
    EXPECT_EQ(run.Code, kWymapUsage);
    EXPECT_EQ(run.Out, "");
    ExpectOneLine(run.Err, "wymap: ");
  }
  EXPECT_EQ(server.RequestCount(), 0u);
  // A rejected command line changes no setting.
  const std::string before = GetEndpoint("nominatim");
  Wymap({"--endpoint", "nominatim=" + server.Url("/n"), "bogus"});
  EXPECT_EQ(GetEndpoint("nominatim"), before);
}

TEST_F(WymapTest, HelpPrintsTheUsageAndSucceeds) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"-h"}, {"help"}, {"geocode", "--help"}, {"places", "--help"}}) {
    const TRun run = Wymap(args);
    EXPECT_EQ(run.Code, kWymapOk);
    EXPECT_EQ(run.Out, WymapUsage());
    EXPECT_EQ(run.Err, "");
  }
  EXPECT_NE(WymapUsage().find(GetCacheDir()), std::string::npos);
}

TEST_F(WymapTest, GeocodePrintsOneResultALineAndUsesTheCache) {
  server.Serve("/nominatim/v1/search", kSearchBody, "text/xml");
  const auto args = Args({"geocode", "10 Downing Street, London & Co+1"});
  const std::string expected =
      "48.8566\t2.3522\tL'Arc, Paris\n"
      "48.1\t2.1\tCaf\xC3\xA9 A & B, Rue \"X\"\n"
      "\tx\tThird\n";
  TRun run = Wymap(args);
  EXPECT_EQ(run.Code, kWymapOk) << run.Err;
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(run.Out, expected);

  // The typed "&" and "+" stay inside the one query value.
  ASSERT_EQ(server.RequestCount(), 1u);
  const TFixtureRequest request = server.Requests()[0];
  const std::string start =
      "/nominatim/v1/search?format=xml&q=10%20DOWNING%20STREET%2C%20LONDON%20%26%20CO%2B1&key=";
  EXPECT_EQ(request.Target.compare(0, start.size(), start), 0) << request.Target;
  EXPECT_EQ(request.Param("q"), "10 DOWNING STREET, LONDON & CO+1");
  EXPECT_EQ(request.UserAgent(), GetUserAgent());
  EXPECT_EQ(cache.FilesIn("OPEN_MAPQUEST_SERVICES").size(), 1u);

  // Again with the server answering errors only: read from the cache.
  server.ServeStatus("/nominatim/v1/search", 500);
  run = Wymap(args);
  EXPECT_EQ(run.Code, kWymapOk) << run.Err;
  EXPECT_EQ(run.Out, expected);
  EXPECT_EQ(server.RequestCount(), 1u);

  // A line break typed into the address stays in the one request, and the
  // address is normalised without its accents.
  server.Serve("/nominatim/v1/search", kNoPlaceBody, "text/xml");
  run = Wymap(Args({"geocode", "Saint-\xC3\x89tienne\nLoire"}));
  EXPECT_EQ(run.Code, kWymapOk);
  EXPECT_EQ(run.Out, "");
  ASSERT_EQ(server.RequestCount(), 2u);
  EXPECT_EQ(server.Requests()[1].Param("q"), "SAINT-ETIENNE\nLOIRE");
}

// Addresses beyond Latin-1 reach the server whole, with the key; two
// addresses whose cache names collide each get their own answer.
TEST_F(WymapTest, GeocodeSendsAnyAddressWholeAndNeverSharesAnAnswer) {
  server.Handle("/nominatim/v1/search",
                [](const TFixtureRequest& request, httplib::Response& response) {
                  response.set_content("<searchresults><place lat='1' lon='2' display_name='" +
                                           request.Param("q") + "'/></searchresults>",
                                       "text/xml");
                });
  // The last two have the same CRC-32, and so the same cache file name.
  ASSERT_EQ(CrcText("ZWOXAUFR"), CrcText("NPUYAIXO"));
  const struct {
    const char* Typed;
    const char* Q;
  } cases[] = {
      {"\xC5\x81\xC3\xB3"
       "d\xC5\xBA",
       "\xC5\x81OD\xC5\xBA"},                                    // Łódź
      {"\xE6\x9D\xB1\xE4\xBA\xAC", "\xE6\x9D\xB1\xE4\xBA\xAC"},  // 東京
      {"\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
       "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0"},  // Москва
      {"ZWOXAUFR", "ZWOXAUFR"},
      {"NPUYAIXO", "NPUYAIXO"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Q);
    const TRun run = Wymap(Args({"geocode", c.Typed}));
    EXPECT_EQ(run.Code, kWymapOk) << run.Err;
    EXPECT_EQ(run.Out, std::string("1\t2\t") + c.Q + "\n");
    const auto requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().Param("q"), c.Q);
    // The key is written already encoded.
    EXPECT_EQ(requests.back().Param("key"), DecodeQueryValue(GetServiceKey(skMapQuest)));
  }
  EXPECT_FALSE(GetServiceKey(skMapQuest).empty());
  EXPECT_EQ(server.RequestCount(), 5u);
  EXPECT_EQ(cache.FilesIn("OPEN_MAPQUEST_SERVICES").size(), 4u);
}

TEST_F(WymapTest, GeocodeJsonAndNothingFound) {
  server.Serve("/nominatim/v1/search", kSearchBody, "text/xml");
  TRun run = Wymap(Args({"--json", "geocode", "arc paris"}));
  EXPECT_EQ(run.Code, kWymapOk);
  EXPECT_EQ(run.Out,
            "[\n"
            "  {\"lat\":48.8566,\"lng\":2.3522,\"display_name\":\"L'Arc, Paris\"},\n"
            "  {\"lat\":48.1,\"lng\":2.1,\"display_name\":\"Caf\xC3\xA9 A & B, Rue \\\"X\\\"\"},\n"
            "  {\"lat\":null,\"lng\":null,\"display_name\":\"Third\"}\n"
            "]\n");

  server.Serve("/nominatim/v1/search", kNoPlaceBody, "text/xml");
  run = Wymap(Args({"geocode", "nowhere"}));
  EXPECT_EQ(run.Code, kWymapOk);
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(run.Err, "");
  run = Wymap(Args({"geocode", "nowhere", "--json"}));
  EXPECT_EQ(run.Out, "[]\n");
}

TEST_F(WymapTest, ControlCharactersFromTheServerNeverReachTheTerminal) {
  server.Serve("/nominatim/v1/search", kControlBody, "text/xml");
  TRun run = Wymap(Args({"geocode", "x"}));
  EXPECT_EQ(run.Out, "1\t2\tA B [2J\n");
  run = Wymap(Args({"geocode", "x", "--json"}));
  EXPECT_EQ(run.Out, "[\n  {\"lat\":1,\"lng\":2,\"display_name\":\"A\\tB\\u001b[2J\"}\n]\n");
  EXPECT_EQ(JsonString("a\xFF"
                       "b\x7F"),
            "\"a\xEF\xBF\xBD"
            "b\\u007f\"");
}

TEST_F(WymapTest, ReversePrintsTheAddress) {
  server.Serve("/nominatim/v1/reverse", kReverseBody, "text/xml");
  TRun run = Wymap(Args({"reverse", "48.8584", "2.2945"}));
  EXPECT_EQ(run.Code, kWymapOk) << run.Err;
  EXPECT_EQ(run.Out, "10 Rue X & Y, Paris\n");
  ASSERT_EQ(server.RequestCount(), 1u);
  const std::string start = "/nominatim/v1/reverse?format=xml&lat=48.8584&lon=2.2945&key=";
  EXPECT_EQ(server.Requests()[0].Target.compare(0, start.size(), start), 0);

  // Negative numbers are arguments, not options.
  run = Wymap(Args({"reverse", "-33.8688", "-151.2093", "--json"}));
  EXPECT_EQ(run.Code, kWymapOk) << run.Err;
  EXPECT_EQ(run.Out, "{\"lat\":48.85,\"lng\":2.35,\"display_name\":\"10 Rue X & Y, Paris\"}\n");
  ASSERT_EQ(server.RequestCount(), 2u);
  EXPECT_EQ(server.Requests()[1].Param("lat"), "-33.8688");
  EXPECT_EQ(server.Requests()[1].Param("lon"), "-151.2093");

  server.Serve("/nominatim/v1/reverse", kReverseErrorBody, "text/xml");
  run = Wymap(Args({"reverse", "0", "0"}));
  EXPECT_EQ(run.Code, kWymapOk);
  EXPECT_EQ(run.Out, "");
  run = Wymap(Args({"reverse", "0", "0", "--json"}));
  EXPECT_EQ(run.Out, "null\n");
}

TEST_F(WymapTest, FailedRequestsSayWhatFailed) {
  server.ServeStatus("/nominatim/v1/search", 500);
  server.ServeStatus("/nominatim/v1/reverse", 500);
  server.ServeStatus("/api/xapi", 503);  // and the fallback answers 404

  struct TCase {
    std::vector<std::string> Args;
    std::string Line;  // the start of the message
  };
  const std::string base = server.Url("/nominatim/v1");
  const std::vector<TCase> cases = {
      {Args({"geocode", "x"}), "wymap: geocode failed: HTTP status 500 (" + base + ")\n"},
      {Args({"reverse", "1", "2"}), "wymap: reverse failed: HTTP status 500 (" + base + ")\n"},
      {ParisPlaces(), "wymap: places failed: HTTP status 503 (" + server.Url("/api/xapi?")},
      {Args({"--endpoint", "nominatim=" + server.RefusedUrl("/n"), "geocode", "x"}),
       "wymap: geocode failed: "},
      {Args({"--endpoint", "nominatim=" + server.RefusedUrl("/n"), "reverse", "1", "2"}),
       "wymap: reverse failed: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Line);
    const TRun run = Wymap(c.Args);
    EXPECT_EQ(run.Code, kWymapRequestFailed);
    EXPECT_EQ(run.Out, "");
    ExpectOneLine(run.Err, c.Line);
    if (c.Line.back() == '\n') {
      EXPECT_EQ(run.Err, c.Line);
    }
  }
  // The places search says why each of its two servers gave nothing.
  const TRun places = Wymap(ParisPlaces());
  EXPECT_NE(places.Err.find("; HTTP status 404 (" + server.Url("/xapi/api/0.6/")),
            std::string::npos)
      << places.Err;
  // A refused connection names the address that refused.
  const TRun refused =
      Wymap(Args({"--endpoint", "nominatim=" + server.RefusedUrl("/n"), "geocode", "x"}));
  EXPECT_NE(refused.Err.find(server.RefusedUrl("/n")), std::string::npos) << refused.Err;

  // A 200 answer that is no search answer (a captive portal, a wrong address)
  // is a failure, not "nothing found".
  server.Serve("/nominatim/v1/search", "<html>Sign in</html>", "text/html");
  const TRun portal = Wymap(Args({"geocode", "x"}));
  EXPECT_EQ(portal.Code, kWymapRequestFailed);
  EXPECT_EQ(portal.Err, "wymap: geocode failed: not a search answer from " + base + "\n");
  EXPECT_EQ(cache.FilesIn("PLACES").size(), 0u);
}

TEST_F(WymapTest, AHangingServerEndsAtTheTimeOut) {
  server.Hold("never");
  server.Handle("/nominatim/v1/search", [this](const TFixtureRequest&, httplib::Response& r) {
    server.WaitRelease("never");
    r.set_content(kSearchBody, "text/xml");
  });
  server.HandlePrefix("/api/xapi", [this](const TFixtureRequest&, httplib::Response& r) {
    server.WaitRelease("never");
    r.set_content(kRestaurantAnswer, "text/xml");
  });
  const auto start = std::chrono::steady_clock::now();
  TRun run = Wymap(Args({"--timeout", "0.3", "geocode", "x"}));
  EXPECT_EQ(run.Code, kWymapRequestFailed);
  EXPECT_EQ(run.Err, "wymap: geocode failed: no answer from " + server.Url("/nominatim/v1") +
                         " within 0.3 s\n");
  run = Wymap(ParisPlaces({"--timeout", "0.3"}));
  EXPECT_EQ(run.Code, kWymapRequestFailed);
  ExpectOneLine(run.Err, "wymap: places failed: no answer from ");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(cache.FileCount(), 0u);
  server.Release("never");
}

TEST_F(WymapTest, PlacesPrintsOnePlaceALine) {
  server.Serve("/api/xapi", kRestaurantAnswer, "text/xml");
  TRun run = Wymap(ParisPlaces({"--tags", "node[amenity=restaurant]"}));
  EXPECT_EQ(run.Code, kWymapOk) << run.Err;
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(run.Out, "101\t48.8560\t2.3500\tA & B\trestaurant\n");
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].Target,
            std::string("/api/xapi?node[amenity=restaurant]") + kParisBox);
  EXPECT_EQ(cache.FilesIn("PLACES").size(), 1u);

  run = Wymap(ParisPlaces({"--json"}));
  EXPECT_EQ(run.Code, kWymapOk) << run.Err;
  EXPECT_EQ(run.Out,
            "[\n"
            "  {\"id\":\"101\",\"lat\":48.8560,\"lng\":2.3500,\"name\":\"A & B\","
            "\"types\":\"restaurant\"}\n"
            "]\n");
  // The default filter.
  ASSERT_EQ(server.RequestCount(), 2u);
  EXPECT_EQ(server.Requests()[1].Target, std::string("/api/xapi?node[amenity=*]") + kParisBox);

  server.Serve("/api/xapi", ManyNodes(5), "text/xml");
  run = Wymap(ParisPlaces({"--tags", "node[shop=*]", "--max", "2"}));
  EXPECT_EQ(run.Code, kWymapOk) << run.Err;
  EXPECT_EQ(run.Out, "1\t48.1\t2.1\t\tcafe\n2\t48.1\t2.1\t\tcafe\n");

  server.Serve("/api/xapi", kNoNodeAnswer, "text/xml");
  run = Wymap(ParisPlaces({"--tags", "node[shop=none]"}));
  EXPECT_EQ(run.Code, kWymapOk) << run.Err;
  EXPECT_EQ(run.Out, "");
  run = Wymap(ParisPlaces({"--tags", "node[shop=none]", "--json"}));
  EXPECT_EQ(run.Out, "[]\n");
}

TEST_F(WymapTest, CacheFolderDefaultsToTheSettingAndEmptyMeansNone) {
  server.Serve("/nominatim/v1/search", kSearchBody, "text/xml");
  server.Serve("/api/xapi", kRestaurantAnswer, "text/xml");
  TScratchDir home;
  SetSetting("cache-dir", home.Path());
  const std::vector<std::string> endpoints = {"--endpoint",
                                              "nominatim=" + server.Url("/nominatim/v1"),
                                              "--endpoint", "xapi=" + server.Url("/api/xapi?")};
  auto with = [&](std::vector<std::string> rest) {
    std::vector<std::string> args = endpoints;
    args.insert(args.end(), rest.begin(), rest.end());
    return args;
  };
  EXPECT_EQ(Wymap(with({"geocode", "arc"})).Code, kWymapOk);
  EXPECT_EQ(Wymap(with({"places", "--lat", "48.8566", "--lng", "2.3522", "--radius", "1000"})).Code,
            kWymapOk);
  EXPECT_EQ(home.FilesIn("OPEN_MAPQUEST_SERVICES").size(), 1u);
  EXPECT_EQ(home.FilesIn("PLACES").size(), 1u);

  TScratchDir other;
  SetSetting("cache-dir", other.Path());
  EXPECT_EQ(Wymap(with({"--cache", "", "geocode", "arc"})).Code, kWymapOk);
  EXPECT_EQ(
      Wymap(with({"--cache=", "places", "--lat", "48.8566", "--lng", "2.3522", "--radius", "1000"}))
          .Code,
      kWymapOk);
  EXPECT_EQ(other.FileCount(), 0u);
  EXPECT_EQ(cache.FileCount(), 0u);
  EXPECT_EQ(server.RequestCount(), 4u);
}

// cache stats and cache clear look at the tiles of the cache folder only;
// clearing by age goes by each tile's last use.
TEST_F(WymapTest, CacheStatsAndClear) {
  const int64_t now = static_cast<int64_t>(::time(nullptr));
  const int64_t day = 24 * 3600;
  auto tile = [&](const std::string& key, size_t size, int64_t usedDaysAgo) {
    const fs::path path = fs::path(cache.Path()) / key;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, 't');
    const struct timespec times[2] = {{static_cast<time_t>(now - usedDaysAgo * day), 0},
                                      {static_cast<time_t>(now - usedDaysAgo * day), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  };
  tile("OSM/4/1/1", 100, 10);
  tile("OSM/4/1/2", 200, 1);
  tile("OCM/5/1/1", 50, 20);
  fs::create_directories(fs::path(cache.Path()) / "PLACES");
  std::ofstream(fs::path(cache.Path()) / "PLACES" / "12345678") << "an answer";
  auto date = [&](int64_t daysAgo) {
    const std::time_t t = static_cast<std::time_t>(now - daysAgo * day);
    std::tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return std::string(text);
  };

  SetSetting("tiles.disk-cache-bytes", "1000000");
  TRun run = Wymap(Args({"cache", "stats"}));
  EXPECT_EQ(run.Code, kWymapOk) << run.Err;
  EXPECT_EQ(run.Out, "OCM\t1\t50\t" + date(20) + "\t" + date(20) + "\n" + "OSM\t2\t300\t" +
                         date(10) + "\t" + date(1) + "\n" + "total\t3\t350\t1000000\n");
  run = Wymap(Args({"--json", "cache", "stats"}));
  EXPECT_NE(run.Out.find("\"tiles\":3,\"bytes\":350,\"budget\":1000000"), std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("{\"name\":\"OSM\",\"tiles\":2,\"bytes\":300"), std::string::npos);

  run = Wymap(Args({"cache", "clear", "--older-than", "5"}));
  EXPECT_EQ(run.Code, kWymapOk);
  EXPECT_EQ(run.Out, "removed\t2\t150\n");
  EXPECT_TRUE(fs::exists(fs::path(cache.Path()) / "OSM/4/1/2"));
  EXPECT_FALSE(fs::exists(fs::path(cache.Path()) / "OCM"));
  run = Wymap(Args({"cache", "clear"}));
  EXPECT_EQ(run.Out, "removed\t1\t200\n");
  EXPECT_EQ(Wymap(Args({"cache", "stats"})).Out, "total\t0\t0\t1000000\n");
  EXPECT_EQ(cache.FilesIn("PLACES").size(), 1u);  // service answers stay
  EXPECT_EQ(server.RequestCount(), 0u);
}

// The real program, as a user runs it.
TEST_F(WymapTest, ProgramExitCodes) {
  server.Serve("/nominatim/v1/search", kSearchBody, "text/xml");
  TScratchDir home;
  struct TCase {
    std::vector<std::string> Args;
    int Code;
    std::string OutStart;
    std::string ErrStart;
  };
  const std::vector<TCase> cases = {
      {{"--help"}, 0, "Usage: wymap", ""},
      {{"bogus"}, 2, "", "wymap: unknown command"},
      {{"reverse", "1"}, 2, "", "wymap: "},
      {{"--endpoint", "nominatim=" + server.Url("/nominatim/v1"), "geocode", "arc"},
       0,
       "48.8566\t2.3522\tL'Arc, Paris\n",
       ""},
      // Another address: "arc" is in the cache now, whatever the endpoint.
      {{"--endpoint", "nominatim=" + server.RefusedUrl("/n"), "geocode", "elsewhere"},
       1,
       "",
       "wymap: geocode failed: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ErrStart + c.OutStart);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("WYMAP_CACHE_DIR", QString::fromStdString(home.Path()));
    process.setProcessEnvironment(environment);
    QStringList args;
    for (const auto& arg : c.Args) args << QString::fromStdString(arg);
    process.start(QString::fromUtf8(WYMAP_BINARY), args);
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), c.Code);
    const std::string out = process.readAllStandardOutput().toStdString();
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(out.compare(0, c.OutStart.size(), c.OutStart), 0) << out;
    if (c.ErrStart.empty()) {
      EXPECT_EQ(err, "");
    } else {
      ExpectOneLine(err, c.ErrStart);
    }
  }
  // The default cache folder of the program is the settings' one.
  EXPECT_EQ(home.FilesIn("OPEN_MAPQUEST_SERVICES").size(), 1u);
}

}  // namespace
}  // namespace wy

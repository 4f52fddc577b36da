#include "tools/wymap_route.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "geo/settings.h"
#include "services/rate_limit.h"
#include "support/fixture_server.h"
#include "support/route_answers.h"
#include "support/test_helpers.h"
#include "tools/wymap_cli.h"
#include "wymap_run.h"

namespace wy {
namespace {

using test_support::TScratchDir;

class WymapRouteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Running());
    ResetEndpointSlots();
    server.Serve("/osrm/route/v1/driving/2.35,48.85;2.355,48.855", test_support::kOsrmBody,
                 "application/json");
    server.Serve("/oe/api/v1/lookup", test_support::kOpenElevationBody, "application/json");
    server.Handle("/nominatim/search",
                  [](const TFixtureRequest& request, httplib::Response& response) {
                    const std::string q = request.Param("q");
                    const std::string at = q == "RUE DE RIVOLI, PARIS" ? "lat='48.85' lon='2.35'"
                                           : q == "PANTHEON"           ? "lat='48.855' lon='2.355'"
                                                                       : "";
                    response.set_content(
                        "<searchresults>" +
                            (at.empty() ? std::string() : "<place " + at + " display_name='x'/>") +
                            "</searchresults>",
                        "text/xml");
                  });
  }
  void TearDown() override {
    ResetSettings();
    ResetEndpointSlots();
  }

  std::vector<std::string> Args(const std::vector<std::string>& rest) const {
    std::vector<std::string> args = {"--endpoint", "osrm=" + server.Url("/osrm"),
                                     "--endpoint", "open-elevation=" + server.Url("/oe"),
                                     "--endpoint", "nominatim=" + server.Url("/nominatim"),
                                     "--cache",    cache.Path()};
    args.insert(args.end(), rest.begin(), rest.end());
    return args;
  }

  TFixtureServer server;
  TScratchDir cache;
};

TEST_F(WymapRouteTest, RoutePrintsTotalsThenOneInstructionALine) {
  const std::string expected =
      "0.731 km\t2 min 20 s\n"
      "0.250 km\tHead out on Rue de Rivoli\n"
      "0.481 km\tTurn left onto Boulevard Saint-Michel\n"
      "0.000 km\tArrive at your destination, on the right\n";
  // By coordinates, by addresses, and mixed.
  for (const auto& places :
       std::vector<std::vector<std::string>>{{"48.85,2.35", "48.855,2.355"},
                                             {"Rue de Rivoli, Paris", "Panthéon"},
                                             {"48.85,2.35", "Pantheon"}}) {
    SCOPED_TRACE(places[0] + " / " + places[1]);
    const TRun run = Wymap(Args({"route", places[0], places[1]}));
    EXPECT_EQ(run.Code, kWymapOk) << run.Err;
    EXPECT_EQ(run.Out, expected);
    EXPECT_EQ(run.Err, "");
  }
  // The address route is cached under its addresses; the mixed one asks for
  // the same coordinates as the first and is read from the cache.
  EXPECT_EQ(server.RequestCount("/osrm/route/v1/driving/2.35,48.85;2.355,48.855"), 2u);

  const TRun json = Wymap(Args({"route", "48.85,2.35", "48.855,2.355", "--json"}));
  EXPECT_EQ(json.Code, kWymapOk);
  EXPECT_EQ(json.Out,
            "{\"distance_m\":731,\"duration_s\":140,\"instructions\":[\n"
            "  {\"lat\":48.85,\"lng\":2.35,\"distance_m\":250,\"text\":\"Head out on Rue de "
            "Rivoli\"},\n"
            "  {\"lat\":48.852,\"lng\":2.352,\"distance_m\":481,\"text\":\"Turn left onto "
            "Boulevard Saint-Michel\"},\n"
            "  {\"lat\":48.855,\"lng\":2.355,\"distance_m\":0,\"text\":\"Arrive at your "
            "destination, on the right\"}\n]}\n");
}

TEST_F(WymapRouteTest, ElevationPrintsOneHeightALine) {
  const TRun run = Wymap(Args({"elevation", "48.85,2.35", "48.86,2.36", "45.76,4.84"}));
  EXPECT_EQ(run.Code, kWymapOk) << run.Err;
  EXPECT_EQ(run.Out, "35\n41\n172\n");
  EXPECT_EQ(server.RequestsTo("/oe/api/v1/lookup").at(0).Param("locations"),
            "48.85,2.35|48.86,2.36|45.76,4.84");
  server.Serve("/oe/api/v1/lookup", "{\"results\":[{\"elevation\":12},{\"elevation\":null}]}");
  const TRun json = Wymap(Args({"--cache", "", "elevation", "1,2", "3,4", "--json"}));
  EXPECT_EQ(json.Out, "[12,null]\n");
}

TEST_F(WymapRouteTest, FailuresAndBadOperands) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"route", "48.85,2.35"},
           {"route", "1,2", "3,4", "5,6"},
           {"route", "1,2", " "},
           {"elevation"},
           {"elevation", "91,0"},
           {"elevation", "1,2,3"},
           {"elevation", "Paris"},
           {"--endpoint", "osrm=ftp://x", "route", "1,2", "3,4"}}) {
    const TRun run = Wymap(Args(args));
    EXPECT_EQ(run.Code, kWymapUsage) << args[0];
    EXPECT_EQ(run.Out, "");
  }
  EXPECT_EQ(server.RequestCount(), 0u);

  struct Case {
    std::vector<std::string> Args;
    const char* Err;
  };
  server.Serve("/osrm/route/v1/driving/2,1;4,3",
               "{\"code\":\"NoRoute\",\"message\":\"Impossible route\"}");
  const Case cases[] = {
      {{"route", "1,2", "3,4"}, "wymap: route failed: NoRoute: Impossible route\n"},
      {{"route", "Atlantis", "3,4"}, "wymap: route failed: address not found: Atlantis\n"},
      {{"route", "Atlantis", "Pantheon"}, "wymap: route failed: address not found: Atlantis\n"},
      {{"elevation", "5,6"}, ""},
  };
  for (const Case& c : cases) {
    const TRun run = Wymap(Args(c.Args));
    EXPECT_EQ(run.Code, kWymapRequestFailed) << c.Args[0];
    EXPECT_EQ(run.Out, "");
    if (*c.Err) {
      EXPECT_EQ(run.Err, c.Err);
    } else {
      EXPECT_EQ(run.Err.compare(0, 25, "wymap: elevation failed: "), 0) << run.Err;
    }
  }
}

TEST(WymapDurationTest, ReadableTimes) {
  EXPECT_EQ(DurationText(45), "45 s");
  EXPECT_EQ(DurationText(120), "2 min");
  EXPECT_EQ(DurationText(140), "2 min 20 s");
  EXPECT_EQ(DurationText(3900), "1 h 05 min");
  EXPECT_EQ(DurationText(-3), "0 s");
}

}  // namespace
}  // namespace wy
